#!/usr/bin/python3
"""A real self-update under Wine: release N replaced by release N+1 through the window.

    windows_self_update.py --build BUILD_WINDOWS_DIR --source SOURCE_DIR [--keep]

Makes releases N and N+1 from the Windows build with scripts/release-windows.sh (N carries one
file more), installs N silently into a fresh folder of the Wine prefix, and starts its
Orvanta.exe on a display of its own (Xvfb + openbox) against the stand-in platform, whose
update server publishes N+1. The update prompt is accepted with the keyboard as a user would;
Orvlift.exe downloads N+1 over FTP, runs N's uninstaller and starts N+1's installer from
UpdateCache.
Checked: the registration and orvanta-cli.exe say N+1, the user's data and the changed
settings file survived, none of N's own files are left, every file matches its checksum.
Exit 0 passed, 1 failed, 77 the Qt programs are not built or Wine, Xvfb, openbox or xdotool
is missing.
"""

import hashlib
import os
import shutil
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "e2e"))
from desktop import Desktop, Platform, StepFailed, script_main, wait_until  # noqa: E402

N, N1 = "6.0.0.1", "6.0.0.2"
# where the 64-bit programs read it: the 32-bit view of the described 32-bit client
KEY = ("HKLM\\SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
       "{5A0C3D2E-7F41-4B8A-9C1D-0E2F3A4B5C6D}_is1")
USER_CFG = b"[User]\r\nName=demo\r\nRemember=1\r\n"
PROMPT_CAPTION = "更新消息"
# What the update loop runs under Wine (the uninstaller goes on from a copy named Au_.exe).
LOOP = ("Orvlift.exe", "Orvanta_setup.exe", "unins000.exe", "Au_.exe")


def running(names):
    """Whether a process of one of these Windows programs is alive (by its command line)."""
    for pid in os.listdir("/proc"):
        if not pid.isdigit():
            continue
        try:
            with open("/proc/%s/cmdline" % pid, "rb") as f:
                cmd = f.read().decode("utf-8", "replace")
        except OSError:
            continue
        if any(n in cmd for n in names):
            return True
    return False


class Loop:
    def __init__(self, args):
        self.args = args
        self.root = tempfile.mkdtemp(prefix="orvanta-win-update.")
        self.bin = os.path.join(args.build, "bin")
        self.prefix = os.environ["WINEPREFIX"]
        self.prog = "C:\\orvself%d\\Orvanta" % os.getpid()
        self.desktop = Desktop(self.root, height=1024, accessible=False,
                               needs=("wine", "makensis"))
        self.platform = None
        self.client = None
        self.env = dict(os.environ)

    def host(self, win_path):
        return os.path.join(self.prefix, "drive_c", *win_path[3:].split("\\"))

    def sh(self, argv, timeout=180):
        r = subprocess.run(argv, env=self.env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                           text=True, errors="replace", timeout=timeout,
                           stdin=subprocess.DEVNULL)
        return r.returncode, r.stdout

    def entry(self):
        _, out = self.sh(["wine", os.path.join(self.bin, "orvreg.exe"), "query", KEY])
        values = {}
        for line in out.splitlines():
            parts = line.strip().split("    ")
            if len(parts) == 3:
                values[parts[0]] = parts[2]
        return values

    def release(self, version, image):
        out = os.path.join(self.root, "release-" + version)
        code, text = self.sh(["bash", os.path.join(self.args.source, "scripts/release-windows.sh"),
                              version, out, "--bin", self.bin, "--image", image,
                              "--update-url", self.url_base], 600)
        if code != 0:
            raise StepFailed("release-windows.sh %s failed:\n%s" % (version, text))
        return os.path.join(out, "Orvanta_setup.exe")

    def start(self):
        self.desktop.start()
        self.env.update(self.desktop.env)
        scratch = os.path.join(self.root, "scratch")
        os.makedirs(scratch)
        self.platform = Platform(self.args.source, os.path.join(self.root, "sim"), scratch)
        self.env.update(self.platform.env)
        self.env["ORVLIFT_AUTOCLOSE"] = "1"
        self.url_base = self.platform.get("/version")["url_base"]
        image = os.path.join(self.bin, "image")
        if not os.path.isdir(image):
            image = os.path.join(self.args.source, "build", "bin", "image")
        image_n = os.path.join(self.root, "image-n")
        shutil.copytree(image, image_n)
        with open(os.path.join(image_n, "retired.txt"), "w") as f:
            f.write("only in release %s\n" % N)
        self.setup = {N: self.release(N, image_n), N1: self.release(N1, image)}

    def check_files(self):
        """Every file of the installed release is there as installed, but the settings file
        the stand-in platform changed."""
        root = self.host(self.prog)
        with open(os.path.join(root, "unins000.dat"), encoding="utf-8") as f:
            for line in f:
                rel = line[66:].rstrip("\n")
                if rel == "image/config.ini":
                    continue
                with open(os.path.join(root, *rel.split("/")), "rb") as g:
                    if hashlib.sha256(g.read()).hexdigest() != line[:64]:
                        raise StepFailed("%s differs from its list" % rel)

    def files(self):
        root = self.host(self.prog)
        return {os.path.relpath(os.path.join(b, f), root).replace(os.sep, "/")
                for b, _, fs in os.walk(root) for f in fs}

    # -- steps ---------------------------------------------------------------
    def step_install(self):
        code, out = self.sh(["wine", self.setup[N], "/silent", "/DIR=" + self.prog])
        if code != 0 or self.entry().get("DisplayVersion") != N:
            raise StepFailed("installing N ended with %d, entry %s:\n%s"
                             % (code, self.entry(), out))
        sys.path.insert(0, os.path.join(self.args.source, "tools", "platform-sim"))
        import platform_sim
        port = lambda kind: int(self.platform.env[kind].rsplit(":", 1)[1])  # noqa: E731
        root = self.host(self.prog)
        platform_sim.configure_program_dir(
            root, {"PORTAL": port("ORVANTA_HOST_PORTAL"), "WEB": port("ORVANTA_HOST_WEB")},
            port("ORVANTA_SIM_PUSH"))
        os.makedirs(os.path.join(root, "user"))
        with open(os.path.join(root, "user", "user.cfg"), "wb") as f:
            f.write(USER_CFG)
        self.config_line = ("ListenPortNum=%d" % port("ORVANTA_SIM_PUSH")).encode()
        self.n_files = self.files()

    def step_update(self):
        """The prompt is accepted; Orvanta ends, Orvlift replaces N with N+1."""
        self.platform.post("/version", {"installer": self.setup[N1]})
        self.client_log = open(os.path.join(self.root, "orvanta.log"), "w")
        self.client = subprocess.Popen(["wine", self.prog + "\\Orvanta.exe"], env=self.env,
                                       stdin=subprocess.DEVNULL, stdout=self.client_log,
                                       stderr=subprocess.STDOUT)
        box = []

        def prompt():
            if self.client.poll() is not None:
                raise StepFailed("Orvanta ended with %d before the prompt" % self.client.returncode)
            box[:] = self.desktop.windows(name=PROMPT_CAPTION)[:1]
            return bool(box)
        wait_until(prompt, 120, "the update prompt")
        self.desktop.x(["xdotool", "windowactivate", "--sync", str(box[0])])
        time.sleep(0.3)
        self.desktop.key("Return")  # its default button: 确定
        try:
            code = self.client.wait(timeout=60)
        except subprocess.TimeoutExpired:
            raise StepFailed("Orvanta did not end for the update")
        if code != 0:
            raise StepFailed("Orvanta ended with exit code %d for the update" % code)
        # The updater and the installer run on: their work shows in the registration.
        wait_until(lambda: self.entry().get("DisplayVersion") == N1, 300,
                   "the registration to say N+1", interval=1)

        wait_until(lambda: not running(LOOP), 120, "the updater and the installer to end",
                   interval=0.5)

    def step_check(self):
        root = self.host(self.prog)
        expected = {"DisplayVersion": N1, "DisplayName": "奥凡云平台",
                    "DisplayIcon": self.prog + "\\Orvanta.exe",
                    "UninstallString": '"%s\\unins000.exe"' % self.prog,
                    "InstallLocation": self.prog, "Inno Setup: App Path": self.prog,
                    "Publisher": "Orvanta"}
        got = {name: self.entry().get(name) for name in expected}
        if got != expected:
            raise StepFailed("registration %s, expected %s" % (got, expected))
        code, out = self.sh(["wine", self.prog + "\\orvanta-cli.exe", "version"])
        if code != 0 or N1 not in out:
            raise StepFailed("orvanta-cli.exe version: %d %s" % (code, out))
        with open(os.path.join(root, "user", "user.cfg"), "rb") as f:
            if f.read() != USER_CFG:
                raise StepFailed("user.cfg changed")
        with open(os.path.join(root, "image", "config.ini"), "rb") as f:
            if self.config_line not in f.read():
                raise StepFailed("the changed image/config.ini was not kept")
        files = self.files()
        if "image/retired.txt" in files:
            raise StepFailed("N's own file image/retired.txt is left")
        lost = {f for f in self.n_files - files if f != "image/retired.txt"}
        if lost:
            raise StepFailed("files lost in the update: %s" % sorted(lost))
        self.check_files()
        leftovers = [n for n in os.listdir(os.path.dirname(root)) if n != "Orvanta"]
        if leftovers:
            raise StepFailed("left beside the install folder: %s" % leftovers)

    STEPS = [("install", step_install), ("update", step_update), ("check", step_check)]

    def close(self):
        if self.client and self.client.poll() is None:
            self.client.kill()
            self.client.wait()
        if self.platform:
            self.platform.close()
        self.desktop.close()
        self.sh(["wine", os.path.join(self.bin, "orvreg.exe"), "delete", KEY, "/f"])
        shutil.rmtree(os.path.dirname(self.host(self.prog)), ignore_errors=True)


def options(ap):
    ap.add_argument("--build", required=True, help="the Windows build folder")


def missing(args):
    args.build = os.path.abspath(args.build)
    args.source = os.path.abspath(args.source)
    for program in ("Orvanta.exe", "Orvlift.exe"):
        if not os.path.isfile(os.path.join(args.build, "bin", program)):
            return "%s is not built" % program
    os.environ.setdefault("WINEPREFIX", os.path.join(args.build, "wineprefix"))
    os.environ.setdefault("WINEDEBUG", "-all")
    os.environ["ORV_SETUP_COMPRESSOR"] = "zlib"  # quicker releases
    return None


if __name__ == "__main__":
    sys.exit(script_main(Loop, __doc__, "A self-update under Wine", options=options,
                         missing=missing))
