#!/usr/bin/env python3
"""usage: check_help.py VELTRANO.CHM [--veltrano BIN]: the compiled help file, read with chmls (Debian fp-utils); with
BIN, the worked examples of the pattern page run through the command line against their pages on 127.0.0.1."""
import html, os, re, shutil, subprocess, sys, tempfile, unittest
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
        shutil.copyfile(CHM, cls.dir / "help.chm")  # extractalias writes beside it
        cls.names = {n.strip() for n in chmls("-p", "-n", "list", CHM).splitlines() if n.strip()[:1] in "/:"}
        chmls("extractall", CHM, cls.dir / "files")
        chmls("extractalias", "help.chm", cwd=cls.dir)
        cls.page = {name: (cls.dir / ("files" + name)).read_text("latin-1") for name in PAGES + ("/style.css",)}

    def test_pages_are_ascii_the_picture_is_the_screenshot_and_the_pattern_editors_context_opens_its_page(self):
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
        for name, link in links:
            target, _, anchor = (name + link if link.startswith("#") else "/" + link).partition("#")
            self.assertTrue(target in self.names and (not anchor or anchor in anchors[target]), name + " links " + link)

    def test_worked_examples_hold_the_readmes_and_are_what_veltrano_prints(self):
        rows = [re.findall(r'class="(pattern|page|result|refusal|nothing)">([^<]*)<', row)
                for row in re.findall(r'<tr class="example">(.*?)</tr>', self.page["/patterns.html"], re.S)]
        rows = [{kind: [html.unescape(v) for k, v in row if k == kind] for kind, _ in row} for row in rows]
        table = (REPO / "README.md").read_text().split("\n## Text patterns\n")[1].split("\n## ")[0]
        readme = re.findall(r"(?m)^\| `([^`]+)` \| `([^`]+)` \| (.+) \|$", table)  # pattern, page text, result
        self.assertLessEqual(set(readme), {(r["pattern"][0], r["page"][0], r.get("result", [""])[0]) for r in rows})
        self.assertTrue(len(readme) >= 3 and len(rows) >= 10 and {"refusal", "nothing"} <= {k for r in rows for k in r})
        if not VELTRANO:
            self.skipTest("no --veltrano given")
        self.addCleanup((server := TestServer({"/ex%d/" % i: row["page"][0] for i, row in enumerate(rows)})).stop)
        for i, row in enumerate(rows):
            with self.subTest(row=row), tempfile.TemporaryDirectory() as cwd:
                proc = subprocess.run([VELTRANO, "-q", "-g", "custom", "-p", *row["pattern"], "%s/ex%d/" % (
                    server.base_url, i)], cwd=cwd, stdin=subprocess.DEVNULL, capture_output=True, text=True, timeout=60)
                refusal = row.get("refusal", [""])[0].split(". ")[0]  # then it names the manual in its own words
                self.assertEqual((proc.returncode, proc.stdout.splitlines(), refusal in proc.stderr),
                                 (2 if refusal else 0, row.get("result", []), True), proc.stderr)


if __name__ == "__main__":
    CHM, VELTRANO = sys.argv[1], (os.path.abspath(sys.argv[3]) if sys.argv[2:3] == ["--veltrano"] else "")
    os.environ.setdefault("VELTRANO_BIN", VELTRANO)  # the test server is built beside it
    unittest.main(argv=[sys.argv[0], "-v"] + sys.argv[4 if VELTRANO else 2:])
