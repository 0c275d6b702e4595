#!/usr/bin/env python3
"""usage: check_help.py VELTRANO.CHM [--veltrano BIN]

Checks the compiled help file, read with chmls (Debian package fp-utils). With --veltrano, the worked
examples of the pattern page are run through the command line against their pages served on 127.0.0.1."""
import argparse, html, os, re, shutil, subprocess, sys, tempfile, unittest

REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(REPO, "tests", "support"))
from test_server import TestServer  # noqa: E402

PAGES = ("/index.html", "/patterns.html", "/contents.hhc")


def read(path):
    with open(os.path.join(REPO, path), "rb") as f:
        return f.read()


def chmls(*args, cwd=None):
    program = shutil.which("chmls") or shutil.which("chmls-3.2.2") or "chmls"
    return subprocess.run([program, *args], cwd=cwd, capture_output=True, text=True, check=True).stdout


def links_and_anchors(text):
    """The href, src and table-of-contents Local values of a page's tags; its <a name> and id values."""
    tags = [(tag.lower(), {k.lower(): v for k, v in re.findall(r'([\w-]+)="([^"]*)"', attributes)})
            for tag, attributes in re.findall(r"<(\w+)([^>]*)>", text)]
    local = lambda tag, attributes: tag == "param" and attributes.get("name") == "Local"
    return ([a[k] for t, a in tags for k in a if k in ("href", "src") or (k == "value" and local(t, a))],
            {a[k] for t, a in tags for k in a if k == "id" or (t, k) == ("a", "name")})


def examples(text):
    """The worked examples (rows of class "example"), each its texts by class."""
    for row in re.findall(r'<tr class="example">(.*?)</tr>', text, re.S):
        cells = {}
        for kind, value in re.findall(r'class="(pattern|page|result|refusal|nothing)">([^<]*)<', row):
            cells.setdefault(kind, []).append(html.unescape(value))
        yield cells


class HelpFile(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.dir = tempfile.mkdtemp(prefix="veltrano-help-")
        cls.addClassCleanup(shutil.rmtree, cls.dir)
        shutil.copyfile(ARGS.chm, os.path.join(cls.dir, "help.chm"))  # extractalias writes beside it
        cls.names = {n.strip() for n in chmls("-p", "-n", "list", ARGS.chm).splitlines() if n.strip()[:1] in "/:"}
        chmls("extractall", ARGS.chm, os.path.join(cls.dir, "files"))
        chmls("extractalias", "help.chm", cwd=cls.dir)

    def file(self, name):
        return read(os.path.join(self.dir, name))

    def test_pages_are_ascii_and_the_picture_is_the_screenshot(self):
        self.assertLessEqual({*PAGES, "/style.css", "/main-window.png"}, self.names)
        for name in PAGES + ("/style.css",):
            self.assertRegex(self.file("files" + name), rb"^[\t\n\r\x20-\x7e]*$", name)
        self.assertEqual(self.file("files/main-window.png"), read("resources/help/main-window.png"))

    def test_the_pattern_editors_context_number_opens_the_pattern_page(self):
        topic = re.search(rb"kPatternHelpTopic = (\d+);", read("src/win32/item_editor_dialog.cpp"))[1].decode()
        symbols = re.findall(r"(?m)^#define\s+(\S+)\s+(\d+)\s*$", self.file("help.h").decode("latin-1"))
        topics = dict(line.split("=", 1) for line in self.file("help.ali").decode("latin-1").split("\n") if "=" in line)
        self.assertEqual([topics[s].strip().lstrip("/") for s, n in symbols if n == topic], ["patterns.html"])

    def test_links_lead_to_files_and_anchors_of_the_archive(self):
        pages = {name: links_and_anchors(self.file("files" + name).decode("ascii")) for name in PAGES}
        self.assertTrue("main-window.png" in pages["/index.html"][0] and "index.html" in pages["/patterns.html"][0])
        self.assertGreater(sum(len(links) for links, _ in pages.values()), 20)
        for name, (links, _) in pages.items():
            for link in links:
                target, _, anchor = link.partition("#")
                target = "/" + target if target else name
                self.assertIn(target, self.names, "%s links %s" % (name, link))
                self.assertTrue(not anchor or anchor in pages[target][1], "%s links %s" % (name, link))

    def test_worked_examples_hold_the_readmes_and_are_what_veltrano_prints(self):
        rows = list(examples(self.file("files/patterns.html").decode("ascii")))
        table = read("README.md").decode().split("\n## Text patterns\n")[1].split("\n## ")[0]
        readme = re.findall(r"(?m)^\| `([^`]+)` \| `([^`]+)` \| (.+) \|$", table)  # pattern, page text, result
        self.assertGreaterEqual(len(readme), 3)
        self.assertLessEqual(set(readme), {(r["pattern"][0], r["page"][0], r.get("result", [""])[0]) for r in rows})
        self.assertTrue(len(rows) >= 10 and any("refusal" in r for r in rows) and any("nothing" in r for r in rows))
        if not ARGS.veltrano:
            self.skipTest("no --veltrano given")
        server = TestServer({"/ex%d/" % i: row["page"][0] for i, row in enumerate(rows)})
        self.addCleanup(server.stop)
        for i, row in enumerate(rows):
            with self.subTest(row=row), tempfile.TemporaryDirectory() as cwd:
                self.assertEqual(sum(kind in row for kind in ("result", "refusal", "nothing")), 1)
                proc = subprocess.run([ARGS.veltrano, "-q", "-g", "custom", "-p", *row["pattern"], "%s/ex%d/" % (
                    server.base_url, i)], cwd=cwd, stdin=subprocess.DEVNULL, capture_output=True, timeout=60)
                # A refusal: the command line points at the manual in its own words after the first sentence.
                refusal = row.get("refusal", [""])[0].split(". ")[0]
                self.assertEqual((proc.returncode, proc.stdout.decode().splitlines()),
                                 (2 if refusal else 0, row.get("result", [])))
                self.assertIn(refusal, proc.stderr.decode())


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("chm")
    parser.add_argument("--veltrano", type=os.path.abspath)
    ARGS, rest = parser.parse_known_args()
    os.environ.setdefault("VELTRANO_BIN", ARGS.veltrano or "")  # the test server is built beside it
    unittest.main(argv=[sys.argv[0], "-v"] + rest)
