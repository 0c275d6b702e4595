"""A small HTTP/1.1 server for the end-to-end tests.

It listens on 127.0.0.1 with a port the system picks, serves a fixture site
from a dict of routes, and keeps a log of every request it answered, so a
test can tell what the crawler asked for and where.

Route values:
    "text"                    200, text/html
    Page(body, status=..., headers=...)
    Redirect(location, status=301)

Bodies and locations may contain "@BASE@", replaced by the server's own
address (http://127.0.0.1:PORT), and "@PORT@", replaced by its port number.

hold(target) makes the answer to that target wait until the returned event
is set (or the server stops), so a test can act while a page is in flight.
"""

import http.server
import socket
import threading
import time
import urllib.parse
from dataclasses import dataclass, field


@dataclass
class Page:
    body: str = ""
    status: int = 200
    headers: dict = field(default_factory=dict)


@dataclass
class Redirect:
    location: str
    status: int = 301


@dataclass
class LogEntry:
    method: str
    target: str  # path and query, as sent
    host: str  # the Host header
    client: str  # the peer's address
    body_bytes: int


class _Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, fmt, *args):  # keep the test output clean
        pass

    def do_GET(self):
        fixture = self.server.fixture
        fixture.note_start(self.path)
        route = fixture.lookup(self.path)
        headers = {}
        if route is None:
            route = Page("<html><body>no such page</body></html>", status=404)
        elif isinstance(route, Redirect):
            headers["Location"] = fixture.expand(route.location)
            route = Page("", status=route.status)
        elif not isinstance(route, Page):
            route = Page(route)
        headers.update(route.headers)
        body = fixture.expand(route.body).encode("utf-8")
        gate = fixture.gates.get(self.path)
        if gate is not None:
            gate.wait()
        fixture.record(LogEntry(self.command, self.path, self.headers.get("Host", ""),
                                self.client_address[0], len(body)))
        try:
            self.send_response(route.status)
            self.send_header("Content-Type", "text/html")
            self.send_header("Content-Length", str(len(body)))
            for name, value in headers.items():
                self.send_header(name, value)
            self.end_headers()
            self.wfile.write(body)
        except (BrokenPipeError, ConnectionResetError):
            pass


class FixtureServer:
    """Serves `routes` ({"/path" or "/path?query": value}) on 127.0.0.1:0."""

    def __init__(self, routes):
        self.routes = dict(routes)
        self.gates = {}
        self._lock = threading.Lock()
        self._log = []
        self._started = []
        self._start_times = []
        self._httpd = http.server.ThreadingHTTPServer(("127.0.0.1", 0), _Handler)
        self._httpd.daemon_threads = True
        self._httpd.block_on_close = False
        self._httpd.fixture = self
        self.port = self._httpd.server_address[1]
        self.base_url = "http://127.0.0.1:%d" % self.port
        threading.Thread(target=self._httpd.serve_forever, kwargs={"poll_interval": 0.05},
                         daemon=True).start()

    def stop(self):
        for gate in self.gates.values():
            gate.set()
        self._httpd.shutdown()
        self._httpd.server_close()

    def expand(self, text):
        return text.replace("@BASE@", self.base_url).replace("@PORT@", str(self.port))

    def lookup(self, target):
        """The route for a request target: path with query first, then the path."""
        if target in self.routes:
            return self.routes[target]
        return self.routes.get(urllib.parse.urlsplit(target).path)

    def hold(self, target):
        gate = self.gates[target] = threading.Event()
        return gate

    # -- request log --------------------------------------------------------
    def note_start(self, target):
        with self._lock:
            self._started.append(target)
            self._start_times.append(time.monotonic())

    def start_times(self):
        """When each request arrived (time.monotonic()), in arrival order."""
        with self._lock:
            return list(self._start_times)

    def record(self, entry):
        with self._lock:
            self._log.append(entry)

    def log(self):
        with self._lock:
            return list(self._log)

    def targets(self):
        """Targets of the answered requests, in the order they were answered."""
        return [e.target for e in self.log()]

    def clear_log(self):
        with self._lock:
            self._log.clear()
            self._started.clear()
            self._start_times.clear()

    def wait_for_request(self, target, timeout=20):
        """True once a request for `target` has arrived, answered or not."""
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            with self._lock:
                if target in self._started:
                    return True
            time.sleep(0.02)
        return False


def closed_port():
    """A 127.0.0.1 port that nothing listens on (bound, then released)."""
    s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    s.bind(("127.0.0.1", 0))
    port = s.getsockname()[1]
    s.close()
    return port
