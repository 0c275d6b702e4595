"""The veltrano command line ($VELTRANO_BIN, or build/native/veltrano) end to end, against a site on 127.0.0.1:
its exit status, output, requests and the files it leaves, each test in a temporary folder of its own."""

import os
import pty
import re
import resource
import shutil
import signal
import subprocess
import sys
import tempfile
import unittest

REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(REPO, "tests", "support"))
from test_server import Page, Redirect, TestServer  # noqa: E402

BIN = os.environ.get("VELTRANO_BIN") or os.path.join(REPO, "build", "native", "veltrano")
COMPLETED = "The project is completed successfully!"
NOT_FOUND = "INET_E_OBJECT_NOT_FOUND"
LEAF = "<p>leaf</p>"
TITLE = "\x1b]0;owned\x07Hi \x1b[31mred"
PATTERNS = ["<title > </title>", "<b > </b>"]
SITE = {  # links of each kind: a result only, another host, a redirect, a failure, a folder
    "/": '<title>%s</title><a href="a.html">A</a> <a href="pic.jpg">picture</a> <a href="moved.html">moved</a>'
         ' <a href="missing.html">404</a> <a href="skip-me.html">skip</a> <a href="http://localhost:@PORT@/x.html">'
         'same machine, other host</a>' % TITLE,
    "/a.html": '<b>bold</b> <a href="/">home</a> <a href="sub/">folder</a> <a href="doc.pdf">manual</a>',
    "/moved.html": Redirect("/new/page.html"), "/new/page.html": '<a href="next.html">beside where it landed</a>',
    "/missing.html": Page('<a href="trap.html">error pages are not read</a>', status=404),
    "/sub/": LEAF, "/new/next.html": LEAF, "/skip-me.html": LEAF,
    # For All links: what a browser would load, and what it would not.
    "/all/": '<style>body { background: url(img/bg.png) }</style><!-- <a href="old.html"> -->'
             '<img src="img/logo.png" srcset="img/logo-2x.png 2x"><A TITLE=x HREF=guide.html>guide</A>'
             '<iframe src="frame.html"></iframe>',
    "/all/guide.html": '<base href="/all/v2/"><a href="next.html?a=1&amp;b=2">next</a><img src="shot.png">',
    "/all/frame.html": LEAF, "/all/v2/next.html?a=1&b=2": LEAF,
}
PAGES = ["/", "/a.html", "/moved.html", "/missing.html", "/skip-me.html", "/sub/", "/new/next.html"]
OK = ["OK", "OK", "OK", NOT_FOUND, "OK", "OK", "OK"]  # the result of each of PAGES
SETTINGS = (rb"\A\[ MAIN \]\r\nTIMER_SEC = \d+\r\nTIMER_MIN = \d+\r\nTIMER_HOUR = \d+\r\n"
            rb"TRAFFIC = %s\r\nGRAB_TYPE = %d\r\nSKIP_MASK = %s\r\n\Z")  # a project's NAME.ini
REQUESTS = PAGES[:3] + ["/new/page.html"] + PAGES[3:]  # the redirect is followed at once


def crlf(lines):
    return b"".join(line.encode() + b"\r\n" for line in lines)


class CommandLineTests(unittest.TestCase):
    """Each test runs the binary with one connection, or `self.connections`, in a folder of its own."""

    connections = 1

    @classmethod
    def setUpClass(cls):
        cls.server = TestServer(SITE)
        cls.addClassCleanup(cls.server.stop)
        cls.base = cls.server.base_url
        cls.site = cls.base + "/"

    def setUp(self):
        self.cwd = tempfile.mkdtemp(prefix="veltrano-e2e-")
        self.addCleanup(shutil.rmtree, self.cwd, ignore_errors=True)
        self.server.clear_log()

    def with_one_then_eight_connections(self, test):
        """Runs test() with one connection, then eight: the settings files must agree but for the clock."""
        settings = {}
        for self.connections in (1, 8):
            with self.subTest(connections=self.connections):
                self.setUp()
                test()
                settings[self.connections] = [re.sub(rb"TIMER_\w+ = \d+", b"", self.read("Projects", name))
                                              for name in sorted(os.listdir(self.path("Projects"))) if ".ini" in name]
        self.assertEqual(settings.get(1), settings.get(8))

    def veltrano(self, *args, **options):
        return self.finish(self.start(*args, **options))

    def start(self, *args, **options):
        """Starts the binary; it is killed, if still running, at the end of the test."""
        proc = subprocess.Popen([BIN, "-c", str(self.connections), *args], cwd=self.cwd, stdin=subprocess.DEVNULL,
                                **{"stdout": subprocess.PIPE, "stderr": subprocess.PIPE, **options})
        self.addCleanup(lambda: proc.poll() is None and (proc.kill(), proc.communicate()))
        return proc

    def finish(self, proc):
        out, err = proc.communicate(timeout=60)
        return subprocess.CompletedProcess(proc.args, proc.returncode, out, err)

    def hold(self, *targets):
        """Holds the answers to `targets` until server.release(target), or the end of the test."""
        for target in targets:
            self.server.hold(target)
            self.addCleanup(self.server.release, target)

    def start_held(self, target, *args):
        """Starts the binary with `target` held; returns once that was asked for."""
        self.hold(target)
        proc = self.start(*args)
        self.assertTrue(self.server.wait_for_request(target), "the crawler never asked for " + target)
        return proc

    def path(self, *parts):
        return os.path.join(self.cwd, *parts)

    def read(self, *parts):
        with open(self.path(*parts), "rb") as f:
            return f.read()

    def rows(self, results, pages=PAGES):
        """A page file: for each page, its address, then its "Result" cell."""
        return crlf([cell for page, result in zip(pages, results) for cell in (self.base + page, result)])

    def assert_requests(self, targets):
        """The server was asked for exactly these, with one connection; with several some are asked ahead."""
        if self.connections == 1:
            self.assertEqual(self.server.targets(), targets)

    def assert_run(self, proc, status, stdout=None, stderr=""):
        """The exit status, standard output (a list of lines) and a piece of standard error of a run."""
        err = proc.stderr.decode(errors="replace")
        self.assertEqual(proc.returncode, status, err)
        self.assertIn(stderr, err)
        if stdout is not None:
            self.assertEqual(proc.stdout.decode(), "".join(line + "\n" for line in stdout))
        self.assertFalse(os.path.exists(self.path("tmp.txt")), "the page file was left behind")

    def assert_project(self, name, grab_type=0, skip_mask="", **files):
        """NAME.ini line by line and NAME_SUFFIX.txt byte for byte (None: not there)."""
        sent = sum(e.body_bytes for e in self.server.log() if e.target != "/robots.txt")  # since the test began
        traffic = rb"\d+" if self.connections > 1 else b"%d" % sent
        ini = SETTINGS % (traffic, grab_type, re.escape(skip_mask.encode()))
        self.assertRegex(self.read("Projects", name + ".ini"), ini)
        for suffix, data in files.items():
            path = self.path("Projects", "%s_%s.txt" % (name, suffix))
            self.assertEqual(self.read(path) if os.path.exists(path) else None, data, path)

    def results(self, first=0, end=None):
        """What a Links crawl of the site finds, in order."""
        b = self.base
        return [b + "/a.html", b + "/pic.jpg", b + "/moved.html", b + "/missing.html", b + "/skip-me.html",
                "http://localhost:%d/x.html" % self.server.port, b + "/", b + "/sub/", b + "/doc.pdf",
                b + "/new/next.html"][first:end]

    def test_a_crawl_prints_and_saves_every_link_and_reads_each_page_once(self):
        def crawl():
            proc = self.veltrano("-P", "site", "-s", "SKIP", "-o", "found.txt", self.site)
            self.assert_run(proc, 0, self.results(),  # no progress on stdout
                            "failed: %s/missing.html: %s (the server has no such page)" % (self.base, NOT_FOUND))
            self.assertEqual(self.read("found.txt"), crlf(self.results()))
            skipped = OK[:4] + ["SKIPPED"] + OK[5:]
            self.assert_project("site", skip_mask="SKIP", page=self.rows(skipped), result=crlf(self.results()),
                                extension=b"", pattern=None)
            self.assert_requests([t for t in REQUESTS if t != "/skip-me.html"])
            self.assertEqual({(e.method, e.host) for e in self.server.log()}, {("GET", self.base[len("http://"):])})
        self.with_one_then_eight_connections(crawl)

    def test_custom_mode_prints_captured_texts_escaped_on_a_terminal_only(self):
        args = ("-q", "-g", "custom", "-p", PATTERNS[0], "-p", PATTERNS[1], self.site)

        def crawl():
            self.assert_run(self.veltrano("-P", "cu", *args), 0, [TITLE, "bold"])
            self.assert_project("cu", grab_type=1, page=self.rows(OK), result=crlf([TITLE, "bold"]),
                                pattern=crlf(PATTERNS), extension=None)
        self.with_one_then_eight_connections(crawl)
        terminal, side = pty.openpty()
        self.addCleanup(os.close, terminal)
        proc = self.start(*args, stdout=side, stderr=side)
        os.close(side)
        self.assertEqual(proc.wait(timeout=60), 0)
        shown = b"\\x1b]0;owned\\x07Hi \\x1b[31mred\r\nbold\r\n%s\r\n" % COMPLETED.encode()
        self.assertEqual(os.read(terminal, 4096), shown)

    def test_a_paused_crawl_continues_then_is_refused_until_new(self):
        def crawl():
            first = self.veltrano("-q", "-P", "p", "--max-pages", "2", self.site)
            self.assert_run(first, 3, self.results(end=9))
            self.assert_project("p", page=self.rows(OK[:2] + [""] * 4), result=crlf(self.results(end=9)))
            self.assert_requests(REQUESTS[:2])
            # Blanks around the name are no part of it; the limit counts the pages of this run.
            self.assert_run(self.veltrano("-q", "-P", " p ", "--max-pages", "2", self.site), 3, self.results(9))
            self.assert_requests(REQUESTS[:5])
            self.assert_run(self.veltrano("-q", "-P", "p", self.site), 0, [], COMPLETED)
            self.assert_requests(REQUESTS)
            done = dict(page=self.rows(OK), result=crlf(self.results()), extension=b"")
            self.assert_project("p", **done)
            self.server.clear_log()
            self.assert_run(self.veltrano("-q", "-P", "p", self.site), 2, [],
                            "This project is complete. To crawl its site again from the start, add --new.")
            self.assertEqual(self.server.targets(), [])
            self.assert_run(self.veltrano("-q", "-P", "p", "--new", self.site), 0, self.results())
            self.assert_requests(REQUESTS)
            self.assert_project("p", **done)
        self.with_one_then_eight_connections(crawl)

    def test_all_links_takes_what_a_browser_loads_of_the_extensions_and_the_project_keeps_the_mode(self):
        b = self.base + "/all/"
        results = [b + "img/bg.png", b + "img/logo.png", b + "img/logo-2x.png", b + "v2/shot.png"]
        pages = ["/all/", "/all/guide.html", "/all/frame.html", "/all/v2/next.html?a=1&b=2"]
        proc = self.veltrano("-q", "--thorough", "--preset", "image", "-e", "pdf, jpg", "-e", "gz", "-P", "all", b)
        self.assert_run(proc, 0, results)
        self.assert_project("all", grab_type=2, page=self.rows(["OK"] * 4, pages), result=crlf(results),
                            extension=crlf(["gif", "png", "jpg", "jpeg", "bmp", "ico", "pdf", "gz"]))
        self.assert_requests(pages)
        self.assert_run(self.veltrano("-q", "--new", "-P", "all"), 0, results)

    def test_robots_txt_decides_which_pages_are_fetched(self):
        rules = "User-agent: *\nDisallow: /\n\nUser-agent: Veltrano\nDisallow: /a.html\nDisallow: /*skip\n"
        no, pages = "DISALLOWED", PAGES[:5] + PAGES[6:]
        for robots, status, message, results, requests in [
                ((rules, 200), 0, COMPLETED, ["OK", no, "OK", NOT_FOUND, no, "OK"],
                 ["/robots.txt", "/", "/moved.html", "/new/page.html", "/missing.html", "/new/next.html"]),
                (("down", 500), 4, "Not one page could be downloaded", [no], ["/robots.txt"])]:
            with self.subTest(robots=robots):
                self.setUp()
                self.server.route("/robots.txt", *robots)
                site = self.site[len("http://"):]  # taken as http
                self.assert_run(self.veltrano("-q", "--robots", "-P", "r", site), status, stderr=message)
                self.assert_project("r", page=self.rows(results, pages))
                self.assert_requests(requests)  # robots.txt first, and once

    def test_usage_errors_exit_2_naming_the_fault_and_fetch_nothing(self):
        site, no_site, pages = self.site, "No web site to crawl: give it as SITE (see --help).", "--max-pages takes"
        for args, message in [
                (["-q"], no_site), (["-q", "   "], no_site), (["--no-such", site], "unknown option --no-such\n"),
                (["-Zq", site], "unknown option -Z\n"), (["--nope=1", site], "unknown option --nope\n"),
                (["--grab"], "option --grab needs a value"), ([site, "-e"], "option -e needs a value"),
                (["-g", "up", site], "unknown grab mode 'up'"), (["--preset", "x", site], "unknown preset 'x'"),
                (["--max-pages", "0", site], pages), (["--max-pages", "x", site], pages),
                (["--max-pages", "+5", site], pages), (["--max-pages", " 5", site], pages),
                (["--page-timeout", "0", site], "--page-timeout takes"), ([site, site], "unexpected argument"),
                (["--max-page-size", "1e6", site], "--max-page-size takes"), (["--new", site], "--new needs a project"),
                (["-g", "custom", site], "The custom grab mode needs a text pattern"), (["-P", "..", site], "-P ..: "),
                (["-P", " ", site], "the project name (-P) is empty"), (["-P", "../up", site], "-P ../up: "),
                (["-P", "a/b", site], "-P a/b: "), (["-P", "a\tb", site], "-P a\\x09b: ")]:
            with self.subTest(args=args):
                self.assert_run(self.veltrano(*args), 2, [], message)
        self.assertEqual(self.server.targets(), [])
        self.assertEqual(os.listdir(self.cwd), [])
        usage = self.veltrano("--help")
        self.assert_run(usage, 0)
        pages = re.findall(r"/\S*/(?:patterns|index)\.html\b", usage.stdout.decode())  # the help pages it names
        self.assertEqual([os.path.basename(p) for p in pages if os.path.isfile(p)], ["patterns.html", "index.html"])

    def test_a_run_that_cannot_store_a_page_or_save_fails_and_keeps_the_old_files(self):
        os.makedirs(self.path("tmp.txt", "in the way"))  # where the page would be stored
        proc = self.veltrano("-q", self.site)
        shutil.rmtree(self.path("tmp.txt"))
        self.assert_run(proc, 1, [], "cannot store the page here: tmp.txt: ")
        self.assert_run(self.veltrano("-q", "-P", "full", "-o", "found.txt", "--max-pages", "1", self.site), 3)
        found = self.read("found.txt")
        old = {name: self.read("Projects", name) for name in os.listdir(self.path("Projects"))}
        os.mkdir(self.path("found.txt.saving"))  # where the new file would be put together
        proc = self.veltrano("-q", "-o", "found.txt", "--max-pages", "1", self.site)
        self.assert_run(proc, 1, stderr="cannot write found.txt: Is a directory")
        self.assertEqual(self.read("found.txt"), found)
        room = len(old["full_page.txt"])  # for a page, not for a longer list of pages
        small_disk = lambda: resource.setrlimit(resource.RLIMIT_FSIZE, (room, room))  # noqa: E731
        proc = self.veltrano("-q", "-P", "full", "--max-pages", "1", self.site, preexec_fn=small_disk)
        self.assert_run(proc, 1, stderr="cannot write ./Projects/full_page.txt: File too large")
        self.assertEqual({name: self.read("Projects", name) for name in os.listdir(self.path("Projects"))}, old)

    def test_two_runs_in_one_folder_do_not_share_it_and_a_second_interrupt_quits_at_once(self):
        first = self.start_held("/a.html", "-q", self.site)
        second = self.veltrano("-q", self.site)
        first.send_signal(signal.SIGINT)
        first.send_signal(signal.SIGINT)
        self.assertIn(self.finish(first).returncode, (3, 130))
        self.assert_run(second, 2, [], "another veltrano is crawling in this folder")  # and no page file is left

    def test_a_stop_breaks_the_page_off_saves_and_can_be_continued(self):
        for stop in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
            with self.subTest(signal=stop.name):
                self.setUp()
                proc = self.start_held("/a.html", "-q", "-P", "stop", "-o", "found.txt", self.site)
                proc.send_signal(stop)  # the page stays held: only breaking it off ends the run
                stopped = self.finish(proc)
                self.server.release("/a.html")
                self.assert_run(stopped, 3, self.results(end=6), "Stopping:")
                self.assertEqual(self.read("Projects", "stop_page.txt"), self.rows(["OK"] + [""] * 4))
                self.assertEqual(self.read("found.txt"), crlf(self.results(end=6)))
        self.assert_run(self.veltrano("-q", "-P", "stop", self.site), 0, self.results(6))
        self.assertEqual(self.read("Projects", "stop_page.txt"), self.rows(OK))

    def test_a_closed_output_stops_the_crawl_as_a_stop_does(self):
        self.hold("/a.html", "/sub/")
        proc = self.start("-P", "piped", self.site)
        self.assertEqual(proc.stdout.readline().decode(), self.results()[0] + "\n")
        proc.stdout.close()  # as `| head -1` does
        self.server.release("/a.html")
        stopped = self.finish(proc)
        self.assert_run(stopped, 3, stderr="The current project is saved successfully.")
        self.assertNotIn(b"Broken pipe", stopped.stderr)
        self.assertTrue(self.read("Projects", "piped_page.txt").endswith(b"\r\n\r\n"), "no row left for later")

    def test_connections_overlap_downloads_and_wait_spaces_their_starts(self):
        self.connections = 4
        proc = self.start_held("/a.html", "-q", self.site)
        for target in ("/moved.html", "/missing.html", "/skip-me.html"):  # three ahead of the page in its turn
            self.assertTrue(self.server.wait_for_request(target), target)
        self.server.release("/a.html")
        self.assert_run(self.finish(proc), 0)
        self.server.clear_log()
        self.connections = 8
        self.assert_run(self.veltrano("-q", "--thorough", "--wait", "0.2", self.base + "/all/"), 0)
        arrivals = [entry.time for entry in self.server.log()]
        self.assertEqual(len(arrivals), 4)
        self.assertGreaterEqual(min(b - a for a, b in zip(arrivals, arrivals[1:])), 0.15, arrivals)


if __name__ == "__main__":
    unittest.main()
