#!/usr/bin/env python3
"""Checks the compiled help file Veltrano.chm.

usage: check_help.py VELTRANO.CHM [--veltrano BIN] [--readme README.md]

Reads the archive with chmls (from fp-utils, as chmls or chmls-3.2.2) and checks:
- the manual, the pattern page, their style sheet and the picture of the main
  window are in it;
- context number 2 (the topic that the pattern editor's Help button opens)
  maps to patterns.html, a file of the archive, by its name in the archive;
- the pattern page holds every example pattern of the README's "Text
  patterns" table, HTML-escaped;
- every link and picture of the pages and of the table of contents points at
  a file of the archive, and every #anchor at a name on that page;
- the pages are plain ASCII.
With --veltrano, every worked example of the pattern page (the rows of class
"example") is run through the command line against a page served on
127.0.0.1, and what it prints must be what the page claims.
"""

import argparse
import html
import html.parser
import http.server
import os
import re
import shutil
import subprocess
import sys
import tempfile
import threading
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
DEFAULT_README = os.path.join(os.path.dirname(os.path.dirname(HERE)), "README.md")
ARGS = None


def chmls_program():
    for name in ("chmls", "chmls-3.2.2"):
        path = shutil.which(name)
        if path:
            return path
    raise AssertionError("chmls (Debian package fp-utils) is not installed")


class Page(html.parser.HTMLParser):
    """The links, anchor names, worked examples and pattern texts of one page."""

    def __init__(self, text):
        super().__init__(convert_charrefs=True)
        self.links = []        # href / src / Local values, in order
        self.anchors = set()   # <a name=...> and id=...
        self.patterns = []     # texts of elements of class "pattern"
        self.examples = []     # dicts: pattern, page, results, refusal, nothing
        self._stack = []       # (tag, classes) of open elements
        self._capture = None   # [kind, text] while inside a captured element
        self._example = None
        self.feed(text)
        self.close()

    def handle_starttag(self, tag, attrs):
        attrs = dict(attrs)
        classes = (attrs.get("class") or "").split()
        for key in ("href", "src"):
            if attrs.get(key) is not None:
                self.links.append(attrs[key])
        if tag == "param" and (attrs.get("name") or "").lower() == "local":
            self.links.append(attrs.get("value") or "")
        if tag == "a" and attrs.get("name"):
            self.anchors.add(attrs["name"])
        if attrs.get("id"):
            self.anchors.add(attrs["id"])
        if tag in ("br", "img", "link", "meta", "param", "hr", "input"):
            return
        self._stack.append((tag, classes))
        if tag == "tr" and "example" in classes:
            self._example = {"pattern": None, "page": None, "results": [], "refusal": None, "nothing": False}
        kind = None
        if "pattern" in classes:
            kind = "pattern"
        elif self._example is not None and tag == "pre" and "page" in classes:
            kind = "page"
        elif self._example is not None and "result" in classes:
            kind = "result"
        elif self._example is not None and "refusal" in classes:
            kind = "refusal"
        elif self._example is not None and "nothing" in classes:
            self._example["nothing"] = True
        if kind and self._capture is None:
            self._capture = [kind, "", len(self._stack)]

    def handle_endtag(self, tag):
        if not self._stack or tag in ("br", "img", "link", "meta", "param", "hr", "input"):
            return
        # Close up to the matching open element (tolerates omitted end tags).
        while self._stack:
            open_tag, classes = self._stack.pop()
            if self._capture and len(self._stack) < self._capture[2]:
                self._finish_capture()
            if open_tag == "tr" and "example" in classes and self._example is not None:
                self.examples.append(self._example)
                self._example = None
            if open_tag == tag:
                break

    def _finish_capture(self):
        kind, text, _ = self._capture
        self._capture = None
        if kind == "pattern":
            self.patterns.append(text)
        if self._example is None:
            return
        if kind == "pattern" and self._example["pattern"] is None:
            self._example["pattern"] = text
        elif kind == "page":
            self._example["page"] = text
        elif kind == "result":
            self._example["results"].append(text)
        elif kind == "refusal":
            self._example["refusal"] = text

    def handle_data(self, data):
        if self._capture:
            self._capture[1] += data


def readme_patterns(path):
    """The patterns of the first column of the README's "Text patterns" table."""
    with open(path, encoding="utf-8") as f:
        text = f.read()
    section = re.search(r"^## Text patterns\n(.*?)(?=^## )", text, re.S | re.M)
    assert section, "no \"Text patterns\" section in " + path
    patterns = re.findall(r"^\| `([^`]+)` \|", section.group(1), re.M)
    assert len(patterns) >= 3, "too few example patterns found in the README: %r" % patterns
    return patterns


class Archive:
    """The files of the .chm, extracted once."""

    def __init__(self, chm):
        self.chmls = chmls_program()
        self.chm = chm
        self.dir = tempfile.mkdtemp(prefix="veltrano-help-")
        listing = subprocess.run([self.chmls, "-p", "-n", "list", chm], capture_output=True, text=True,
                                 check=True).stdout
        self.names = {line.strip() for line in listing.splitlines() if line.strip().startswith(("/", "::"))}
        self.files = os.path.join(self.dir, "files")
        subprocess.run([self.chmls, "extractall", chm, self.files], capture_output=True, check=True)

    def text(self, name):
        with open(os.path.join(self.files, name.lstrip("/")), "rb") as f:
            return f.read()

    def context_map(self):
        """Context number -> topic, as chmls extractalias reads /#IVB and /#STRINGS.

        chmls writes BASE.h and BASE.ali next to the archive it reads, so it
        reads a copy in a folder of its own."""
        folder = os.path.join(self.dir, "alias")
        os.makedirs(folder, exist_ok=True)
        copy = os.path.join(folder, "help.chm")
        shutil.copyfile(self.chm, copy)
        subprocess.run([self.chmls, "extractalias", copy], capture_output=True, check=True, cwd=folder)
        if not os.path.exists(os.path.join(folder, "help.h")):
            return {}  # no context map at all
        with open(os.path.join(folder, "help.h"), encoding="latin-1") as f:
            numbers = dict(re.findall(r"^#define\s+(\S+)\s+(\d+)\s*$", f.read(), re.M))
        with open(os.path.join(folder, "help.ali"), encoding="latin-1") as f:
            topics = dict(line.split("=", 1) for line in f.read().splitlines() if "=" in line)
        return {int(numbers[symbol]): topics[symbol] for symbol in numbers if symbol in topics}

    def remove(self):
        shutil.rmtree(self.dir, ignore_errors=True)


class HelpFileTests(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        if not os.path.isfile(ARGS.chm):
            raise AssertionError("%s was not built: is chmcmd (Debian package fp-utils) installed?" % ARGS.chm)
        cls.archive = Archive(ARGS.chm)

    @classmethod
    def tearDownClass(cls):
        cls.archive.remove()

    def page(self, name):
        return Page(self.archive.text(name).decode("ascii"))

    def test_pages_and_picture_are_in_the_archive(self):
        for name in ("/index.html", "/patterns.html", "/main-window.png", "/style.css", "/contents.hhc"):
            self.assertIn(name, self.archive.names)
        with open(os.path.join(HERE, "..", "..", "resources", "help", "main-window.png"), "rb") as f:
            self.assertEqual(self.archive.text("/main-window.png"), f.read(), "the picture is not the screenshot")

    def test_context_2_opens_the_pattern_page(self):
        # The viewer looks the topic up by its name in the archive: a path of
        # the build machine would open nothing.
        mapping = self.archive.context_map()
        self.assertIn(2, mapping, "no context number 2 in %r" % mapping)
        self.assertEqual(mapping[2].lstrip("/"), "patterns.html")
        self.assertIn("/" + mapping[2].lstrip("/"), self.archive.names)

    def test_pages_are_ascii(self):
        for name in ("/index.html", "/patterns.html", "/contents.hhc", "/style.css"):
            data = self.archive.text(name)
            bad = [i for i, b in enumerate(data) if b > 0x7E or (b < 0x20 and b not in (9, 10, 13))]
            self.assertEqual(bad, [], "%s has non-ASCII bytes at %s" % (name, bad[:5]))

    def test_pattern_page_shows_the_readme_examples(self):
        raw = self.archive.text("/patterns.html").decode("ascii")
        shown = self.page("/patterns.html").patterns
        for pattern in readme_patterns(ARGS.readme):
            with self.subTest(pattern=pattern):
                self.assertIn(pattern, shown)
                self.assertIn(html.escape(pattern, quote=False), raw)

    def test_links_point_into_the_archive(self):
        pages = {name: self.page(name) for name in ("/index.html", "/patterns.html", "/contents.hhc")}
        checked = 0
        for name, page in pages.items():
            for link in page.links:
                with self.subTest(page=name, link=link):
                    self.assertNotRegex(link, r"^[a-zA-Z][a-zA-Z0-9+.-]*:", "links leave the help file")
                    target, _, anchor = link.partition("#")
                    target = "/" + target if target else name
                    self.assertIn(target, self.archive.names)
                    if anchor:
                        anchors = pages[target].anchors if target in pages else self.page(target).anchors
                        self.assertIn(anchor, anchors)
                    checked += 1
        self.assertGreater(checked, 20)
        for name in ("/index.html", "/patterns.html"):
            self.assertIn("main-window.png" if name == "/index.html" else "index.html", pages[name].links)

    def test_worked_examples_are_what_veltrano_does(self):
        if not ARGS.veltrano:
            self.skipTest("no --veltrano given")
        examples = self.page("/patterns.html").examples
        self.assertGreaterEqual(len(examples), 10)
        self.assertTrue(any(e["refusal"] for e in examples) and any(e["nothing"] for e in examples))
        routes = {"/ex%d/" % i: e["page"] for i, e in enumerate(examples)}
        with PageServer(routes) as server:
            for i, example in enumerate(examples):
                with self.subTest(pattern=example["pattern"]):
                    self.assertTrue(example["pattern"] and example["page"], example)
                    outcomes = bool(example["results"]) + bool(example["refusal"]) + example["nothing"]
                    self.assertEqual(outcomes, 1, "an example claims exactly one outcome: %r" % example)
                    self.check_example(example, "http://127.0.0.1:%d/ex%d/" % (server.port, i))

    def check_example(self, example, url):
        cwd = tempfile.mkdtemp(prefix="veltrano-help-example-")
        try:
            proc = subprocess.run([ARGS.veltrano, "-q", "-g", "custom", "-p", example["pattern"], url], cwd=cwd,
                                  stdin=subprocess.DEVNULL, capture_output=True, timeout=60)
        finally:
            shutil.rmtree(cwd, ignore_errors=True)
        out = proc.stdout.decode("latin-1").splitlines()
        err = proc.stderr.decode("latin-1")
        if example["refusal"]:
            self.assertEqual(proc.returncode, 2, err)
            # The command line words the window's pointer to the manual its own way.
            self.assertIn(example["refusal"].split(". ")[0] + ".", err)
            self.assertEqual(out, [])
        else:
            self.assertEqual(proc.returncode, 0, err)
            self.assertEqual(out, example["results"])


class PageServer:
    """Serves the example pages on 127.0.0.1; every other address is a 404 with no body."""

    def __init__(self, routes):
        pages = {path: text.encode("latin-1") for path, text in routes.items()}

        class Handler(http.server.BaseHTTPRequestHandler):
            def do_GET(self):
                body = pages.get(self.path)
                self.send_response(200 if body is not None else 404)
                self.send_header("Content-Type", "text/html")
                self.send_header("Content-Length", str(len(body or b"")))
                self.end_headers()
                self.wfile.write(body or b"")

            def log_message(self, *args):
                pass

        self.server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        self.port = self.server.server_address[1]
        self.thread = threading.Thread(target=self.server.serve_forever, daemon=True)

    def __enter__(self):
        self.thread.start()
        return self

    def __exit__(self, *exc):
        self.server.shutdown()
        self.server.server_close()


def main():
    global ARGS
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("chm")
    parser.add_argument("--veltrano", help="the command line, to run the worked examples with")
    parser.add_argument("--readme", default=DEFAULT_README)
    ARGS, rest = parser.parse_known_args()
    ARGS.chm = os.path.abspath(ARGS.chm)
    if ARGS.veltrano:
        ARGS.veltrano = os.path.abspath(ARGS.veltrano)
    unittest.main(argv=[sys.argv[0], "-v"] + rest)


if __name__ == "__main__":
    main()
