"""A small HTTP/1.1 server for the end-to-end tests.

It listens on 127.0.0.1 with a port the system picks, serves a fixture site
from a dict of routes (or from a folder), and keeps a log of every request
it answered, so a test can tell what the crawler asked for and where.

Route values:
    "text" or b"bytes"        200, text/html
    Page(body, status=..., delay=..., headers=...)
    Redirect(location, status=301)

Bodies may contain "@BASE@", replaced by the server's own address
(http://127.0.0.1:PORT) when served, and "@PORT@" by its port number, so
pages can carry absolute links.
"""

import http.server
import os
import socket
import threading
import time
import urllib.parse
from dataclasses import dataclass, field


@dataclass
class Page:
    body: object = b""
    status: int = 200
    delay: float = 0.0  # seconds to wait before answering
    headers: dict = field(default_factory=dict)
    content_type: str = "text/html"


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
    status: int
    body_bytes: int
    user_agent: str


class _Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "FixtureServer/1"

    def log_message(self, fmt, *args):  # keep the test output clean
        pass

    def do_GET(self):
        self._answer(send_body=True)

    def do_HEAD(self):
        self._answer(send_body=False)

    def _answer(self, send_body):
        fixture = self.server.fixture
        fixture.note_start(self.path)
        route = fixture.lookup(self.path)
        headers = {}
        if route is None:
            status, body = 404, b"<html><body>no such page</body></html>"
            delay = 0.0
            ctype = "text/html"
        elif isinstance(route, Redirect):
            status, body, delay, ctype = route.status, b"", 0.0, "text/html"
            headers["Location"] = fixture.expand(route.location)
        else:
            if not isinstance(route, Page):
                route = Page(route)
            status, delay, ctype = route.status, route.delay, route.content_type
            body = route.body
            headers.update(route.headers)
        if isinstance(body, str):
            body = fixture.expand(body).encode("utf-8")
        if delay:
            # Sleep in slices so that a stopping server is not held up.
            deadline = time.monotonic() + delay
            while time.monotonic() < deadline and not fixture.stopping.is_set():
                time.sleep(min(0.05, max(0.0, deadline - time.monotonic())))
        fixture.record(LogEntry(
            method=self.command,
            target=self.path,
            host=self.headers.get("Host", ""),
            client=self.client_address[0],
            status=status,
            body_bytes=len(body) if send_body else 0,
            user_agent=self.headers.get("User-Agent", ""),
        ))
        try:
            self.send_response(status)
            self.send_header("Content-Type", ctype)
            self.send_header("Content-Length", str(len(body)))
            for name, value in headers.items():
                self.send_header(name, value)
            self.end_headers()
            if send_body:
                self.wfile.write(body)
        except (BrokenPipeError, ConnectionResetError):
            pass


class _Server(http.server.ThreadingHTTPServer):
    daemon_threads = True
    block_on_close = False
    allow_reuse_address = False


class FixtureServer:
    """Serves `routes` ({"/path" or "/path?query": value}) on 127.0.0.1:0."""

    def __init__(self, routes=None, folder=None):
        self.routes = dict(routes or {})
        self.folder = folder
        self.stopping = threading.Event()
        self._lock = threading.Lock()
        self._log = []
        self._started = []
        self._httpd = None
        self._thread = None

    # -- life cycle ---------------------------------------------------------
    def start(self):
        self._httpd = _Server(("127.0.0.1", 0), _Handler)
        self._httpd.fixture = self
        self._thread = threading.Thread(target=self._httpd.serve_forever,
                                        kwargs={"poll_interval": 0.05}, daemon=True)
        self._thread.start()
        return self

    def stop(self):
        self.stopping.set()
        if self._httpd is not None:
            self._httpd.shutdown()
            self._httpd.server_close()
            self._thread.join(timeout=5)
            self._httpd = None

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.stop()

    @property
    def port(self):
        return self._httpd.server_address[1]

    @property
    def base_url(self):
        return "http://127.0.0.1:%d" % self.port

    def expand(self, text):
        return text.replace("@BASE@", self.base_url).replace("@PORT@", str(self.port))

    # -- routes -------------------------------------------------------------
    def lookup(self, target):
        """The route for a request target: path with query first, then the path."""
        if target in self.routes:
            return self.routes[target]
        path = urllib.parse.urlsplit(target).path
        if path in self.routes:
            return self.routes[path]
        if self.folder is not None:
            return self._from_folder(path)
        return None

    def _from_folder(self, path):
        relative = urllib.parse.unquote(path).lstrip("/")
        full = os.path.realpath(os.path.join(self.folder, relative))
        root = os.path.realpath(self.folder)
        if not (full == root or full.startswith(root + os.sep)):
            return None
        if os.path.isdir(full):
            full = os.path.join(full, "index.html")
        if not os.path.isfile(full):
            return None
        with open(full, "rb") as f:
            data = f.read()
        ctype = "text/html" if full.endswith((".html", ".htm")) else "application/octet-stream"
        return Page(data, content_type=ctype)

    # -- request log --------------------------------------------------------
    def record(self, entry):
        with self._lock:
            self._log.append(entry)

    def note_start(self, target):
        with self._lock:
            self._started.append(target)

    def started_targets(self):
        """Targets in the order their requests arrived, answered or not yet."""
        with self._lock:
            return list(self._started)

    def log(self):
        with self._lock:
            return list(self._log)

    def targets(self):
        return [e.target for e in self.log()]

    def clear_log(self):
        with self._lock:
            self._log.clear()
            self._started.clear()

    def wait_for_request(self, target, timeout):
        """True once a request for `target` has arrived, false after `timeout` seconds."""
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            if target in self.started_targets():
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
