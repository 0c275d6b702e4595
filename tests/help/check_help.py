#!/usr/bin/env python3
"""usage: check_help.py VELTRANO.CHM [--veltrano BIN]: checks the compiled help file, read with chmls (Debian package
fp-utils). With --veltrano, the worked examples of the pattern page are run through the command line against their
pages served on 127.0.0.1."""
import argparse, html, os, re, shutil, subprocess, sys, tempfile, unittest
from pathlib import Path

REPO = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(REPO / "tests" / "support"))
from test_server import TestServer  # noqa: E402

PAGES = ("/index.html", "/patterns.html", "/contents.hhc")


def chmls(*args, cwd=None):
    program = shutil.which("chmls") or shutil.which("chmls-3.2.2") or "chmls"
    return subprocess.run([program, *args], cwd=cwd, capture_output=True, text=True, check=True).stdout


class HelpFile(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.dir = Path(tempfile.mkdtemp(prefix="veltrano-help-"))
        cls.addClassCleanup(shutil.rmtree, cls.dir)
        shutil.copyfile(ARGS.chm, cls.dir / "help.chm")  # extractalias writes beside it
        cls.names = {n.strip() for n in chmls("-p", "-n", "list", ARGS.chm).splitlines() if n.strip()[:1] in "/:"}
        chmls("extractall", ARGS.chm, cls.dir / "files")
        chmls("extractalias", "help.chm", cwd=cls.dir)
        cls.page = {name: (cls.dir / ("files" + name)).read_text("latin-1") for name in PAGES + ("/style.css",)}

    def test_pages_are_ascii_the_picture_is_the_screenshot_and_the_pattern_editors_context_opens_its_page(self):
        self.assertLessEqual({*PAGES, "/style.css", "/main-window.png"}, self.names)
        self.assertEqual([name for name, text in self.page.items() if not re.fullmatch(r"[\t\n\r -~]*", text)], [])
        self.assertEqual(*[(f / "main-window.png").read_bytes() for f in (self.dir / "files", REPO / "resources/help")])
        topic = re.search(r"kPatternHelpTopic = (\d+);", (REPO / "src/win32/item_editor_dialog.cpp").read_text())[1]
        symbols = re.findall(r"(?m)^#define\s+(\S+)\s+(\d+)\s*$", (self.dir / "help.h").read_text("latin-1"))
        topics = dict(re.findall(r"(?m)^([^=\n]+)=(.*)$", (self.dir / "help.ali").read_text("latin-1")))
        self.assertEqual([topics[s].strip().lstrip("/") for s, n in symbols if n == topic], ["patterns.html"])

    def test_links_lead_to_files_and_anchors_of_the_archive(self):
        tags = {name: " ".join(re.findall(r"<\w+[^>]*>", self.page[name])) for name in PAGES}  # not those shown as text
        anchors = {name: set(re.findall(r'(?i)(?:\bid|<a\s[^>]*\bname)="([^"]*)"', t)) for name, t in tags.items()}
        links = [(name, a or b) for name, t in tags.items()  # href, src and table-of-contents Local values
                 for a, b in re.findall(r'(?i)\b(?:href|src)="([^"]*)"|<param name="Local" value="([^"]*)"', t)]
        self.assertLessEqual({("/index.html", "main-window.png"), ("/patterns.html", "index.html")}, set(links))
        self.assertGreater(len(links), 20)
        for name, link in links:
            target, _, anchor = link.partition("#")
            target = "/" + target if target else name
            self.assertTrue(target in self.names and (not anchor or anchor in anchors[target]), name + " links " + link)

    def test_worked_examples_hold_the_readmes_and_are_what_veltrano_prints(self):
        rows = [re.findall(r'class="(pattern|page|result|refusal|nothing)">([^<]*)<', row)
                for row in re.findall(r'<tr class="example">(.*?)</tr>', self.page["/patterns.html"], re.S)]
        rows = [{kind: [html.unescape(v) for k, v in row if k == kind] for kind, _ in row} for row in rows]
        table = (REPO / "README.md").read_text().split("\n## Text patterns\n")[1].split("\n## ")[0]
        readme = re.findall(r"(?m)^\| `([^`]+)` \| `([^`]+)` \| (.+) \|$", table)  # pattern, page text, result
        self.assertLessEqual(set(readme), {(r["pattern"][0], r["page"][0], r.get("result", [""])[0]) for r in rows})
        self.assertTrue(len(readme) >= 3 and len(rows) >= 10 and {"refusal", "nothing"} <= {k for r in rows for k in r})
        if not ARGS.veltrano:
            self.skipTest("no --veltrano given")
        server = TestServer({"/ex%d/" % i: row["page"][0] for i, row in enumerate(rows)})
        self.addCleanup(server.stop)
        for i, row in enumerate(rows):
            with self.subTest(row=row), tempfile.TemporaryDirectory() as cwd:
                self.assertEqual(sum(kind in row for kind in ("result", "refusal", "nothing")), 1)
                proc = subprocess.run([ARGS.veltrano, "-q", "-g", "custom", "-p", *row["pattern"], "%s/ex%d/" % (
                    server.base_url, i)], cwd=cwd, stdin=subprocess.DEVNULL, capture_output=True, text=True, timeout=60)
                # A refusal: the command line points at the manual in its own words after the first sentence.
                refusal = row.get("refusal", [""])[0].split(". ")[0]
                self.assertEqual((proc.returncode, proc.stdout.splitlines(), refusal in proc.stderr),
                                 (2 if refusal else 0, row.get("result", []), True), proc.stderr)


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("chm")
    parser.add_argument("--veltrano", type=os.path.abspath)
    ARGS, rest = parser.parse_known_args()
    os.environ.setdefault("VELTRANO_BIN", ARGS.veltrano or "")  # the test server is built beside it
    unittest.main(argv=[sys.argv[0], "-v"] + rest)
