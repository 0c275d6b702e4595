"""The three things Veltrano is installed from, as a user gets them.

- The Debian package: its files and control fields, its Depends line against
  the libraries veltrano really links, and the package unpacked into a
  scratch root, whose veltrano tells its version, names help pages that the
  package holds, has its manual page, and crawls a site served on 127.0.0.1.
  With VELTRANO_TEST_CHROOT=1 (root, and the network to the Debian mirror),
  also "apt-get install" of the package into a fresh Debian made by
  debootstrap, and its removal.
- The Windows setup program, run silently under Wine in a scratch prefix:
  the program and help file in Program Files, the Start-menu shortcut
  starting in the user's Documents\\Veltrano, the Add/Remove Programs entry;
  then the silent uninstaller, which leaves nothing of the program but the
  user's projects.
- The portable zip.

scripts/test-package makes the packages and runs this inside a virtual X
server; VELTRANO_PACKAGE_DIR names the folder of the packages.
"""

import gzip
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import time
import unittest
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(os.path.dirname(HERE))
PACKAGE_DIR = os.environ.get("VELTRANO_PACKAGE_DIR") or os.path.join(REPO, "build", "package")
WINE_SH = os.path.join(REPO, "scripts", "lib", "wine.sh")


def project_version():
    """The version that project() in CMakeLists.txt gives, which every package must carry."""
    with open(os.path.join(REPO, "CMakeLists.txt"), encoding="utf-8") as f:
        match = re.search(r"^project\(Veltrano VERSION ([0-9.]+)", f.read(), re.M)
    if not match:
        raise RuntimeError("no project(Veltrano VERSION ...) in CMakeLists.txt")
    return match.group(1)


VERSION = project_version()
ARCH = subprocess.run(["dpkg", "--print-architecture"], capture_output=True, text=True, check=True).stdout.strip()
DEB = os.path.join(PACKAGE_DIR, "veltrano_%s_%s.deb" % (VERSION, ARCH))
SETUP = os.path.join(PACKAGE_DIR, "Veltrano-%s-setup.exe" % VERSION)
ZIP = os.path.join(PACKAGE_DIR, "Veltrano-%s-win64.zip" % VERSION)
HELP_DIR = "/usr/share/doc/veltrano/html"


def run(args, timeout=120, **kwargs):
    return subprocess.run(args, capture_output=True, text=True, timeout=timeout, stdin=subprocess.DEVNULL, **kwargs)


def describe(proc):
    return "%s: exit %d\n%s%s" % (proc.args, proc.returncode, proc.stdout, proc.stderr)


class SiteServer:
    """python3 -m http.server on 127.0.0.1 in a folder of pages, on a port the system picks."""

    def __init__(self, folder):
        self.proc = subprocess.Popen(
            [sys.executable, "-u", "-m", "http.server", "0", "--bind", "127.0.0.1", "--directory", folder],
            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL, text=True)
        line = self.proc.stdout.readline()
        match = re.search(r"port (\d+)", line)
        if not match:
            self.stop()
            raise RuntimeError("http.server did not say its port: %r" % line)
        self.base = "http://127.0.0.1:%s" % match.group(1)

    def stop(self):
        self.proc.terminate()
        self.proc.wait(timeout=10)
        self.proc.stdout.close()


def make_site(folder):
    """One page linking another, which links a picture."""
    pages = {
        "index.html": '<html><title>Home</title><a href="second.html">next</a> <a href="logo.png">logo</a></html>',
        "second.html": '<html><title>Second</title><a href="photo.jpg">photo</a> <a href="/">home</a></html>',
        "photo.jpg": "not really a picture",
        "logo.png": "nor this",
    }
    for name, text in pages.items():
        with open(os.path.join(folder, name), "w", encoding="ascii") as f:
            f.write(text)


def crawl_checks(test, run_veltrano, work_dir, base):
    """Crawls the site of make_site with -e jpg into project "site" and checks its files."""
    proc = run_veltrano(["-q", "-e", "jpg", "-P", "site", "-o", "results.txt", base + "/"])
    test.assertEqual(proc.returncode, 0, describe(proc))
    test.assertEqual(proc.stdout, base + "/photo.jpg\n")
    with open(os.path.join(work_dir, "results.txt"), encoding="ascii") as f:
        test.assertEqual(f.read().splitlines(), [base + "/photo.jpg"])
    with open(os.path.join(work_dir, "Projects", "site_page.txt"), encoding="ascii", newline="") as f:
        cells = f.read().split("\r\n")
    test.assertEqual(cells, [base + "/", "OK", base + "/second.html", "OK", ""])
    for suffix in (".ini", "_result.txt", "_extension.txt"):
        test.assertTrue(os.path.isfile(os.path.join(work_dir, "Projects", "site" + suffix)), suffix)


class DebianPackageTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        if not os.path.isfile(DEB):
            raise RuntimeError("no %s: scripts/package makes it" % DEB)
        cls.root = tempfile.mkdtemp(prefix="veltrano-deb-")
        subprocess.run(["dpkg", "-x", DEB, cls.root], check=True)
        cls.binary = os.path.join(cls.root, "usr", "bin", "veltrano")

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.root, ignore_errors=True)

    def field(self, name):
        proc = run(["dpkg-deb", "-f", DEB, name])
        self.assertEqual(proc.returncode, 0, describe(proc))
        return proc.stdout.strip()

    def test_control_fields(self):
        self.assertEqual(self.field("Package"), "veltrano")
        self.assertEqual(self.field("Version"), VERSION)
        self.assertEqual(self.field("Architecture"), ARCH)
        self.assertRegex(self.field("Maintainer"), r"^[^<>]+ <[^<>@\s]+@[^<>@\s]+>$")
        summary, _, extended = self.field("Description").partition("\n")
        self.assertTrue(summary.strip())
        self.assertGreaterEqual(len(extended.splitlines()), 2, "no extended description")
        self.assertEqual(self.field("Section"), "web")

    def test_depends_names_the_package_of_each_library_veltrano_links(self):
        depends = {alternative.split()[0] for item in self.field("Depends").split(",")
                   for alternative in item.split("|") if alternative.strip()}
        self.assertIn("libc6", depends)
        self.assertTrue(any(name.startswith("libcurl") for name in depends), depends)
        # Each library the binary needs comes from a package that Depends names.
        needed = re.findall(r"\(NEEDED\)\s+Shared library: \[([^\]]+)\]", run(["readelf", "-d", self.binary]).stdout)
        self.assertTrue(needed)
        resolved = dict(re.findall(r"^\s*(\S+) => (/\S+)", run(["ldd", self.binary]).stdout, re.M))
        for library in needed:
            with self.subTest(library=library):
                self.assertIn(library, resolved, "ldd does not find " + library)
                path = resolved[library]
                candidates = [path, os.path.realpath(path)]
                candidates += [p[len("/usr"):] for p in candidates if p.startswith("/usr/")]
                owners = set()
                for candidate in candidates:
                    proc = run(["dpkg", "-S", candidate])
                    if proc.returncode == 0:
                        owners |= {line.split(":")[0] for line in proc.stdout.splitlines()}
                self.assertTrue(owners, "no package owns " + path)
                self.assertTrue(owners & depends, "%s (%s) is not in Depends %s" % (library, owners, depends))

    def test_contents(self):
        proc = run(["dpkg-deb", "-c", DEB])
        self.assertEqual(proc.returncode, 0, describe(proc))
        entries = {}
        for line in proc.stdout.splitlines():
            mode, owner, _size, _date, _time, path = line.split(None, 5)
            self.assertEqual(owner, "root/root", line)
            entries[path.rstrip("/") if path != "./" else path] = mode
        files = {path: mode for path, mode in entries.items() if not mode.startswith("d")}
        self.assertEqual(set(files), {
            "./usr/bin/veltrano",
            "./usr/share/man/man1/veltrano.1.gz",
            "./usr/share/doc/veltrano/copyright",
            "./usr/share/doc/veltrano/html/index.html",
            "./usr/share/doc/veltrano/html/patterns.html",
            "./usr/share/doc/veltrano/html/style.css",
            "./usr/share/doc/veltrano/html/main-window.png",
        })
        self.assertEqual(files.pop("./usr/bin/veltrano"), "-rwxr-xr-x")
        for path, mode in files.items():
            self.assertEqual(mode, "-rw-r--r--", path)
        for path, mode in entries.items():
            if mode.startswith("d"):
                self.assertEqual(mode, "drwxr-xr-x", path)
        # Stripped: no debugging sections in the packaged program.
        self.assertNotIn(".debug_info", run(["readelf", "-S", self.binary]).stdout)

    def test_copyright_file_is_machine_readable(self):
        with open(os.path.join(self.root, "usr/share/doc/veltrano/copyright"), encoding="utf-8") as f:
            text = f.read()
        self.assertTrue(text.startswith(
            "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n"), text)
        self.assertRegex(text, r"(?m)^Files: \*$")
        self.assertRegex(text, r"(?m)^Copyright: .*Veltrano developers$")
        self.assertRegex(text, r"(?m)^License: \S+")

    def test_version_and_help_pages(self):
        proc = run([self.binary, "-V"])
        self.assertEqual(proc.returncode, 0, describe(proc))
        self.assertEqual(proc.stdout, "veltrano %s\n" % VERSION)
        proc = run([self.binary, "--help"])
        self.assertEqual(proc.returncode, 0, describe(proc))
        for page in ("index.html", "patterns.html"):
            with self.subTest(page=page):
                named = re.findall(r"(/\S*/%s)\b" % re.escape(page), proc.stdout)
                self.assertEqual(named, [HELP_DIR + "/" + page], proc.stdout)
                self.assertTrue(os.path.isfile(self.root + named[0]), named[0] + " is not in the package")
        # The pages the manual links to, its picture and style, are there too.
        with open(os.path.join(self.root + HELP_DIR, "index.html"), encoding="utf-8") as f:
            for target in re.findall(r'(?:href|src)="([\w.-]+\.(?:html|css|png))[#"]', f.read()):
                self.assertTrue(os.path.isfile(os.path.join(self.root + HELP_DIR, target)), target)

    def test_manual_page(self):
        page = os.path.join(self.root, "usr/share/man/man1/veltrano.1.gz")
        with open(page, "rb") as f:
            self.assertEqual(f.read(2), b"\x1f\x8b", "not gzip'd")
        with gzip.open(page, "rt", encoding="utf-8") as f:
            source = f.read()
        self.assertRegex(source, r'(?m)^\.TH VELTRANO 1 "[0-9]{4}-[0-9]{2}-[0-9]{2}" "Veltrano %s"' % re.escape(VERSION))
        self.assertNotRegex(source, r"@[A-Z_]+@", "a placeholder was left unfilled")
        proc = subprocess.run(["groff", "-man", "-Tutf8", "-ww", "-z"], input=source, capture_output=True,
                              text=True, timeout=60)
        self.assertEqual((proc.returncode, proc.stderr), (0, ""), "groff warns")
        proc = run(["man", "-l", page], env=dict(os.environ, MANWIDTH="80", MAN_KEEP_FORMATTING="0"))
        self.assertEqual(proc.returncode, 0, describe(proc))
        shown = re.sub(".\b", "", proc.stdout)
        for heading in ("NAME", "SYNOPSIS", "DESCRIPTION", "OPTIONS", "EXIT STATUS", "FILES", "EXAMPLES"):
            self.assertRegex(shown, r"(?m)^%s$" % heading)
        self.assertIn("veltrano - grab links or texts from one web site", shown)
        self.assertIn(HELP_DIR + "/patterns.html", shown)
        # Every option that "veltrano --help" lists is described.
        usage = run([self.binary, "--help"]).stdout
        options = set(re.findall(r"(?m)^\s+(-[a-zA-Z]|--[a-z-]+)\b", usage))
        options |= set(re.findall(r"(?m)^\s+-[a-zA-Z], (--[a-z-]+)", usage))
        self.assertGreaterEqual(len(options), 25, usage)
        for option in sorted(options):
            with self.subTest(option=option):
                self.assertRegex(shown, r"(?m)^\s+(.*, )?%s\b" % re.escape(option))
        # And every exit status the program has.
        for status in ("0", "1", "2", "3", "4"):
            self.assertRegex(shown, r"(?m)^\s+%s\s+\S" % status)

    def test_crawl_with_the_packaged_program(self):
        site = tempfile.mkdtemp(prefix="veltrano-site-")
        work = tempfile.mkdtemp(prefix="veltrano-work-")
        self.addCleanup(shutil.rmtree, site, ignore_errors=True)
        self.addCleanup(shutil.rmtree, work, ignore_errors=True)
        make_site(site)
        server = SiteServer(site)
        self.addCleanup(server.stop)
        crawl_checks(self, lambda args: run([self.binary] + args, cwd=work), work, server.base)


@unittest.skipUnless(os.environ.get("VELTRANO_TEST_CHROOT") == "1",
                     "set VELTRANO_TEST_CHROOT=1 to install the package into a fresh Debian (takes minutes)")
class ChrootInstallTest(unittest.TestCase):
    """apt-get install of the package into a minimal Debian made by debootstrap."""

    def mirror(self):
        for name in ("/etc/apt/sources.list.d/debian.sources", "/etc/apt/sources.list"):
            try:
                with open(name, encoding="utf-8") as f:
                    match = re.search(r"(?m)^(?:URIs:\s*|deb\s+(?:\[[^\]]*\]\s+)?)(\S+/debian)/?\s", f.read())
            except OSError:
                continue
            if match:
                return match.group(1)
        return "http://deb.debian.org/debian"

    def test_apt_get_install_and_remove(self):
        if os.geteuid() != 0:
            self.skipTest("debootstrap and chroot need root")
        root = tempfile.mkdtemp(prefix="veltrano-chroot-", dir=os.path.dirname(PACKAGE_DIR))
        # Nothing is mounted inside, so removing it removes only its own files.
        self.addCleanup(shutil.rmtree, root, ignore_errors=True)
        proc = run(["debootstrap", "--variant=minbase", "bookworm", root, self.mirror()], timeout=1800)
        self.assertEqual(proc.returncode, 0, describe(proc)[-4000:])
        shutil.copy("/etc/resolv.conf", os.path.join(root, "etc", "resolv.conf"))
        shutil.copy(DEB, os.path.join(root, "tmp"))

        def chroot(*args, timeout=600):
            return run(["chroot", root, "env", "DEBIAN_FRONTEND=noninteractive", "PATH=/usr/sbin:/usr/bin:/sbin:/bin"]
                       + list(args), timeout=timeout)

        proc = chroot("apt-get", "update")
        self.assertEqual(proc.returncode, 0, describe(proc))
        proc = chroot("apt-get", "install", "-y", "--no-install-recommends", "/tmp/" + os.path.basename(DEB))
        self.assertEqual(proc.returncode, 0, describe(proc))
        proc = chroot("dpkg-query", "-W", "-f=${Status} ${Version}", "veltrano")
        self.assertEqual(proc.stdout, "install ok installed " + VERSION, describe(proc))
        proc = chroot("veltrano", "-V")
        self.assertEqual(proc.stdout, "veltrano %s\n" % VERSION, describe(proc))
        self.assertTrue(os.path.isfile(os.path.join(root, "usr/share/man/man1/veltrano.1.gz")))
        self.assertTrue(os.path.isfile(root + HELP_DIR + "/index.html"))

        # The installed program crawls a site served on this machine's 127.0.0.1.
        site = tempfile.mkdtemp(prefix="veltrano-site-")
        self.addCleanup(shutil.rmtree, site, ignore_errors=True)
        make_site(site)
        server = SiteServer(site)
        self.addCleanup(server.stop)
        work = os.path.join(root, "tmp", "work")
        os.mkdir(work)
        crawl_checks(self, lambda args: run(["chroot", root, "sh", "-c", 'cd /tmp/work && exec veltrano "$@"',
                                             "veltrano"] + args), work, server.base)

        proc = chroot("apt-get", "purge", "-y", "veltrano")
        self.assertEqual(proc.returncode, 0, describe(proc))
        for path in ("usr/bin/veltrano", "usr/share/man/man1/veltrano.1.gz", "usr/share/doc/veltrano"):
            self.assertFalse(os.path.lexists(os.path.join(root, path)), path + " is left")


def shell_link(data):
    """The target, working folder and arguments of a Shell Link (.lnk) file."""
    header_size, = struct.unpack_from("<I", data, 0)
    if header_size != 0x4C or data[4:20] != bytes.fromhex("0114020000000000c000000000000046"):
        raise ValueError("not a shell link")
    flags, = struct.unpack_from("<I", data, 0x14)
    offset = 0x4C
    link = {"target": None}
    if flags & 0x1:  # HasLinkTargetIDList
        size, = struct.unpack_from("<H", data, offset)
        offset += 2 + size
    if flags & 0x2:  # HasLinkInfo
        size, info_header, info_flags, _volume, base_offset, _net, suffix_offset = struct.unpack_from(
            "<IIIIIII", data, offset)
        info = data[offset:offset + size]
        if info_flags & 0x1:  # VolumeIDAndLocalBasePath
            if info_header >= 0x24:
                unicode_base, = struct.unpack_from("<I", info, 0x1C)
                link["target"] = info[unicode_base:].decode("utf-16-le").split("\0")[0]
            else:
                base = info[base_offset:].split(b"\0")[0].decode("mbcs" if os.name == "nt" else "latin-1")
                suffix = info[suffix_offset:].split(b"\0")[0].decode("latin-1")
                link["target"] = base + suffix
        offset += size
    unicode = bool(flags & 0x80)
    for bit, name in ((0x4, "name"), (0x8, "relative_path"), (0x10, "working_dir"),
                      (0x20, "arguments"), (0x40, "icon_location")):
        if flags & bit:
            count, = struct.unpack_from("<H", data, offset)
            offset += 2
            length = count * 2 if unicode else count
            raw = data[offset:offset + length]
            # Some writers count a terminating NUL as well: it ends the string.
            link[name] = (raw.decode("utf-16-le") if unicode else raw.decode("latin-1")).split("\0")[0]
            offset += length
        else:
            link[name] = None
    return link


def pe_version(data):
    """The file version (major, minor, patch, build) and the StringFileInfo values of a PE file."""
    fixed = data.find(struct.pack("<I", 0xFEEF04BD))
    if fixed < 0:
        return None, {}
    _sig, _struct_version, file_ms, file_ls = struct.unpack_from("<IIII", data, fixed)
    numbers = (file_ms >> 16, file_ms & 0xFFFF, file_ls >> 16, file_ls & 0xFFFF)
    strings = {}
    for key in ("FileVersion", "ProductVersion", "ProductName"):
        at = data.find((key + "\0").encode("utf-16-le"), fixed)
        if at < 0:
            continue
        at += len(key) * 2 + 2
        at += (4 - at % 4) % 4  # the value starts on a 32-bit boundary
        end = at
        while data[end:end + 2] != b"\0\0":
            end += 2
        strings[key] = data[at:end].decode("utf-16-le")
    return numbers, strings


UNINSTALL_KEY = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Veltrano"


class WindowsSetupTest(unittest.TestCase):
    """Veltrano-<version>-setup.exe /S under Wine, then its uninstaller /S.

    setUpClass installs, notes what it finds, puts a project of the user's into
    Documents\\Veltrano, uninstalls and notes again; each test checks one part."""

    @classmethod
    def wine(cls, *args, timeout=300):
        """A Wine command in the scratch prefix, set up by scripts/lib/wine.sh's helpers."""
        return subprocess.run(
            ["bash", "-c", 'source "$1"; veltrano_wine_env "$2"; shift 2; "$@"', "wine-run", WINE_SH, cls.prefix]
            + list(args), capture_output=True, timeout=timeout, stdin=subprocess.DEVNULL, env=cls.env)

    @classmethod
    def wine_text(cls, *args):
        proc = cls.wine(*args)
        return proc.returncode, proc.stdout.decode("utf-8", "replace").replace("\r", "")

    @classmethod
    def registry(cls):
        """The values of the uninstall key, or None when it is missing."""
        rc, text = cls.wine_text("wine", "reg", "query", UNINSTALL_KEY)
        if rc != 0:
            return None
        return {m.group(1): m.group(3) for m in re.finditer(r"(?m)^\s+(\S+)\s+(REG_\w+)\s+(.*)$", text)}

    @classmethod
    def unix_path(cls, windows_path):
        rc, text = cls.wine_text("winepath", "-u", windows_path)
        return text.strip() if rc == 0 else None

    @classmethod
    def setUpClass(cls):
        if not os.path.isfile(SETUP):
            raise RuntimeError("no %s: scripts/package makes it" % SETUP)
        if not os.environ.get("DISPLAY"):
            raise RuntimeError("no display: scripts/test-package runs this inside xvfb-run")
        cls.prefix = os.path.join(PACKAGE_DIR, "wineprefix")
        home = os.path.join(PACKAGE_DIR, "wine-home")
        for folder in (cls.prefix, home):
            shutil.rmtree(folder, ignore_errors=True)
        os.makedirs(home)
        # Wine links the user's Documents to $HOME: a scratch home keeps the
        # installer away from the real one.
        cls.env = dict(os.environ, HOME=home)
        for helper in ("veltrano_wine_init", "veltrano_wine_headless"):
            proc = cls.wine(helper, timeout=600)
            if proc.returncode != 0:
                break
        if proc.returncode != 0:
            raise RuntimeError("could not make the Wine prefix: %s" % proc.stderr.decode(errors="replace"))
        user_dirs = [d for d in os.listdir(os.path.join(cls.prefix, "drive_c", "users")) if d != "Public"]
        if len(user_dirs) != 1:
            raise RuntimeError("not one user in the Wine prefix: %s" % user_dirs)
        cls.profile = os.path.join(cls.prefix, "drive_c", "users", user_dirs[0])
        # A folder of the prefix's own, so that what is made there is seen there.
        cls.documents = os.path.join(cls.profile, "Documents")
        if os.path.islink(cls.documents):
            os.unlink(cls.documents)
        os.makedirs(cls.documents, exist_ok=True)

        cls.install_dir = os.path.join(cls.prefix, "drive_c", "Program Files", "Veltrano")
        cls.shortcut = os.path.join(cls.profile, "AppData", "Roaming", "Microsoft", "Windows", "Start Menu",
                                    "Programs", "Veltrano.lnk")
        cls.user_folder = os.path.join(cls.documents, "Veltrano")

        cls.setup_proc = cls.wine("wine", SETUP, "/S")
        cls.wine("wineserver", "-w")
        cls.installed = sorted(os.listdir(cls.install_dir)) if os.path.isdir(cls.install_dir) else None
        cls.installed_bytes = {}
        for name in ("Veltrano.exe", "Veltrano.chm"):
            try:
                with open(os.path.join(cls.install_dir, name), "rb") as f:
                    cls.installed_bytes[name] = f.read()
            except OSError:
                pass
        cls.link = None
        if os.path.isfile(cls.shortcut):
            with open(cls.shortcut, "rb") as f:
                cls.link = shell_link(f.read())
        cls.link_working_dir = cls.unix_path(cls.link["working_dir"]) if cls.link and cls.link["working_dir"] else None
        cls.link_target = cls.unix_path(cls.link["target"]) if cls.link and cls.link["target"] else None
        cls.entry = cls.registry()
        cls.user_folder_made = os.path.isdir(cls.user_folder)

        # The user has a project by the time the program is uninstalled.
        project = os.path.join(cls.user_folder, "Projects", "mine.ini")
        os.makedirs(os.path.dirname(project), exist_ok=True)
        with open(project, "wb") as f:
            f.write(b"[MAIN]\r\n")
        cls.uninstall_proc = cls.wine("wine", r"C:\Program Files\Veltrano\Uninstall.exe", "/S")
        # The uninstaller copies itself away, starts the copy and returns:
        # the copy has done its work when Wine has no process left.
        cls.wine("wineserver", "-w")
        deadline = time.monotonic() + 60
        while os.path.exists(cls.install_dir) and time.monotonic() < deadline:
            time.sleep(0.5)
        cls.left = sorted(os.listdir(cls.install_dir)) if os.path.isdir(cls.install_dir) else []
        cls.shortcut_left = os.path.lexists(cls.shortcut)
        cls.entry_left = cls.registry()
        cls.project_kept = os.path.isfile(project)

    def test_installs_the_program_and_its_help_file(self):
        self.assertEqual(self.setup_proc.returncode, 0, self.setup_proc.stderr.decode(errors="replace"))
        self.assertEqual(self.installed, ["Uninstall.exe", "Veltrano.chm", "Veltrano.exe"])
        # The very files of the portable zip.
        with zipfile.ZipFile(ZIP) as archive:
            for name in ("Veltrano.exe", "Veltrano.chm"):
                self.assertEqual(self.installed_bytes.get(name), archive.read(name), name)

    def test_program_carries_the_version(self):
        numbers, strings = pe_version(self.installed_bytes["Veltrano.exe"])
        major, minor = (int(part) for part in VERSION.split(".")[:2])
        self.assertEqual(numbers, (major, minor, 0, 0))
        self.assertEqual(strings.get("FileVersion"), VERSION)
        self.assertEqual(strings.get("ProductVersion"), VERSION)
        with open(SETUP, "rb") as f:
            _numbers, setup_strings = pe_version(f.read())
        self.assertEqual(setup_strings.get("ProductVersion"), VERSION)

    def test_start_menu_shortcut_starts_the_program_in_the_users_documents(self):
        self.assertIsNotNone(self.link, "no " + self.shortcut)
        self.assertTrue(self.user_folder_made, "the installer made no " + self.user_folder)
        self.assertIsNotNone(self.link_working_dir, self.link)
        self.assertEqual(os.path.realpath(self.link_working_dir), os.path.realpath(self.user_folder), self.link)
        self.assertIsNotNone(self.link_target, self.link)
        self.assertEqual(os.path.realpath(self.link_target),
                         os.path.realpath(os.path.join(self.install_dir, "Veltrano.exe")), self.link)

    def test_add_remove_programs_entry(self):
        self.assertIsNotNone(self.entry, "no " + UNINSTALL_KEY)
        self.assertEqual(self.entry.get("DisplayName"), "Veltrano")
        self.assertEqual(self.entry.get("DisplayVersion"), VERSION)
        self.assertTrue(self.entry.get("Publisher"))
        self.assertEqual(self.entry.get("InstallLocation", "").lower(), r"c:\program files\veltrano")
        self.assertEqual(self.entry.get("UninstallString", "").lower(), r'"c:\program files\veltrano\uninstall.exe"')
        self.assertEqual(self.entry.get("QuietUninstallString", "").lower(),
                         r'"c:\program files\veltrano\uninstall.exe" /s')

    def test_uninstall_removes_the_program_files(self):
        self.assertEqual(self.uninstall_proc.returncode, 0, self.uninstall_proc.stderr.decode(errors="replace"))
        self.assertEqual(self.left, [], "left in Program Files\\Veltrano")
        self.assertFalse(os.path.exists(self.install_dir), "Program Files\\Veltrano is left")

    def test_uninstall_removes_the_shortcut(self):
        self.assertFalse(self.shortcut_left, "the Start-menu shortcut is left")

    def test_uninstall_removes_the_add_remove_programs_entry(self):
        self.assertIsNone(self.entry_left, "the Add/Remove Programs entry is left")

    def test_uninstall_keeps_the_users_projects(self):
        self.assertTrue(self.project_kept, "the user's project in Documents\\Veltrano was removed")


class PortableZipTest(unittest.TestCase):
    def test_holds_the_program_and_its_help_file(self):
        with zipfile.ZipFile(ZIP) as archive:
            self.assertIsNone(archive.testzip())
            self.assertEqual(sorted(archive.namelist()), ["Veltrano.chm", "Veltrano.exe"])
            exe = archive.read("Veltrano.exe")
            chm = archive.read("Veltrano.chm")
        self.assertEqual(exe[:2], b"MZ")
        pe_header, = struct.unpack_from("<I", exe, 0x3C)
        self.assertEqual(exe[pe_header:pe_header + 4], b"PE\0\0")
        machine, = struct.unpack_from("<H", exe, pe_header + 4)
        self.assertEqual(machine, 0x8664, "not a 64-bit program")
        self.assertEqual(chm[:4], b"ITSF", "not a compiled help file")


if __name__ == "__main__":
    unittest.main()
