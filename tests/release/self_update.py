#!/usr/bin/python3
"""A real self-update, end to end: release N replaced by release N+1 through the window.

    self_update.py --bin BUILD/bin --source SOURCE_DIR [--keep]

Makes releases N, N+1 and N+2 from one build with scripts/release.sh (N carries one file
more), installs N silently into a fresh folder with a registry root of its own, and starts
it under Xvfb + openbox against the stand-in platform, whose update server publishes N+1.
The update prompt is accepted with a real click; Orvlift downloads N+1 over FTP, runs N's
uninstaller and starts N+1's installer. Checked: the registration and the installed client
say N+1, the user's data and changed settings survived, none of N's own files are left,
every program of the loop exited 0. Then N+1, started, shows its version in the status bar
and is offered N+2, whose transfer the server cuts at half: N+1 stays installed, registered
and runnable, and no installer ran. Exit 0 passed, 1 failed, 77 the machine lacks the desktop.
"""

import ctypes
import os
import shutil
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "e2e"))
import user_day  # noqa: E402
from desktop import (Desktop, Platform, Skip, StepFailed, client_env, log,  # noqa: E402
                     make_root, script_main, wait_until)

N, N1, N2 = "3.0.0.1", "3.0.0.2", "3.0.0.3"
KEY = ("HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
       "{5A0C3D2E-7F41-4B8A-9C1D-0E2F3A4B5C6D}_is1")
USER_CFG = b"[User]\r\nName=demo\r\nRemember=1\r\n"
PR_SET_CHILD_SUBREAPER = 36
# What the update loop runs (process names as the kernel keeps them, 15 characters).
LOOP = ("Orvanta", "Orvlift", "Orvanta_setup.e")


def tree(folder):
    """Relative paths of every file below folder."""
    out = set()
    for base, _, files in os.walk(folder):
        for name in files:
            out.add(os.path.relpath(os.path.join(base, name), folder))
    return out


class Loop(user_day.Day):
    def __init__(self, args):
        self.args = args
        self.root = make_root("orvanta-release.")
        self.desktop = Desktop(self.root)
        self.platform = None
        self.client = None
        self.window = None
        self.cache = {}
        self.adopted = []  # (program, exit status) of the programs the client left behind

    # -- set-up --------------------------------------------------------------
    def release(self, version, bin_dir):
        out = os.path.join(self.root, "release-" + version)
        r = subprocess.run(["bash", os.path.join(self.args.source, "scripts/release.sh"), version,
                            out, "--bin", bin_dir, "--update-url", self.url_base],
                           stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, timeout=300)
        if r.returncode != 0:
            raise StepFailed("release.sh %s failed:\n%s" % (version, r.stdout))
        return os.path.join(out, "Orvanta_setup.exe")

    def start(self):
        self.desktop.start()
        # The test collects the exit status of every program the client leaves behind.
        libc = ctypes.CDLL(None, use_errno=True)
        if libc.prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0) != 0:
            raise Skip("cannot become a child subreaper")
        scratch = os.path.join(self.root, "scratch")
        os.makedirs(scratch)
        self.platform = Platform(self.args.source, os.path.join(self.root, "sim"), scratch)
        self.url_base = self.platform.get("/version")["url_base"]
        # N: the build plus one file that later releases do not have.
        bin_n = os.path.join(self.root, "bin-n")
        os.makedirs(bin_n)
        for name in ("Orvanta", "Orvlift", "orvanta-cli", "orvreg"):
            os.symlink(os.path.join(self.args.bin, name), os.path.join(bin_n, name))
        shutil.copytree(os.path.join(self.args.bin, "image"), os.path.join(bin_n, "image"))
        with open(os.path.join(bin_n, "image", "retired.txt"), "w") as f:
            f.write("only in release %s\n" % N)
        self.setup = {N: self.release(N, bin_n), N1: self.release(N1, self.args.bin),
                      N2: self.release(N2, self.args.bin)}
        fakebin = os.path.join(self.root, "fakebin")
        os.makedirs(fakebin)
        self.prog = os.path.join(self.root, "inst", "Orvanta")
        self.env = client_env(self.desktop, self.platform, self.root, self.prog, fakebin)
        self.env["ORVLIFT_AUTOCLOSE"] = "1"  # the failed download's window closes by itself

    def sh(self, argv, timeout=120):
        r = subprocess.run(argv, env=self.env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                           text=True, timeout=timeout, stdin=subprocess.DEVNULL)
        return r.returncode, r.stdout

    def registered(self, name):
        code, out = self.sh([os.path.join(self.prog, "orvreg"), "query", KEY, "/v", name])
        prefix = "    %s    REG_SZ    " % name
        lines = [ln[len(prefix):] for ln in out.splitlines() if ln.startswith(prefix)]
        return lines[0] if code == 0 and lines else None

    def cli_version(self):
        code, out = self.sh([os.path.join(self.prog, "orvanta-cli"), "version"])
        if code != 0:
            raise StepFailed("orvanta-cli version ended with %d:\n%s" % (code, out))
        return out

    def spawn_client(self, name):
        self.client_log = os.path.join(self.root, name + ".log")
        out = open(self.client_log, "w")
        return subprocess.Popen([os.path.join(self.prog, "Orvanta")], cwd=self.prog, env=self.env,
                                stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.STDOUT)

    def reap_adopted(self):
        """Collects programs that ended after their parent: Orvlift, the installer."""
        own = {p.pid for p in self.desktop.procs} | {self.platform.proc.pid}
        while True:
            try:
                info = os.waitid(os.P_ALL, 0, os.WEXITED | os.WNOHANG | os.WNOWAIT)
            except ChildProcessError:
                return
            if info is None or info.si_pid in own:
                return
            try:
                with open("/proc/%d/comm" % info.si_pid) as f:
                    name = f.read().strip()
            except OSError:
                name = "?"
            os.waitpid(info.si_pid, 0)
            ok = info.si_code == os.CLD_EXITED
            self.adopted.append((name, info.si_status if ok else -info.si_status))

    def accept_update(self, version):
        """Starts the installed client, checks its status bar and accepts the offered update."""
        self.adopted = []
        self.client = self.spawn_client("orvanta-" + version)
        self.window = self.dialog(user_day.TITLE, timeout=30)
        wait_until(lambda: self.desktop.find(self.acc(), contains=version), 20,
                   "the status bar to show version %s" % version)
        box = self.message_box("检测到新版本", timeout=40)
        # A synchronous move onto the spot where the pointer already is (the last run's
        # button) would wait for motion that never comes.
        self.desktop.x(["xdotool", "mousemove", "1", "1"])
        self.press(box, "确定")
        try:
            code = self.client.wait(timeout=30)
        except subprocess.TimeoutExpired:
            raise StepFailed("Orvanta did not end for the update")
        if code != 0:
            raise StepFailed("Orvanta ended with exit code %d for the update" % code)

    def wait_for(self, program, timeout):
        def ended():
            self.reap_adopted()
            return any(name == program for name, _ in self.adopted)
        wait_until(ended, timeout, "%s to end" % program, interval=0.2)
        log("  ended so far: %s" % ", ".join("%s (%d)" % e for e in self.adopted))

    def output(self):
        with open(self.client_log, encoding="utf-8", errors="replace") as f:
            return f.read()

    def check_files(self):
        """Every file of the installed release is there as it was installed, but the
        settings file the stand-in platform changed."""
        r = subprocess.run(["sha256sum", "-c", "--quiet", "unins000.dat"], cwd=self.prog,
                           stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        differ = [ln for ln in r.stdout.splitlines() if not ln.startswith("image/config.ini:")]
        if differ:
            raise StepFailed("the installed files differ from their list:\n" + "\n".join(differ))

    # -- steps ---------------------------------------------------------------
    def step_install(self):
        """N installs silently into a fresh folder; the user's data and settings are added."""
        code, out = self.sh([self.setup[N], "/silent", "/DIR=" + self.prog])
        if code != 0:
            raise StepFailed("the installer of %s ended with %d:\n%s" % (N, code, out))
        if self.registered("DisplayVersion") != N:
            raise StepFailed("DisplayVersion after installing N: %s" % self.registered("DisplayVersion"))
        sys.path.insert(0, os.path.join(self.args.source, "tools", "platform-sim"))
        import platform_sim
        port = lambda kind: int(self.platform.env[kind].rsplit(":", 1)[1])  # noqa: E731
        platform_sim.configure_program_dir(
            self.prog, {"PORTAL": port("ORVANTA_HOST_PORTAL"), "WEB": port("ORVANTA_HOST_WEB")},
            port("ORVANTA_SIM_PUSH"))
        os.makedirs(os.path.join(self.prog, "user"))
        with open(os.path.join(self.prog, "user", "user.cfg"), "wb") as f:
            f.write(USER_CFG)
        # The client may rewrite its settings while it runs; the stand-ins' entry must stay.
        self.config_line = ("ListenPortNum=%d" % port("ORVANTA_SIM_PUSH")).encode()
        self.n_files = tree(self.prog)

    def step_update(self):
        """The prompt is accepted; Orvlift replaces N with N+1 and every program exits 0."""
        self.platform.post("/version", {"installer": self.setup[N1]})
        self.accept_update(N)
        self.wait_for("Orvlift", 60)
        self.wait_for("Orvanta_setup.e", 90)
        bad = [(name, status) for name, status in self.adopted if status != 0 and name in LOOP]
        if bad:
            raise StepFailed("programs ended badly: %s\n%s" % (bad, self.output()))
        if "旧版本卸载成功" not in self.output():
            raise StepFailed("N's uninstaller did not succeed:\n" + self.output())

    def step_check_update(self):
        """Registration, version, user data, settings and the file set are N+1's."""
        expected = {"DisplayVersion": N1, "DisplayName": "奥凡云平台",
                    "DisplayIcon": os.path.join(self.prog, "Orvanta"),
                    "UninstallString": os.path.join(self.prog, "unins000"),
                    "InstallLocation": self.prog, "Inno Setup: App Path": self.prog,
                    "Publisher": "Orvanta"}
        got = {name: self.registered(name) for name in expected}
        if got != expected:
            raise StepFailed("registration %s, expected %s" % (got, expected))
        if '"%s"' % N1 not in self.cli_version():
            raise StepFailed("orvanta-cli version: " + self.cli_version())
        with open(os.path.join(self.prog, "user", "user.cfg"), "rb") as f:
            if f.read() != USER_CFG:
                raise StepFailed("user.cfg changed")
        with open(os.path.join(self.prog, "image", "config.ini"), "rb") as f:
            if self.config_line not in f.read():
                raise StepFailed("the changed image/config.ini was not kept")
        files = tree(self.prog)
        if "image/retired.txt" in files:
            raise StepFailed("N's own file image/retired.txt is left")
        lost = {f for f in self.n_files - files if f != "image/retired.txt"}
        if lost:
            raise StepFailed("files lost in the update: %s" % sorted(lost))
        self.check_files()
        leftovers = [n for n in os.listdir(os.path.dirname(self.prog)) if n != "Orvanta"]
        if leftovers:
            raise StepFailed("left beside the install folder: %s" % leftovers)

    def step_cut_transfer(self):
        """N+2's transfer is cut at half: N+1 stays installed and runnable, no installer runs."""
        self.platform.post("/version", {"installer": self.setup[N2], "cut": 0.5})
        self.accept_update(N1)
        self.wait_for("Orvlift", 60)
        time.sleep(1)
        self.reap_adopted()
        if self.platform.get("/version").get("cut_transfers", 0) < 1:
            raise StepFailed("the server did not cut a transfer")
        bad = [(name, status) for name, status in self.adopted if status != 0 and name in LOOP]
        if bad:
            raise StepFailed("programs ended badly: %s\n%s" % (bad, self.output()))
        if any(name.startswith("Orvanta_setup") for name, _ in self.adopted):
            raise StepFailed("an installer ran after a cut transfer")
        if "下载过程出现问题" not in self.output() or "旧版本卸载成功" in self.output():
            raise StepFailed("Orvlift did not stop at the failed download:\n" + self.output())
        if self.registered("DisplayVersion") != N1 or '"%s"' % N1 not in self.cli_version():
            raise StepFailed("N+1 is no longer installed and registered")
        self.check_files()

    STEPS = [("install", step_install), ("update", step_update),
             ("check-update", step_check_update), ("cut-transfer", step_cut_transfer)]

    def close(self):
        super().close()
        self.reap_adopted()


if __name__ == "__main__":
    sys.exit(script_main(Loop, __doc__, "A self-update"))
