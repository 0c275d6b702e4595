"""A crawl paused and saved by the desktop program under Wine ($VELTRANO_HANDOVER_EXE, run by scripts/test
with a display and a Wine prefix) is continued by the command line ($VELTRANO_BIN) to the same project
files as one uninterrupted crawl."""

import os
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

REPO = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(REPO / "tests" / "support"))
from test_server import TestServer  # noqa: E402

BIN = os.environ.get("VELTRANO_BIN") or str(REPO / "build" / "native" / "veltrano")
HANDOVER_EXE = os.environ.get("VELTRANO_HANDOVER_EXE") or str(REPO / "build" / "win32" / "tests" / "desktop-handover.exe")
SECTIONS, PAGES = 6, 5

# Sections of pages with pictures, documents and links back.
SITE = {"/": "".join('<a href="s%d.html">s</a>\n' % i for i in range(1, SECTIONS + 1)) + '<img><a href="logo.jpg">'}
for i in range(1, SECTIONS + 1):
    SITE["/s%d.html" % i] = "".join('<a href="s%d/p%d.html">p</a> ' % (i, j) for j in range(1, PAGES + 1)) + (
        '<a href="../img%d.png">i</a> <a href="photo%d.JPG">p</a> <a href="/">home</a>' % (i, i))
    for j in range(1, PAGES + 1):
        SITE["/s%d/p%d.html" % (i, j)] = ('<a href="../s%d.html">next</a> <A HREF=\'pic%d.gif\'>g</A> <a href="doc.pdf">d</a> '
                                          '<a href="pic%d.gif">again</a>' % (i % SECTIONS + 1, j, j))


class HandoverTests(unittest.TestCase):
    def run_in(self, folder, *args):
        """The targets the server was asked for while `args` ran in `folder`."""
        proc = subprocess.run(args, cwd=folder, stdin=subprocess.DEVNULL, capture_output=True, timeout=300)
        self.assertEqual(proc.returncode, 0, "%s: %s%s" % (args[:2], proc.stdout.decode(errors="replace"),
                                                           proc.stderr.decode(errors="replace")))
        targets = self.server.targets()
        self.server.clear_log()
        return targets

    def test_paused_in_the_desktop_program_continued_by_the_command_line(self):
        self.server = TestServer(SITE)
        self.addCleanup(self.server.stop)
        url = self.server.base_url + "/"
        handed, whole = (Path(self.enterContext(tempfile.TemporaryDirectory())) for _ in range(2))
        by_desktop = self.run_in(handed, "wine", HANDOVER_EXE, url, "handover")
        outcomes = (handed / "Projects" / "handover_page.txt").read_bytes().split(b"\r\n")[1::2]
        self.assertTrue(outcomes.count(b"OK") >= 3 and b"" in outcomes, "the desktop program paused too early or too late")
        by_cli = self.run_in(handed, BIN, "-q", "-c", "1", "-P", "handover")
        # Nothing fetched twice, nothing left out: the requests of one crawl, in its order.
        self.assertEqual(by_desktop + by_cli, self.run_in(whole, BIN, "-q", "-c", "1", "-P", "handover", "--preset", "image", url))
        self.assertEqual(len(by_desktop + by_cli), 1 + SECTIONS * (1 + PAGES))
        for name in ("handover_page.txt", "handover_result.txt", "handover_extension.txt", "handover.ini"):
            handed_lines, whole_lines = ([line for line in (folder / "Projects" / name).read_bytes().split(b"\r\n")
                                          if not line.startswith(b"TIMER_")] for folder in (handed, whole))
            self.assertEqual(handed_lines, whole_lines, name)


if __name__ == "__main__":
    unittest.main()
