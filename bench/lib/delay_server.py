#!/usr/bin/env python3
"""Serves a folder on 127.0.0.1 and answers every request after a fixed
delay, as a site far away does.

    delay_server.py FOLDER DELAY_SECONDS

Prints its base address on the first line of standard output, then serves
until it is killed. HTTP/1.1 with keep-alive; "/" serves index.html.
"""

import http.server
import os
import sys
import time


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    # Head and body go out at once, not held back for the client's delayed acknowledgement.
    disable_nagle_algorithm = True

    def log_message(self, fmt, *args):
        pass

    def do_GET(self):
        time.sleep(self.server.delay)
        path = self.path.split("?")[0].split("#")[0]
        if path.endswith("/"):
            path += "index.html"
        full = os.path.realpath(os.path.join(self.server.folder, path.lstrip("/")))
        if not full.startswith(self.server.folder + os.sep) or not os.path.isfile(full):
            body, status = b"<p>not here</p>", 404
        else:
            with open(full, "rb") as f:
                body, status = f.read(), 200
        self.send_response(status)
        self.send_header("Content-Type", "text/html" if full.endswith(".html") else "application/octet-stream")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)


def main():
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    server.daemon_threads = True
    server.folder = os.path.realpath(sys.argv[1])
    server.delay = float(sys.argv[2])
    print("http://127.0.0.1:%d/" % server.server_address[1], flush=True)
    server.serve_forever()


if __name__ == "__main__":
    main()
