"""End-to-end tests of the veltrano command line ($VELTRANO_BIN, or build/native/veltrano).

Each test runs the binary in a fresh temporary folder against its class's fixture
server on 127.0.0.1, and compares the files it leaves byte for byte with contents
written out here by hand.
"""

import os
import pty
import re
import resource
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from fixture_server import FixtureServer, Page, Redirect, closed_port  # noqa: E402

REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
BIN = os.environ.get("VELTRANO_BIN") or os.path.join(REPO, "build", "native", "veltrano")
RUN_TIMEOUT = 60  # seconds for one whole run of the binary
# Most stories follow the requests one by one, so they run with one
# connection; ParallelTests compare it with several.
ONE_AT_A_TIME = [BIN, "-c", "1"]

COMPLETED = "The project is completed successfully!"
LEAF = "<html><body><p>leaf</p></body></html>\n"


def crlf(lines):
    """A list file as the project writes it: every line ended by CR LF."""
    return b"".join(line.encode("utf-8") + b"\r\n" for line in lines)


def page_file(rows):
    """A page file: address line, then the "Result" cell line, for each row."""
    return crlf([cell for row in rows for cell in row])


class CliTestCase(unittest.TestCase):
    """Runs the binary in a temporary folder of its own per test."""

    routes = {}

    @classmethod
    def setUpClass(cls):
        if not (os.path.isfile(BIN) and os.access(BIN, os.X_OK)):
            raise AssertionError("veltrano binary not found at %s (set VELTRANO_BIN)" % BIN)
        cls.server = FixtureServer(cls.routes)
        cls.base = cls.server.base_url
        cls.site = cls.base + "/"

    @classmethod
    def tearDownClass(cls):
        cls.server.stop()

    def setUp(self):
        self.cwd = tempfile.mkdtemp(prefix="veltrano-e2e-")
        self.addCleanup(shutil.rmtree, self.cwd, ignore_errors=True)
        self.server.clear_log()

    def run_cli(self, *args):
        return subprocess.run([*ONE_AT_A_TIME, *args], cwd=self.cwd, stdin=subprocess.DEVNULL,
                              capture_output=True, timeout=RUN_TIMEOUT)

    def assert_exit(self, proc, code):
        self.assertEqual(proc.returncode, code,
                         "exit status %r, stderr:\n%s" % (proc.returncode, proc.stderr.decode(errors="replace")))

    def stdout_lines(self, proc):
        out = proc.stdout.decode("utf-8")
        if out:
            self.assertTrue(out.endswith("\n"), "stdout does not end with a line end: %r" % out[-80:])
        return out.splitlines()

    def path(self, *parts):
        return os.path.join(self.cwd, *parts)

    def file_bytes(self, *parts):
        with open(self.path(*parts), "rb") as f:
            return f.read()

    def assert_project_file(self, name, suffix, expected):
        self.assertEqual(self.file_bytes("Projects", name + suffix), expected, "Projects/%s%s" % (name, suffix))

    def assert_no_temp_file(self):
        self.assertFalse(os.path.exists(self.path("tmp.txt")), "tmp.txt left behind")

    def assert_settings(self, name, grab_type=0, skip_mask=""):
        """Checks NAME.ini line by line, and that its TRAFFIC is what the server sent since its log was cleared."""
        data = self.file_bytes("Projects", name + ".ini")
        match = re.fullmatch(rb"\[ MAIN \]\r\nTIMER_SEC = [0-9]+\r\nTIMER_MIN = [0-9]+\r\nTIMER_HOUR = [0-9]+\r\n"
                             rb"TRAFFIC = ([0-9]+)\r\nGRAB_TYPE = %d\r\nSKIP_MASK = %s\r\n"
                             % (grab_type, re.escape(skip_mask.encode())), data)
        self.assertIsNotNone(match, data)
        self.assertEqual(int(match.group(1)), sum(e.body_bytes for e in self.server.log()), "TRAFFIC")

    def assert_only_this_server(self):
        host = "127.0.0.1:%d" % self.server.port
        for entry in self.server.log():
            self.assertEqual((entry.method, entry.client, entry.host), ("GET", "127.0.0.1", host), entry.target)


class LinkSiteTests(CliTestCase):
    """Links mode: which links become pages, which become results."""

    routes = {
        "/": """<html><head><title>Home</title></head><body>
<a href="a.html">A</a> <A HREF ="b.htm">B</A>
<a class="x" href="hidden.html">styled, not a link for the crawler</a> <a href=c.html>no quotes</a>
<ahref="glued.html">no blank after a</a> <a  href="pic.jpg">picture</a>
<a href="http://localhost:@PORT@/other.html">same machine, other host name</a> <a href='d.php'>D</a>
</body></html>
""",
        "/a.html": """<p>Page A</p> <a href="/">home</a> <a href="b.htm">B again</a>
< a href="sub/">sub folder</a> <a href="doc.pdf">manual</a>
""",
        "/b.htm": """<a href="A.HTML">A in capitals</a> <a href="mailto:me@example.com">mail</a>\n""",
        "/d.php": """<a href="e.cgi">E</a> <a href="f.aspx">F</a>
<a href="g.HTML">upper-case extension</a> <a href="notes.html5">H5</a>\n""",
        "/sub/": """<a href="../a.html">up</a> <a href="x.html">X</a>""",
        "/g.HTML": "<a href='trap-g.html'>must not be fetched</a>",
        **dict.fromkeys(["/e.cgi", "/f.aspx", "/sub/x.html", "/hidden.html", "/c.html", "/glued.html"], LEAF),
    }
    requests = ["/", "/a.html", "/b.htm", "/d.php", "/sub/", "/e.cgi", "/f.aspx", "/sub/x.html"]

    def pages(self):
        return page_file([(self.base + a, "OK") for a in self.requests])

    def all_results(self):
        b = self.base
        return [b + "/a.html", b + "/b.htm", b + "/pic.jpg", "http://localhost:%d/other.html" % self.server.port,
                b + "/d.php", b + "/", b + "/sub/", b + "/doc.pdf", "mailto:me@example.com",
                b + "/e.cgi", b + "/f.aspx", b + "/g.HTML", b + "/notes.html5", b + "/sub/x.html"]

    def test_every_link_is_a_result_when_no_extension_is_given(self):
        # Without -q: whatever progress is shown must stay off stdout.
        proc = self.run_cli("-P", "site", "-o", "found.txt", self.site)
        self.assert_exit(proc, 0)
        self.assertIn(COMPLETED, proc.stderr.decode())
        # Near-miss anchors are no links; A.HTML repeats a.html but for case.
        self.assertEqual(self.stdout_lines(proc), self.all_results())
        self.assertEqual(self.file_bytes("found.txt"), crlf(self.all_results()))
        self.assert_project_file("site", "_page.txt", self.pages())
        self.assert_project_file("site", "_result.txt", crlf(self.all_results()))
        self.assert_project_file("site", "_extension.txt", b"")
        self.assertFalse(os.path.exists(self.path("Projects", "site_pattern.txt")))
        # Breadth first, each page once, only from this server.
        self.assertEqual(self.server.targets(), self.requests)
        self.assert_only_this_server()
        self.assert_settings("site")
        self.assert_no_temp_file()

    def test_extensions_filter_results_but_not_pages(self):
        b = self.base
        cases = [
            (["-e", "pdf, jpg", "-e", "html5"], ["pdf", "jpg", "html5"],
             [b + "/pic.jpg", b + "/doc.pdf", b + "/notes.html5"]),
            # Results are not held to the site: the other host's page is one.
            (["--preset", "html"], ["htm", "html", "php", "aspx", "cgi"],
             [b + "/a.html", b + "/b.htm", "http://localhost:%d/other.html" % self.server.port,
              b + "/d.php", b + "/e.cgi", b + "/f.aspx", b + "/sub/x.html"]),
            # Case sensitive; a.html is no result here, so A.HTML is no repeat.
            (["-e", "HTML"], ["HTML"], [b + "/A.HTML", b + "/g.HTML"]),
        ]
        for number, (args, extensions, results) in enumerate(cases):
            with self.subTest(args=args):
                self.server.clear_log()
                name = "ext%d" % number
                proc = self.run_cli("-q", "-P", name, *args, self.site)
                self.assert_exit(proc, 0)
                self.assertEqual(self.stdout_lines(proc), results)
                self.assert_project_file(name, "_result.txt", crlf(results))
                self.assert_project_file(name, "_extension.txt", crlf(extensions))
                self.assert_project_file(name, "_page.txt", self.pages())
                self.assertEqual(self.server.targets(), self.requests)

    def test_site_key_limits_pages_to_the_given_folder(self):
        proc = self.run_cli("-q", "-P", "sub", self.base + "/sub/")
        self.assert_exit(proc, 0)
        b = self.base
        self.assert_project_file("sub", "_page.txt", page_file([(b + "/sub/", "OK"), (b + "/sub/x.html", "OK")]))
        self.assert_project_file("sub", "_result.txt", crlf([b + "/a.html", b + "/sub/x.html"]))
        self.assertEqual(self.server.targets(), ["/sub/", "/sub/x.html"])

    def test_paused_crawl_continues_to_the_files_of_one_crawl_then_is_refused_until_new(self):
        b = self.base
        first = self.run_cli("-q", "-P", "p", "--max-pages", "3", self.site)
        self.assert_exit(first, 3)
        self.assertNotIn(COMPLETED, first.stderr.decode())
        self.assert_project_file("p", "_page.txt", page_file(
            [(b + "/", "OK"), (b + "/a.html", "OK"), (b + "/b.htm", "OK"), (b + "/d.php", ""), (b + "/sub/", "")]))
        self.assertEqual(self.stdout_lines(first), self.all_results()[:9])
        self.assert_project_file("p", "_result.txt", crlf(self.all_results()[:9]))
        self.assertEqual(self.server.targets(), self.requests[:3])
        self.assert_no_temp_file()

        # The limit counts the pages of this run, not of the project.
        second = self.run_cli("-q", "-P", "p", "--max-pages", "2", self.site)
        self.assert_exit(second, 3)
        self.assertEqual(self.stdout_lines(second), self.all_results()[9:])
        self.assertEqual(self.server.targets(), self.requests[:5])

        third = self.run_cli("-q", "-P", "p", self.site)
        self.assert_exit(third, 0)
        self.assertIn(COMPLETED, third.stderr.decode())
        self.assertEqual(third.stdout, b"")
        self.assertEqual(self.server.targets(), self.requests)
        self.assert_settings("p")
        paused = {s: self.file_bytes("Projects", "p" + s) for s in ("_page.txt", "_result.txt", "_extension.txt")}
        self.assertEqual(paused["_page.txt"], self.pages())
        self.assertEqual(paused["_result.txt"], crlf(self.all_results()))
        self.assert_no_temp_file()

        # A completed project is refused, untouched, until started afresh.
        self.server.clear_log()
        again = self.run_cli("-q", "-P", "p", self.site)
        self.assert_exit(again, 2)
        self.assertIn("This project is complete. To crawl its site again from the start, add --new.",
                      again.stderr.decode())
        self.assertEqual(again.stdout, b"")
        self.assertEqual(self.server.targets(), [])
        self.assert_project_file("p", "_page.txt", paused["_page.txt"])

        fresh = self.run_cli("-q", "-P", "p", "--new", self.site)
        self.assert_exit(fresh, 0)
        self.assertEqual(self.stdout_lines(fresh), self.all_results())
        self.assertEqual(self.server.targets(), self.requests)
        for suffix, data in paused.items():
            self.assert_project_file("p", suffix, data)
        self.assert_settings("p")


class AllLinksTests(CliTestCase):
    """--thorough: pages read as a browser reads them."""

    routes = {
        "/": """<!DOCTYPE html><html><head><link rel="stylesheet" href="css/site.css">
<style>body { background: url('img/bg.png') }</style></head><body>
<a class="reference internal" href="guide/intro.html#start">Intro</a>
<!-- <a href="old.html">old</a> --><script>var a = '<a href="js.html">';</script>
<img src="img/logo.png" srcset="img/logo-2x.png 2x, img/logo-3x.png 3x" alt="">
<iframe src="frame.html"></iframe><a href="http://elsewhere.invalid/x.png">off site</a>
</body></html>
""",
        "/guide/intro.html": """<base href="/guide/v2/"><map><area href="map.html" shape=rect></map>
<A TITLE='x' HREF='next.html?a=1&amp;b=2'>next</A><img src="../shot.png">""",
        "/guide/v2/map.html": LEAF,
        "/guide/v2/next.html?a=1&b=2": '<div style="background-image:url(deco.png)"></div>',
        "/frame.html": '<meta http-equiv="refresh" content="0; url=moved.html">',
        "/moved.html": LEAF,
    }

    def test_pages_and_images_a_browser_would_load(self):
        proc = self.run_cli("-q", "--thorough", "-e", "png", "-P", "all", self.site)
        self.assert_exit(proc, 0)
        b = self.base
        results = [b + "/img/bg.png", b + "/img/logo.png", b + "/img/logo-2x.png", b + "/img/logo-3x.png",
                   "http://elsewhere.invalid/x.png", b + "/guide/shot.png", b + "/guide/v2/deco.png"]
        self.assertEqual(self.stdout_lines(proc), results)
        pages = ["/", "/guide/intro.html", "/frame.html", "/guide/v2/map.html", "/guide/v2/next.html?a=1&b=2",
                 "/moved.html"]
        self.assert_project_file("all", "_page.txt", page_file([(b + p, "OK") for p in pages]))
        self.assert_project_file("all", "_result.txt", crlf(results))
        self.assert_settings("all", grab_type=2)
        self.assertEqual(self.server.targets(), pages)
        # The project keeps the mode: crawled again without the option, it finds the same.
        proc = self.run_cli("-q", "--new", "-P", "all")
        self.assert_exit(proc, 0)
        self.assertEqual(self.stdout_lines(proc), results)


class RedirectAndFolderTests(CliTestCase):
    """Redirects and relative links in folders."""

    routes = {
        "/": """<a href="old/start.html">moved</a> <a href="chain1.html">chain</a>""",
        "/old/start.html": Redirect("/new/dir/page.html", 301),
        "/new/dir/page.html": """<a href="../sibling.html">up one</a> <a href="./child.html">here</a>
<a href="/abs.html">absolute path</a> <a href="?view=list">query only</a> <a href="child.html#part2">fragment</a>
<a href="//127.0.0.1:@PORT@/net.html">network path</a>""",
        "/new/dir/page.html?view=list": LEAF,
        "/chain1.html": Redirect("chain2.html", 302),
        "/chain2.html": Redirect("@BASE@/final/end.html", 301),
        "/final/end.html": """<a href="more.html">more</a> <a href="../top.html">top</a>""",
        **dict.fromkeys(["/new/sibling.html", "/new/dir/child.html", "/abs.html", "/net.html",
                         "/final/more.html", "/top.html"], LEAF),
    }

    def test_links_resolve_against_the_address_a_redirect_led_to(self):
        proc = self.run_cli("-q", "-P", "r", self.site)
        self.assert_exit(proc, 0)
        b = self.base
        pages = ["/", "/old/start.html", "/chain1.html", "/new/sibling.html", "/new/dir/child.html",
                 "/abs.html", "/new/dir/page.html?view=list", "/new/dir/child.html#part2", "/net.html",
                 "/final/more.html", "/top.html"]
        self.assert_project_file("r", "_page.txt", page_file([(b + p, "OK") for p in pages]))
        results = [b + p for p in pages[1:]]
        self.assertEqual(self.stdout_lines(proc), results)
        self.assert_project_file("r", "_result.txt", crlf(results))
        self.assertEqual(self.server.targets(), [
            "/", "/old/start.html", "/new/dir/page.html", "/chain1.html", "/chain2.html", "/final/end.html",
            "/new/sibling.html", "/new/dir/child.html", "/abs.html", "/new/dir/page.html?view=list",
            "/new/dir/child.html", "/net.html", "/final/more.html", "/top.html"])
        self.assert_only_this_server()
        self.assert_no_temp_file()


class FailureTests(CliTestCase):
    """Failures are written into the "Result" cells and not parsed."""

    routes = {
        "/": """<a href="missing.html">404</a> <a href="gone.html">410</a>
<a href="auth.html">401</a> <a href="boom.html">500</a>
<a href="moved.html">redirect to a 404</a> <a href="fine.html">fine</a>""",
        "/missing.html": Page("<a href='trap1.html'>error page link</a>", status=404),
        "/gone.html": Page("<a href='trap2.html'>error page link</a>", status=410),
        "/auth.html": Page("<a href='trap3.html'>login</a>", status=401,
                           headers={"WWW-Authenticate": 'Basic realm="fixture"'}),
        "/boom.html": Page("<a href='trap4.html'>server error</a>", status=500),
        "/moved.html": Redirect("/nowhere.html", 302),
        "/fine.html": """<a href="after.html">after</a>""",
        "/after.html": LEAF,
    }

    def test_failures_are_recorded_in_result_cells_and_reported(self):
        proc = self.run_cli("-P", "f", self.site)
        self.assert_exit(proc, 0)
        b = self.base
        not_found, failure = "INET_E_OBJECT_NOT_FOUND", "INET_E_DOWNLOAD_FAILURE"
        rows = [(b + "/", "OK"), (b + "/missing.html", not_found), (b + "/gone.html", not_found),
                (b + "/auth.html", "INET_E_AUTHENTICATION_REQUIRED"), (b + "/boom.html", failure),
                (b + "/moved.html", not_found), (b + "/fine.html", "OK"), (b + "/after.html", "OK")]
        reported = [line for line in proc.stderr.decode().splitlines() if line.startswith("failed: ")]
        self.assertEqual(reported[0], "failed: %s/missing.html: %s (the server has no such page)" % (b, not_found))
        self.assertEqual([line.split(": ")[1] for line in reported], [a for a, r in rows if r != "OK"])
        self.assert_project_file("f", "_page.txt", page_file(rows))
        results = [address for address, _ in rows[1:]]
        self.assert_project_file("f", "_result.txt", crlf(results))
        self.assertEqual(self.stdout_lines(proc), results)
        # Error pages are not parsed: none of their links was followed.
        self.assertEqual(self.server.targets(), ["/", "/missing.html", "/gone.html", "/auth.html", "/boom.html",
                                                 "/moved.html", "/nowhere.html", "/fine.html", "/after.html"])
        self.assert_no_temp_file()

    def test_a_crawl_that_downloads_nothing_says_so(self):
        site = "http://127.0.0.1:%d/" % closed_port()
        proc = self.run_cli("-q", "-P", "down", site)
        self.assert_exit(proc, 4)
        self.assertIn("Not one page could be downloaded", proc.stderr.decode())
        self.assert_project_file("down", "_page.txt", page_file([(site, "INET_E_CANNOT_CONNECT")]))
        self.assert_project_file("down", "_result.txt", b"")
        self.assertEqual(proc.stdout, b"")
        self.assert_no_temp_file()


class SkipMaskTests(CliTestCase):
    """The skip page mask."""

    routes = {
        "/": """<a href="private.html">1</a> <a href="Privacy.html?x=1">2</a>
<a href="public.html">3</a> <a href="priv/index.html">4</a> <a href="docs/priv-notes.html">5</a>""",
        "/private.html": "<a href='secret.html'>never read</a>",
        "/Privacy.html": "<a href='secret2.html'>never read</a>",
        "/public.html": LEAF,
        "/priv/index.html": "<a href='../public.html'>back</a>",
        "/docs/priv-notes.html": LEAF,
    }

    def test_pages_whose_file_name_begins_with_the_mask_are_skipped(self):
        proc = self.run_cli("-q", "-P", "s", "-s", "PRIV", self.site)
        self.assert_exit(proc, 0)
        self.assertIn(COMPLETED, proc.stderr.decode())
        b = self.base
        rows = [(b + "/", "OK"), (b + "/private.html", "SKIPPED"), (b + "/Privacy.html?x=1", "SKIPPED"),
                (b + "/public.html", "OK"), (b + "/priv/index.html", "OK"), (b + "/docs/priv-notes.html", "SKIPPED")]
        self.assert_project_file("s", "_page.txt", page_file(rows))
        self.assert_project_file("s", "_result.txt", crlf([address for address, _ in rows[1:]]))
        # Skipped pages are neither downloaded nor parsed.
        self.assertEqual(self.server.targets(), ["/", "/public.html", "/priv/index.html"])
        self.assert_settings("s", skip_mask="PRIV")
        self.assert_no_temp_file()


class CustomModeTests(CliTestCase):
    """Custom mode: text patterns."""

    routes = {
        "/": """<html><head><title> Home Page </title></head><body>
<h1>Welcome</h1> <p>code : alpha; code: beta; code : gamma;</p> <a href="p2.html">next</a>
</body></html>""",
        "/p2.html": """<html><head><TITLE>Second</TITLE></head><body>
<h1 class="big">attribute in the way</h1> <H1 >Big news</H1> <a href="p3.html">more</a>
</body></html>""",
        "/p3.html": "<title>Home Page</title><h1>Welcome</h1>",
    }
    patterns = ["<title > </title>", "<h1 > </h1>", "code  : ;"]

    def test_captures_of_each_pattern_are_results(self):
        args = [a for p in self.patterns for a in ("-p", p)]
        proc = self.run_cli("-q", "-P", "cu", "-g", "custom", *args, self.site)
        self.assert_exit(proc, 0)
        results = ["Home Page", "Welcome", "alpha", "gamma", "Second", "Big news"]
        self.assertEqual(self.stdout_lines(proc), results)
        b = self.base
        self.assert_project_file("cu", "_page.txt", page_file([
            (b + "/", "OK"), (b + "/p2.html", "OK"), (b + "/p3.html", "OK")]))
        self.assert_project_file("cu", "_result.txt", crlf(results))
        self.assert_project_file("cu", "_pattern.txt", crlf(self.patterns))
        self.assertFalse(os.path.exists(self.path("Projects", "cu_extension.txt")))
        self.assert_settings("cu", grab_type=1)
        self.assert_no_temp_file()

    def test_missing_or_short_pattern_is_refused(self):
        cases = [((), "The custom grab mode needs a text pattern: add one with -p."),
                 (("-p", "<b > </b>", "-p", "<i >"), "Pattern number 2 is invalid. A pattern needs at least three tokens")]
        for args, message in cases:
            with self.subTest(args=args):
                proc = self.run_cli("-q", "-P", "bad", "-g", "custom", *args, self.site)
                self.assert_exit(proc, 2)
                self.assertIn(message, proc.stderr.decode())
                self.assertEqual(proc.stdout, b"")
                self.assertEqual(self.server.targets(), [])
                self.assert_no_temp_file()


class StopTests(CliTestCase):
    """Ctrl-C, SIGTERM, SIGHUP and a closed standard output stop at once and save."""

    routes = {"/": "".join('<a href="s%d.html">%d</a>\n' % (i, i) for i in range(1, 5)),
              "/s1.html": LEAF, "/s2.html": LEAF, "/s3.html": LEAF, "/s4.html": LEAF,
              "/chain/": '<a href="c1.html">1</a>',
              **{"/chain/c%d.html" % i: '<a href="c%d.html">next</a>' % (i + 1) for i in range(1, 40)}}

    def start_held(self, target, *args, **popen):
        """Starts the binary with `target` held, once it has been asked for."""
        gate = self.server.hold(target)
        self.addCleanup(gate.set)
        proc = subprocess.Popen([*ONE_AT_A_TIME, *args], cwd=self.cwd, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE, **popen)
        self.addCleanup(lambda: proc.poll() is None and (proc.kill(), proc.communicate()))
        self.assertTrue(self.server.wait_for_request(target), "the crawler never asked for " + target)
        return proc, gate

    def test_a_stop_breaks_the_page_off_saves_and_can_be_continued(self):
        b = self.base
        results = [b + "/s%d.html" % i for i in range(1, 5)]
        for number, sig in enumerate((signal.SIGINT, signal.SIGTERM, signal.SIGHUP)):
            with self.subTest(signal=sig.name):
                self.server.clear_log()
                name = "stop%d" % number
                # The page stays held: only breaking it off ends the run.
                proc, gate = self.start_held("/s2.html", "-q", "-P", name, "-o", name + ".txt", b + "/")
                proc.send_signal(sig)
                out, err = proc.communicate(timeout=RUN_TIMEOUT)
                self.assertEqual(proc.returncode, 3, err.decode(errors="replace"))
                self.assertIn(b"Stopping:", err)
                self.assert_no_temp_file()
                self.assertEqual(out.decode().splitlines(), results)
                rows = [(b + "/", "OK"), (results[0], "OK")] + [(r, "") for r in results[1:]]
                self.assert_project_file(name, "_page.txt", page_file(rows))
                self.assertEqual(self.file_bytes(name + ".txt"), crlf(results))
                gate.set()

        rest = self.run_cli("-q", "-P", "stop0", b + "/")
        self.assert_exit(rest, 0)
        self.assert_project_file("stop0", "_page.txt", page_file([(b + "/", "OK")] + [(r, "OK") for r in results]))

    def test_a_second_interrupt_never_leaves_a_page_file(self):
        proc, _ = self.start_held("/s2.html", "-q", self.base + "/")
        proc.send_signal(signal.SIGINT)
        proc.send_signal(signal.SIGINT)
        proc.communicate(timeout=RUN_TIMEOUT)
        self.assertIn(proc.returncode, (3, 130))
        self.assert_no_temp_file()

    def test_a_closed_output_stops_the_crawl_like_a_stop(self):
        proc, gate = self.start_held("/chain/c5.html", "-P", "piped", self.base + "/chain/")
        self.assertEqual(proc.stdout.readline().decode().strip(), self.base + "/chain/c1.html")
        proc.stdout.close()  # as `| head -1` does
        gate.set()
        err = proc.stderr.read()
        proc.wait(timeout=RUN_TIMEOUT)
        self.assertEqual(proc.returncode, 3, err.decode(errors="replace"))
        self.assertNotIn(b"Broken pipe", err)
        self.assertIn(b"The current project is saved successfully.", err)
        self.assertIn(b"\r\n\r\n", self.file_bytes("Projects", "piped_page.txt"))  # rows left for later
        self.assert_no_temp_file()


class HostileFolderTests(CliTestCase):
    """Names, files and folders that are not what they should be."""

    routes = {"/": '<a href="a.html">a</a> ' * 1 + "".join('<a href="p%03d.html">.</a>' % i for i in range(150)),
              "/a.html": LEAF}

    def test_a_project_name_names_no_other_place(self):
        for name in ("../outside", "a/b", "..", "", "tab\there"):
            with self.subTest(name=name):
                proc = self.run_cli("-q", "-P", name, self.site)
                self.assert_exit(proc, 2)
                self.assertEqual(self.server.targets(), [])
        self.assertEqual(sorted(os.listdir(self.cwd)), [])
        # Blanks around a name are no part of it, for loading and for saving alike.
        self.assert_exit(self.run_cli("-q", "-P", " demo ", "--max-pages", "1", self.site), 3)
        self.assert_exit(self.run_cli("-q", "-P", "demo", "--max-pages", "1", self.site), 3)
        self.assertEqual(self.server.targets(), ["/", "/a.html"])

    def test_the_page_file_is_never_written_through_a_link_or_into_a_fifo(self):
        with open(self.path("victim.txt"), "wb") as f:
            f.write(b"keep me")
        os.symlink("victim.txt", self.path("tmp.txt"))
        self.assert_exit(self.run_cli("-q", "--max-pages", "1", self.site), 3)
        self.assertEqual(self.file_bytes("victim.txt"), b"keep me")
        self.assert_no_temp_file()
        os.mkfifo(self.path("tmp.txt"))
        self.assert_exit(self.run_cli("-q", "--max-pages", "1", self.site), 3)
        self.assert_no_temp_file()

    def test_a_page_that_cannot_be_stored_stops_the_crawl_for_later(self):
        os.makedirs(self.path("tmp.txt", "in the way"))
        proc = self.run_cli("-q", "-P", "blocked", self.site)
        self.assert_exit(proc, 1)
        self.assertIn("cannot store the page here: tmp.txt: ", proc.stderr.decode())
        self.assert_project_file("blocked", "_page.txt", page_file([(self.site, "")]))
        self.assertEqual(self.server.targets(), [])
        shutil.rmtree(self.path("tmp.txt"))
        self.assert_exit(self.run_cli("-q", "-P", "blocked", "--max-pages", "1", self.site), 3)
        self.assertEqual(self.server.targets(), ["/"])

    def test_a_full_disk_during_a_save_keeps_the_old_project_whole(self):
        self.assert_exit(self.run_cli("-q", "-P", "full", "--max-pages", "1", self.site), 3)
        old = {s: self.file_bytes("Projects", "full" + s) for s in (".ini", "_page.txt", "_result.txt")}

        def small_disk():
            import resource
            signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
            # Room for the page, none for the list of the pages it links.
            resource.setrlimit(resource.RLIMIT_FSIZE, (5000, 5000))
        proc = subprocess.run([*ONE_AT_A_TIME, "-q", "-P", "full", "--max-pages", "1", "-o", "found.txt", self.site],
                              cwd=self.cwd, stdin=subprocess.DEVNULL, capture_output=True, timeout=RUN_TIMEOUT,
                              preexec_fn=small_disk)
        self.assertEqual(proc.returncode, 1, proc.stderr.decode(errors="replace"))
        self.assertIn("cannot write ./Projects/full_page.txt: File too large", proc.stderr.decode())
        for suffix, data in old.items():
            self.assertEqual(self.file_bytes("Projects", "full" + suffix), data, suffix)
        self.assertEqual([f for f in os.listdir(self.path("Projects")) if f.endswith(".saving")], [])

    def test_an_output_file_that_cannot_be_written_fails_the_run(self):
        with open(self.path("found.txt"), "wb") as f:
            f.write(b"old\r\n")
        os.mkdir(self.path("found.txt.saving"))  # where the new file would be assembled
        proc = self.run_cli("-q", "-o", "found.txt", "--max-pages", "1", self.site)
        self.assert_exit(proc, 1)
        self.assertIn("cannot write found.txt: Is a directory", proc.stderr.decode())
        self.assertEqual(self.file_bytes("found.txt"), b"old\r\n")

    def test_two_runs_in_one_folder_do_not_share_it(self):
        gate = self.server.hold("/a.html")
        self.addCleanup(gate.set)
        first = subprocess.Popen([*ONE_AT_A_TIME, "-q", self.site], cwd=self.cwd, stdin=subprocess.DEVNULL,
                                 stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        self.addCleanup(lambda: first.poll() is None and (first.kill(), first.communicate()))
        self.assertTrue(self.server.wait_for_request("/a.html"))
        second = self.run_cli("-q", self.site)
        self.assert_exit(second, 2)
        self.assertIn("another veltrano is crawling in this folder", second.stderr.decode())
        first.send_signal(signal.SIGINT)
        first.communicate(timeout=RUN_TIMEOUT)


class BigProjectTests(CliTestCase):
    """A project of millions of rows."""

    routes = {"/p4999999.html": LEAF}

    def test_ten_million_lines_load_in_memory_proportional_to_them_and_continue(self):
        rows = 5_000_000
        os.mkdir(self.path("Projects"))
        with open(self.path("Projects", "big_page.txt"), "wb") as f:
            f.write("".join("%s/p%d.html\r\nOK\r\n" % (self.base, i) for i in range(rows - 1)).encode())
            f.write(("%s/p%d.html\r\n\r\n" % (self.base, rows - 1)).encode())
        for name, data in (("big.ini", b"[ MAIN ]\r\nGRAB_TYPE = 0\r\n"), ("big_result.txt", b""),
                           ("big_extension.txt", b"")):
            with open(self.path("Projects", name), "wb") as f:
                f.write(data)
        size = os.path.getsize(self.path("Projects", "big_page.txt"))
        before = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss
        proc = subprocess.run([*ONE_AT_A_TIME, "-q", "-P", "big"], cwd=self.cwd, stdin=subprocess.DEVNULL, capture_output=True,
                              timeout=RUN_TIMEOUT * 5)
        self.assertEqual(proc.returncode, 0, proc.stderr.decode(errors="replace"))
        self.assertEqual(self.server.targets(), ["/p%d.html" % (rows - 1)])
        with open(self.path("Projects", "big_page.txt"), "rb") as f:
            f.seek(-64, os.SEEK_END)
            self.assertTrue(f.read().endswith(b"/p%d.html\r\nOK\r\n" % (rows - 1)))
        self.assertEqual(os.path.getsize(self.path("Projects", "big_page.txt")), size + 2)
        peak = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss * 1024
        with open(BIN, "rb") as binary:
            sanitized = b"__asan_init" in binary.read()
        if peak > before * 1024 and not sanitized:  # the address sanitizer keeps memory of its own
            self.assertLess(peak, 5 * size + 64 * 1024 * 1024, "peak %d bytes for a page file of %d" % (peak, size))


class ParallelTests(unittest.TestCase):
    """Several downloads at once give the files and output of one at a time."""

    def crawl(self, server, connections, *args):
        """One crawl in a folder of its own: its project files and standard output."""
        cwd = tempfile.mkdtemp(prefix="veltrano-c%d-" % connections)
        self.addCleanup(shutil.rmtree, cwd, ignore_errors=True)
        outputs = []
        for run in (args if args and isinstance(args[0], tuple) else (args,)):
            proc = subprocess.run([BIN, "-c", str(connections), "-P", "p", *run, server.base_url + "/"], cwd=cwd,
                                  stdin=subprocess.DEVNULL, capture_output=True, timeout=RUN_TIMEOUT)
            self.assertIn(proc.returncode, (0, 3), proc.stderr.decode(errors="replace"))
            outputs.append(proc.stdout)
        files = {}
        for name in sorted(os.listdir(os.path.join(cwd, "Projects"))):
            with open(os.path.join(cwd, "Projects", name), "rb") as f:
                data = f.read()
            files[name] = re.sub(rb"TIMER_SEC = [0-9]+", b"", data) if name.endswith(".ini") else data
        self.assertFalse(os.path.exists(os.path.join(cwd, "tmp.txt")))
        return files, outputs

    def test_the_files_and_output_of_eight_connections_are_those_of_one(self):
        sites = [("links", LinkSiteTests.routes, ()), ("redirects", RedirectAndFolderTests.routes, ()),
                 ("failures", FailureTests.routes, ()),
                 ("custom", CustomModeTests.routes,
                  ("-g", "custom", *[a for p in CustomModeTests.patterns for a in ("-p", p)])),
                 ("paused", LinkSiteTests.routes, (("--max-pages", "3"), ("--max-pages", "2"), ()))]
        for name, routes, args in sites:
            with self.subTest(site=name):
                server = FixtureServer(routes)
                self.addCleanup(server.stop)
                one = self.crawl(server, 1, *args)
                requests = len(server.targets())
                server.clear_log()
                eight = self.crawl(server, 8, *args)
                self.assertEqual(one, eight)
                self.assertGreater(len(one[0]), 2)
                # Pages fetched ahead and dropped at a pause are fetched again later.
                self.assertGreaterEqual(len(server.targets()), requests)

    def test_downloads_overlap_but_starts_keep_the_wait(self):
        routes = {"/": "".join('<a href="p%d.html">%d</a>' % (i, i) for i in range(8)),
                  **{"/p%d.html" % i: LEAF for i in range(8)}}
        server = FixtureServer(routes)
        self.addCleanup(server.stop)
        cwd = tempfile.mkdtemp(prefix="veltrano-overlap-")
        self.addCleanup(shutil.rmtree, cwd, ignore_errors=True)
        gates = [server.hold("/p%d.html" % i) for i in range(1, 4)]
        overlapping = subprocess.Popen([BIN, "-q", "-c", "4", server.base_url + "/"], stdin=subprocess.DEVNULL,
                                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, cwd=cwd)
        self.addCleanup(lambda: overlapping.poll() is None and overlapping.kill())
        # Four connections: the page in its turn and three ahead of it are asked for together.
        for target in ("/p0.html", "/p1.html", "/p2.html", "/p3.html"):
            self.assertTrue(server.wait_for_request(target), target)
        for gate in gates:
            gate.set()
        self.assertEqual(overlapping.wait(timeout=RUN_TIMEOUT), 0)

        server.clear_log()
        proc = subprocess.run([BIN, "-q", "-c", "8", "--wait", "0.2", server.base_url + "/"], cwd=cwd,
                              stdin=subprocess.DEVNULL, capture_output=True, timeout=RUN_TIMEOUT)
        self.assertEqual(proc.returncode, 0)
        starts = server.start_times()
        self.assertEqual(len(starts), 9)
        gaps = [later - earlier for earlier, later in zip(starts, starts[1:])]
        self.assertGreaterEqual(min(gaps), 0.19, gaps)


class RobotsTests(unittest.TestCase):
    """--robots: what a site's robots.txt forbids is not fetched."""

    pages = {"/": '<a href="open.html">o</a> <a href="private/a.html">a</a> <a href="private/ok.html">k</a>'
                  ' <a href="x.php?print=1">p</a>',
             "/open.html": LEAF, "/private/a.html": LEAF, "/private/ok.html": LEAF, "/x.php": LEAF}

    def crawl(self, robots, *args):
        routes = dict(self.pages)
        if robots is not None:
            routes["/robots.txt"] = robots
        server = FixtureServer(routes)
        self.addCleanup(server.stop)
        cwd = tempfile.mkdtemp(prefix="veltrano-robots-")
        self.addCleanup(shutil.rmtree, cwd, ignore_errors=True)
        proc = subprocess.run([BIN, "-q", "-c", "1", "-P", "r", *args, server.base_url + "/"], cwd=cwd,
                              stdin=subprocess.DEVNULL, capture_output=True, timeout=RUN_TIMEOUT)
        with open(os.path.join(cwd, "Projects", "r_page.txt"), "rb") as f:
            cells = f.read().decode().split("\r\n")[:-1]
        results = {address[len(server.base_url):]: result for address, result in zip(cells[::2], cells[1::2])}
        return proc, results, server.targets()

    def test_robots_rules_decide_which_pages_are_fetched(self):
        rules = ("User-agent: *\nDisallow: /\n\n"
                 "User-agent: Veltrano\nDisallow: /private/\nAllow: /private/ok$\nAllow: /private/ok.html$\n"
                 "Disallow: /*print=\n")
        proc, results, targets = self.crawl(rules, "--robots")
        self.assertEqual(proc.returncode, 0, proc.stderr.decode(errors="replace"))
        self.assertEqual(results, {"/": "OK", "/open.html": "OK", "/private/a.html": "DISALLOWED",
                                   "/private/ok.html": "OK", "/x.php?print=1": "DISALLOWED"})
        # Fetched once, before any page.
        self.assertEqual(targets, ["/robots.txt", "/", "/open.html", "/private/ok.html"])

    def test_a_missing_file_allows_all_and_a_broken_one_forbids_all(self):
        _, results, targets = self.crawl(None, "--robots")
        self.assertEqual(set(results.values()), {"OK"})
        self.assertEqual(targets[0], "/robots.txt")
        proc, results, targets = self.crawl(Page("down", status=500), "--robots")
        self.assertEqual(results, {"/": "DISALLOWED"})
        self.assertEqual(targets, ["/robots.txt"])
        self.assertEqual(proc.returncode, 4)
        # Without --robots the file is never asked for.
        _, results, targets = self.crawl("User-agent: *\nDisallow: /\n")
        self.assertNotIn("/robots.txt", targets)
        self.assertEqual(set(results.values()), {"OK"})


class TerminalTests(CliTestCase):
    """What strangers' pages may put into a terminal."""

    routes = {"/": "<title>\x1b]0;owned\x07Hi \x1b[31mred</title>"}

    def run_on_terminal(self, *args):
        main, side = pty.openpty()
        proc = subprocess.Popen([*ONE_AT_A_TIME, *args], cwd=self.cwd, stdin=subprocess.DEVNULL, stdout=side, stderr=side)
        os.close(side)
        shown = b""
        while True:
            try:
                chunk = os.read(main, 4096)
            except OSError:
                break
            if not chunk:
                break
            shown += chunk
        proc.wait(timeout=RUN_TIMEOUT)
        os.close(main)
        return proc, shown

    def test_control_bytes_are_escaped_on_a_terminal_only(self):
        args = ("-q", "-g", "custom", "-p", "<title > </title>", self.site)
        proc, shown = self.run_on_terminal(*args)
        self.assertEqual(proc.returncode, 0)
        self.assertIn(b"\\x1b]0;owned\\x07Hi \\x1b[31mred", shown)
        self.assertNotIn(b"\x1b", shown)
        piped = self.run_cli(*args)
        self.assertEqual(piped.stdout, b"\x1b]0;owned\x07Hi \x1b[31mred\n")


class UsageTests(CliTestCase):
    """Usage errors."""

    routes = {"/": LEAF}

    def test_usage_errors_exit_2_with_a_message_and_fetch_nothing(self):
        site = self.site
        no_site = "No web site to crawl: give it as SITE (see --help)."
        cases = [(["-q"], no_site), (["-q", "   "], no_site), (["--no-such-option", site], ""),
                 (["-g", "sideways", site], ""), (["--preset", "nope", site], ""), (["--max-pages", "0", site], ""),
                 (["--max-pages", "x", site], ""), (["--new", site], ""), ([site, site], ""), ([site, "-e"], "")]
        for args, message in cases:
            with self.subTest(args=args):
                proc = self.run_cli(*args)
                self.assert_exit(proc, 2)
                self.assertEqual(proc.stdout, b"")
                self.assertNotEqual(proc.stderr.strip(), b"")
                self.assertIn(message, proc.stderr.decode())
                self.assertEqual(self.server.targets(), [])
                self.assertFalse(os.path.exists(self.path("Projects")))
        self.assertIn("--max-pages", self.run_cli("--help").stdout.decode())

    def test_options_are_named_and_numbers_are_plain(self):
        for args, named in ((["-Zq", self.site], "unknown option -Z"), (["--nope=1", self.site], "--nope"),
                            (["--grab"], "option --grab needs a value"), (["--max-pages", "+5", self.site], ""),
                            (["--max-pages", " 5", self.site], ""), (["--page-timeout", "0", self.site], ""),
                            (["--max-page-size", "1e6", self.site], "")):
            with self.subTest(args=args):
                proc = self.run_cli(*args)
                self.assert_exit(proc, 2)
                self.assertIn(named, proc.stderr.decode())
        self.assertEqual(self.server.targets(), [])

    def test_a_site_without_a_scheme_is_taken_as_http(self):
        proc = self.run_cli("-q", "-P", "bare", "127.0.0.1:%d" % self.server.port)
        self.assert_exit(proc, 0)
        self.assert_project_file("bare", "_page.txt", page_file([(self.base, "OK")]))

    def test_help_names_the_help_pages(self):
        proc = self.run_cli("--help")
        self.assert_exit(proc, 0)
        usage = proc.stdout.decode()
        for page in ("patterns.html", "index.html"):
            with self.subTest(page=page):
                paths = re.findall(r"(/\S*/%s)\b" % re.escape(page), usage)
                self.assertEqual(len(paths), 1, usage)
                self.assertTrue(os.path.isfile(paths[0]), paths[0] + " does not exist")



if __name__ == "__main__":
    unittest.main()
