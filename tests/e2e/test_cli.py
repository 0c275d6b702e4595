"""End-to-end tests of the veltrano command line against local fixture sites.

Each test runs the binary in a fresh temporary working folder, against a
server of its class that listens on 127.0.0.1 with a port of its own, and
compares the files it leaves behind byte for byte with contents written out
here by hand.

The binary is $VELTRANO_BIN, or build/native/veltrano under the repository.
"""

import os
import re
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

COMPLETED = "The project is completed successfully!"

LEAF = "<html><body><p>leaf</p></body></html>\n"
SLOW_PAGE_SECONDS = 0.6  # how long each page of the interrupt tests takes


def crlf(lines):
    """A list file as the project writes it: every line ended by CR LF."""
    return b"".join(line.encode("utf-8") + b"\r\n" for line in lines)


def page_file(rows):
    """A page file: address line, then the "Result" cell line, for each row."""
    lines = []
    for address, result in rows:
        lines += [address, result]
    return crlf(lines)


class CliTestCase(unittest.TestCase):
    """Runs the binary in a temporary folder of its own per test."""

    routes = {}
    server = None

    @classmethod
    def setUpClass(cls):
        if not (os.path.isfile(BIN) and os.access(BIN, os.X_OK)):
            raise AssertionError("veltrano binary not found at %s (set VELTRANO_BIN)" % BIN)
        cls.server = FixtureServer(cls.routes).start()
        cls.base = cls.server.base_url

    @classmethod
    def tearDownClass(cls):
        if cls.server is not None:
            cls.server.stop()

    def setUp(self):
        self.cwd = tempfile.mkdtemp(prefix="veltrano-e2e-")
        self.addCleanup(shutil.rmtree, self.cwd, ignore_errors=True)
        self.server.clear_log()

    # -- running ------------------------------------------------------------
    def run_cli(self, *args, timeout=RUN_TIMEOUT):
        return subprocess.run([BIN, *args], cwd=self.cwd, stdin=subprocess.DEVNULL,
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                              timeout=timeout)

    def start_cli(self, *args):
        return subprocess.Popen([BIN, *args], cwd=self.cwd, stdin=subprocess.DEVNULL,
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE)

    def assert_exit(self, proc, code):
        self.assertEqual(proc.returncode, code,
                         "exit status %r, stderr:\n%s" % (proc.returncode, proc.stderr.decode(errors="replace")))

    def stdout_lines(self, proc):
        out = proc.stdout.decode("utf-8")
        if out:
            self.assertTrue(out.endswith("\n"), "stdout does not end with a line end: %r" % out[-80:])
        return out.splitlines()

    # -- files --------------------------------------------------------------
    def path(self, *parts):
        return os.path.join(self.cwd, *parts)

    def project_bytes(self, name, suffix):
        with open(self.path("Projects", name + suffix), "rb") as f:
            return f.read()

    def assert_project_file(self, name, suffix, expected):
        self.assertEqual(self.project_bytes(name, suffix), expected, "Projects/%s%s" % (name, suffix))

    def assert_no_temp_file(self):
        self.assertFalse(os.path.exists(self.path("tmp.txt")), "tmp.txt left behind")

    def assert_settings(self, name, grab_type, skip_mask):
        """Checks NAME.ini line by line; returns its TRAFFIC number."""
        data = self.project_bytes(name, ".ini")
        self.assertTrue(data.endswith(b"\r\n"), data)
        lines = data[:-2].split(b"\r\n")
        self.assertEqual(len(lines), 7, data)
        self.assertNotIn(b"\n", data.replace(b"\r\n", b""), "a bare line feed in %r" % data)
        self.assertEqual(lines[0], b"[ MAIN ]")
        self.assertRegex(lines[1], rb"^TIMER_SEC = [0-9]+$")
        self.assertRegex(lines[2], rb"^TIMER_MIN = [0-9]+$")
        self.assertRegex(lines[3], rb"^TIMER_HOUR = [0-9]+$")
        self.assertRegex(lines[4], rb"^TRAFFIC = [0-9]+$")
        self.assertEqual(lines[5], b"GRAB_TYPE = %d" % grab_type)
        self.assertEqual(lines[6], b"SKIP_MASK = " + skip_mask.encode())
        return int(lines[4].split(b"=")[1])

    # -- server log ---------------------------------------------------------
    def assert_only_this_server(self):
        host = "127.0.0.1:%d" % self.server.port
        for entry in self.server.log():
            self.assertEqual(entry.client, "127.0.0.1")
            self.assertEqual(entry.host, host, "request for %s named host %r" % (entry.target, entry.host))

    def served_body_bytes(self):
        return sum(e.body_bytes for e in self.server.log())


# ---------------------------------------------------------------------------
# Links mode: which links become pages, which become results.

class LinkSiteTests(CliTestCase):
    routes = {
        "/": """<html><head><title>Home</title></head><body>
<a href="a.html">A</a>
<A HREF ="b.htm">B</A>
<a class="x" href="hidden.html">styled, not a link for the crawler</a>
<a href=c.html>no quotes</a>
<ahref="glued.html">no blank after a</a>
<a  href="pic.jpg">picture</a>
<a href="http://localhost:@PORT@/other.html">same machine, other host name</a>
<a href='d.php'>D</a>
</body></html>
""",
        "/a.html": """<p>Page A</p>
<a href="/">home</a>
<a href="b.htm">B again</a>
< a href="sub/">sub folder</a>
<a href="doc.pdf">manual</a>
""",
        "/b.htm": """<a href="A.HTML">A in capitals</a>
<a href="mailto:me@example.com">mail</a>
""",
        "/d.php": """<a href="e.cgi">E</a> <a href="f.aspx">F</a>
<a href="g.HTML">upper-case extension</a> <a href="notes.html5">H5</a>
""",
        "/sub/": """<a href="../a.html">up</a> <a href="x.html">X</a>""",
        "/e.cgi": LEAF,
        "/f.aspx": LEAF,
        "/sub/x.html": LEAF,
        "/g.HTML": "<a href='trap-g.html'>must not be fetched</a>",
        "/hidden.html": LEAF,
        "/c.html": LEAF,
        "/glued.html": LEAF,
    }

    def site(self):
        return self.base + "/"

    def pages(self):
        addresses = ["/", "/a.html", "/b.htm", "/d.php", "/sub/", "/e.cgi", "/f.aspx", "/sub/x.html"]
        return [(self.base + a, "OK") for a in addresses]

    def all_results(self):
        b = self.base
        return [
            b + "/a.html", b + "/b.htm", b + "/pic.jpg",
            "http://localhost:%d/other.html" % self.server.port, b + "/d.php",
            b + "/", b + "/sub/", b + "/doc.pdf",
            "mailto:me@example.com",
            b + "/e.cgi", b + "/f.aspx", b + "/g.HTML", b + "/notes.html5",
            b + "/sub/x.html",
        ]

    def expected_requests(self):
        return ["/", "/a.html", "/b.htm", "/d.php", "/sub/", "/e.cgi", "/f.aspx", "/sub/x.html"]

    def test_every_link_is_a_result_when_no_extension_is_given(self):
        proc = self.run_cli("-q", "-P", "site", self.site())
        self.assert_exit(proc, 0)
        self.assertIn(COMPLETED, proc.stderr.decode())
        self.assertEqual(self.stdout_lines(proc), self.all_results())
        self.assert_project_file("site", "_page.txt", page_file(self.pages()))
        self.assert_project_file("site", "_result.txt", crlf(self.all_results()))
        self.assert_project_file("site", "_extension.txt", b"")
        self.assertFalse(os.path.exists(self.path("Projects", "site_pattern.txt")))
        traffic = self.assert_settings("site", 0, "")
        self.assertEqual(traffic, self.served_body_bytes())
        self.assert_no_temp_file()

    def test_pages_are_fetched_breadth_first_from_this_server_only(self):
        proc = self.run_cli("-q", self.site())
        self.assert_exit(proc, 0)
        self.assertEqual(self.server.targets(), self.expected_requests())
        self.assertTrue(all(e.method == "GET" for e in self.server.log()))
        self.assert_only_this_server()
        self.assert_no_temp_file()

    def test_extensions_with_commas_filter_results_but_not_pages(self):
        proc = self.run_cli("-q", "-P", "ext", "-e", "pdf, jpg", "-e", "html5", self.site())
        self.assert_exit(proc, 0)
        b = self.base
        results = [b + "/pic.jpg", b + "/doc.pdf", b + "/notes.html5"]
        self.assertEqual(self.stdout_lines(proc), results)
        self.assert_project_file("ext", "_result.txt", crlf(results))
        self.assert_project_file("ext", "_extension.txt", crlf(["pdf", "jpg", "html5"]))
        self.assert_project_file("ext", "_page.txt", page_file(self.pages()))
        self.assertEqual(self.server.targets(), self.expected_requests())

    def test_extension_match_is_case_sensitive(self):
        proc = self.run_cli("-q", "-P", "up", "-e", "HTML", self.site())
        self.assert_exit(proc, 0)
        # a.html is no result here, so A.HTML is no repeat of it.
        results = [self.base + "/A.HTML", self.base + "/g.HTML"]
        self.assertEqual(self.stdout_lines(proc), results)
        self.assert_project_file("up", "_result.txt", crlf(results))

    def test_preset_adds_its_group_of_extensions(self):
        proc = self.run_cli("-q", "-P", "pre", "--preset", "html", self.site())
        self.assert_exit(proc, 0)
        b = self.base
        # Results are not held to the site: the other host's page is one.
        results = [b + "/a.html", b + "/b.htm", "http://localhost:%d/other.html" % self.server.port,
                   b + "/d.php", b + "/e.cgi", b + "/f.aspx", b + "/sub/x.html"]
        self.assertEqual(self.stdout_lines(proc), results)
        self.assert_project_file("pre", "_extension.txt", crlf(["htm", "html", "php", "aspx", "cgi"]))
        self.assert_project_file("pre", "_result.txt", crlf(results))

    def test_image_preset(self):
        proc = self.run_cli("-q", "--preset", "image", "-o", "images.txt", self.site())
        self.assert_exit(proc, 0)
        self.assertEqual(self.stdout_lines(proc), [self.base + "/pic.jpg"])
        with open(self.path("images.txt"), "rb") as f:
            self.assertEqual(f.read(), crlf([self.base + "/pic.jpg"]))

    def test_output_file_holds_the_result_list(self):
        # Without -q: whatever progress is shown must stay off stdout.
        proc = self.run_cli("-o", "found.txt", self.site())
        self.assert_exit(proc, 0)
        self.assertEqual(self.stdout_lines(proc), self.all_results())
        with open(self.path("found.txt"), "rb") as f:
            self.assertEqual(f.read(), crlf(self.all_results()))
        self.assert_no_temp_file()

    def test_output_file_matches_project_result_file(self):
        proc = self.run_cli("-q", "-P", "both", "-o", "out.txt", self.site())
        self.assert_exit(proc, 0)
        with open(self.path("out.txt"), "rb") as f:
            self.assertEqual(f.read(), self.project_bytes("both", "_result.txt"))

    def test_pause_by_page_count_and_continue_gives_the_uninterrupted_files(self):
        b = self.base
        first = self.run_cli("-q", "-P", "p", "--max-pages", "3", self.site())
        self.assert_exit(first, 3)
        self.assertNotIn(COMPLETED, first.stderr.decode())
        self.assert_no_temp_file()
        self.assert_project_file("p", "_page.txt", page_file([
            (b + "/", "OK"), (b + "/a.html", "OK"), (b + "/b.htm", "OK"),
            (b + "/d.php", ""), (b + "/sub/", ""),
        ]))
        after_three = self.all_results()[:9]
        self.assertEqual(self.stdout_lines(first), after_three)
        self.assert_project_file("p", "_result.txt", crlf(after_three))
        self.assertEqual(self.server.targets(), ["/", "/a.html", "/b.htm"])
        self.assert_settings("p", 0, "")

        second = self.run_cli("-q", "-P", "p", "--max-pages", "2", self.site())
        self.assert_exit(second, 3)
        self.assert_project_file("p", "_page.txt", page_file([
            (b + "/", "OK"), (b + "/a.html", "OK"), (b + "/b.htm", "OK"),
            (b + "/d.php", "OK"), (b + "/sub/", "OK"),
            (b + "/e.cgi", ""), (b + "/f.aspx", ""), (b + "/sub/x.html", ""),
        ]))
        self.assertEqual(self.stdout_lines(second), self.all_results()[9:])

        third = self.run_cli("-q", "-P", "p", self.site())
        self.assert_exit(third, 0)
        self.assertIn(COMPLETED, third.stderr.decode())
        self.assertEqual(self.stdout_lines(third), [])
        self.assert_no_temp_file()

        # Every page fetched once over the three runs, in crawl order.
        self.assertEqual(self.server.targets(), self.expected_requests())
        paused_traffic = self.assert_settings("p", 0, "")
        paused = {s: self.project_bytes("p", s) for s in ("_page.txt", "_result.txt", "_extension.txt")}

        # The same crawl in one go, in another folder.
        self.server.clear_log()
        os.mkdir(self.path("whole"))
        whole = subprocess.run([BIN, "-q", "-P", "p", self.site()], cwd=self.path("whole"),
                               stdin=subprocess.DEVNULL, capture_output=True, timeout=RUN_TIMEOUT)
        self.assert_exit(whole, 0)
        for suffix, data in paused.items():
            with open(self.path("whole", "Projects", "p" + suffix), "rb") as f:
                self.assertEqual(f.read(), data, suffix)
        self.assertEqual(paused["_page.txt"], page_file(self.pages()))
        with open(self.path("whole", "Projects", "p.ini"), "rb") as f:
            whole_traffic = int(re.search(rb"TRAFFIC = ([0-9]+)\r\n", f.read()).group(1))
        self.assertEqual(paused_traffic, whole_traffic)
        self.assertEqual(whole_traffic, self.served_body_bytes())

    def test_completed_project_is_refused_until_started_afresh(self):
        done = self.run_cli("-q", "-P", "c", self.site())
        self.assert_exit(done, 0)
        page_bytes = self.project_bytes("c", "_page.txt")
        self.server.clear_log()

        again = self.run_cli("-q", "-P", "c", self.site())
        self.assert_exit(again, 2)
        self.assertIn("This project is completed. For start new select menu items Project -> New.",
                      again.stderr.decode())
        self.assertEqual(self.stdout_lines(again), [])
        self.assertEqual(self.server.targets(), [])
        self.assertEqual(self.project_bytes("c", "_page.txt"), page_bytes)

        fresh = self.run_cli("-q", "-P", "c", "--new", self.site())
        self.assert_exit(fresh, 0)
        self.assertEqual(self.stdout_lines(fresh), self.all_results())
        self.assertEqual(self.server.targets(), self.expected_requests())
        self.assert_project_file("c", "_page.txt", page_file(self.pages()))
        self.assert_project_file("c", "_result.txt", crlf(self.all_results()))
        traffic = self.assert_settings("c", 0, "")
        self.assertEqual(traffic, self.served_body_bytes())

    def test_site_key_limits_pages_to_the_given_folder(self):
        # SITE names the sub folder: only addresses containing it are crawled.
        proc = self.run_cli("-q", "-P", "sub", self.base + "/sub/")
        self.assert_exit(proc, 0)
        b = self.base
        self.assert_project_file("sub", "_page.txt", page_file([(b + "/sub/", "OK"), (b + "/sub/x.html", "OK")]))
        self.assert_project_file("sub", "_result.txt", crlf([b + "/a.html", b + "/sub/x.html"]))
        self.assertEqual(self.server.targets(), ["/sub/", "/sub/x.html"])


# ---------------------------------------------------------------------------
# Redirects and relative links in folders.

class RedirectAndFolderTests(CliTestCase):
    routes = {
        "/": """<a href="old/start.html">moved</a> <a href="chain1.html">chain</a>""",
        "/old/start.html": Redirect("/new/dir/page.html", 301),
        "/new/dir/page.html": """<html><body>
<a href="../sibling.html">up one</a>
<a href="./child.html">here</a>
<a href="/abs.html">absolute path</a>
<a href="?view=list">query only</a>
<a href="child.html#part2">with fragment</a>
<a href="//127.0.0.1:@PORT@/net.html">network path</a>
</body></html>""",
        "/new/dir/page.html?view=list": LEAF,
        "/chain1.html": Redirect("chain2.html", 302),
        "/chain2.html": Redirect("@BASE@/final/end.html", 301),
        "/final/end.html": """<a href="more.html">more</a> <a href="../top.html">top</a>""",
        "/new/sibling.html": LEAF,
        "/new/dir/child.html": LEAF,
        "/abs.html": LEAF,
        "/net.html": LEAF,
        "/final/more.html": LEAF,
        "/top.html": LEAF,
    }

    def test_links_resolve_against_the_address_a_redirect_led_to(self):
        proc = self.run_cli("-q", "-P", "r", self.base + "/")
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
            "/", "/old/start.html", "/new/dir/page.html", "/chain1.html", "/chain2.html",
            "/final/end.html", "/new/sibling.html", "/new/dir/child.html", "/abs.html",
            "/new/dir/page.html?view=list", "/new/dir/child.html", "/net.html",
            "/final/more.html", "/top.html",
        ])
        self.assert_only_this_server()
        self.assert_no_temp_file()


# ---------------------------------------------------------------------------
# Failures are written into the "Result" cells and not parsed.

class FailureTests(CliTestCase):
    routes = {
        "/": """<a href="missing.html">404</a> <a href="gone.html">410</a>
<a href="auth.html">401</a> <a href="proxy.html">407</a>
<a href="boom.html">500</a> <a href="busy.html">503</a>
<a href="moved.html">redirect to a 404</a> <a href="fine.html">fine</a>""",
        "/missing.html": Page("<a href='trap1.html'>error page link</a>", status=404),
        "/gone.html": Page("<a href='trap2.html'>error page link</a>", status=410),
        "/auth.html": Page("<a href='trap3.html'>login</a>", status=401,
                           headers={"WWW-Authenticate": 'Basic realm="fixture"'}),
        "/proxy.html": Page("<a href='trap4.html'>proxy login</a>", status=407),
        "/boom.html": Page("<a href='trap5.html'>server error</a>", status=500),
        "/busy.html": Page("<a href='trap6.html'>later</a>", status=503),
        "/moved.html": Redirect("/nowhere.html", 302),
        "/fine.html": """<a href="after.html">after</a>""",
        "/after.html": LEAF,
    }

    def test_failures_are_recorded_in_result_cells(self):
        proc = self.run_cli("-q", "-P", "f", self.base + "/")
        self.assert_exit(proc, 0)
        b = self.base
        self.assert_project_file("f", "_page.txt", page_file([
            (b + "/", "OK"),
            (b + "/missing.html", "INET_E_OBJECT_NOT_FOUND"),
            (b + "/gone.html", "INET_E_OBJECT_NOT_FOUND"),
            (b + "/auth.html", "INET_E_AUTHENTICATION_REQUIRED"),
            (b + "/proxy.html", "INET_E_AUTHENTICATION_REQUIRED"),
            (b + "/boom.html", "INET_E_DOWNLOAD_FAILURE"),
            (b + "/busy.html", "INET_E_DOWNLOAD_FAILURE"),
            (b + "/moved.html", "INET_E_OBJECT_NOT_FOUND"),
            (b + "/fine.html", "OK"),
            (b + "/after.html", "OK"),
        ]))
        results = [b + p for p in ("/missing.html", "/gone.html", "/auth.html", "/proxy.html", "/boom.html",
                                   "/busy.html", "/moved.html", "/fine.html", "/after.html")]
        self.assert_project_file("f", "_result.txt", crlf(results))
        self.assertEqual(self.stdout_lines(proc), results)
        # Error pages are not parsed: none of their links was followed.
        self.assertFalse([t for t in self.server.targets() if "trap" in t])
        self.assertGreater(self.assert_settings("f", 0, ""), 0)
        self.assert_no_temp_file()
        self.assert_only_this_server()

    def test_refused_connection(self):
        site = "http://127.0.0.1:%d/" % closed_port()
        proc = self.run_cli("-q", "-P", "down", site)
        self.assert_exit(proc, 0)
        self.assert_project_file("down", "_page.txt", page_file([(site, "INET_E_CANNOT_CONNECT")]))
        self.assert_project_file("down", "_result.txt", b"")
        self.assertEqual(self.stdout_lines(proc), [])
        self.assert_no_temp_file()


# ---------------------------------------------------------------------------
# The skip page mask.

class SkipMaskTests(CliTestCase):
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
        proc = self.run_cli("-q", "-P", "s", "-s", "PRIV", self.base + "/")
        self.assert_exit(proc, 0)
        self.assertIn(COMPLETED, proc.stderr.decode())
        b = self.base
        self.assert_project_file("s", "_page.txt", page_file([
            (b + "/", "OK"),
            (b + "/private.html", "SKIPPED"),
            (b + "/Privacy.html?x=1", "SKIPPED"),
            (b + "/public.html", "OK"),
            (b + "/priv/index.html", "OK"),
            (b + "/docs/priv-notes.html", "SKIPPED"),
        ]))
        results = [b + p for p in ("/private.html", "/Privacy.html?x=1", "/public.html",
                                   "/priv/index.html", "/docs/priv-notes.html")]
        self.assert_project_file("s", "_result.txt", crlf(results))
        # Skipped pages are neither downloaded nor parsed.
        self.assertEqual(self.server.targets(), ["/", "/public.html", "/priv/index.html"])
        self.assert_settings("s", 0, "PRIV")
        self.assert_no_temp_file()

    def test_without_a_mask_nothing_is_skipped(self):
        proc = self.run_cli("-q", "-P", "n", self.base + "/")
        self.assert_exit(proc, 0)
        self.assertNotIn(b"SKIPPED", self.project_bytes("n", "_page.txt"))
        self.assertIn("/secret.html", self.server.targets())


# ---------------------------------------------------------------------------
# Custom mode: text patterns.

class CustomModeTests(CliTestCase):
    routes = {
        "/": """<html><head><title> Home Page </title></head><body>
<h1>Welcome</h1>
<p>code : alpha; code: beta; code : gamma;</p>
<a href="p2.html">next</a>
</body></html>""",
        "/p2.html": """<html><head><TITLE>Second</TITLE></head><body>
<h1 class="big">attribute in the way</h1>
<H1 >Big news</H1>
<a href="p3.html">more</a>
</body></html>""",
        "/p3.html": "<title>Home Page</title><h1>Welcome</h1>",
    }
    patterns = ["<title > </title>", "<h1 > </h1>", "code  : ;"]

    def pattern_args(self):
        args = []
        for p in self.patterns:
            args += ["-p", p]
        return args

    def test_captures_of_each_pattern_are_results(self):
        proc = self.run_cli("-q", "-P", "cu", "-g", "custom", *self.pattern_args(), self.base + "/")
        self.assert_exit(proc, 0)
        results = ["Home Page", "Welcome", "alpha", "gamma", "Second", "Big news"]
        self.assertEqual(self.stdout_lines(proc), results)
        b = self.base
        self.assert_project_file("cu", "_page.txt", page_file([
            (b + "/", "OK"), (b + "/p2.html", "OK"), (b + "/p3.html", "OK")]))
        self.assert_project_file("cu", "_result.txt", crlf(results))
        self.assert_project_file("cu", "_pattern.txt", crlf(self.patterns))
        self.assertFalse(os.path.exists(self.path("Projects", "cu_extension.txt")))
        self.assertEqual(self.assert_settings("cu", 1, ""), self.served_body_bytes())
        self.assert_no_temp_file()

    def test_custom_mode_without_a_pattern_is_refused(self):
        proc = self.run_cli("-q", "-g", "custom", self.base + "/")
        self.assert_exit(proc, 2)
        self.assertIn("Please enter a custom pattern for grab", proc.stderr.decode())
        self.assertEqual(self.server.targets(), [])
        self.assertEqual(proc.stdout, b"")

    def test_pattern_with_fewer_than_three_tokens_is_refused(self):
        proc = self.run_cli("-q", "-g", "custom", "-p", "<b > </b>", "-p", "<i >", self.base + "/")
        self.assert_exit(proc, 2)
        self.assertIn("Pattern number 2 is invalid. See more info in User Manual", proc.stderr.decode())
        self.assertEqual(self.server.targets(), [])
        self.assert_no_temp_file()


# ---------------------------------------------------------------------------
# Ctrl-C: once pauses after the current page, twice quits.

class InterruptTests(CliTestCase):
    routes = dict(
        {"/": "".join('<a href="s%d.html">%d</a>\n' % (i, i) for i in range(1, 7)),
         "/hang/": '<a href="stall.html">stall</a>',
         "/hang/stall.html": Page(LEAF, delay=8.0)},
        **{"/s%d.html" % i: Page(LEAF, delay=SLOW_PAGE_SECONDS) for i in range(1, 7)})

    def interrupt_when_requested(self, proc, target):
        if not self.server.wait_for_request(target, timeout=20):
            proc.kill()
            proc.communicate()
            self.fail("the crawler never asked for %s" % target)
        proc.send_signal(signal.SIGINT)

    def test_one_interrupt_finishes_the_page_saves_and_can_be_continued(self):
        b = self.base
        proc = self.start_cli("-q", "-P", "slow", "-o", "out.txt", b + "/")
        try:
            self.interrupt_when_requested(proc, "/s2.html")
            out, err = proc.communicate(timeout=30)
        finally:
            if proc.poll() is None:
                proc.kill()
                proc.communicate()
        self.assertEqual(proc.returncode, 3, err.decode(errors="replace"))
        self.assert_no_temp_file()
        results = [b + "/s%d.html" % i for i in range(1, 7)]
        self.assertEqual(out.decode().splitlines(), results)
        # The page being fetched at the interrupt was finished and recorded.
        self.assert_project_file("slow", "_page.txt", page_file(
            [(b + "/", "OK"), (b + "/s1.html", "OK"), (b + "/s2.html", "OK")] +
            [(b + "/s%d.html" % i, "") for i in range(3, 7)]))
        self.assert_project_file("slow", "_result.txt", crlf(results))
        with open(self.path("out.txt"), "rb") as f:
            self.assertEqual(f.read(), crlf(results))
        self.assertEqual(self.server.targets(), ["/", "/s1.html", "/s2.html"])

        rest = self.run_cli("-q", "-P", "slow", b + "/")
        self.assert_exit(rest, 0)
        self.assertEqual(self.stdout_lines(rest), [])
        self.assert_project_file("slow", "_page.txt", page_file(
            [(b + "/", "OK")] + [(b + "/s%d.html" % i, "OK") for i in range(1, 7)]))
        self.assert_project_file("slow", "_result.txt", crlf(results))
        self.assertEqual(self.server.targets(), ["/"] + ["/s%d.html" % i for i in range(1, 7)])
        self.assertEqual(self.assert_settings("slow", 0, ""), self.served_body_bytes())
        self.assert_no_temp_file()

    def test_second_interrupt_quits_without_waiting_for_the_page(self):
        proc = self.start_cli("-q", self.base + "/hang/")
        try:
            self.interrupt_when_requested(proc, "/hang/stall.html")
            started = time.monotonic()
            time.sleep(0.3)
            proc.send_signal(signal.SIGINT)
            proc.communicate(timeout=30)
            elapsed = time.monotonic() - started
        finally:
            if proc.poll() is None:
                proc.kill()
                proc.communicate()
        self.assertLess(elapsed, 4.0, "the second Ctrl-C waited for the page")
        self.assertNotEqual(proc.returncode, 0)


# ---------------------------------------------------------------------------
# Usage errors and refusals of the crawl start.

class UsageTests(CliTestCase):
    routes = {"/": LEAF}

    def assert_usage_error(self, *args):
        proc = self.run_cli(*args)
        self.assert_exit(proc, 2)
        self.assertEqual(proc.stdout, b"")
        self.assertNotEqual(proc.stderr.strip(), b"", "no message for %r" % (args,))
        self.assertEqual(self.server.targets(), [])
        return proc

    def test_missing_site_is_refused(self):
        proc = self.assert_usage_error("-q")
        self.assertIn("Please enter a Web Site address", proc.stderr.decode())

    def test_blank_site_is_refused(self):
        proc = self.assert_usage_error("-q", "   ")
        self.assertIn("Please enter a Web Site address", proc.stderr.decode())

    def test_unknown_option(self):
        self.assert_usage_error("--no-such-option", self.base + "/")

    def test_unknown_grab_mode(self):
        self.assert_usage_error("-g", "sideways", self.base + "/")

    def test_unknown_preset(self):
        self.assert_usage_error("--preset", "nope", self.base + "/")

    def test_max_pages_needs_a_positive_number(self):
        self.assert_usage_error("--max-pages", "0", self.base + "/")
        self.assert_usage_error("--max-pages", "x", self.base + "/")

    def test_new_needs_a_project(self):
        self.assert_usage_error("--new", self.base + "/")

    def test_two_sites(self):
        self.assert_usage_error(self.base + "/", self.base + "/")

    def test_option_without_value(self):
        self.assert_usage_error(self.base + "/", "-e")

    def test_help_and_version_succeed(self):
        for flag in ("-h", "--help"):
            proc = self.run_cli(flag)
            self.assert_exit(proc, 0)
            self.assertIn("--max-pages", (proc.stdout + proc.stderr).decode())
        proc = self.run_cli("-V")
        self.assert_exit(proc, 0)
        self.assertNotEqual((proc.stdout + proc.stderr).strip(), b"")
        self.assertEqual(self.server.targets(), [])

    def test_start_page_keeps_its_trailing_slash(self):
        proc = self.run_cli("-q", "-P", "t", self.base + "/")
        self.assert_exit(proc, 0)
        self.assert_project_file("t", "_page.txt", page_file([(self.base + "/", "OK")]))
        self.assert_project_file("t", "_result.txt", b"")
        self.assertEqual(self.server.targets(), ["/"])


if __name__ == "__main__":
    unittest.main()
