"""The tests' HTTP server on 127.0.0.1 (tests/support/serve_main.cpp), for Python tests.

    server = TestServer({"/": "<a href='@BASE@/a.html'>", "/a.html": Page("gone", 410), "/old": Redirect("/")})
    server.targets()  # ["/", "/a.html"] once a crawl asked for them
    server.stop()

Route values: a body, Page(body, status, headers) or Redirect(location, status). A body is
str (sent as UTF-8, "@BASE@" and "@PORT@" replaced by the server's address and port) or bytes.
A route for a path also answers it with a query. folder= serves that folder's files to the
targets without a route ("/" and the like its index.html); others get a 404.
The program is $VELTRANO_TEST_SERVER, else the one built beside $VELTRANO_BIN or in build/native.
"""

import os
import socket
import subprocess
import threading
import time
from dataclasses import dataclass, field
from urllib.parse import quote, unquote

REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))


@dataclass
class Page:
    body: object = ""
    status: int = 200
    headers: dict = field(default_factory=dict)


@dataclass
class Redirect:
    location: str
    status: int = 301


@dataclass
class LogEntry:
    time: float  # when the request arrived, in seconds since the server started
    method: str
    target: str  # as it stood on the request line
    host: str  # the Host header
    client: str  # the peer's address
    body_bytes: object  # the body size of the answer, None until it is sent


def server_program():
    beside_bin = os.path.join(os.path.dirname(os.environ.get("VELTRANO_BIN", "")), "tests", "test-http-server")
    return os.environ.get("VELTRANO_TEST_SERVER") or next(
        (p for p in (beside_bin, os.path.join(REPO, "build", "native", "tests", "test-http-server")) if os.path.isfile(p)),
        "test-http-server (not built)")


class TestServer:
    def __init__(self, routes=None, folder=None):
        self._lock = threading.Lock()
        self._proc = subprocess.Popen([server_program()], stdin=subprocess.PIPE, stdout=subprocess.PIPE)
        self.port = int(self._proc.stdout.readline())
        self.base_url = "http://127.0.0.1:%d" % self.port
        if folder is not None:
            self._send("folder", os.path.abspath(folder))
        for target, value in (routes or {}).items():
            if isinstance(value, Redirect):
                self.redirect(target, value.location, value.status)
            else:
                page = value if isinstance(value, Page) else Page(value)
                self.route(target, page.body, page.status, page.headers)

    def expand(self, text):
        return text.replace("@BASE@", self.base_url).replace("@PORT@", str(self.port))

    def route(self, target, body, status=200, headers=None):
        body = self.expand(body).encode() if isinstance(body, str) else body
        self._send("route", target, str(status), body,
                   *("%s: %s" % (name, self.expand(value)) for name, value in (headers or {}).items()))

    def redirect(self, target, location, status=301):
        self._send("redirect", target, str(status), self.expand(location))

    def hold(self, target):
        """Answers to `target` wait until release(target) or stop()."""
        self._send("hold", target)

    def release(self, target):
        self._send("release", target)

    def log(self):
        """The requests since the last clear_log(), in the order they arrived."""
        entries = []
        for line in self._send("log"):
            time_, method, target, host, client, body = line.split(" ")
            entries.append(LogEntry(float(time_), unquote(method), unquote(target), unquote(host), client,
                                    None if body == "-" else int(body)))
        return entries

    def targets(self):
        return [entry.target for entry in self.log()]

    def clear_log(self):
        self._send("clear-log")

    def wait_for_request(self, target, timeout=20):
        """True once a request for `target` has arrived, answered or not."""
        deadline = time.monotonic() + timeout
        while target not in self.targets():
            if time.monotonic() > deadline:
                return False
            time.sleep(0.02)
        return True

    def stop(self):
        """Ends the server; held answers are given up."""
        if self._proc.poll() is None:
            self._proc.stdin.close()
            self._proc.wait(timeout=30)
        self._proc.stdout.close()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.stop()

    def _send(self, *words):
        """Sends a command; its reply lines before the "ok"."""
        with self._lock:
            self._proc.stdin.write(b" ".join(quote(word, safe="/").encode() for word in words) + b"\n")
            self._proc.stdin.flush()
            reply = []
            while (line := self._proc.stdout.readline().decode().rstrip("\n")) != "ok":
                if line.startswith("error") or not line:
                    raise RuntimeError("test-http-server: %s (%s)" % (line or "ended", words[0]))
                reply.append(line)
            return reply


def closed_port():
    """A 127.0.0.1 port that nothing listens on (bound, then released)."""
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


if __name__ == "__main__":  # a self-check: python3 tests/support/test_server.py
    import tempfile
    import urllib.request

    def fetch(url):
        try:
            with urllib.request.urlopen(url) as answer:
                return answer.status, answer.read(), answer.headers["X-A"]
        except urllib.error.HTTPError as error:
            return error.code, error.read(), error.headers["X-A"]

    with tempfile.TemporaryDirectory() as folder, TestServer({"/": "at @BASE@", "/old": Redirect("/"), "/held": "held",
                                                              "/gone?x=1": Page(b"\0\xff", 410, {"X-A": "b c"})}, folder) as s:
        os.mkdir(os.path.join(folder, "sub"))
        with open(os.path.join(folder, "sub", "index.html"), "w") as f:
            f.write("index")
        s.hold("/held")
        s.clear_log()
        assert fetch(s.base_url + "/old") == (200, b"at " + s.base_url.encode(), None)
        assert fetch(s.base_url + "/gone?x=1") == (410, b"\0\xff", "b c")
        assert fetch(s.base_url + "/sub/?y") == (200, b"index", None) and fetch(s.base_url + "/sub")[0] == 404
        held = threading.Thread(target=fetch, args=(s.base_url + "/held?q",))
        held.start()
        assert s.wait_for_request("/held?q") and s.log()[-1].body_bytes is None, "held, unanswered"
        s.release("/held")
        held.join(10)
        s.clear_log()
        assert fetch(s.base_url + "/old?z")[0] == 200
        host = "127.0.0.1:%d" % s.port
        assert [(e.method, e.target, e.host, e.client, e.body_bytes) for e in s.log()] == [
            ("GET", "/old?z", host, "127.0.0.1", 0), ("GET", "/", host, "127.0.0.1", len("at " + s.base_url))], s.log()
    print("test_server: ok")
