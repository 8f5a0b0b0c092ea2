#!/usr/bin/python3
"""A user's day with the real Orvanta window, end to end.

    user_day.py --bin BUILD/bin --source SOURCE_DIR [--keep]

Runs the windowed client under Xvfb with openbox against the stand-in platform, with a
fresh copy of the program directory and a registry root of its own, and drives it only
through real input (xdotool pointer clicks and keys). Positions come from the window's
fixed layout or from the accessibility tree (AT-SPI); outcomes are checked from outside:
the stand-in servers' records, the registry (orvreg), the X server and the accessibility
tree. Exit 0 when every step passed, 1 on the first failing step, 77 when the machine
lacks Xvfb, openbox, xdotool or the accessibility bus.
"""

import os
import socket
import subprocess
import sys
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from desktop import (ClientSession, Desktop, Platform, StepFailed, client_env,  # noqa: E402
                     fresh_program_dir, log, make_root, script_main, wait_until)

TITLE = "澄野奥凡云平台"
POPUP_TITLE = "澄野奥凡云消息"
UNINSTALL = "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"

# Steps whose part of the client is not there yet; printed, never run. Empty when the
# whole day works.
NOT_YET = {}

# Window layout (client coordinates of the 850 x 550 main window).
LOGIN_BUTTON = (730 + 35, 35 + 13)
MINIMISE_BUTTON = (766 + 17, 5 + 10)
CLOSE_BUTTON = (800 + 22, 5 + 10)
UPDATE_LINK = (225, 550 - 11)
PAGE_ORIGIN = (2, 85)
HOT_STRIP_TOP, HOT_STRIP_BOTTOM = 85 + 240, 525


PAGE_NAMES = ("首页", "应用中心", "我的应用", "系统诊断", "服务台")
SERVER_KINDS = ("APP", "WEB", "PORTAL", "OA", "LOG", "DIAGNOSIS", "MESSAGE", "UPDATE", "PUSH")


class SilentServer:
    """Accepts every connection on a loopback port and never answers."""

    def __init__(self):
        self.sock = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self.sock.bind(("127.0.0.1", 0))
        self.sock.listen(64)
        self.port = self.sock.getsockname()[1]
        self.held = []
        self.thread = threading.Thread(target=self._accept, daemon=True)
        self.thread.start()

    def _accept(self):
        while True:
            try:
                conn, _ = self.sock.accept()
            except OSError:
                return
            self.held.append(conn)

    def close(self):
        try:
            self.sock.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass
        self.sock.close()
        self.thread.join(5)
        for conn in self.held:
            conn.close()


def within(probe, limit, what):
    """Polls probe() until true; fails unless a probe that started within `limit` seconds
    saw it (the probe's own reading time, which under load can be long, is not counted).
    Returns the seconds from the call to the start of that probe."""
    t0 = time.monotonic()
    while True:
        started = time.monotonic() - t0
        try:
            seen = probe()
        except StepFailed:
            raise
        except Exception:
            seen = None
        if seen:
            if started > limit:
                raise StepFailed("%s took %.2f s (more than %.0f s)" % (what, started, limit))
            return started
        if started > limit:
            raise StepFailed("%s: not within %.0f s" % (what, limit))
        time.sleep(0.02)


def tab_centre(page):
    """Centre of the main tab strip's item `page` (five 78-pixel items from x = 170)."""
    return (170 + 39 + 79 * page, 44)


def grid_cell_centre(index):
    """Centre of a page's grid cell `index` (8 columns, 100-pixel pitch, 72 x 85 cells)."""
    c, r = index % 8, index // 8
    return (PAGE_ORIGIN[0] + 35 + 100 * c + 36, PAGE_ORIGIN[1] + 60 + 100 * r + 42)


class Day(ClientSession):
    def __init__(self, args):
        self.args = args
        self.root = make_root("orvanta-e2e.")
        self.desktop = Desktop(self.root)
        self.platform = None
        self.client = None
        self.window = None
        self.installed_code = None
        self.cache = {}

    # -- set-up --------------------------------------------------------------
    def start(self):
        self.desktop.start()
        self.prog, fakebin, self.browser_log = fresh_program_dir(self.args.bin, self.root)
        self.platform = Platform(self.args.source, os.path.join(self.root, "sim"), self.prog)
        self.env = client_env(self.desktop, self.platform, self.root, self.prog, fakebin)

    def close(self):
        if self.client is not None and self.client.poll() is None:
            self.client.kill()
            self.client.wait()
        if self.platform is not None:
            self.platform.close()
        self.desktop.close()

    def spawn_client(self, name):
        out = open(os.path.join(self.root, name + ".log"), "w")
        return subprocess.Popen([os.path.join(self.prog, "Orvanta")], cwd=self.prog, env=self.env,
                                stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.STDOUT)

    # -- helpers -------------------------------------------------------------
    def acc(self):
        return self.desktop.app(self.client.pid)

    def dialog(self, title, timeout=15):
        """Waits for a visible top-level window of the client with this title."""
        def probe():
            self.alive()
            return self.desktop.windows(name=title, pid=self.client.pid)
        return wait_until(probe, timeout, "the window \"%s\"" % title)[0]

    def tops(self):
        """The client's top-level accessibles (windows and dialogs)."""
        app = self.acc()
        if app is None:
            return []
        return [t for t in self.desktop.nodes(app) if self.desktop.role(t) in
                ("dialog", "frame", "window", "alert") and self.top_of(t) == t]

    def top_of(self, node):
        """The top-level accessible that holds node."""
        while True:
            parent = node.parent
            if parent is None or self.desktop.role(parent) == "application":
                return node
            node = parent

    def offset(self, top):
        """Screen offset of a top-level's accessible coordinates.

        The bridge reports some dialogs at (0, 0); the X server knows where they are. The
        X window is the client's visible window of the same size (and title, when it has one).
        """
        x, y, w, h = self.desktop.extents(top)
        same = [win for win in self.desktop.windows(pid=self.client.pid)
                if self.desktop.geometry(win)[2:] == (w, h)]
        if top.name:
            titled = [win for win in same if win in self.desktop.windows(name=top.name,
                                                                         pid=self.client.pid)]
            same = titled or same
        if not same:
            return (0, 0)
        gx, gy, _, _ = self.desktop.geometry(same[-1])
        return (gx - x, gy - y)

    def click_node(self, node):
        """A real click at the centre of an accessible."""
        x, y, w, h = self.desktop.extents(node)
        if w <= 0 or h <= 0:
            raise StepFailed("control '%s' has no area on screen" % node.name)
        dx, dy = self.offset(self.top_of(node))
        self.desktop.click(x + dx + w // 2, y + dy + h // 2)

    def message_box(self, text, timeout=15):
        """Waits for a box of the client showing text; returns its accessible dialog."""
        def probe():
            self.alive()
            for top in self.tops():
                if top.name != TITLE and self.desktop.find(top, contains=text):
                    return top
            return None
        return wait_until(probe, timeout, "a box saying \"%s\"" % text)

    def press(self, box, label):
        """Clicks the button labelled `label` in a box found with message_box."""
        buttons = self.desktop.find(box, name=label, role="push button")
        if not buttons:
            raise StepFailed("the box has no button \"%s\"" % label)
        self.click_node(buttons[0])

    def box_gone(self, text, timeout=10):
        def probe():
            self.alive()
            return not any(self.desktop.find(top, contains=text) for top in self.tops()
                           if top.name != TITLE)
        wait_until(probe, timeout, "the box \"%s\" to close" % text)

    def node_at(self, point):
        """The accessible under a point of the main window (client coordinates)."""
        x, y = self.at(*point)
        for top in self.tops():
            if self.desktop.role(top) != "frame" and top.name != TITLE:
                continue
            dx, dy = self.offset(top)
            return self.desktop.at_point(top, x - dx, y - dy)
        return None

    def text_at(self, point):
        node = self.node_at(point)
        return self.desktop.text_of(node) if node is not None else ""

    def switch_page(self, page):
        self.click_at(tab_centre(page))

    def registry(self, key):
        r = subprocess.run([os.path.join(self.prog, "orvreg"), "query", key], env=self.env,
                           stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, timeout=20)
        return r.returncode, r.stdout

    def catalogue(self, path):
        """A catalogue list as the app server answers it (fetched once), records flattened."""
        if path not in self.cache:
            answer = self.platform.get(path, base=self.platform.app)
            apps = []
            for entry in answer.get("data", []):
                app = dict(entry)
                for part in ("0", "1"):
                    app.update(entry.get(part) or {})
                app["appid"] = int(app["appid"])
                apps.append(app)
            self.cache[path] = apps
        return self.cache[path]

    def hot_names(self):
        return [a["name"] for a in self.catalogue("/services/appallhot.php")]

    def desktop_apps(self):
        return self.catalogue("/services/appall_c.php")

    def web_apps(self):
        return self.catalogue("/services/appall.php")

    def usage(self, appid):
        """The (appwz, appclienttype) pairs the log server received for an application."""
        return [(r["json"].get("appwz"), r["json"].get("appclienttype"))
                for r in self.platform.records("log")
                if r.get("json") and r["json"].get("appid") == str(appid) and
                r["json"].get("userName") == "demo"]

    def sessions_of(self, user):
        return [k for k, v in self.platform.get("/sessions").items() if v == user]

    # -- the day -------------------------------------------------------------
    def step_start(self):
        """Orvanta starts, shows its window and builds the hot strip from the platform."""
        self.client = self.spawn_client("orvanta")
        self.window = self.dialog(TITLE, timeout=30)
        _, _, w, h = self.desktop.geometry(self.window)
        if (w, h) != (850, 550):
            raise StepFailed("the window is %dx%d, not 850x550" % (w, h))
        names = self.hot_names()
        wait_until(lambda: all(self.desktop.find(self.acc(), name=n) for n in names[:3]), 20,
                   "the hot strip's tiles %s" % names[:3])
        wait_until(lambda: self.platform.records().get("push_clients", 0) >= 1, 20,
                   "the push channel to connect")

    def step_login(self):
        """Signs in through the login dialog: user name, password, Enter."""
        self.click_at(LOGIN_BUTTON)
        box = self.message_box("记住密码")
        fields = [n for n in self.desktop.nodes(box)
                  if self.desktop.role(n) in ("combo box", "text", "password text", "entry")]
        editable = [n for n in fields if self.desktop.role(n) != "combo box"]
        if len(editable) < 2:
            raise StepFailed("the login dialog shows %d text fields, not 2" % len(editable))
        editable.sort(key=lambda n: self.desktop.extents(n)[1])
        self.type_into(editable[0], "demo")
        self.type_into(editable[1], "demo123")
        self.desktop.key("Return")
        wait_until(lambda: self.sessions_of("demo") != ["demo-ckey"] and
                   len(self.sessions_of("demo")) >= 2, 20, "a session for demo at the login server")
        self.box_gone("记住密码")
        wait_until(lambda: self.desktop.find(self.acc(), contains="欢迎您,demo") or
                   self.desktop.find(self.acc(), contains="欢迎您，demo"), 10,
                   "the welcome text \"欢迎您,demo\"")

    def step_my_apps(self):
        """Opens my apps: both private lists are requested with the new session's key."""
        before = len(self.platform.requested("myappall_c.php"))
        self.switch_page(2)
        wait_until(lambda: len(self.platform.requested("myappall_c.php")) > before and
                   self.platform.requested("myappall.php"), 20, "the private lists' requests")
        ckey = [k for k in self.sessions_of("demo") if k != "demo-ckey"]
        last = self.platform.requested("myappall_c.php")[-1]
        if not any(k in str(last) for k in ckey):
            raise StepFailed("my apps was requested without the session's key: %s" % last)
        # The user's web list (the page's first tab) shows its applications.
        subs = self.platform.get("/subscriptions?user=demo")
        web = {a["appid"]: a["name"] for a in self.web_apps()}
        first = web[subs["web"][0]]
        wait_until(lambda: first in self.text_at(grid_cell_centre(0)), 10,
                   "the tile \"%s\" in my apps" % first)

    def step_subscribe(self):
        """Adds a web application from the app centre ("是否添加该应用？", 是)."""
        self.switch_page(1)
        subs = self.platform.get("/subscriptions?user=demo")
        web = self.web_apps()
        index, app = next((i, a) for i, a in enumerate(web) if a["appid"] not in subs["web"])
        wait_until(lambda: app["name"] in self.text_at(grid_cell_centre(index)), 15,
                   "the app centre's tile \"%s\"" % app["name"])
        self.click_at(grid_cell_centre(index))
        box = self.message_box("是否添加该应用")
        self.press(box, "是")
        self.press(self.message_box("安装验证成功"), "确定")  # the app server's answer
        wait_until(lambda: app["appid"] in self.platform.get("/subscriptions?user=demo")["web"],
                   15, "the subscription of %s at the app server" % app["appid"])
        wait_until(lambda: self.usage(app["appid"]) == [("2", "1")], 15,
                   "the add record at the log server")
        self.added_web = app

    def my_desktop_tile(self):
        """Shows my apps' desktop tab; returns (index, record) of its first application."""
        self.switch_page(2)
        subs = self.platform.get("/subscriptions?user=demo")
        apps = {a["appid"]: a for a in self.desktop_apps()}
        mine = [apps[i] for i in subs["client"]]
        if not mine:
            raise StepFailed("the user holds no desktop application")
        tab = self.find_page_tab("桌面应用", 0)
        self.click_at(tab)
        wait_until(lambda: mine[0]["name"] in self.text_at(grid_cell_centre(0)), 15,
                   "my apps' desktop tile \"%s\"" % mine[0]["name"])
        return 0, mine[0]

    def find_page_tab(self, label, index):
        """Client position of a page's inner tab, from the accessibility tree or the layout."""
        gx, gy, _, _ = self.desktop.geometry(self.window)
        for n in self.desktop.find(self.acc(), name=label):
            x, y, w, h = self.desktop.extents(n)
            if w > 0 and h > 0:
                return (x + w // 2 - gx, y + h // 2 - gy)
        return (PAGE_ORIGIN[0] + 52 + 105 * index, PAGE_ORIGIN[1] + 12)

    def tile_says(self, index, word):
        return word in self.text_at(grid_cell_centre(index))

    def step_install(self):
        """Installs a desktop application: download, then the installer's "/silent" run."""
        index, app = self.my_desktop_tile()
        self.installed = app
        key = UNINSTALL + app["code"]
        if self.registry(key)[0] == 0:
            raise StepFailed("%s is registered before its installation" % app["code"])
        wait_until(lambda: self.tile_says(index, "未安装"), 10, "the tile's state 未安装")
        # First activation, from the app centre: the installer is downloaded under
        # LumoDownloads. The server sends it slowly, so the tile shows its progress; the
        # installer registers slowly too (1.5 s after creating its key and before each value).
        self.switch_page(1)
        self.click_at(self.find_page_tab("桌面应用", 0))
        cell = grid_cell_centre([a["appid"] for a in self.desktop_apps()].index(app["appid"]))
        wait_until(lambda: app["name"] in self.text_at(cell) and "未安装" in self.text_at(cell),
                   15, "the app centre's tile \"%s\" (未安装)" % app["name"])
        self.platform.post("/slow-downloads", {"bytes": 1500000, "seconds": 3})
        self.platform.post("/slow-registration", {"pause": 1.5})
        self.click_at(cell)
        self.press(self.message_box("启动"), "启动")
        wait_until(lambda: "下载" in self.text_at(cell), 10, "the tile to show the progress")
        if self.args.shots:
            self.desktop.screenshot(os.path.join(self.args.shots, "app-centre-download.png"))
        downloads = os.path.join(self.prog, "LumoDownloads")
        setup = os.path.join(downloads, app["name"] + app["version"] + ".exe")
        wait_until(lambda: os.path.exists(setup), 20, "the installer " + setup)
        wait_until(lambda: self.platform.requested("/downloads/%d/" % app["appid"]), 5,
                   "the installer's download at the app server")
        self.platform.post("/slow-downloads", {})
        self.platform.post("/slow-registration", {})
        wait_until(lambda: "%" not in self.text_at(cell), 10,
                   "the tile's caption to drop the progress at the end")
        index, _ = self.my_desktop_tile()
        # Second activation runs the installer with "/silent"; it registers itself.
        self.click_at(grid_cell_centre(index))
        self.press(self.message_box("移除"), "启动")
        # The installer writes its values one by one; the last is UninstallString.
        wait_until(lambda: "UninstallString" in self.registry(key)[1], 45,
                   "the registration of " + app["code"])
        out = self.registry(key)[1]
        if "DisplayIcon" not in out or app["version"] not in out:
            raise StepFailed("the registration lacks DisplayIcon or the version:\n" + out)
        # The Uninstall watcher turns the tile to "运行" without a restart.
        wait_until(lambda: self.tile_says(index, "运行"), 15, "the tile's state 运行")

    def step_run(self):
        """Starts the installed application from its tile."""
        app = self.installed
        started = os.path.join(self.root, "apps", app["code"], "started.log")
        self.click_at(grid_cell_centre(0))
        self.press(self.message_box("移除"), "启动")
        wait_until(lambda: os.path.exists(started), 15, "the application's start script")
        # Three activations so far (download, install, start), each sent as (2, 2).
        wait_until(lambda: self.usage(app["appid"]).count(("2", "2")) >= 3, 15,
                   "three activation records at the log server")

    def step_uninstall(self):
        """Removes the application: its uninstaller runs, the registration goes."""
        app = self.installed
        key = UNINSTALL + app["code"]
        self.click_at(grid_cell_centre(0))
        self.press(self.message_box("移除"), "移除")
        self.press(self.message_box("删除成功"), "确定")  # the app server's answer
        wait_until(lambda: self.registry(key)[0] != 0, 20, "the registration to go")
        wait_until(lambda: app["appid"] not in self.platform.get("/subscriptions?user=demo")["client"],
                   15, "the subscription's removal at the app server")
        # Uninstall (2, 2), then delete (2, 0), after the three activations.
        wait_until(lambda: self.usage(app["appid"]) == [("2", "2")] * 4 + [("2", "0")], 15,
                   "the uninstall and delete records at the log server")

    def step_push(self):
        """A pushed message shows in the popup at the lower-right; a click closes it."""
        title, content = "系统维护通知", "平台将于今晚进行例行维护。"
        sent = self.platform.post("/push", {"title": title, "content": content, "url": ""})
        if sent.get("sent", 0) < 1:
            raise StepFailed("the push server has no client to send to")
        popup = self.dialog(POPUP_TITLE)
        x, y, w, h = self.desktop.geometry(popup)
        if (w, h) != (250, 180):
            raise StepFailed("the popup is %dx%d, not 250x180" % (w, h))
        if abs(x + w - self.desktop.width) > 2 or abs(y + h - self.desktop.height) > 40:
            raise StepFailed("the popup is not in the lower-right corner: %d,%d" % (x, y))
        wait_until(lambda: self.desktop.find(self.acc(), contains=content), 10,
                   "the pushed text in the popup")
        if self.args.shots:
            self.desktop.screenshot(os.path.join(self.args.shots, "popup.png"))
        self.desktop.click(x + 8 + 117, y + 51 + 47)  # the message text
        wait_until(lambda: not self.desktop.windows(name=POPUP_TITLE, pid=self.client.pid), 10,
                   "the popup to close")
        if os.path.exists(self.browser_log):
            raise StepFailed("a message without a link opened " + open(self.browser_log).read())

    def step_decline_update(self):
        """A newer release is offered on "检测更新"; the user declines and goes on."""
        self.platform.post("/version", {"version": "1.2.0.0"})
        self.click_at(UPDATE_LINK)
        box = self.message_box("检测到新版本", timeout=30)
        self.press(box, "取消")
        box = self.message_box("希望您下次更新")
        self.press(box, "确定")
        self.box_gone("希望您下次更新")
        self.alive()
        if os.path.exists(os.path.join(self.prog, "UpdateCache", "UpdateInfo.ini")):
            raise StepFailed("a declined update wrote UpdateInfo.ini")

    def step_second_instance(self):
        """A second start brings the minimised first window forward and exits 0."""
        self.click_at(MINIMISE_BUTTON)
        wait_until(lambda: not self.desktop.viewable(self.window), 10, "the window to minimise")
        second = self.spawn_client("second")
        try:
            code = second.wait(timeout=20)
        except subprocess.TimeoutExpired:
            second.kill()
            raise StepFailed("the second Orvanta did not end")
        if code != 0:
            raise StepFailed("the second Orvanta ended with %d" % code)
        wait_until(lambda: self.desktop.viewable(self.window), 10, "the first window to come back")
        wait_until(lambda: self.desktop.active_window() == self.window, 10,
                   "the first window to come forward")
        if len(self.desktop.windows(name=TITLE)) != 1:
            raise StepFailed("more than one main window is shown")

    def step_diagnosis(self):
        """Runs the diagnosis and submits row 6's finding to the diagnosis server."""
        self.switch_page(3)
        start = wait_until(lambda: [n for n in self.desktop.find(self.acc(), role="push button")
                                    if "扫描" in self.desktop.text_of(n)], 10,
                           "the diagnosis page's start button")[0]
        self.click_node(start)
        wait_until(lambda: self.desktop.find(self.acc(), contains="检测完成"), 90,
                   "the diagnosis to finish")
        submit = wait_until(lambda: [n for n in self.desktop.find(self.acc(), contains="点击提交")
                                     if (n.name or "").endswith("点击提交")], 5,
                            "row 6's \"点击提交\"")[0]
        before = len(self.platform.records("diagnosis"))
        self.click_node(submit)
        self.press(self.message_box("提交成功"), "确定")
        wait_until(lambda: len(self.platform.records("diagnosis")) == before + 1, 10,
                   "the report at the diagnosis server")
        if self.platform.records("diagnosis")[-1].get("json") is None:
            raise StepFailed("the diagnosis report is not JSON: %s" %
                             self.platform.records("diagnosis")[-1].get("text"))

    def step_service_desk(self):
        """Sends a work order from the service desk; the OA server records it intact."""
        self.switch_page(4)
        form = [("税号", "91110000123456789X"), ("企业名称", "示例商贸有限公司"),
                ("联系人名称", "张三"), ("联系人电话", "13800000000"),
                ("联系人地址", "北京市海淀区示例路1号"), ("备注说明", "请安排上门培训")]
        fields = wait_until(lambda: [n for n in self.desktop.find(self.acc())
                                     if self.desktop.role(n) in ("text", "entry")], 10,
                            "the service desk's fields")
        for label, value in form:
            self.type_into(self.field_labelled(fields, label), value)
        for label, value in form:
            got = self.field_text(self.field_labelled(fields, label))
            if got != value:
                raise StepFailed("the field %s holds \"%s\", not \"%s\"" % (label, got, value))
        submit = wait_until(lambda: self.desktop.find(self.acc(), name="提交预约"), 5,
                            "the button 提交预约")[0]
        self.click_node(submit)
        self.press(self.message_box("工单提交成功"), "确定")
        orders = self.platform.records("workorder")
        if not orders:
            raise StepFailed("the OA server received no work order")
        got = orders[-1]
        want = dict(zip(("nsrsbh", "nsrmc", "lxrmc", "lxrdh", "lxrdz", "bz"), [v for _, v in form]))
        if got != want:
            raise StepFailed("the OA server received %s, not %s" % (got, want))

    def field_text(self, field):
        try:
            text = field.queryText()
            return text.getText(0, text.characterCount)
        except Exception:
            return None

    def focused(self, field):
        try:
            field.clear_cache()
        except Exception:
            pass
        return field.getState().contains(self.desktop.atspi.STATE_FOCUSED)

    def type_into(self, field, value, attempts=3):
        """Clicks a text field, waits for its focus, types value and waits to read it back.
        Characters outside the keyboard map are typed through a keymap switch that the
        client may see late; a value that does not arrive whole is typed again. A password
        field cannot be read back: it is checked by the login's result."""
        password = self.desktop.role(field) == "password text"
        self.desktop.bind_characters(value)
        for attempt in range(attempts):
            self.click_node(field)
            wait_until(lambda: self.focused(field), 5, "the focus in the field '%s'" % field.name)
            self.desktop.key("ctrl+a")
            self.desktop.key("BackSpace")
            if not password:
                wait_until(lambda: self.field_text(field) == "", 3, "the field to empty")
            self.desktop.type(value)
            if password:
                return
            try:
                wait_until(lambda: self.field_text(field) == value, 3, "the typed text")
                return
            except StepFailed:
                log("  typing into '%s' gave \"%s\"; typing again" % (field.name,
                                                                       self.field_text(field)))
        raise StepFailed("typing \"%s\" gave \"%s\"" % (value, self.field_text(field)))

    def field_labelled(self, fields, label):
        """The text field named after its label, else the one right of the label on screen."""
        for f in fields:
            if label in self.desktop.text_of(f) or label in (f.name or ""):
                return f
        labels = [n for n in self.desktop.find(self.acc(), contains=label)
                  if self.desktop.role(n) == "label"]
        if labels:
            lx, ly, lw, lh = self.desktop.extents(labels[0])
            right = [f for f in fields if abs(self.desktop.extents(f)[1] - ly) < 12 and
                     self.desktop.extents(f)[0] > lx]
            if right:
                return min(right, key=lambda f: self.desktop.extents(f)[0])
        raise StepFailed("no field for \"%s\"" % label)

    def step_quit(self):
        """Quits through the close button's confirmation; exit code 0."""
        self.click_at(CLOSE_BUTTON)
        self.press(self.message_box("确定退出"), "确定")
        try:
            code = self.client.wait(timeout=15)
        except subprocess.TimeoutExpired:
            raise StepFailed("Orvanta did not end after the confirmation")
        if code != 0:
            raise StepFailed("Orvanta ended with exit code %d" % code)

    def shown(self):
        """(the selected main tab's name, the names of the pages showing)."""
        top = next((t for t in self.tops() if t.name == TITLE), None)
        if top is None:
            return None, []
        selected = self.desktop.atspi.STATE_SELECTED
        tab, pages = None, []
        for n in self.desktop.nodes(top):
            role = self.desktop.role(n)
            if role == "page tab" and n.name in PAGE_NAMES and n.getState().contains(selected):
                tab = n.name
            elif role != "page tab" and n.name in PAGE_NAMES[1:]:
                pages.append(n.name)
        return tab, pages

    def step_silent_platform(self):
        """Every server silent: each page, the login dialog and a window-manager close take
        effect within 1 s; the program ends within 2 s of the close."""
        silent = SilentServer()
        try:
            env = dict(self.env)
            for kind in SERVER_KINDS:
                env["ORVANTA_HOST_" + kind] = "127.0.0.1:%d" % silent.port
            out = open(os.path.join(self.root, "orvanta-silent.log"), "w")
            self.client = subprocess.Popen([os.path.join(self.prog, "Orvanta")], cwd=self.prog,
                                           env=env, stdin=subprocess.DEVNULL, stdout=out,
                                           stderr=subprocess.STDOUT)
            self.window = self.dialog(TITLE, timeout=30)
            wait_until(lambda: len(silent.held) >= 3, 20, "the start-up requests to hang")
            times = []
            # Signed out: my apps comes last, with its login dialog.
            for page in (1, 3, 4, 0):
                self.switch_page(page)

                def changed(page=page):
                    tab, pages = self.shown()
                    return tab == PAGE_NAMES[page] and pages == ([PAGE_NAMES[page]] if page
                                                                 else [])
                times.append(within(changed, 1.0, "page %d" % page))
            self.switch_page(2)
            login = lambda: [t for t in self.tops() if self.desktop.find(t, contains="记住密码")]
            times.append(within(login, 1.0, "the login dialog"))
            self.desktop.key("Escape")
            box = lambda: [t for t in self.tops() if t.name != TITLE and
                           self.desktop.find(t, contains="请先登录")]
            times.append(within(box, 1.0, "the login dialog's close"))
            self.press(box()[0], "确定")
            within(lambda: self.shown()[0] == PAGE_NAMES[0], 1.0, "the tab of the page shown")
            # The window manager's close (openbox: Alt+F4 on the active window).
            self.desktop.x(["xdotool", "windowactivate", "--sync", str(self.window)])
            t0 = time.monotonic()
            self.desktop.key("alt+F4")
            try:
                code = self.client.wait(timeout=2)
            except subprocess.TimeoutExpired:
                raise StepFailed("Orvanta still ran 2 s after the window manager's close")
            log("  silent platform: effects seen after %s s; ended %.2f s after the close" %
                (", ".join("%.2f" % t for t in times), time.monotonic() - t0))
            if code != 0:
                raise StepFailed("Orvanta ended with exit code %d" % code)
        finally:
            silent.close()

    STEPS = [
        ("start", step_start), ("login", step_login), ("my-apps", step_my_apps),
        ("subscribe", step_subscribe), ("install", step_install), ("run", step_run),
        ("uninstall", step_uninstall), ("push", step_push),
        ("decline-update", step_decline_update), ("second-instance", step_second_instance),
        ("diagnosis", step_diagnosis), ("service-desk", step_service_desk), ("quit", step_quit),
        ("silent-platform", step_silent_platform),
    ]


if __name__ == "__main__":
    sys.exit(script_main(Day, __doc__, "A user's day", shots=True, not_yet=NOT_YET))
