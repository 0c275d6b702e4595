"""The tests' HTTP server on 127.0.0.1 (support/serve_main.cpp), for Python tests.

TestServer(routes, folder): routes maps targets to a body, Page(body, status, headers) or
Redirect(location, status). A body is bytes, or str sent as UTF-8 with "@BASE@" and "@PORT@"
standing for the server's address and port. A route for a path answers it with a query too;
targets without a route get the folder's files ("/" and the like its index.html), or a 404.
The program is $VELTRANO_TEST_SERVER, else the one built beside $VELTRANO_BIN or in build/native.
"""

import os
import socket
import subprocess
import threading
import time
from collections import namedtuple
from urllib.parse import quote

REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
Page = namedtuple("Page", "body status headers", defaults=("", 200, None))
Redirect = namedtuple("Redirect", "location status", defaults=(301,))
# A request: when it arrived (seconds since the server started), its method, its target as on the
# request line, its Host header, the peer's address, and the body size of its answer (None while held).
LogEntry = namedtuple("LogEntry", "time method target host client body_bytes")


class TestServer:
    def __init__(self, routes=None, folder=None):
        beside = os.path.join(os.path.dirname(os.environ.get("VELTRANO_BIN", "")), "tests", "test-http-server")
        program = os.environ.get("VELTRANO_TEST_SERVER") or (
            beside if os.path.isfile(beside) else os.path.join(REPO, "build", "native", "tests", "test-http-server"))
        self._lock = threading.Lock()
        self._proc = subprocess.Popen([program], stdin=subprocess.PIPE, stdout=subprocess.PIPE)
        self.port = int(self._proc.stdout.readline())
        self.base_url = "http://127.0.0.1:%d" % self.port
        if folder is not None:
            self._send("folder", os.path.abspath(folder))
        for target, value in (routes or {}).items():
            if isinstance(value, Redirect):
                self.redirect(target, value.location, value.status)
            else:
                value = value if isinstance(value, Page) else Page(value)
                self.route(target, value.body, value.status, value.headers)

    def expand(self, text):
        return text.replace("@BASE@", self.base_url).replace("@PORT@", str(self.port))

    def route(self, target, body, status=200, headers=None):
        body = self.expand(body).encode() if isinstance(body, str) else body
        self._send("route", target, str(status), body, *("%s: %s" % h for h in (headers or {}).items()))

    def redirect(self, target, location, status=301):
        self._send("redirect", target, str(status), self.expand(location))

    def hold(self, target):
        """Answers to `target` (with any query) wait until release(target) or stop()."""
        self._send("hold", target)

    def release(self, target):
        self._send("release", target)

    def log(self):
        """The requests since the last clear_log(), in the order they arrived."""
        fields = [line.split(" ", 5) for line in self._send("log")]
        return [LogEntry(float(t), m, target, host, c, None if b == "-" else int(b)) for t, m, target, c, b, host in fields]

    def targets(self):
        return [entry.target for entry in self.log()]

    def clear_log(self):
        self._send("clear-log")

    def wait_for_request(self, target, timeout=20):
        """True once a request for `target` has arrived, answered or not."""
        deadline = time.monotonic() + timeout
        while target not in self.targets() and time.monotonic() < deadline:
            time.sleep(0.02)
        return target in self.targets()

    def stop(self):
        if self._proc.poll() is None:
            self._proc.stdin.close()
            self._proc.wait(timeout=30)
        self._proc.stdout.close()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.stop()

    def _send(self, *words):
        with self._lock:
            self._proc.stdin.write(b" ".join(quote(word, safe="/").encode() for word in words) + b"\n")
            self._proc.stdin.flush()
            reply = []
            while (line := self._proc.stdout.readline().decode("latin-1").rstrip("\n")) != "ok":
                if not line or line.startswith("error"):
                    raise RuntimeError("test-http-server: %s, to %s" % (line or "gone", words[0]))
                reply.append(line)
            return reply


def closed_port():
    """A 127.0.0.1 port that nothing listens on (bound, then released)."""
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


if __name__ == "__main__":  # a self-check
    import tempfile
    import urllib.request
    with tempfile.TemporaryDirectory() as folder, TestServer(
            {"/a": "at @BASE@", "/old": Redirect("/a"), "/held": "", "/x?y": Page(b"\0", 410, {"X": "a b"})}, folder) as s:
        with open(os.path.join(folder, "index.html"), "w") as index:
            index.write("index")
        s.hold("/held")
        held = threading.Thread(target=lambda: urllib.request.urlopen(s.base_url + "/held?q").read())
        held.start()
        assert s.wait_for_request("/held?q") and s.log()[0].body_bytes is None
        s.clear_log()
        s.release("/held")
        held.join()
        assert urllib.request.urlopen(s.base_url + "/old?z").read() == b"at " + s.base_url.encode()
        assert urllib.request.urlopen(s.base_url + "/?v").read() == b"index"
        try:
            urllib.request.urlopen(s.base_url + "/x?y")
        except urllib.error.HTTPError as gone:
            assert (gone.code, gone.read(), gone.headers["X"]) == (410, b"\0", "a b")
        host = s.base_url[len("http://"):]
        assert [(e.method, e.target, e.host, e.client, e.body_bytes) for e in s.log()] == [
            ("GET", "/old?z", host, "127.0.0.1", 0), ("GET", "/a", host, "127.0.0.1", len("at " + s.base_url)),
            ("GET", "/?v", host, "127.0.0.1", 5), ("GET", "/x?y", host, "127.0.0.1", 1)], s.log()
    print("test_server: ok")
