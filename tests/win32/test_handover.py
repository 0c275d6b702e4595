"""A crawl paused and saved by the desktop program under Wine is continued
by the command line to the same project files as one uninterrupted crawl.

Run inside the Wine step of scripts/test (a display and a Wine prefix are
set up there), with $VELTRANO_BIN the native command line and
$VELTRANO_HANDOVER_EXE build/win32/tests/desktop-handover.exe.
"""

import os
import shutil
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(os.path.dirname(HERE), "e2e"))

from fixture_server import FixtureServer  # noqa: E402

REPO = os.path.dirname(os.path.dirname(HERE))
BIN = os.environ.get("VELTRANO_BIN") or os.path.join(REPO, "build", "native", "veltrano")
HANDOVER_EXE = os.environ.get("VELTRANO_HANDOVER_EXE") or os.path.join(
    REPO, "build", "win32", "tests", "desktop-handover.exe")
SECTIONS = 6
PAGES_PER_SECTION = 5


def site():
    """A small site: sections of pages with pictures, documents and links back."""
    routes = {"/": "<h1>Home</h1>" + "".join(
        '<a href="s%d.html">Section %d</a>\n' % (i, i) for i in range(1, SECTIONS + 1)) + '<img><a href="logo.jpg">'}
    for i in range(1, SECTIONS + 1):
        routes["/s%d.html" % i] = "".join(
            '<a href="s%d/p%d.html">page</a> ' % (i, j) for j in range(1, PAGES_PER_SECTION + 1)) + (
            '<a href="../img%d.png">i</a> <a href="photo%d.JPG">p</a> <a href="/">home</a>' % (i, i))
        for j in range(1, PAGES_PER_SECTION + 1):
            routes["/s%d/p%d.html" % (i, j)] = (
                '<a href="../s%d.html">next</a> <A HREF=\'pic%d.gif\'>g</A> <a href="doc.pdf">d</a> '
                '<a href="pic%d.gif">again</a>' % (i % SECTIONS + 1, j, j))
    return routes


def settings_without_timer(data):
    return [line for line in data.split(b"\r\n") if not line.startswith(b"TIMER_")]


class HandoverTests(unittest.TestCase):
    def setUp(self):
        self.server = FixtureServer(site())
        self.addCleanup(self.server.stop)
        self.url = self.server.base_url + "/"
        self.desktop_dir = tempfile.mkdtemp(prefix="veltrano-handover-")
        self.cli_dir = tempfile.mkdtemp(prefix="veltrano-whole-")
        for folder in (self.desktop_dir, self.cli_dir):
            self.addCleanup(shutil.rmtree, folder, ignore_errors=True)

    def run_checked(self, args, cwd):
        proc = subprocess.run(args, cwd=cwd, stdin=subprocess.DEVNULL, capture_output=True, timeout=300)
        self.assertEqual(proc.returncode, 0, "%s: exit %d\n%s%s" % (
            args[:2], proc.returncode, proc.stdout.decode(errors="replace"), proc.stderr.decode(errors="replace")))
        return proc

    def project_file(self, folder, suffix):
        with open(os.path.join(folder, "Projects", "handover" + suffix), "rb") as f:
            return f.read()

    def test_paused_in_the_desktop_program_continued_by_the_command_line(self):
        self.run_checked(["wine", HANDOVER_EXE, self.url, "handover"], self.desktop_dir)
        cells = self.project_file(self.desktop_dir, "_page.txt").split(b"\r\n")[:-1]
        outcomes = cells[1::2]
        self.assertGreaterEqual(outcomes.count(b"OK"), 3)
        self.assertIn(b"", outcomes, "the desktop program paused with nothing left to do")
        by_desktop = self.server.targets()
        self.server.clear_log()

        self.run_checked([BIN, "-q", "-c", "1", "-P", "handover"], self.desktop_dir)
        by_cli = self.server.targets()
        self.server.clear_log()
        self.assertFalse(set(by_desktop) & set(by_cli), "pages fetched again on continue")

        self.run_checked([BIN, "-q", "-c", "1", "-P", "handover", "--preset", "image", self.url], self.cli_dir)
        self.assertEqual(by_desktop + by_cli, self.server.targets())
        self.assertEqual(len(self.server.targets()), 1 + SECTIONS * (1 + PAGES_PER_SECTION))
        for suffix in ("_page.txt", "_result.txt", "_extension.txt"):
            self.assertEqual(self.project_file(self.desktop_dir, suffix), self.project_file(self.cli_dir, suffix), suffix)
        self.assertEqual(settings_without_timer(self.project_file(self.desktop_dir, ".ini")),
                         settings_without_timer(self.project_file(self.cli_dir, ".ini")))


if __name__ == "__main__":
    unittest.main()
