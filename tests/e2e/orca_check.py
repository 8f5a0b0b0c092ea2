#!/usr/bin/python3
"""What the Orca screen reader says while a user tabs through the real Orvanta window.

    orca_check.py --bin BUILD/bin --source SOURCE_DIR [--keep]

Runs the windowed client under Xvfb with openbox against the stand-in platform, starts Orca
(package orca) with preferences of its own and its debug output in the work folder, and goes
by keys through the main window, the login dialog, a pushed message's popup, the service
desk and the exit question. Prints, for each key, what Orca spoke (its "SPEECH OUTPUT" lines), for a person to
read; it fails only when Orca says nothing at all after its welcome. Not part of
the suite: Orca takes long to start. Exit 77 without Orca or the desktop's tools.
"""

import os
import re
import shutil
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from a11y_walk import Walk  # noqa: E402
from desktop import Skip, StepFailed, log, script_main, wait_until  # noqa: E402
from user_day import Day  # noqa: E402


class OrcaCheck(Walk):
    def start(self):
        if shutil.which("orca") is None:
            raise Skip("the check needs orca (package orca)")
        super().start()

    def spoken(self):
        try:
            with open(self.orca_log, encoding="utf-8", errors="replace") as f:
                text = f.read()
        except OSError:
            return []
        return re.findall(r"SPEECH OUTPUT: '(.*?)'(?:\{|$)", text, re.M)

    def listen(self, part, keys_then_wait):
        """Runs keys_then_wait(); prints what Orca spoke meanwhile under `part`."""
        before = len(self.spoken())
        keys_then_wait()
        # Orca speaks once its event queue settles: until its log is quiet for a second.
        size, quiet = -1, time.monotonic()
        while time.monotonic() - quiet < 1.0 and time.monotonic() - quiet < 8:
            now = os.path.getsize(self.orca_log)
            if now != size:
                size, quiet = now, time.monotonic()
            time.sleep(0.2)
        # Without the echo of the keys (a key's name and a space).
        said = [s for s in self.spoken()[before:] if s.strip() and not s.endswith(" ")]
        log("  %s: %s" % (part, " | ".join(said) if said else "(nothing)"))
        self.heard += len(said)

    def step_orca(self):
        prefs = os.path.join(self.root, "orca-prefs")
        os.makedirs(prefs, exist_ok=True)
        self.orca_log = os.path.join(self.root, "orca-debug.out")
        self.desktop._spawn(["orca", "--replace", "-u", prefs, "--debug-file", self.orca_log],
                            env=self.desktop.env, stdout=open(self.orca_log + ".stdout", "w"),
                            stderr=open(self.orca_log + ".stderr", "w"))
        wait_until(lambda: self.spoken(), 60, "Orca to speak (its welcome)")
        time.sleep(3)
        self.heard = 0

    def step_main_window(self):
        d = self.desktop
        self.listen("the main window comes forward", lambda: d.x(
            ["xdotool", "windowactivate", "--sync", str(self.window)], check=True))
        # The strip has the keyboard first: back to the close button, forward to the strip.
        self.listen("Shift+Tab", lambda: d.key("shift+Tab"))
        self.listen("Tab back to the strip", lambda: d.key("Tab"))
        self.listen("Right on the strip", lambda: d.key("Right"))
        self.listen("Left on the strip", lambda: d.key("Left"))
        for i in range(12):
            self.listen("Tab %d" % (i + 1), lambda: d.key("Tab"))
        self.listen("Ctrl+2 (app centre)", lambda: d.key("ctrl+2"))
        self.listen("Ctrl+1 (home)", lambda: d.key("ctrl+1"))

    def step_login_dialog(self):
        d = self.desktop

        def open_login():
            for _ in range(40):
                if ("push button", "登录") in self.focus_now():
                    break
                d.key("shift+Tab")
                time.sleep(0.1)
            d.key("Return")
            self.message_box("记住密码")
        self.listen("the login dialog opens", open_login)
        for i in range(4):
            self.listen("Tab %d in the login dialog" % (i + 1), lambda: d.key("Tab"))
        self.listen("Escape closes it", lambda: (d.key("Escape"), self.box_gone("记住密码")))

    def step_popup(self):
        def push():
            self.platform.post("/push", {"title": "系统维护通知",
                                         "content": "平台将于今晚进行例行维护。", "url": ""})
            self.dialog("澄野奥凡云消息")
        self.listen("a pushed message arrives", push)
        d = self.desktop
        self.listen("Ctrl+M gives the popup the keyboard", lambda: (
            d.x(["xdotool", "windowactivate", "--sync", str(self.window)], check=True),
            d.key("ctrl+m")))
        self.listen("Tab in the popup", lambda: d.key("Tab"))
        self.listen("Escape closes the popup", lambda: d.key("Escape"))

    def step_service_desk(self):
        d = self.desktop
        self.listen("Ctrl+5 (service desk)", lambda: (
            d.x(["xdotool", "windowactivate", "--sync", str(self.window)], check=True),
            d.key("ctrl+5")))
        for i in range(5):
            self.listen("Tab %d on the service desk" % (i + 1), lambda: d.key("Tab"))
        d.key("ctrl+1")

    def step_exit_question(self):
        d = self.desktop
        self.listen("Escape on the main window", lambda: (
            d.x(["xdotool", "windowactivate", "--sync", str(self.window)], check=True),
            d.key("Escape"), self.message_box("确定退出澄野奥凡云平台?")))
        self.listen("Tab in the question", lambda: d.key("Tab"))
        self.listen("Escape keeps the client", lambda: (d.key("Escape"),
                                                        self.box_gone("确定退出澄野奥凡云平台?")))

    def step_heard(self):
        if not self.heard:
            raise StepFailed("Orca said nothing after its welcome")

    STEPS = [
        ("start", Day.step_start), ("orca", step_orca), ("main-window", step_main_window),
        ("login-dialog", step_login_dialog), ("popup", step_popup),
        ("service-desk", step_service_desk), ("exit-question", step_exit_question),
        ("heard", step_heard),
    ]


if __name__ == "__main__":
    sys.exit(script_main(OrcaCheck, __doc__, "What Orca said"))
