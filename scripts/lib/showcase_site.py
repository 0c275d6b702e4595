#!/usr/bin/env python3
"""A made-up photo site on 127.0.0.1 for the README's screenshot.

    showcase_site.py [DELAY_SECONDS]

Prints its base address ("http://127.0.0.1:PORT") on the first line of
standard output and serves until it is killed. Every answer waits DELAY
seconds (default 0.15), so that a crawl is still running when the picture
is taken.
"""

import http.server
import sys
import time

YEARS = range(2016, 2025)
PLACES = ["harbour", "old-town", "mountains", "market", "lighthouse", "bridges", "forest", "station"]


def page(path):
    if path in ("/", "/index.html"):
        links = "".join('<a href="gallery/%d/">%d</a>\n' % (y, y) for y in YEARS)
        return "<html><head><title>Photo diary</title></head><body>%s<a href='about.html'>about</a></body></html>" % links
    if path == "/about.html":
        return "<p>About</p><a href='/'>home</a> <a href='portrait.jpg'>me</a>"
    parts = path.strip("/").split("/")
    if len(parts) == 2 and parts[0] == "gallery":
        year = parts[1]
        links = "".join('<a href="%s.html">%s</a> <a href="print-%s.html">print</a>\n' % (p, p, p) for p in PLACES)
        return "<h1>%s</h1>%s<a href='../../'>home</a>" % (year, links)
    if len(parts) == 3 and parts[0] == "gallery":
        name = parts[2].rsplit(".", 1)[0]
        pictures = "".join('<a href="%s-%02d.jpg"><img></a> ' % (name, n) for n in range(1, 7))
        return "<h2>%s</h2>%s<a href='%s-panorama.png'>panorama</a> <a href='../'>back</a>" % (name, pictures, name)
    return None


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, fmt, *args):
        pass

    def do_GET(self):
        time.sleep(self.server.delay)
        body = page(self.path.split("?")[0])
        status = 200 if body is not None else 404
        data = (body or "<p>not here</p>").encode()
        self.send_response(status)
        self.send_header("Content-Type", "text/html")
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        self.wfile.write(data)


def main():
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    server.daemon_threads = True
    server.delay = float(sys.argv[1]) if len(sys.argv) > 1 else 0.15
    print("http://127.0.0.1:%d" % server.server_address[1], flush=True)
    server.serve_forever()


if __name__ == "__main__":
    main()
