#!/usr/bin/python3
"""The installer, the uninstaller and the .deb, run as an administrator or the updater would.

    installer_test.py --build BUILD_DIR --source SOURCE_DIR [unittest arguments]

Releases N and N+1 are made once from the build with scripts/release.sh (N carries one file
more); every case installs into folders and a registry root of its own.
"""

import glob
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest

ARGS = {}
N, N1 = "4.0.0.1", "4.0.0.2"
KEY = ("HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
       "{5A0C3D2E-7F41-4B8A-9C1D-0E2F3A4B5C6D}_is1")
USER_FILES = {"user/user.cfg": b"[User]\r\nName=demo\r\n", "Log/2026-12-08.log": b"a log line\n",
              "LumoDownloads/app.exe": b"#!/bin/sh\n", "image/config.ini": b"[Server]\r\nX=1\r\n"}


def run(argv, env, timeout=120, **kw):
    return subprocess.run(argv, env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                          text=True, timeout=timeout, stdin=subprocess.DEVNULL, **kw)


class Releases:
    """N and N+1, made once."""
    root = None

    @classmethod
    def make(cls):
        if cls.root:
            return
        cls.root = tempfile.mkdtemp(prefix="orvanta-releases.")
        bin_dir = os.path.join(ARGS["build"], "bin")
        bin_n = os.path.join(cls.root, "bin-n")
        os.makedirs(bin_n)
        for name in ("Orvanta", "Orvlift", "orvanta-cli", "orvreg"):
            os.symlink(os.path.join(bin_dir, name), os.path.join(bin_n, name))
        shutil.copytree(os.path.join(bin_dir, "image"), os.path.join(bin_n, "image"))
        with open(os.path.join(bin_n, "image", "retired.txt"), "w") as f:
            f.write("only in N\n")
        cls.setup = {}
        for version, source in ((N, bin_n), (N1, bin_dir)):
            out = os.path.join(cls.root, version)
            r = run(["bash", os.path.join(ARGS["source"], "scripts/release.sh"), version, out,
                     "--bin", source, "--update-url", "ftp://u:p@127.0.0.1:1/x"], os.environ, 300)
            assert r.returncode == 0, r.stdout + r.stderr
            cls.setup[version] = os.path.join(out, "Orvanta_setup.exe")


class InstallerTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        Releases.make()
        cls.setup = Releases.setup

    def setUp(self):
        self.tmp = tempfile.mkdtemp(prefix="orvanta-install.")
        self.addCleanup(shutil.rmtree, self.tmp, True)
        self.env = dict(os.environ, HOME=os.path.join(self.tmp, "home"),
                        XDG_DATA_HOME=os.path.join(self.tmp, "home", "data"),
                        ORVANTA_REGISTRY_ROOT=os.path.join(self.tmp, "registry"), LANG="C.UTF-8")
        self.env.pop("ORVANTA_WOW64", None)
        self.dir = os.path.join(self.tmp, "apps", "Orvanta")

    # -- helpers -------------------------------------------------------------
    def install(self, version, *args, ok=True, **kw):
        r = run([self.setup[version], "/silent"] + list(args), self.env, **kw)
        if ok:
            self.assertEqual(r.returncode, 0, r.stdout + r.stderr)
        return r

    def registered(self, name):
        r = run([os.path.join(ARGS["build"], "bin", "orvreg"), "query", KEY, "/v", name], self.env)
        prefix = "    %s    REG_SZ    " % name
        found = [ln[len(prefix):] for ln in r.stdout.splitlines() if ln.startswith(prefix)]
        return found[0] if found else None

    def assert_installed(self, folder, version):
        """The release runs from folder, its files are whole (but the settings the user
        changed) and the entry names it."""
        r = run([os.path.join(folder, "orvanta-cli"), "version"], self.env)
        self.assertIn('"%s"' % version, r.stdout)
        r = run(["sha256sum", "-c", "--quiet", "unins000.dat"], self.env, cwd=folder)
        self.assertEqual([ln for ln in r.stdout.splitlines()
                          if ln.split(":")[0] not in USER_FILES], [])
        self.assertEqual({n: self.registered(n) for n in
                          ("DisplayVersion", "InstallLocation", "Inno Setup: App Path",
                           "UninstallString", "DisplayIcon")},
                         {"DisplayVersion": version, "InstallLocation": folder,
                          "Inno Setup: App Path": folder,
                          "UninstallString": os.path.join(folder, "unins000"),
                          "DisplayIcon": os.path.join(folder, "Orvanta")})
        self.assertEqual([n for n in os.listdir(os.path.dirname(folder))
                          if n.startswith("." + os.path.basename(folder))], [])

    def add_user_data(self, folder):
        for rel, data in USER_FILES.items():
            os.makedirs(os.path.dirname(os.path.join(folder, rel)), exist_ok=True)
            with open(os.path.join(folder, rel), "wb") as f:
                f.write(data)

    def assert_user_data(self, folder):
        for rel, data in USER_FILES.items():
            with open(os.path.join(folder, rel), "rb") as f:
                self.assertEqual(f.read(), data, rel)

    # -- cases ---------------------------------------------------------------
    def test_folder_choice(self):
        data = os.path.join(self.tmp, "home", "data", "orvanta", "Orvanta")
        cases = [  # (arguments, folder it lands in)
            (["/DIR=" + self.dir], self.dir),
            ([self.dir + "/"], self.dir),
            ([], data),
        ]
        for args, folder in cases:
            with self.subTest(args=args):
                shutil.rmtree(self.env["ORVANTA_REGISTRY_ROOT"], True)
                self.install(N, *args)
                self.assert_installed(folder, N)
                self.assertEqual(self.registered("DisplayName"), "奥凡云平台")
                self.assertEqual(self.registered("Publisher"), "Orvanta")
                shutil.rmtree(folder)
        # Without a folder, an upgrade goes where the registration says.
        self.install(N, self.dir)
        self.install(N1)
        self.assert_installed(self.dir, N1)
        self.assertFalse(os.path.exists(data))

    def test_upgrade_in_place_keeps_user_data_and_drops_old_files(self):
        self.install(N, self.dir)
        self.add_user_data(self.dir)
        self.install(N1, self.dir)
        self.assert_installed(self.dir, N1)
        self.assert_user_data(self.dir)
        self.assertFalse(os.path.exists(os.path.join(self.dir, "image", "retired.txt")))

    def test_updater_order_uninstall_then_installer_from_the_cache(self):
        self.install(N, self.dir)
        self.add_user_data(self.dir)
        cache = os.path.join(self.dir, "UpdateCache", "Orvanta_setup.exe")
        os.makedirs(os.path.dirname(cache))
        shutil.copy(self.setup[N1], cache)
        r = run([os.path.join(self.dir, "unins000"), "/VERYSILENT", "/SUPPRESSMSGBOXES"], self.env)
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertIsNone(self.registered("DisplayVersion"))
        left = {os.path.relpath(os.path.join(b, f), self.dir)
                for b, _, fs in os.walk(self.dir) for f in fs}
        self.assertEqual(left, set(USER_FILES) | {".orvanta", "UpdateCache/Orvanta_setup.exe"})
        r = run([cache], self.env)  # as the updater starts it: no arguments, no terminal
        self.assertEqual(r.returncode, 0, r.stdout + r.stderr)
        self.assert_installed(self.dir, N1)
        self.assert_user_data(self.dir)

    def test_uninstall_without_user_data_removes_the_folder(self):
        self.install(N, self.dir)
        r = run([os.path.join(self.dir, "unins000"), "/VERYSILENT", "/SUPPRESSMSGBOXES"], self.env)
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertFalse(os.path.exists(self.dir))
        self.assertIsNone(self.registered("DisplayName"))

    def test_refusals_leave_the_installed_release_as_it_was(self):
        self.install(N, self.dir)
        self.add_user_data(self.dir)
        largest = max(os.path.getsize(os.path.join(self.dir, n))
                      for n in ("Orvanta", "Orvlift", "orvanta-cli"))
        small = max(os.path.getsize(os.path.join(self.dir, "orvreg")) * 2, largest // 2)
        parent = os.path.dirname(self.dir)
        cases = [  # (name, argv prefix, text on stderr, needs an unprivileged user)
            ("disk full", ["bash", "-c", 'ulimit -f %d; exec "$@"' % (small // 1024), "-"],
             "disk full", False),
            ("folder not writable", [], "not writable", True),
        ]
        for name, prefix, text, unprivileged in cases:
            if unprivileged and os.geteuid() == 0:
                continue  # root writes anyway
            with self.subTest(name):
                if name == "folder not writable":
                    os.chmod(parent, 0o555)
                try:
                    r = run(prefix + [self.setup[N1], "/silent", self.dir], self.env)
                finally:
                    os.chmod(parent, 0o755)
                self.assertNotEqual(r.returncode, 0)
                self.assertIn(text, r.stderr)
                self.assert_installed(self.dir, N)
                self.assert_user_data(self.dir)
        foreign = os.path.join(self.tmp, "documents")
        os.makedirs(foreign)
        with open(os.path.join(foreign, "letter.txt"), "w") as f:
            f.write("mine")
        r = run([self.setup[N1], "/silent", foreign], self.env)
        self.assertNotEqual(r.returncode, 0)
        self.assertIn("holds no Orvanta installation", r.stderr)
        self.assertEqual(os.listdir(foreign), ["letter.txt"])
        self.assert_installed(self.dir, N)

    def test_too_little_space_is_refused_before_anything_is_written(self):
        # A 2 MB file system of its own, in a user and mount namespace (no privileges needed).
        mnt = os.path.join(self.tmp, "small")
        os.makedirs(mnt)
        script = ('mount -t tmpfs -o size=2m tmpfs "$1" || exit 77; "$2" /silent "$1/Orvanta"; '
                  'rc=$?; ls -A "$1"; exit $rc')
        r = run(["unshare", "-rm", "sh", "-c", script, "-", mnt, self.setup[N]], self.env)
        if r.returncode == 77 or "unshare:" in r.stderr:
            self.skipTest("no mount namespace here: " + r.stderr)
        self.assertEqual(r.returncode, 1, r.stdout + r.stderr)
        self.assertIn("not enough free disk space", r.stderr)
        self.assertEqual(r.stdout, "")  # nothing left in the file system
        self.assertIsNone(self.registered("DisplayName"))

    def test_killed_install_leaves_the_release_runnable_and_the_next_one_succeeds(self):
        self.install(N, self.dir)
        self.add_user_data(self.dir)
        # A tar that hangs once it has unpacked the release: the installer is killed there.
        fake = os.path.join(self.tmp, "fakebin")
        os.makedirs(fake)
        mark = os.path.join(self.tmp, "unpacked")
        with open(os.path.join(fake, "tar"), "w") as f:
            f.write('#!/bin/sh\n%s "$@"\nrc=$?\ncase "$*" in *.new-*) : >"%s"; sleep 600 ;; esac\n'
                    'exit $rc\n' % (shutil.which("tar"), mark))
        os.chmod(os.path.join(fake, "tar"), 0o755)
        env = dict(self.env, PATH=fake + ":" + self.env["PATH"])
        p = subprocess.Popen([self.setup[N1], "/silent", self.dir], env=env,
                             stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                             start_new_session=True)
        try:
            deadline = time.monotonic() + 120
            while not os.path.exists(mark) and time.monotonic() < deadline and p.poll() is None:
                time.sleep(0.05)
            self.assertTrue(os.path.exists(mark), "the installer never unpacked")
        finally:
            os.killpg(p.pid, signal.SIGKILL)
            p.wait()
        self.assert_installed_ignoring_siblings(N)
        # Killed between its two renames: the release it set aside is found and upgraded.
        os.rename(self.dir, os.path.join(os.path.dirname(self.dir), ".Orvanta.old-1"))
        self.install(N1, self.dir)
        self.assert_installed(self.dir, N1)
        self.assert_user_data(self.dir)

    def assert_installed_ignoring_siblings(self, version):
        r = run([os.path.join(self.dir, "orvanta-cli"), "version"], self.env)
        self.assertIn('"%s"' % version, r.stdout)
        self.assertEqual(self.registered("DisplayVersion"), version)
        self.assert_user_data(self.dir)


class DebTest(unittest.TestCase):
    def test_deb_holds_the_program_directory_and_no_registration(self):
        out = tempfile.mkdtemp(prefix="orvanta-deb.")
        self.addCleanup(shutil.rmtree, out, True)
        r = run(["cpack", "-G", "DEB", "--config", os.path.join(ARGS["build"], "CPackConfig.cmake"),
                 "-B", out], os.environ, 600)
        self.assertEqual(r.returncode, 0, r.stdout + r.stderr)
        debs = glob.glob(os.path.join(out, "*.deb"))
        self.assertEqual(len(debs), 1, os.listdir(out))
        contents = run(["dpkg-deb", "-c", debs[0]], os.environ).stdout
        for path in ("./opt/orvanta/Orvanta", "./opt/orvanta/Orvlift", "./opt/orvanta/orvanta-cli",
                     "./opt/orvanta/orvreg", "./opt/orvanta/conf.config",
                     "./opt/orvanta/image/config.ini", "./usr/share/applications/orvanta.desktop",
                     "./usr/share/icons/hicolor/48x48/apps/orvanta.png"):
            self.assertIn(" " + path + "\n", contents + "\n")
        info = run(["dpkg-deb", "-I", debs[0]], os.environ).stdout
        self.assertIn("Package: orvanta", info)
        self.assertIn("Version: " + ARGS["version"], info)
        self.assertIn("Depends: ", info)
        control = os.path.join(out, "control")
        run(["dpkg-deb", "-e", debs[0], control], os.environ)
        scripts = [n for n in os.listdir(control) if n in ("preinst", "postinst", "prerm", "postrm")]
        for name in scripts:
            with open(os.path.join(control, name)) as f:
                self.assertNotIn("orvreg", f.read())


def main():
    argv = sys.argv[1:]
    while argv and argv[0] in ("--build", "--source", "--version"):
        ARGS[argv[0][2:]] = os.path.abspath(argv[1]) if argv[0] != "--version" else argv[1]
        argv = argv[2:]
    try:
        return 0 if unittest.main(argv=[sys.argv[0]] + argv, exit=False).result.wasSuccessful() else 1
    finally:
        if Releases.root:
            shutil.rmtree(Releases.root, True)


if __name__ == "__main__":
    sys.exit(main())
