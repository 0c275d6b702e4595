"""The packages in VELTRANO_PACKAGE_DIR as a user gets them; scripts/test-package runs this in an X server for Wine."""
import functools, gzip, http.server, os, re, shutil, struct, subprocess, tempfile, threading, unittest, zipfile
from pathlib import Path

REPO = Path(__file__).resolve().parents[2]
PACKAGES = os.environ.get("VELTRANO_PACKAGE_DIR") or str(REPO / "build" / "package")
HELP = "/usr/share/doc/veltrano/html"


read = lambda *path: Path(*path).read_bytes()  # noqa: E731


def run(*args, timeout=600, **options):
    proc = subprocess.run(args, capture_output=True, text=True, timeout=timeout, stdin=subprocess.DEVNULL, **options)
    if proc.returncode != 0:
        raise AssertionError("%s: exit %d\n%s%s" % (args, proc.returncode, proc.stdout, proc.stderr))
    return proc.stdout


VERSION = re.search(rb"\nproject\(Veltrano VERSION ([0-9.]+)", read(REPO, "CMakeLists.txt"))[1].decode()
ARCH = run("dpkg", "--print-architecture").strip()
DEB, SETUP, ZIP = (os.path.join(PACKAGES, name % VERSION) for name in
                   ("veltrano_%s_" + ARCH + ".deb", "Veltrano-%s-setup.exe", "Veltrano-%s-win64.zip"))


class DebianPackage(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.root = tempfile.mkdtemp(prefix="veltrano-deb-")
        cls.addClassCleanup(shutil.rmtree, cls.root)
        run("dpkg", "-x", DEB, cls.root)
        cls.veltrano = functools.partial(run, cls.root + "/usr/bin/veltrano", cwd=cls.root)

    def test_files_fields_and_depends(self):
        listing = [line.split(None, 5) for line in run("dpkg-deb", "-c", DEB).splitlines()]
        files = ["/usr/share/man/man1/veltrano.1.gz", "/usr/share/doc/veltrano/copyright"] + [
            HELP + "/" + page for page in ("index.html", "patterns.html", "style.css", "main-window.png")]
        self.assertEqual({path: mode for mode, _, *_, path in listing if mode[0] != "d"},
                         {"./usr/bin/veltrano": "-rwxr-xr-x", **{"." + file: "-rw-r--r--" for file in files}})
        self.assertEqual({mode for mode, *_ in listing if mode[0] == "d"}, {"drwxr-xr-x"})
        self.assertEqual({owner for _, owner, *_ in listing}, {"root/root"})
        self.assertNotIn(".debug_info", run("readelf", "-S", self.root + "/usr/bin/veltrano"), "not stripped")
        control = run("dpkg-deb", "-f", DEB)
        for field in ("Package: veltrano", "Version: " + re.escape(VERSION), "Architecture: " + ARCH, "Section: web",
                      r"Maintainer: [^<>]+ <[^<>@\s]+@[^<>@\s]+>", r"Description: .+\n .+\n .+"):
            self.assertRegex(control, "(?m)^%s$" % field)
        shlibdeps = "mkdir debian && touch debian/control && dpkg-shlibdeps -O usr/bin/veltrano"
        self.assertIn("\n" + run("sh", "-c", shlibdeps, cwd=self.root).replace("shlibs:Depends=", "Depends: "), control)

    def test_unpacked_program_tells_its_version_and_help_pages_and_crawls_a_local_site(self):
        self.assertEqual(self.veltrano("-V"), "veltrano %s\n" % VERSION)
        self.assertEqual(re.findall(r"/\S+\.html", self.veltrano("--help")), [HELP + "/patterns.html",
                                                                              HELP + "/index.html"])
        # Python serves the site: the packages are tested where the native tests' server need not be built.
        folder = Path(tempfile.mkdtemp(dir=self.root))
        (folder / "index.html").write_text('<a href="b.html">b</a> <a href="c.png">')
        (folder / "b.html").write_text('<a href="d.jpg">')
        quiet = type("Quiet", (http.server.SimpleHTTPRequestHandler,), {"log_message": lambda *args: None})
        server = self.enterContext(http.server.ThreadingHTTPServer(("127.0.0.1", 0),
                                                                   functools.partial(quiet, directory=folder)))
        threading.Thread(target=server.serve_forever, daemon=True).start()
        self.addCleanup(server.shutdown)
        site = "http://127.0.0.1:%d/" % server.server_port
        self.assertEqual(self.veltrano("-q", "-e", "jpg", site), site + "d.jpg\n")

    @unittest.skipUnless(os.environ.get("VELTRANO_TEST_CHROOT") == "1", "VELTRANO_TEST_CHROOT=1: apt-get install")
    def test_apt_get_installs_it_into_a_fresh_debian_where_it_crawls(self):
        root = tempfile.mkdtemp(prefix="veltrano-chroot-", dir=PACKAGES)  # nothing mounted: rmtree is safe
        self.addCleanup(shutil.rmtree, root, ignore_errors=True)
        run("debootstrap", "--variant=minbase", "bookworm", root, "http://deb.debian.org/debian", timeout=1800)
        shutil.copy("/etc/resolv.conf", root + "/etc/resolv.conf")
        shutil.copy(DEB, root + "/tmp/")
        self.veltrano = functools.partial(run, "chroot", root, "env", "DEBIAN_FRONTEND=noninteractive")
        self.veltrano("apt-get", "update")
        self.veltrano("apt-get", "install", "-y", "--no-install-recommends", "/tmp/" + os.path.basename(DEB))
        self.veltrano = functools.partial(self.veltrano, "veltrano")
        self.test_unpacked_program_tells_its_version_and_help_pages_and_crawls_a_local_site()

    def test_manual_page_renders_without_warnings_and_documents_every_option_and_exit_status(self):
        source = gzip.decompress(read(self.root, "usr/share/man/man1/veltrano.1.gz")).decode()
        self.assertRegex(source, r'(?m)^\.TH VELTRANO 1 "\d{4}-\d\d-\d\d" "Veltrano %s"' % re.escape(VERSION))
        groff = subprocess.run("groff -man -Tutf8 -ww -P-cbou".split(), input=source, text=True, capture_output=True)
        self.assertEqual((groff.returncode, groff.stderr), (0, ""), "groff warns")
        options = {o for p in re.findall(r"(?m)^\s+(?:(-\w), )?(--[a-z-]+)", self.veltrano("--help")) for o in p if o}
        self.assertGreaterEqual(len(options), 25)
        for documented in ["NAME$", "SYNOPSIS$", "DESCRIPTION$", "OPTIONS$", "EXIT STATUS$", "FILES$", "EXAMPLES$",
                           ".*veltrano - grab links or texts from one web site", ".*" + HELP + "/patterns.html"] + [
                r" +(.*, )?%s\b" % re.escape(o) for o in sorted(options)] + [r" +%d +\S" % s for s in range(5)]:
            self.assertRegex(groff.stdout, "(?m)^" + documented)


class WindowsSetup(unittest.TestCase):
    def wine(self, script, *args):
        return run("bash", "-c", 'source "$LIBS/wine.sh" && veltrano_wine_env "$WINEPREFIX" && ' + script, "wine",
                   *args, env=dict(os.environ, HOME=self.home, WINEPREFIX=self.prefix, LIBS=str(REPO / "scripts/lib")))

    def test_the_zip_and_the_silent_install_and_uninstall(self):
        with zipfile.ZipFile(ZIP) as archive:
            files = {name: archive.read(name) for name in archive.namelist()}
        exe = files.get("Veltrano.exe", b"")
        pe = struct.unpack_from("<I", exe, 0x3C)[0]  # a 64-bit program and a compiled help file
        self.assertEqual((sorted(files), exe[pe:pe + 6], files["Veltrano.chm"][:4]),
                         (["Veltrano.chm", "Veltrano.exe"], b"PE\0\0\x64\x86", b"ITSF"))
        self.prefix, self.home = PACKAGES + "/wineprefix", PACKAGES + "/wine-home"  # Wine's Documents: $HOME
        self.wine('rm -rf "$WINEPREFIX" "$HOME" && mkdir "$HOME" && veltrano_wine_init && veltrano_wine_headless')
        unix = lambda path: os.path.realpath(os.path.join(self.prefix, "drive_c", *path[3:].split("\\")))
        user, = (name for name in os.listdir(unix(r"C:\users")) if name != "Public")
        installed, uninstaller = r"C:\Program Files\Veltrano", r"C:\Program Files\Veltrano\Uninstall.exe"
        program, documents = unix(installed), r"C:\users\%s\Documents\Veltrano" % user
        link = unix(r"C:\users\%s\AppData\Roaming\Microsoft\Windows\Start Menu\Programs\Veltrano.lnk" % user)
        query = lambda: self.wine(r'wine reg query "HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Veltrano"')

        self.wine('wine "$1" /S && wineserver -w', SETUP)
        self.assertEqual(sorted(os.listdir(program)), ["Uninstall.exe", "Veltrano.chm", "Veltrano.exe"])
        self.assertTrue(all(read(program, name) == files[name] for name in files), "not the files of the zip")
        # The shortcut's target (its local base path) and its working folder (a string counted with its NUL by Wine).
        self.assertIn(installed.encode() + b"\\Veltrano.exe\0", read(link))
        self.assertIn(struct.pack("<H", len(documents) + 1) + (documents + "\0").encode("utf-16-le"), read(link))
        fixed = struct.unpack_from("<II", exe, exe.find(struct.pack("<I", 0xFEEF04BD)) + 8)  # the version resources
        self.assertEqual(fixed, (int(VERSION.split(".")[0]) << 16 | int(VERSION.split(".")[1]), 0))
        for data, name in ((exe, "FileVersion"), (exe, "ProductVersion"), (read(SETUP), "ProductVersion")):
            self.assertIn("%s\0%s\0" % (name, VERSION), re.sub("\0+", "\0", data.decode("utf-16-le", "replace")), name)
        entry = dict(re.findall(r"(?m)^\s+(\S+)\s+REG_\w+\s+(.*)$", query()))
        self.assertLessEqual({"DisplayName": "Veltrano", "DisplayVersion": VERSION, "InstallLocation": installed,
                              "Publisher": "The Veltrano developers", "UninstallString": '"%s"' % uninstaller,
                              "QuietUninstallString": '"%s" /S' % uninstaller}.items(), entry.items())

        (mine := Path(unix(documents), "Projects", "mine.ini")).parent.mkdir()  # a user's project, kept
        mine.touch()
        self.wine('wine "$1" /S && wineserver -w && for i in {1..120}; do [[ -e "$2" ]] || break; sleep 0.5; done',
                  uninstaller, program)  # the copy of itself that the uninstaller runs takes a while
        self.assertEqual([os.path.exists(path) for path in (program, link, mine)], [False, False, True])
        self.assertRaises(AssertionError, query)  # the uninstall entry is gone


if __name__ == "__main__":
    unittest.main()
