"""The tests' HTTP server on 127.0.0.1 (support/serve_main.cpp, found as $VELTRANO_TEST_SERVER, beside
$VELTRANO_BIN or in build/native). TestServer(routes): routes maps targets to a body (bytes, or str sent
as UTF-8 with "@BASE@" and "@PORT@" for the server's address and port), Page(body, status, headers) or
Redirect(location, status); a route for a path answers it with any query. Others get a 404."""
import os
import subprocess
import threading
import time
from collections import namedtuple
from urllib.parse import quote

REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
Page = namedtuple("Page", "body status headers", defaults=("", 200, None))
Redirect = namedtuple("Redirect", "location status", defaults=(301,))
# A request: when it came (seconds since the server started), its target as on the request line, and its
# answer's body size (None until the answer goes out).
LogEntry = namedtuple("LogEntry", "time target body_bytes")


class TestServer:
    def __init__(self, routes=None):
        beside = os.path.join(os.path.dirname(os.environ.get("VELTRANO_BIN", "")), "tests", "test-http-server")
        program = os.environ.get("VELTRANO_TEST_SERVER") or (
            beside if os.path.isfile(beside) else os.path.join(REPO, "build", "native", "tests", "test-http-server"))
        self._lock = threading.Lock()
        self._proc = subprocess.Popen([program], stdin=subprocess.PIPE, stdout=subprocess.PIPE)
        self.port = int(self._proc.stdout.readline())
        self.base_url = "http://127.0.0.1:%d" % self.port
        for target, value in (routes or {}).items():
            if isinstance(value, Redirect):
                value = Page("", value.status, {"Location": self.expand(value.location)})
            self.route(target, *(value if isinstance(value, Page) else Page(value)))

    def expand(self, text):
        return text.replace("@BASE@", self.base_url).replace("@PORT@", str(self.port))

    def route(self, target, body, status=200, headers=None):
        body = self.expand(body).encode() if isinstance(body, str) else body
        self._send("route", target, str(status), body, *("%s: %s" % h for h in (headers or {}).items()))

    def hold(self, target):  # its answers (with any query) wait until release(target) or stop()
        self._send("hold", target)

    def release(self, target):
        self._send("release", target)

    def log(self):  # the requests since the last clear_log(), in the order they came
        fields = [line.split(" ") for line in self._send("log")]
        return [LogEntry(float(t), target, None if b == "-" else int(b)) for t, target, b in fields]

    def targets(self):
        return [entry.target for entry in self.log()]

    def clear_log(self):
        self._send("clear-log")

    def wait_for_request(self, target, timeout=20):  # True once `target` was asked for, answered or not
        for _ in range(int(timeout / 0.02)):
            if target in self.targets():
                return True
            time.sleep(0.02)
        return False

    def stop(self):
        if self._proc.poll() is None:
            self._proc.stdin.close()
            self._proc.wait(timeout=30)
        self._proc.stdout.close()

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
