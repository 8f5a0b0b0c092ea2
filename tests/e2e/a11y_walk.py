#!/usr/bin/python3
"""What a screen reader finds in the real Orvanta window, end to end.

    a11y_walk.py --bin BUILD/bin --source SOURCE_DIR [--keep]

Runs the windowed client under Xvfb with openbox against the stand-in platform and walks
its accessibility tree (AT-SPI) on every page, in the login dialog, in the message popup
and in the message boxes the client shows: every object that can take the focus or offers
an action must have a name and a role other than unknown or filler. The popup must be a
notification carrying the message's title and text. Then a day by keys alone (xdotool key
presses; the focus, names, states and values read back through AT-SPI as a screen reader
would): pages, signing in, a pushed message, installing from a tile, the diagnosis and its
report, a work order, quitting. Exit 0 when every step passed, 1 on the first failing step,
77 when the machine lacks the desktop's tools.
"""

import os
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from desktop import StepFailed, log, script_main, wait_until  # noqa: E402
from user_day import LOGIN_BUTTON, POPUP_TITLE, TITLE, UNINSTALL, Day  # noqa: E402

PAGES = ["首页", "应用中心", "我的应用", "系统诊断", "服务台"]
BAD_ROLES = ("unknown", "filler", "")


class Walk(Day):
    def audit(self, root, where):
        """Faults of the objects below root (root included) that a user can reach."""
        d = self.desktop
        faults = []
        for node in [root] + d.nodes(root):
            try:
                state = node.getState()
                focusable = state.contains(d.atspi.STATE_FOCUSABLE)
                try:
                    actions = node.queryAction().nActions
                except NotImplementedError:
                    actions = 0
                if not focusable and not actions:
                    continue
                role, name = d.role(node), node.name
            except Exception:
                continue  # an object going away while it is read
            if not name or role in BAD_ROLES:
                faults.append("%s: %s '%s' (%s)" % (where, role or "no role", name,
                                                    node.description or "no description"))
        return faults

    def check(self, root, where):
        faults = self.audit(root, where)
        if faults:
            raise StepFailed("%d unnamed or unclassed controls:\n  %s" %
                             (len(faults), "\n  ".join(faults)))

    def main_frame(self):
        for top in self.tops():
            if top.name == TITLE:
                return top
        raise StepFailed("the main window is not in the accessibility tree")

    def tab(self, page):
        tabs = self.desktop.find(self.main_frame(), name=PAGES[page], role="page tab")
        if not tabs:
            raise StepFailed("no page tab \"%s\"" % PAGES[page])
        return tabs[0]

    def open_page(self, page):
        """Opens a page through the tab's press action, as a screen reader would."""
        tab = self.tab(page)
        action = tab.queryAction()
        names = [action.getName(i).lower() for i in range(action.nActions)]
        if "press" not in names:
            raise StepFailed("the tab \"%s\" offers no press action: %s" % (PAGES[page], names))
        action.doAction(names.index("press"))
        if page != 2:
            wait_until(lambda: self.tab(page).getState().contains(
                self.desktop.atspi.STATE_SELECTED), 10, "the tab \"%s\" to be selected" % PAGES[page])

    def wait_dialog_active(self, what, before=None):
        """Waits until another window than `before` (the main window) has the keyboard."""
        before = before or self.window
        wait_until(lambda: self.desktop.active_window() not in (None, before), 15,
                   what + " to take the keyboard")

    def box_top(self, text):
        box = self.message_box(text)
        self.check(box, "the box \"%s\"" % text)
        return box

    # -- the walk ------------------------------------------------------------
    def step_frame(self):
        """The main window is a frame; the hot tiles say their state and carry a 0-100 value."""
        role = self.desktop.role(self.main_frame())
        if role != "frame":
            raise StepFailed("the main window's role is %s, not frame" % role)
        for name in self.hot_names()[:3]:
            tile = self.desktop.find(self.main_frame(), name=name, role="push button")
            if not tile:
                raise StepFailed("no tile \"%s\"" % name)
            try:
                value = tile[0].queryValue()
                bounds = (value.minimumValue, value.maximumValue)
            except NotImplementedError:
                bounds = None
            if bounds != (0, 100):
                raise StepFailed("the tile \"%s\" has no 0-100 value: %s" % (name, bounds))

    def step_bridge(self):
        """The page tab list offers Selection: one selected tab, and selecting a tab opens its
        page. A tile's only action is its press: no increase/decrease of its progress."""
        strips = self.desktop.find(self.main_frame(), role="page tab list", name="页面")
        if not strips:
            raise StepFailed("no page tab list \"页面\"")
        try:
            selection = strips[0].querySelection()
        except NotImplementedError:
            raise StepFailed("the page tab list offers no Selection interface")

        def selected():
            return (selection.nSelectedChildren, selection.getSelectedChild(0).name)
        if selected() != (1, PAGES[0]):
            raise StepFailed("the tab list's selection is %s, not (1, %s)" % (selected(),
                                                                             PAGES[0]))
        for page in (3, 0):
            if not selection.selectChild(page):
                raise StepFailed("selecting the tab %s was refused" % PAGES[page])
            wait_until(lambda: selected() == (1, PAGES[page]) and
                       selection.isChildSelected(page), 10,
                       "the selection of %s (now %s)" % (PAGES[page], selected()))
        tile = self.desktop.find(self.main_frame(), name=self.hot_names()[0],
                                 role="push button")[0]
        action = tile.queryAction()
        names = [action.getName(i).lower() for i in range(action.nActions)]
        if names != ["press"]:
            raise StepFailed("the tile's actions are %s, not [press]" % names)

    def step_pages(self):
        """Every page, opened through its tab: named and classed controls."""
        faults = []
        for page in [1, 2, 3, 4, 0]:
            self.open_page(page)
            if page == 2:  # signed out, my apps opens the login; cancelled, it says why
                self.message_box("记住密码")
                self.wait_dialog_active("the login dialog")
                self.desktop.key("Escape")
                self.box_top("请先登录")
                self.answer_box("请先登录", "确定")
                continue
            time.sleep(1)  # the page's lists arrive from the stand-in platform
            faults += self.audit(self.main_frame(), PAGES[page])
        if faults:
            raise StepFailed("%d unnamed or unclassed controls:\n  %s" %
                             (len(faults), "\n  ".join(faults)))

    def step_login_dialog(self):
        """The login dialog, and the box of a failed login."""
        self.click_at(LOGIN_BUTTON)
        dialog = self.message_box("记住密码")
        self.wait_dialog_active("the login dialog")
        self.check(dialog, "the login dialog")
        fields = [n for n in self.desktop.nodes(dialog)
                  if self.desktop.role(n) in ("text", "password text", "entry")]
        fields.sort(key=lambda n: self.desktop.extents(n)[1])
        self.type_into(fields[0], "demo")
        self.type_into(fields[1], "wrong-password")
        login = self.desktop.active_window()
        self.desktop.key("Return")
        box = wait_until(lambda: [t for t in self.tops() if t.name not in (TITLE,) and
                                  t != dialog and self.desktop.role(t) in ("dialog", "alert")],
                         20, "the box of the failed login")[0]
        self.check(box, "the failed login's box")
        self.wait_dialog_active("the failed login's box", before=login)
        self.desktop.key("Return")
        wait_until(lambda: box not in self.tops(), 10, "the failed login's box to close")
        self.desktop.key("Escape")
        self.box_gone("记住密码")

    def step_popup(self):
        """A pushed message: a notification with its title and text, its buttons named."""
        title, content = "系统维护通知", "平台将于今晚进行例行维护。"
        sent = self.platform.post("/push", {"title": title, "content": content, "url": ""})
        if sent.get("sent", 0) < 1:
            raise StepFailed("the push server has no client to send to")
        self.dialog(POPUP_TITLE)
        popup = wait_until(lambda: [t for t in self.desktop.nodes(self.acc())
                                    if self.desktop.role(t) == "notification"], 10,
                           "a notification in the accessibility tree")[0]
        if popup.name != title or content not in (popup.description or ""):
            raise StepFailed("the notification reads '%s' / '%s'" % (popup.name, popup.description))
        self.check(popup, "the popup")
        buttons = self.desktop.find(popup, name="关闭", role="push button")
        if not buttons:
            raise StepFailed("the popup has no close button")
        buttons[0].queryAction().doAction(0)
        wait_until(lambda: not self.desktop.windows(name=POPUP_TITLE, pid=self.client.pid), 10,
                   "the popup to close")

    def step_exit_question(self):
        """Escape on the main window asks before quitting; Escape in the box keeps it open."""
        self.desktop.x(["xdotool", "windowactivate", "--sync", str(self.window)], check=True)
        self.desktop.key("Escape")
        self.box_top("确定退出澄野奥凡云平台?")
        self.wait_dialog_active("the question")
        self.desktop.key("Escape")
        self.box_gone("确定退出澄野奥凡云平台?")
        self.alive()

    # -- the keyboard alone ---------------------------------------------------
    def focus_now(self):
        """What the screen reader is told has the focus: (role, name) of each focused object."""
        d = self.desktop
        out = []
        for n in d.nodes(self.acc()):
            try:
                if n.getState().contains(d.atspi.STATE_FOCUSED):
                    out.append((d.role(n), n.name))
            except Exception:
                continue
        return out

    def expect_focus(self, role, name, what):
        wait_until(lambda: (role, name) in self.focus_now(), 10,
                   "%s (focus on %s '%s'; now %s)" % (what, role, name, self.focus_now()))

    def step_keys_pages(self):
        """Ctrl+digit and Ctrl+Tab open pages; the arrows and Return open a page from the strip."""
        self.desktop.x(["xdotool", "windowactivate", "--sync", str(self.window)], check=True)
        for keys, page in (("ctrl+4", 3), ("ctrl+Tab", 4), ("ctrl+Tab", 0), ("ctrl+shift+Tab", 4),
                           ("ctrl+2", 1), ("ctrl+1", 0)):
            self.desktop.key(keys)
            wait_until(lambda: self.tab(page).getState().contains(
                self.desktop.atspi.STATE_SELECTED), 10, "%s to open %s" % (keys, PAGES[page]))
            self.expect_focus("page tab", PAGES[page], keys + " to announce the open page")
        self.main_frame()  # still there
        # Tab goes round the window; before the strip come the title band's buttons.
        for _ in range(40):
            if ("page tab", PAGES[0]) in self.focus_now():
                break
            self.desktop.key("Tab")
            time.sleep(0.1)
        self.expect_focus("page tab", PAGES[0], "Tab round the window to the strip")
        for name in ("关闭", "最小化", "登录"):
            self.desktop.key("shift+Tab")
            self.expect_focus("push button", name, "Shift+Tab")
        self.desktop.key("Tab", "Tab", "Tab")
        self.expect_focus("page tab", PAGES[0], "the tab strip")
        self.desktop.key("Right", "Right", "Right")
        self.expect_focus("page tab", PAGES[3], "the arrows")
        self.desktop.key("Return")
        wait_until(lambda: self.tab(3).getState().contains(self.desktop.atspi.STATE_SELECTED),
                   10, "Return to open %s" % PAGES[3])
        self.desktop.key("ctrl+1")

    def step_keys_login(self):
        """Signs in with keys: to the login button, Return, the name, Tab, the password, Return."""
        self.desktop.key("shift+Tab", "shift+Tab", "shift+Tab")
        self.expect_focus("push button", "登录", "the login button")
        self.desktop.key("Return")
        self.message_box("记住密码")
        self.wait_dialog_active("the login dialog")
        self.desktop.type("demo")
        self.desktop.key("Tab")
        self.desktop.type("demo123")
        self.desktop.key("Return")
        self.box_gone("记住密码", timeout=20)
        wait_until(lambda: self.desktop.find(self.acc(), contains="欢迎您,demo") or
                   self.desktop.find(self.acc(), contains="欢迎您，demo"), 15,
                   "the welcome text \"欢迎您,demo\"")

    def step_keys_message(self):
        """A pushed message: Ctrl+M gives it the keyboard, Escape closes it."""
        self.platform.post("/push", {"title": "账单提醒", "content": "本月账单已出。", "url": ""})
        self.dialog(POPUP_TITLE)
        self.desktop.x(["xdotool", "windowactivate", "--sync", str(self.window)], check=True)
        self.desktop.key("ctrl+m")
        self.expect_focus("push button", "查看", "Ctrl+M")
        self.desktop.key("Tab")
        self.expect_focus("push button", "关闭", "Tab in the popup")
        self.desktop.key("Escape")
        wait_until(lambda: not self.desktop.windows(name=POPUP_TITLE, pid=self.client.pid), 10,
                   "Escape to close the popup")

    def tab_to(self, role, name, what, limit=150):
        """Presses Tab until the focus is on a `role` object whose name is `name` (or, for a
        callable, satisfies it); returns that object. Only the matching objects are read after
        each press (the whole tree is read again now and then, for objects that appear)."""
        match = name if callable(name) else (lambda n: n == name)
        d = self.desktop

        def candidates():
            return [n for n in d.nodes(self.acc()) if d.role(n) == role and match(n.name or "")]

        def focused(nodes):
            return next((n for n in nodes if self.focused(n)), None)
        nodes = candidates()
        for i in range(limit):
            if i % 20 == 19:
                nodes = candidates()
            hit = focused(nodes)
            if hit is not None:
                return hit
            d.key("Tab")
            time.sleep(0.05)
        return wait_until(lambda: focused(candidates()), 5,
                          "Tab to reach %s (now %s)" % (what, self.focus_now()))

    def answer_box(self, text, button):
        """A box saying text has the keyboard: Tab to its button, Return presses it."""
        self.message_box(text)
        self.wait_dialog_active("the box \"%s\"" % text)
        self.tab_to("push button", button, "the box's button \"%s\"" % button, limit=8)
        self.desktop.key("Return")
        self.box_gone(text, timeout=20)

    def step_keys_install(self):
        """From my apps' desktop tab by keys: a tile downloads its installer (its progress
        read as words and a 0-100 value), then installs it."""
        subs = self.platform.get("/subscriptions?user=demo")
        apps = {a["appid"]: a for a in self.desktop_apps()}
        app = apps[subs["client"][0]]
        key = UNINSTALL + app["code"]
        self.desktop.key("ctrl+3")
        wait_until(lambda: self.tab(2).getState().contains(self.desktop.atspi.STATE_SELECTED), 10,
                   "Ctrl+3 to open my apps")
        # Tab lands on the strip's open tab; Home marks the first, Return opens it.
        self.tab_to("page tab", lambda n: n in ("桌面应用", "网页应用"), "my apps' strip")
        self.desktop.key("Home")
        self.expect_focus("page tab", "桌面应用", "Home on the strip")
        self.desktop.key("Return")
        tile = self.tab_to("push button", app["name"], "the tile \"%s\"" % app["name"])
        if "未安装" not in (tile.description or ""):
            raise StepFailed("the tile reads \"%s\", not 未安装" % tile.description)
        self.platform.post("/slow-downloads", {"bytes": 1500000, "seconds": 3})
        self.desktop.key("Return")
        self.answer_box("移除", "启动")

        def reads():
            tile.clear_cache()
            return tile.description or "", tile.queryValue().currentValue
        said, value = wait_until(lambda: (lambda r: r if "下载" in r[0] and 0 < r[1] < 100
                                          else None)(reads()), 20,
                                 "the tile to read its download's progress")
        log("  the tile read \"%s\" at value %d" % (said, value))
        self.platform.post("/slow-downloads", {})
        wait_until(lambda: reads()[0] == "已下载，再次按下即可安装", 30,
                   "the tile to say the next press installs (now \"%s\")" % reads()[0])
        self.expect_focus("push button", app["name"], "the focus back on the tile")
        self.desktop.key("Return")
        self.answer_box("移除", "启动")
        wait_until(lambda: "UninstallString" in self.registry(key)[1], 45,
                   "the registration of " + app["code"])
        wait_until(lambda: reads()[0] == "运行", 15, "the tile to say 运行 (now \"%s\")" %
                   reads()[0])

    def step_keys_diagnosis(self):
        """Ctrl+4, Tab to the start button, Return; then the finding's link sends the report."""
        self.desktop.key("ctrl+4")
        wait_until(lambda: self.tab(3).getState().contains(self.desktop.atspi.STATE_SELECTED), 10,
                   "Ctrl+4 to open the diagnosis")
        self.tab_to("push button", "开始扫描", "the start button")
        self.desktop.key("Return")
        wait_until(lambda: self.desktop.find(self.acc(), contains="检测完成"), 90,
                   "the diagnosis to finish")
        # Its progress bar is a value a screen reader reads, with nothing to press.
        bar = self.desktop.find(self.main_frame(), role="progress bar")[0]
        value = bar.queryValue()
        if (value.minimumValue, value.currentValue, value.maximumValue) != (0, 100, 100):
            raise StepFailed("the finished diagnosis' bar reads %s of %s-%s" % (
                value.currentValue, value.minimumValue, value.maximumValue))
        try:
            raise StepFailed("the progress bar offers actions: %s" % [
                bar.queryAction().getName(i) for i in range(bar.queryAction().nActions)])
        except NotImplementedError:
            pass
        before = len(self.platform.records("diagnosis"))
        self.tab_to("link", lambda n: n.endswith("点击提交"), "the link \"点击提交\"")
        self.desktop.key("Return")
        self.answer_box("提交成功", "确定")
        wait_until(lambda: len(self.platform.records("diagnosis")) == before + 1, 10,
                   "the report at the diagnosis server")

    def type_here(self, field, value, attempts=3):
        """Types value into the focused field; typed again when characters went missing (a
        character outside the keyboard map may arrive late under load)."""
        got = None
        self.desktop.bind_characters(value)
        for attempt in range(attempts):
            if attempt:
                log("  typing into '%s' gave \"%s\"; typing again" % (field.name, got))
                self.desktop.key("ctrl+a", "BackSpace")
            self.desktop.type(value)
            try:
                return wait_until(lambda: self.field_text(field) == value, 5, "the typed text")
            except StepFailed:
                got = self.field_text(field)
        raise StepFailed("typing \"%s\" gave \"%s\"" % (value, got))

    def check_focus_before_selection(self, label):
        """Shift+Tab back into the filled field `label`: a screen reader must hear that the
        field has the focus before its text is selected, or it moves there without a word."""
        from gi.repository import GLib
        events = []

        def heard(event):
            try:
                if label in (event.source.name or ""):
                    events.append((str(event.type), event.detail1))
            except Exception:
                pass
        kinds = ("object:state-changed:focused", "object:text-selection-changed")
        registry = self.desktop.atspi.Registry
        registry.registerEventListener(heard, *kinds)
        try:
            self.desktop.key("shift+Tab")
            deadline = time.monotonic() + 10
            while time.monotonic() < deadline and not any(k == kinds[1] for k, _ in events):
                GLib.MainContext.default().iteration(False)
                time.sleep(0.01)
        finally:
            registry.deregisterEventListener(heard, *kinds)
        order = [k for k, detail in events if k == kinds[1] or detail == 1]
        if kinds[1] not in order or order[0] != kinds[0]:
            raise StepFailed("entering %s, a screen reader heard %s" % (label, events))

    def step_keys_work_order(self):
        """Ctrl+5, then the form from field to field and on to the send button by Tab alone."""
        form = [("税号", "91110000123456789X"), ("企业名称", "示例商贸有限公司"),
                ("联系人名称", "张三"), ("联系人电话", "13800000000"),
                ("联系人地址", "北京市海淀区示例路1号"), ("备注说明", "请安排上门培训")]
        self.desktop.key("ctrl+5")
        wait_until(lambda: self.tab(4).getState().contains(self.desktop.atspi.STATE_SELECTED), 10,
                   "Ctrl+5 to open the service desk")
        for i, (label, value) in enumerate(form):
            # The tax number's check button sits between it and the next field.
            field = self.tab_to("text", lambda n: label in n, "the field " + label,
                                limit=150 if i == 0 else 3)
            self.type_here(field, value)
        self.check_focus_before_selection(form[-2][0])
        self.tab_to("push button", "提交预约", "the button 提交预约")
        self.desktop.key("Return")
        self.answer_box("工单提交成功", "确定")
        got = (self.platform.records("workorder") or [None])[-1]
        want = dict(zip(("nsrsbh", "nsrmc", "lxrmc", "lxrdh", "lxrdz", "bz"), [v for _, v in form]))
        if got != want:
            raise StepFailed("the OA server received %s, not %s" % (got, want))

    def step_keys_quit(self):
        """Escape, then Return on the question's default button, ends the client."""
        self.desktop.x(["xdotool", "windowactivate", "--sync", str(self.window)], check=True)
        self.desktop.key("Escape")
        self.message_box("确定退出澄野奥凡云平台?")
        self.wait_dialog_active("the question")
        self.desktop.key("Return")
        code = wait_until(lambda: self.client.poll() is not None, 15, "the client to end")
        if self.client.returncode != 0:
            raise StepFailed("Orvanta ended with exit code %d" % self.client.returncode)
        return code

    STEPS = [
        ("start", Day.step_start), ("frame", step_frame), ("bridge", step_bridge),
        ("pages", step_pages),
        ("login-dialog", step_login_dialog), ("popup", step_popup),
        ("exit-question", step_exit_question), ("keys-pages", step_keys_pages),
        ("keys-login", step_keys_login), ("keys-message", step_keys_message),
        ("keys-install", step_keys_install), ("keys-diagnosis", step_keys_diagnosis),
        ("keys-work-order", step_keys_work_order),
        ("keys-quit", step_keys_quit),
    ]


if __name__ == "__main__":
    sys.exit(script_main(Walk, __doc__, "The accessibility walk"))
