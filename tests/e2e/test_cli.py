"""The veltrano command line ($VELTRANO_BIN, or build/native/veltrano) end to end, against a site on 127.0.0.1."""
import os, pty, re, resource, shutil, signal, subprocess, sys, tempfile, unittest
from pathlib import Path

REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(REPO, "tests", "support"))
from test_server import Page, Redirect, TestServer  # noqa: E402

BIN = os.path.abspath(os.environ.get("VELTRANO_BIN") or os.path.join(REPO, "build", "native", "veltrano"))
COMPLETED, NOT_FOUND, LEAF = "The project is completed successfully!", "INET_E_OBJECT_NOT_FOUND", "<p>leaf</p>"
TITLE, PATTERNS = "\x1b]0;owned\x07Hi \x1b[31mred", ["<title > </title>", "<b > </b>"]
SITE = {  # links of each kind: a result only, another host, a redirect, a failure, a folder
    "/": '<title>%s</title><a href="a.html">A</a> <a href="pic.jpg">picture</a> <a href="moved.html">moved</a>'
         ' <a href="missing.html">404</a> <a href="skip-me.html">skip</a> <a href="http://localhost:@PORT@/x.html">'
         'same machine, other host</a>' % TITLE,
    "/a.html": '<b>bold</b> <a href="/">home</a> <a href="sub/">folder</a> <a href="doc.pdf">manual</a>',
    "/moved.html": Redirect("/new/page.html"), "/new/page.html": '<a href="next.html">beside where it landed</a>',
    "/missing.html": Page('<a href="trap.html">error pages are not read</a>', status=404), "/sub/": LEAF,
    "/new/next.html": LEAF, "/skip-me.html": LEAF, "/all/frame.html": LEAF, "/all/v2/next.html?a=1&b=2": LEAF,
    "/all/": '<style>body { background: url(img/bg.png) }</style><!-- <a href="old.html"> -->'
             '<img src="img/logo.png" srcset="img/logo-2x.png 2x"><A TITLE=x HREF=guide.html>guide</A>'
             '<iframe src="frame.html"></iframe>',
    "/all/guide.html": '<base href="/all/v2/"><a href="next.html?a=1&amp;b=2">next</a><img src="shot.png">',
}
PAGES = ["/", "/a.html", "/moved.html", "/missing.html", "/skip-me.html", "/sub/", "/new/next.html"]
OK = ["OK", "OK", "OK", NOT_FOUND, "OK", "OK", "OK"]  # the result of each of PAGES
REQUESTS = PAGES[:3] + ["/new/page.html"] + PAGES[3:]  # the redirect is followed at once
FOUND = ["/a.html", "/pic.jpg", "/moved.html", "/missing.html", "/skip-me.html", "http://localhost:@PORT@/x.html",
         "/", "/sub/", "/doc.pdf", "/new/next.html"]  # what a Links crawl of the site finds, in order
SETTINGS = (rb"\A\[ MAIN \]\r\nTIMER_SEC = \d+\r\nTIMER_MIN = \d+\r\nTIMER_HOUR = \d+\r\n"
            rb"TRAFFIC = %s\r\nGRAB_TYPE = %d\r\nSKIP_MASK = %s\r\n\Z")  # a project's NAME.ini


crlf = lambda lines: b"".join(line.encode() + b"\r\n" for line in lines)  # noqa: E731
read = lambda *path: Path(*path).read_bytes()  # noqa: E731


class Crawls:  # run with one connection (CommandLineTests) and with eight (EightConnections)
    connections = 1

    @classmethod
    def setUpClass(cls):
        cls.server = TestServer(SITE)
        cls.addClassCleanup(cls.server.stop)
        cls.base, cls.site = cls.server.base_url, cls.server.base_url + "/"
        cls.found = [cls.server.expand(target if "//" in target else "@BASE@" + target) for target in FOUND]

    def setUp(self):
        os.chdir(tempfile.mkdtemp(prefix="veltrano-e2e-"))
        self.addCleanup(shutil.rmtree, os.getcwd(), ignore_errors=True)
        self.server.clear_log()

    def start(self, *args, held=(), **options):
        """Starts the binary; answers to `held` wait for server.release(); it returns once the first is asked for."""
        for target in held:
            self.server.hold(target)
            self.addCleanup(self.server.release, target)
        proc = subprocess.Popen([BIN, "-c", str(self.connections), *args], stdin=subprocess.DEVNULL,
                                **{"stdout": subprocess.PIPE, "stderr": subprocess.PIPE, **options})
        self.addCleanup(lambda: proc.poll() is None and (proc.kill(), proc.communicate()))
        self.assertTrue(all(map(self.server.wait_for_request, held[:1])), "the crawler never asked for %s" % (held,))
        return proc

    def veltrano(self, *args, proc=None, **options):
        proc = proc or self.start(*args, **options)
        out, err = proc.communicate(timeout=60)
        return subprocess.CompletedProcess(proc.args, proc.returncode, out, err)

    def rows(self, results, pages=PAGES):
        return crlf([cell for page, result in zip(pages, results) for cell in (self.base + page, result)])

    def assert_run(self, run, status, stdout=None, stderr="", requests=None):
        run = self.veltrano(*run) if isinstance(run, list) else run
        err = run.stderr.decode(errors="replace")
        self.assertEqual(run.returncode, status, err)
        self.assertIn(stderr, err)
        if stdout is not None:
            self.assertEqual(run.stdout.decode(), "".join(line + "\n" for line in stdout))
        self.assertFalse(os.path.exists("tmp.txt"), "the page file was left behind")
        if requests is not None and (self.connections == 1 or not requests):
            self.assertEqual(self.server.targets(), requests)

    def assert_project(self, name, grab=0, skip_mask="", ahead=False, **files):
        """NAME.ini, and NAME_SUFFIX.txt byte for byte (None: missing); the traffic: all sent, unless fetched ahead."""
        sent = b"%d" % sum(e.body_bytes for e in self.server.log() if e.target != "/robots.txt")
        traffic = rb"\d+" if ahead and self.connections > 1 else sent
        self.assertRegex(read("Projects", name + ".ini"), SETTINGS % (traffic, grab, re.escape(skip_mask.encode())))
        for path, data in {"Projects/%s_%s.txt" % (name, suffix): data for suffix, data in files.items()}.items():
            self.assertEqual(read(path) if os.path.exists(path) else None, data, path)

    def test_a_crawl_prints_and_saves_every_link_and_reads_each_page_once(self):
        self.assert_run(["-P", "site", "-s", "SKIP", "-o", "found.txt", self.site], 0, self.found,  # no progress
                        "failed: %s/missing.html: %s (the server has no such page)" % (self.base, NOT_FOUND),
                        [t for t in REQUESTS if t != "/skip-me.html"])
        self.assertEqual(read("found.txt"), crlf(self.found))
        self.assert_project("site", skip_mask="SKIP", page=self.rows(OK[:4] + ["SKIPPED"] + OK[5:]),
                            result=crlf(self.found), extension=b"", pattern=None)

    def test_custom_mode_overlaps_downloads_and_prints_captured_texts_escaped_on_a_terminal_only(self):
        args = ("-q", "-g", "custom", "-p", PATTERNS[0], "-p", PATTERNS[1], self.site)
        proc = self.start("-P", "cu", *args, held=["/a.html"])
        self.assertTrue(all(map(self.server.wait_for_request, PAGES[2:5][:self.connections - 1])), "none ahead")
        self.server.release("/a.html")
        self.assert_run(self.veltrano(proc=proc), 0, [TITLE, "bold"])
        self.assert_project("cu", grab=1, page=self.rows(OK), result=crlf([TITLE, "bold"]), pattern=crlf(PATTERNS),
                            extension=None)
        terminal, side = pty.openpty()
        self.addCleanup(os.close, terminal)
        proc = self.start(*args, stdout=side, stderr=side)
        os.close(side)
        shown = b"\\x1b]0;owned\\x07Hi \\x1b[31mred\r\nbold\r\n%s\r\n" % COMPLETED.encode()
        self.assertEqual((proc.wait(timeout=60), os.read(terminal, 4096)), (0, shown))

    def test_a_paused_crawl_continues_then_is_refused_until_new(self):
        self.assert_run(["-q", "-P", "p", "--max-pages", "2", self.site], 3, self.found[:9], requests=REQUESTS[:2])
        self.assert_project("p", page=self.rows(OK[:2] + [""] * 4), result=crlf(self.found[:9]), ahead=True)
        self.assert_run(["-q", "-P", " p ", "--max-pages", "2", self.site], 3, self.found[9:], requests=REQUESTS[:5])
        self.assert_run(["-q", "-P", "p", self.site], 0, [], COMPLETED, REQUESTS)
        self.assert_project("p", page=self.rows(OK), result=crlf(self.found), extension=b"", ahead=True)
        self.server.clear_log()
        self.assert_run(["-q", "-P", "p", self.site], 2, [],
                        "This project is complete. To crawl its site again from the start, add --new.", [])
        self.assert_run(["-q", "-P", "p", "--new", self.site], 0, self.found, requests=REQUESTS)


class CommandLineTests(Crawls, unittest.TestCase):
    def test_all_links_takes_what_a_browser_loads_of_the_extensions_the_project_keeps_the_mode_and_wait_spaces(self):
        b = self.base + "/all/"
        results = [b + "img/bg.png", b + "img/logo.png", b + "img/logo-2x.png", b + "v2/shot.png"]
        pages = ["/all/", "/all/guide.html", "/all/frame.html", "/all/v2/next.html?a=1&b=2"]
        self.assert_run(["-q", "--thorough", "--preset", "image", "-e", "pdf, jpg", "-e", "gz", "-P", "all", b], 0,
                        results, requests=pages)
        self.assert_project("all", grab=2, page=self.rows(["OK"] * 4, pages), result=crlf(results),
                            extension=crlf(["gif", "png", "jpg", "jpeg", "bmp", "ico", "pdf", "gz"]))
        # Again from the start, with eight connections whose requests start at least --wait seconds apart.
        self.server.clear_log()
        self.connections = 8
        self.assert_run(["-q", "--new", "-P", "all", "--wait", "0.2"], 0, results)
        arrivals = [entry.time for entry in self.server.log()]
        self.assertTrue(len(arrivals) == 4 and min(b - a for a, b in zip(arrivals, arrivals[1:])) >= 0.15, arrivals)

    def test_robots_txt_decides_which_pages_are_fetched(self):
        rules = "User-agent: *\nDisallow: /\n\nUser-agent: Veltrano\nDisallow: /a.html\nDisallow: /*skip\n"
        no, pages = "DISALLOWED", PAGES[:5] + PAGES[6:]
        for robots, status, message, results, requests in [
                ((rules, 200), 0, COMPLETED, ["OK", no, "OK", NOT_FOUND, no, "OK"],
                 ["/robots.txt", "/", "/moved.html", "/new/page.html", "/missing.html", "/new/next.html"]),
                (("down", 500), 4, "Not one page could be downloaded", [no], ["/robots.txt"])]:
            with self.subTest(robots=robots):
                self.setUp()
                self.server.route("/robots.txt", *robots)  # asked for first, and once; the site is taken as http
                self.assert_run(["-q", "--robots", "-P", "r", self.site[7:]], status, None, message, requests)
                self.assert_project("r", page=self.rows(results, pages))

    def test_usage_errors_exit_2_naming_the_fault_and_fetch_nothing(self):
        site, pages = self.site, "--max-pages takes"
        for args, message in [
                (["-q", "   "], "No web site to crawl"), ([site, site], "unexpected"), (["-P", " ", site], "(-P)"),
                (["-Zq", site], "unknown option -Z\n"), (["--nope=1", site], "unknown option --nope\n"),
                (["--grab"], "option --grab needs a value"), ([site, "-e"], "option -e needs a value"),
                (["-g", "up", site], "unknown grab mode 'up'"), (["--preset", "x", site], "unknown preset 'x'"),
                (["--new", site], "--new needs a project"), (["--max-pages", "0", site], pages), (["--max-pages", "+5", site], pages),
                (["--page-timeout", "0", site], "--page-timeout takes"), (["-P", "a\tb", site], "-P a\\x09b: "),
                (["--max-page-size", "1e6", site], "--max-page-size takes"), (["-g", "custom", site], "a text")]:
            with self.subTest(args=args):
                self.assert_run(args, 2, [], message, [])
        self.assertEqual(os.listdir(), [])

    def test_a_run_that_cannot_store_a_page_write_its_list_or_save_fails_saying_why(self):
        os.makedirs("tmp.txt/in the way")  # where the page would be stored
        proc = self.veltrano("-q", self.site)
        shutil.rmtree("tmp.txt")
        self.assert_run(proc, 1, [], "cannot store the page here: tmp.txt: ")
        os.mkdir("found.txt.saving")  # where the new list would be put together
        self.assert_run(["-q", "-o", "found.txt", "-P", "full", "--max-pages", "1", self.site], 1,
                        stderr="cannot write found.txt: Is a directory")
        room = len(read("Projects", "full_page.txt"))  # for a page, not for a longer list of pages
        small_disk = lambda: resource.setrlimit(resource.RLIMIT_FSIZE, (room, room))  # noqa: E731
        self.assert_run(self.veltrano("-q", "-P", "full", "--max-pages", "1", self.site, preexec_fn=small_disk), 1,
                        stderr="cannot write ./Projects/full_page.txt: File too large")

    def test_one_crawler_a_folder_a_second_stop_quits_a_first_breaks_the_page_off_saves_and_can_be_continued(self):
        first = self.start("-q", self.site, held=["/a.html"])
        second = self.veltrano("-q", self.site)
        first.send_signal(signal.SIGINT)
        first.send_signal(signal.SIGINT)
        self.assertIn(self.veltrano(proc=first).returncode, (3, 130))
        self.assert_run(second, 2, [], "another veltrano is crawling in this folder")  # and no page file is left
        for stop in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
            with self.subTest(signal=stop.name):
                self.setUp()
                proc = self.start("-q", "-P", "stop", "-o", "found.txt", self.site, held=["/a.html"])
                proc.send_signal(stop)  # the page stays held: only breaking it off ends the run
                self.assert_run(self.veltrano(proc=proc), 3, self.found[:6], "Stopping:")
                self.server.release("/a.html")
                self.assertEqual(read("Projects", "stop_page.txt"), self.rows(["OK"] + [""] * 4))
                self.assertEqual(read("found.txt"), crlf(self.found[:6]))
        self.assert_run(["-q", "-P", "stop", self.site], 0, self.found[6:])
        self.assertEqual(read("Projects", "stop_page.txt"), self.rows(OK))

    def test_a_closed_output_stops_the_crawl_as_a_stop_does(self):
        proc = self.start("-P", "piped", self.site, held=["/a.html", "/sub/"])
        self.assertEqual(proc.stdout.readline().decode(), self.found[0] + "\n")
        proc.stdout.close()  # as `| head -1` does
        self.server.release("/a.html")
        self.assert_run(self.veltrano(proc=proc), 3, stderr="The current project is saved successfully.")
        self.assertTrue(read("Projects", "piped_page.txt").endswith(b"\r\n\r\n"), "no row left for later")


class EightConnections(Crawls, unittest.TestCase):
    connections = 8


if __name__ == "__main__":
    unittest.main()
