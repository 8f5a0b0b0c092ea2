#!/usr/bin/python3
"""The Windows installer and uninstaller under Wine, run as an administrator or the updater
would.

    windows_installer.py --build BUILD_WINDOWS_DIR --source SOURCE_DIR [unittest arguments]

Releases N and N+1 are made once from the Windows build with scripts/release-windows.sh
(N carries one file more). Every case installs into folders of its own on the prefix's drive
C: and checks the real registry's uninstall entry with the built orvreg.exe. WINEPREFIX
defaults to BUILD_WINDOWS_DIR/wineprefix. Exit 77: Wine or NSIS is missing.
"""

import argparse
import glob
import hashlib
import os
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

ARGS = {}
N, N1 = "5.0.0.1", "5.0.0.2"
# where the 64-bit programs read it: the 32-bit view of the described 32-bit client
KEY = ("HKLM\\SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
       "{5A0C3D2E-7F41-4B8A-9C1D-0E2F3A4B5C6D}_is1")
USER_FILES = {"user\\user.cfg": b"[User]\r\nName=demo\r\n", "Log\\2026-12-08.log": b"a line\n",
              "LumoDownloads\\app.exe": b"MZ", "conf.config": b"<configuration />\r\n"}
UNINSTALL_ARGS = ["/VERYSILENT", "/SUPPRESSMSGBOXES"]  # what the updater passes


def run(argv, timeout=180, **kw):
    return subprocess.run(argv, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True,
                          errors="replace", timeout=timeout, stdin=subprocess.DEVNULL, **kw)


def host(win_path):
    """The Linux path of a C:\\ path in the prefix."""
    assert win_path[:3].upper() == "C:\\", win_path
    return os.path.join(os.environ["WINEPREFIX"], "drive_c", *win_path[3:].split("\\"))


def files_below(folder):
    return {os.path.relpath(os.path.join(b, f), folder).replace("/", "\\")
            for b, _, fs in os.walk(folder) for f in fs}


def wait_until(what, predicate, seconds=120):
    end = time.monotonic() + seconds
    while not predicate():
        if time.monotonic() > end:
            raise AssertionError("timed out waiting for " + what)
        time.sleep(0.3)


class Releases:
    """N and N+1, made once."""
    root = None

    @classmethod
    def make(cls):
        if cls.root:
            return
        cls.root = tempfile.mkdtemp(prefix="orvanta-win-releases.")
        bin_dir = os.path.join(ARGS["build"], "bin")
        image = os.path.join(bin_dir, "image")
        if not os.path.isdir(image):  # the core-only build takes the Linux build's skin
            image = os.path.join(ARGS["source"], "build", "bin", "image")
        if not os.path.isdir(image):  # or, without one, a skin of two files
            image = os.path.join(cls.root, "image")
            os.makedirs(os.path.join(image, "res"))
            for rel, data in (("config.ini", b"[Server]\r\n"), ("res/1.png", b"\x89PNG")):
                with open(os.path.join(image, rel), "wb") as f:
                    f.write(data)
        image_n = os.path.join(cls.root, "image-n")
        shutil.copytree(image, image_n)
        with open(os.path.join(image_n, "retired.txt"), "w") as f:
            f.write("only in N\n")
        cls.setup = {}
        for version, skin in ((N, image_n), (N1, image)):
            out = os.path.join(cls.root, version)
            r = run(["bash", os.path.join(ARGS["source"], "scripts/release-windows.sh"), version,
                     out, "--bin", bin_dir, "--image", skin,
                     "--update-url", "ftp://u:p@127.0.0.1:1/x"], 600)
            assert r.returncode == 0, r.stdout + r.stderr
            cls.setup[version] = os.path.join(out, "Orvanta_setup.exe")


class WindowsInstallerTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        Releases.make()
        cls.orvreg = os.path.join(ARGS["build"], "bin", "orvreg.exe")
        cls.count = 0

    def setUp(self):
        WindowsInstallerTest.count += 1
        self.base = "C:\\orvtest%d-%d" % (os.getpid(), self.count)
        # a space and Chinese text in the folder: the paths are UTF-16 end to end
        self.dir = self.base + "\\Program Files\\奥凡 Orvanta"
        self.addCleanup(shutil.rmtree, host(self.base), True)
        self.addCleanup(self.unregister)

    # -- helpers -------------------------------------------------------------
    def unregister(self):
        run(["wine", self.orvreg, "delete", KEY, "/f"])

    def install(self, version, *args, code=0, exe=None):
        r = run(["wine", exe or self.setup(version), "/silent"] + list(args))
        self.assertEqual(r.returncode, code, r.stdout + r.stderr + self.log())
        return r

    def setup(self, version):
        return Releases.setup[version]

    def log(self):
        text = ""
        for path in glob.glob(os.path.join(os.environ["WINEPREFIX"], "drive_c", "users", "*",
                                           "**", "Orvanta_setup.log"), recursive=True):
            with open(path, "rb") as f:
                text += f.read().decode("utf-16-le", "replace")
        return text

    def entry(self):
        """The uninstall entry's values (empty without one)."""
        r = run(["wine", self.orvreg, "query", KEY])
        values = {}
        for line in r.stdout.splitlines():
            parts = line.strip().split("    ")
            if len(parts) == 3:
                values[parts[0]] = parts[2]
        return values

    def assert_installed(self, folder, version, user_files=()):
        """The release's files are whole in folder (but the settings the user changed), the
        entry names it, and no staging folder is left."""
        root = host(folder)
        with open(os.path.join(root, "unins000.dat"), encoding="utf-8") as f:
            listed = {ln[66:].rstrip("\n").replace("/", "\\"): ln[:64] for ln in f}
        for rel, digest in listed.items():
            if rel in user_files:
                continue
            with open(os.path.join(root, *rel.split("\\")), "rb") as f:
                self.assertEqual(hashlib.sha256(f.read()).hexdigest(), digest, rel)
        with open(os.path.join(root, "version.txt")) as f:
            self.assertEqual(f.read().strip(), version)
        entry = self.entry()
        self.assertEqual(
            {n: entry.get(n) for n in ("DisplayName", "DisplayVersion", "InstallLocation",
                                       "Inno Setup: App Path", "UninstallString",
                                       "DisplayIcon", "Publisher")},
            {"DisplayName": "奥凡云平台", "DisplayVersion": version, "InstallLocation": folder,
             "Inno Setup: App Path": folder, "UninstallString": '"%s\\unins000.exe"' % folder,
             "DisplayIcon": folder + "\\Orvanta.exe", "Publisher": "Orvanta"})
        parent = os.path.dirname(root)
        self.assertEqual([n for n in os.listdir(parent)
                          if n.startswith("." + os.path.basename(root))], [])
        self.assertTrue(os.path.isfile(os.path.join(root, "unins000.exe")))

    def add_user_data(self, folder):
        for rel, data in USER_FILES.items():
            path = os.path.join(host(folder), *rel.split("\\"))
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "wb") as f:
                f.write(data)

    def assert_user_data(self, folder):
        for rel, data in USER_FILES.items():
            with open(os.path.join(host(folder), *rel.split("\\")), "rb") as f:
                self.assertEqual(f.read(), data, rel)

    def uninstall(self):
        """Runs the registered uninstaller as the updater does. It continues from a copy of
        itself in the temporary folder, so its end is awaited through the entry and files."""
        entry = self.entry()
        folder = entry["Inno Setup: App Path"]
        r = run(["wine", entry["UninstallString"].strip('"')] + UNINSTALL_ARGS)
        self.assertEqual(r.returncode, 0, r.stderr)
        wait_until("the uninstall", lambda: not self.entry() and
                   not os.path.exists(os.path.join(host(folder), "unins000.exe")))

    # -- cases ---------------------------------------------------------------
    def test_install_registers_and_upgrade_keeps_user_data(self):
        self.install(N, "/DIR=" + self.dir)
        self.assert_installed(self.dir, N)
        self.add_user_data(self.dir)
        # Without a folder the upgrade goes where the registration says.
        self.install(N1)
        self.assert_installed(self.dir, N1, USER_FILES)
        self.assert_user_data(self.dir)
        self.assertFalse(os.path.exists(os.path.join(host(self.dir), "image", "retired.txt")))

    def test_updater_order_uninstall_then_installer_from_the_cache(self):
        self.install(N, "/DIR=" + self.dir)
        self.add_user_data(self.dir)
        cache = self.dir + "\\UpdateCache\\Orvanta_setup.exe"
        os.makedirs(os.path.dirname(host(cache)))
        shutil.copy(self.setup(N1), host(cache))
        self.uninstall()
        self.assertEqual(files_below(host(self.dir)),
                         set(USER_FILES) | {".orvanta", "UpdateCache\\Orvanta_setup.exe"})
        # as the updater starts it: no arguments
        r = run(["wine", cache])
        self.assertEqual(r.returncode, 0, r.stderr + self.log())
        self.assert_installed(self.dir, N1, USER_FILES)
        self.assert_user_data(self.dir)

    def test_uninstall_without_user_data_removes_the_folder(self):
        self.install(N, "/DIR=" + self.dir)
        self.uninstall()
        # the uninstaller's copy removes the folder after its own files
        wait_until("the folder to go", lambda: not os.path.exists(host(self.dir)), 30)
        self.assertEqual(self.entry(), {})

    def test_refusals_leave_the_installed_release_as_it_was(self):
        self.install(N, "/DIR=" + self.dir)
        self.add_user_data(self.dir)
        foreign = self.base + "\\documents"
        os.makedirs(host(foreign))
        with open(os.path.join(host(foreign), "letter.txt"), "w") as f:
            f.write("mine")
        a_file = self.base + "\\a file"
        with open(host(a_file), "w") as f:
            f.write("x")
        for folder in (foreign, a_file):
            with self.subTest(folder):
                self.install(N1, "/DIR=" + folder, code=1)
                self.assert_installed(self.dir, N, USER_FILES)
        self.assertEqual(os.listdir(host(foreign)), ["letter.txt"])

    def test_cancel_on_the_folder_page_exits_2_and_changes_nothing(self):
        if not shutil.which("xdotool") or "DISPLAY" not in os.environ:
            self.skipTest("needs Xvfb and xdotool")
        setup = subprocess.Popen(["wine", self.setup(N1), "/DIR=" + self.dir],
                                 stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.addCleanup(setup.kill)
        window = []

        def shown():
            r = run(["xdotool", "search", "--name", "Installation Folder"])
            window[:] = r.stdout.split()[:1]
            return bool(window)
        wait_until("the folder page", shown)
        run(["xdotool", "key", "--window", window[0], "Escape"])
        self.assertEqual(setup.wait(120), 2)
        self.assertFalse(os.path.exists(host(self.base)))
        self.assertEqual(self.entry(), {})

    def test_uninstallers_touch_only_their_own_release(self):
        # Run in place ("_?=", which takes no quotes, so no spaces in these folders): the exit
        # code is then the uninstaller's own.
        mine, other = self.base + "\\Mine", self.base + "\\Other"
        self.install(N, "/DIR=" + other)
        saved = self.base + "\\unins-n.exe"
        shutil.copy(os.path.join(host(other), "unins000.exe"), host(saved))
        self.install(N1, "/DIR=" + mine)  # the entry now names mine
        cases = [  # (uninstaller, its folder, exit code)
            (other + "\\unins000.exe", other, 0),  # the entry names another folder: it stays
            (saved, mine, 1),  # N's uninstaller on N+1: removes nothing
        ]
        for exe, folder, code in cases:
            with self.subTest(exe):
                r = run(["wine", exe] + UNINSTALL_ARGS + ["_?=" + folder])
                self.assertEqual(r.returncode, code, r.stderr + self.log())
                self.assert_installed(mine, N1)
        # the uninstaller running in place cannot remove itself
        self.assertLessEqual(files_below(host(other)), {"unins000.exe", ".orvanta"})


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True)
    parser.add_argument("--source", required=True)
    args, rest = parser.parse_known_args()
    ARGS["build"] = os.path.abspath(args.build)
    ARGS["source"] = os.path.abspath(args.source)
    if not shutil.which("wine") or not shutil.which("makensis"):
        print("SKIP: wine or makensis is missing")
        return 77
    os.environ.setdefault("WINEPREFIX", os.path.join(ARGS["build"], "wineprefix"))
    os.environ.setdefault("WINEDEBUG", "-all")
    os.environ["ORV_SETUP_COMPRESSOR"] = "zlib"  # quicker releases
    # The installer started as the updater starts it shows its progress: a display of our own.
    xvfb = None
    if shutil.which("Xvfb"):
        xvfb = subprocess.Popen(["Xvfb", "-displayfd", "1", "-nolisten", "tcp", "-screen", "0",
                                 "1024x768x24"], stdout=subprocess.PIPE,
                                stderr=subprocess.DEVNULL)
        os.environ["DISPLAY"] = ":" + xvfb.stdout.readline().decode().strip()
    try:
        prog = unittest.main(argv=[sys.argv[0]] + rest, exit=False, verbosity=2)
    finally:
        if xvfb:
            xvfb.kill()
            xvfb.wait()
        if Releases.root:
            shutil.rmtree(Releases.root, True)
    return 0 if prog.result.wasSuccessful() else 1


if __name__ == "__main__":
    sys.exit(main())
