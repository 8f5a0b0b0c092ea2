#!/usr/bin/python3
"""A user's day with the Windows Orvanta under Wine, end to end.

    windows_day.py --bin BUILD-WINDOWS/bin --source SOURCE_DIR --setup orv-sample-setup.exe
                   [--shots FOLDER] [--keep]

Copies the Windows program directory elsewhere (it must run from anywhere), starts the
stand-in platform on the Linux side (loopback) serving the Windows sample installer, and
runs `wine Orvanta.exe` under Xvfb with openbox. Wine's windows are X windows: they are
found by title and driven with real pointer clicks and keys (xdotool) at the window's fixed
layout. Wine's programs are not on the accessibility bus, so outcomes are checked from
outside: the stand-in servers' records, the Windows registry (orvreg.exe), the files the
installed application writes and the X server. Exit 0 when every step passed, 1 on the
first failing step, 77 when the machine lacks Wine, Xvfb, openbox or xdotool.
"""

import os
import shutil
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from desktop import (ClientSession, Desktop, Platform, StepFailed, make_root,  # noqa: E402
                     script_main, wait_until)
from user_day import (CLOSE_BUTTON, LOGIN_BUTTON, MINIMISE_BUTTON, PAGE_ORIGIN,  # noqa: E402
                      POPUP_TITLE, TITLE, grid_cell_centre, tab_centre)

# The Uninstall key of the registry's 32-bit view: the 64-bit client stands for a 32-bit one
# and reads there, and the sample installer registers there as a 32-bit installer does.
UNINSTALL = "HKLM\\SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"

# The diagnosis page's start button and row 6's "点击提交" (main window client coordinates).
DIAGNOSIS_START = (PAGE_ORIGIN[0] + 720, PAGE_ORIGIN[1] + 40)
DIAGNOSIS_SUBMIT = (548, 393)


def unix_to_windows(path):
    """Wine's drive Z: is the Linux root."""
    return "Z:" + path.replace("/", "\\")


class WindowsDay(ClientSession):
    def __init__(self, args):
        self.args = args
        self.root = make_root("orvanta-windows-day.")
        self.desktop = Desktop(self.root, accessible=False, needs=("wine",))
        self.platform = None
        self.client = None
        self.window = None

    # -- set-up --------------------------------------------------------------
    def start(self):
        self.desktop.start()
        # Relocatable: the program directory runs from a copy in another folder.
        self.prog = os.path.join(self.root, "prog")
        shutil.copytree(self.args.bin, self.prog, symlinks=False)
        self.platform = Platform(self.args.source, os.path.join(self.root, "sim"), self.prog,
                                 extra=["--windows-installer", self.args.setup])
        self.apps_root = os.path.join(self.root, "apps")
        os.makedirs(self.apps_root)
        env = dict(self.desktop.env)
        env.update(self.platform.env)
        env.pop("QT_QPA_PLATFORM", None)
        env.update({"WINEDEBUG": "-all", "ORVANTA_APPS_ROOT": unix_to_windows(self.apps_root)})
        self.env = env
        # The registry outlives the run: the user's applications start unregistered.
        self.codes = ["OrvSample%d" % a
                      for a in self.platform.get("/subscriptions?user=demo")["client"]]
        for code in self.codes:
            self.registry("delete", UNINSTALL + code, "/f")

    def close(self):
        if self.client is not None and self.client.poll() is None:
            self.client.kill()
            self.client.wait()
        subprocess.run(["wineserver", "-k"], env=self.env, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
        if self.platform is not None:
            for code in getattr(self, "codes", []):
                self.registry("delete", UNINSTALL + code, "/f")
            self.platform.close()
        self.desktop.close()

    # -- helpers -------------------------------------------------------------
    def wine(self, program, *args, timeout=60):
        r = subprocess.run(["wine", os.path.join(self.prog, program)] + list(args), env=self.env,
                           cwd=self.prog, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                           stderr=subprocess.STDOUT, timeout=timeout)
        return r.returncode, r.stdout.decode("utf-8", "replace")

    def registry(self, *args):
        return self.wine("orvreg.exe", *args)

    def tops(self):
        return set(self.desktop.windows())

    def new_window(self, before, what, timeout=20):
        """Waits for a visible top-level window not among `before`; returns its id."""
        def probe():
            self.alive()
            return sorted(self.tops() - before)
        return wait_until(probe, timeout, what)[-1]

    def gone(self, window, what, timeout=15):
        wait_until(lambda: window not in self.tops(), timeout, what)

    def answer_box(self, before, what, keys=("Return",)):
        """Waits for a new box, gives it the focus and presses keys (its default button)."""
        box = self.new_window(before, what)
        self.desktop.x(["xdotool", "windowactivate", "--sync", str(box)])
        time.sleep(0.3)
        self.desktop.key(*keys)
        self.gone(box, "the box of %s to close" % what)
        return box

    def shot(self, name, window=None):
        if not self.args.shots:
            return
        os.makedirs(self.args.shots, exist_ok=True)
        path = os.path.join(self.args.shots, name)
        if window is None:
            self.desktop.screenshot(path)
        else:
            self.desktop.x(["import", "-window", str(window), path])

    def sessions_of(self, user):
        return [k for k, v in self.platform.get("/sessions").items() if v == user]

    def mine(self):
        subs = self.platform.get("/subscriptions?user=demo")
        return subs["client"][0]

    # -- the day -------------------------------------------------------------
    def step_start(self):
        """Orvanta.exe starts from the copied folder, shows its window, fetches the hot list
        and connects the push channel."""
        out = open(os.path.join(self.root, "orvanta.log"), "w")
        self.client = subprocess.Popen(["wine", os.path.join(self.prog, "Orvanta.exe")],
                                       cwd=self.prog, env=self.env, stdin=subprocess.DEVNULL,
                                       stdout=out, stderr=subprocess.STDOUT)
        self.window = wait_until(lambda: self.alive() and self.desktop.windows(name=TITLE), 90,
                                 "the window \"%s\"" % TITLE)[0]
        _, _, w, h = self.desktop.geometry(self.window)
        if (w, h) != (850, 550):
            raise StepFailed("the window is %dx%d, not 850x550" % (w, h))
        wait_until(lambda: self.platform.requested("appallhot"), 30, "the hot list's request")
        wait_until(lambda: self.platform.records().get("push_clients", 0) >= 1, 30,
                   "the push channel to connect")
        time.sleep(2)  # the tiles' icons arrive
        self.shot("home.png", self.window)

    def step_login(self):
        """Signs in through the login dialog: user name, Tab, password, Enter."""
        before = self.tops()
        self.click_at(LOGIN_BUTTON)
        dialog = self.new_window(before, "the login dialog")
        self.desktop.x(["xdotool", "windowactivate", "--sync", str(dialog)])
        time.sleep(0.5)
        self.desktop.key("ctrl+a")
        self.desktop.type("demo")
        self.desktop.key("Tab")
        self.desktop.type("demo123")
        self.shot("login.png", dialog)
        self.desktop.key("Return")
        wait_until(lambda: len(self.sessions_of("demo")) >= 2, 30,
                   "a session for demo at the login server")
        self.gone(dialog, "the login dialog to close")

    def step_my_apps(self):
        """My apps: both private lists are requested with the new session's key."""
        before = len(self.platform.requested("myappall_c.php"))
        self.click_at(tab_centre(2))
        wait_until(lambda: len(self.platform.requested("myappall_c.php")) > before and
                   self.platform.requested("myappall.php"), 30, "the private lists' requests")
        keys = [k for k in self.sessions_of("demo") if k != "demo-ckey"]
        if not any(k in str(self.platform.requested("myappall_c.php")[-1]) for k in keys):
            raise StepFailed("my apps was requested without the session's key")

    def open_desktop_tab(self):
        # my apps' first inner tab: the desktop applications
        self.click_at((PAGE_ORIGIN[0] + 52, PAGE_ORIGIN[1] + 12))
        time.sleep(1)

    def step_install(self):
        """The first desktop application: its installer is downloaded, then run with
        "/silent"; it registers itself in the Windows registry."""
        appid = self.mine()
        code = "OrvSample%d" % appid
        key = UNINSTALL + code
        if self.registry("query", key)[0] == 0:
            raise StepFailed("%s is registered before its installation" % code)
        self.open_desktop_tab()
        downloads = os.path.join(self.prog, "LumoDownloads")
        before = self.tops()
        self.click_at(grid_cell_centre(0))
        self.answer_box(before, "the download question")
        wait_until(lambda: self.platform.requested("/downloads/%d/" % appid), 30,
                   "the installer's download")
        wait_until(lambda: os.path.isdir(downloads) and any(
            f.endswith(".exe") for f in os.listdir(downloads)), 30, "the installer file")
        time.sleep(2)
        before = self.tops()
        self.click_at(grid_cell_centre(0))
        self.answer_box(before, "the install question")
        wait_until(lambda: "UninstallString" in self.registry("query", key)[1], 60,
                   "the registration of " + code)
        self.code = code

    def step_run(self):
        """Starts the installed application from its tile: its start.cmd runs."""
        started = os.path.join(self.apps_root, self.code, "started.log")
        time.sleep(3)  # the Uninstall watcher turns the tile
        self.shot("my-apps.png", self.window)
        before = self.tops()
        self.click_at(grid_cell_centre(0))
        self.answer_box(before, "the start question")
        wait_until(lambda: os.path.exists(started), 30, "the application's start script")

    def step_push(self):
        """A pushed message opens the popup in the lower-right corner."""
        sent = self.platform.post("/push", {"title": "系统维护通知",
                                            "content": "平台将于今晚进行例行维护。", "url": ""})
        if sent.get("sent", 0) < 1:
            raise StepFailed("the push server has no client to send to")
        popup = wait_until(lambda: self.alive() and self.desktop.windows(name=POPUP_TITLE), 30,
                           "the popup \"%s\"" % POPUP_TITLE)[0]
        x, y, w, h = self.desktop.geometry(popup)
        if (w, h) != (250, 180):
            raise StepFailed("the popup is %dx%d, not 250x180" % (w, h))
        self.shot("popup.png", popup)
        self.desktop.click(x + 8 + 117, y + 51 + 47)  # the message text closes it
        wait_until(lambda: not self.desktop.windows(name=POPUP_TITLE), 15, "the popup to close")

    def step_diagnosis(self):
        """Runs the diagnosis page's scan and submits row 6's finding to the diagnosis server."""
        self.click_at(tab_centre(3))
        time.sleep(1)
        before = len(self.platform.records("requests"))
        self.click_at(DIAGNOSIS_START)
        wait_until(lambda: len(self.platform.records("requests")) > before, 60,
                   "the diagnosis's requests")
        time.sleep(5)  # the scan's rows finish
        self.shot("diagnosis.png", self.window)
        reports = len(self.platform.records("diagnosis"))
        before = self.tops()
        self.click_at(DIAGNOSIS_SUBMIT)
        self.answer_box(before, "the submission's answer")
        wait_until(lambda: len(self.platform.records("diagnosis")) > reports, 15,
                   "the report at the diagnosis server")

    def step_second_instance(self):
        """A second start brings the minimised first window forward and ends with 0."""
        self.click_at(MINIMISE_BUTTON)
        wait_until(lambda: not self.desktop.viewable(self.window), 15, "the window to minimise")
        second = subprocess.Popen(["wine", os.path.join(self.prog, "Orvanta.exe")],
                                  cwd=self.prog, env=self.env, stdin=subprocess.DEVNULL,
                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            code = second.wait(timeout=60)
        except subprocess.TimeoutExpired:
            second.kill()
            raise StepFailed("the second Orvanta did not end")
        if code != 0:
            raise StepFailed("the second Orvanta ended with %d" % code)
        wait_until(lambda: self.desktop.viewable(self.window), 15, "the first window to come back")
        wait_until(lambda: self.desktop.active_window() == self.window, 15,
                   "the first window to come forward")
        if len(self.desktop.windows(name=TITLE)) != 1:
            raise StepFailed("more than one main window is shown")

    def step_quit(self):
        """Quits through the close button's confirmation; exit code 0."""
        before = self.tops()
        self.click_at(CLOSE_BUTTON)
        self.answer_box(before, "the exit question")
        try:
            code = self.client.wait(timeout=30)
        except subprocess.TimeoutExpired:
            raise StepFailed("Orvanta did not end after the confirmation")
        if code != 0:
            raise StepFailed("Orvanta ended with exit code %d" % code)

    STEPS = [("start", step_start), ("login", step_login), ("my-apps", step_my_apps),
             ("install", step_install), ("run", step_run), ("push", step_push),
             ("diagnosis", step_diagnosis), ("second-start", step_second_instance),
             ("quit", step_quit)]


def options(ap):
    ap.add_argument("--bin", required=True, help="the Windows build's program directory")
    ap.add_argument("--setup", required=True, help="the Windows sample installer program")


def missing(args):
    if not os.path.exists(os.path.join(args.bin, "Orvanta.exe")):
        return "%s/Orvanta.exe is not built" % args.bin
    return None


if __name__ == "__main__":
    sys.exit(script_main(WindowsDay, __doc__, "A user's day under Wine", shots=True,
                         options=options, missing=missing))
