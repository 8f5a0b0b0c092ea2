#!/usr/bin/python3
"""Local stand-in of the platform's servers, for the demo and for tests.

    /usr/bin/python3 tools/platform-sim/platform_sim.py [--data DIR] [--push-port PORT]
        [--icon-file PNG] [--banner-file PNG]

Every server listens on 127.0.0.1 on an ephemeral port. Once all of them listen, the
simulator prints one line per server kind, "ORVANTA_HOST_<KIND>=127.0.0.1:<port>", then
"ORVANTA_SIM_CONTROL=127.0.0.1:<port>" and finally "READY" (each line flushed). Export
the ORVANTA_HOST_* lines and the client, orvanta-cli and the tests talk to it. SIGTERM or
SIGINT stops it.

Servers:
  APP        the seven catalogue and subscription endpoints; icons under /icons/, the
             sample installers under /downloads/
  WEB        the SOAP login services (sim_login.py, when present) and the web pages
  PORTAL     /adv.php and the banner images under /images/adv/
  OA         the service desk's three endpoints
  LOG        the application-use log (records what it receives)
  DIAGNOSIS  the other-software report (records what it receives)
  MESSAGE    /index.json with the address of the push server
  UPDATE     the update FTP server (sim_update.py, when present and pyftpdlib is installed)
  push       a TCP server; every connected client gets the messages pushed on demand

Sessions: the cookie key "demo-ckey" belongs to the user "demo" from the start, so the
per-user endpoints work before any login; a login through sim_login.py adds keys.

Control endpoint (ORVANTA_SIM_CONTROL):
  POST /push        {"title": ..., "content": ..., "url": ...}  -> {"sent": <clients>}
  GET  /records     everything recorded: {"requests": [...], "log": [...],
                    "diagnosis": [...], "workorder": [...], "keepalive": <count>,
                    "push_clients": <count>}
  GET  /records?kind=log|diagnosis|workorder|requests   one of those lists
  GET  /subscriptions?user=NAME                         {"client": [...], "web": [...]}
  GET  /sessions                                        the cookie keys and their users
  POST /version     {"version": "1.2.0.0"}  publishes another release (sim_update.py);
                    {"installer": PATH} serves a release of scripts/release.sh (its
                    descriptor's version unless "version" is given); {"cut": 0.5} cuts later
                    transfers of the installer after half of it ({"cut": null}: whole again)
  GET  /version     {"version": ..., "url_base": ...}  the published release and the URL
                    base a release's conf.config needs (scripts/release.sh --update-url)
  POST /slow-downloads {"bytes": N, "seconds": S}  installers padded to N bytes and sent
                    over S seconds (a download in progress to look at); {} turns it off
  POST /slow-registration {"pause": S}  installers served from now on create their
                    Uninstall key first, then write each value after a pause of S seconds
                    (an installer that registers slowly); {} turns it off

Sample installers: /downloads/<appid>/setup.exe is a shell script. Run with "/silent" it
registers the application under
  HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\<code>
with the registry tool orvreg (taken from $ORVANTA_BIN, else from PATH, else from the
folder above the installer, i.e. the program directory for an installer downloaded into
LumoDownloads/), writing DisplayName, DisplayVersion, Publisher, DisplayIcon (a small
start script) and UninstallString (an uninstaller that removes the entry again). The
installed files go to $ORVANTA_APPS_ROOT (default
$XDG_DATA_HOME/orvanta/apps, i.e. ~/.local/share/orvanta/apps).
With --windows-installer PROGRAM the installers are that Windows program (built from
tools/platform-sim/windows) with the application's name, version and code appended; it
registers itself through the Windows registry.
"""

import argparse
import json
import os
import shutil
import signal
import socket
import socketserver
import struct
import sys
import tempfile
import threading
import time
import zlib
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
from urllib.parse import parse_qs, urlsplit

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

try:
    import sim_login
except ImportError:
    sim_login = None
try:
    import sim_update
except Exception:  # missing module or missing pyftpdlib
    sim_update = None

HOST = "127.0.0.1"
DEMO_CKEY = "demo-ckey"
DEMO_USER = "demo"

# ---------------------------------------------------------------------------
# Sample catalogue
# ---------------------------------------------------------------------------

DESKTOP_APPS = [
    ("财务记账专业版", "面向小微企业的全功能记账软件，支持凭证、账簿与报表", "免费", "3.2.1"),
    ("增值税发票开票软件", "增值税专用发票与普通发票的开具、作废与查询", "免费", "2.0.8"),
    ("个税申报助手", "综合所得个人所得税预扣预缴申报", "免费", "1.5.0"),
    ("进销存管家", "采购、销售、库存一体化管理", "198元/年", "4.1.2"),
    ("工资条管理", "工资计算、工资条发送与社保公积金扣缴", "98元/年", "2.3.0"),
    ("固定资产管理", "资产卡片、折旧计提与盘点", "128元/年", "1.8.4"),
    ("出口退税申报", "出口货物退（免）税申报与单证管理", "免费", "6.0.1"),
    ("电子税务局客户端", "网上办税的桌面入口，支持多户登录", "免费", "1.0.9"),
    ("报表编制工具", "资产负债表、利润表与现金流量表一键生成", "68元/年", "2.2.2"),
    ("票据识别OCR", "发票与票据影像识别，自动生成凭证", "298元/年", "1.1.0"),
    ("库存盘点", "扫码盘点、盘盈盘亏处理", "58元/年", "1.0.3"),
    ("费用报销系统", "报销单填制、审批与入账", "158元/年", "3.0.0"),
    ("银企对账助手", "银行流水导入与自动对账", "88元/年", "1.4.6"),
    ("社保申报客户端", "社会保险费申报与缴纳", "免费", "2.6.1"),
    ("财务分析仪表盘", "经营指标分析与可视化", "198元/年", "1.2.0"),
    ("合同管理台账", "合同登记、到期提醒与收付款跟踪", "78元/年", "1.3.5"),
    ("客户关系管理", "客户档案、跟进记录与商机管理", "168元/年", "2.0.0"),
    ("档案电子化工具", "会计档案扫描、归档与检索", "128元/年", "1.0.0"),
    ("年度汇算清缴助手", "企业所得税年度汇算清缴申报表填写", "免费", "2026.1"),
    ("企业所得税申报", "季度预缴与年度申报 \"A类\" 报表", "免费", "5.0.2"),
]

WEB_APPS = [
    ("在线记账", "随时随地记账，数据云端保存", "免费"),
    ("发票查验平台", "全国增值税发票真伪查验", "免费"),
    ("税务日历", "每月申报期限提醒", "免费"),
    ("政策法规库", "最新财税政策与解读", "免费"),
    ("工商年报", "企业年度报告在线填报", "免费"),
    ("电子发票云", "电子发票开具、交付与归档", "120元/年"),
    ("在线开户", "银行账户预约开户", "免费"),
    ("智能财税问答", "常见财税问题智能解答", "免费"),
    ("企业征信查询", "企业信用信息查询 & 风险提示", "30元/次"),
    ("代理记账服务", "专业会计代理记账", "2400元/年"),
    ("财税培训课堂", "会计继续教育与实务课程", "199元/年"),
    ("招聘管理", "职位发布与简历管理", "免费"),
    ("云端进销存", "多门店库存实时同步", "298元/年"),
    ("在线审计", "审计底稿与函证管理", "999元/年"),
    ("电子合同签署", "具备法律效力的在线签约", "5元/份"),
    ("商标查询", "商标近似查询与注册进度", "免费"),
    ("公积金申报", "住房公积金汇缴与变更", "免费"),
    ("统计报表填报", "统计联网直报 #月报 #季报", "免费"),
    ("财务共享中心", "集团财务共享与协同", "面议"),
    ("移动报销", "手机拍票、随手报销", "免费"),
]

ICON_COLOURS = [
    (0x2D, 0x8C, 0xF0), (0x19, 0xBE, 0x6B), (0xFF, 0x99, 0x00), (0xED, 0x40, 0x14),
    (0x9B, 0x59, 0xB6), (0x1A, 0xBC, 0x9C), (0x34, 0x49, 0x5E), (0xE6, 0x7E, 0x22),
]


def png_bytes(width, height, pixel):
    """A PNG (RGBA, 8 bit) whose pixels come from pixel(x, y) -> (r, g, b, a)."""
    raw = bytearray()
    for y in range(height):
        raw.append(0)  # filter: none
        for x in range(width):
            raw.extend(pixel(x, y))

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    header = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
            chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b""))


def icon_png(seed):
    """A 48x48 rounded tile in one of the palette colours with a lighter inner square."""
    r, g, b = ICON_COLOURS[seed % len(ICON_COLOURS)]
    size, radius = 48, 9

    def pixel(x, y):
        cx = min(x, size - 1 - x)
        cy = min(y, size - 1 - y)
        if cx < radius and cy < radius and (radius - cx) ** 2 + (radius - cy) ** 2 > radius ** 2:
            return (0, 0, 0, 0)
        inner = 14 <= x < 34 and 14 <= y < 34 and ((x + y + seed) // 4) % 2 == 0
        if inner:
            return (min(255, r + 90), min(255, g + 90), min(255, b + 90), 255)
        return (r, g, b, 255)

    return png_bytes(size, size, pixel)


def banner_png(seed):
    """A 600x150 horizontal gradient banner."""
    r, g, b = ICON_COLOURS[seed % len(ICON_COLOURS)]
    width, height = 600, 150

    def pixel(x, y):
        t = x / (width - 1)
        stripe = 40 if (y // 30 + seed) % 2 == 0 else 0
        return (int(r + (255 - r) * t * 0.6), int(g + (255 - g) * t * 0.6),
                min(255, int(b + (255 - b) * t * 0.6) + stripe // 4), 255)

    return png_bytes(width, height, pixel)


INSTALLER = r"""#!/bin/sh
# Sample installer of "{name}" {version} from the stand-in platform.
# Usage: setup.exe [/silent]   (registers {code} in the Uninstall key with orvreg)
set -e
REG=
if [ -n "$ORVANTA_BIN" ] && [ -x "$ORVANTA_BIN/orvreg" ]; then REG="$ORVANTA_BIN/orvreg"
elif command -v orvreg >/dev/null 2>&1; then REG=orvreg
elif [ -x "$(dirname "$0")/../orvreg" ]; then REG="$(cd "$(dirname "$0")/.." && pwd)/orvreg"
else echo "orvreg not found (set ORVANTA_BIN or PATH)" >&2; exit 3; fi
case "$1" in /silent|/SILENT) ;; *) echo "interactive install of {name}: use /silent"; ;; esac
ROOT="${{ORVANTA_APPS_ROOT:-${{XDG_DATA_HOME:-$HOME/.local/share}}/orvanta/apps}}"
DIR="$ROOT/{code}"
mkdir -p "$DIR"
cat > "$DIR/start.sh" <<'EOS'
#!/bin/sh
echo "$(date '+%F %T') started" >> "$(dirname "$0")/started.log"
EOS
cat > "$DIR/uninstall.sh" <<EOS
#!/bin/sh
"$REG" delete "HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\{code}" /f
rm -rf "$DIR"
EOS
chmod +x "$DIR/start.sh" "$DIR/uninstall.sh"
KEY='HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\{code}'
{register}"""

REGISTER_VALUES = (
    ("DisplayName", '"{name}"'),
    ("DisplayVersion", '"{version}"'),
    ("Publisher", '"平台示例软件"'),
    ("DisplayIcon", '"$DIR/start.sh"'),
    ("UninstallString", '"$DIR/uninstall.sh"'),
)


def register_lines(pause):
    """The installer's orvreg calls; with a pause (seconds) the key comes first and every
    value after a pause of its own, as an installer that registers slowly does."""
    lines = ['"$REG" add "$KEY" /v %s /d %s /f\n' % (name, data) for name, data in REGISTER_VALUES]
    if not pause:
        return "".join(lines)
    return '"$REG" add "$KEY" /f\n' + "".join("sleep %g\n%s" % (pause, line) for line in lines)


class Catalogue:
    """The sample catalogue; URLs point at the servers' real ports."""

    def __init__(self, app_base, portal_base):
        self.app_base = app_base
        self.portal_base = portal_base
        self.desktop = {}
        self.web = {}
        for i, (name, remark, money, version) in enumerate(DESKTOP_APPS):
            appid = 1001 + i
            self.desktop[appid] = {
                "appid": appid, "name": name, "remark": remark, "money": money,
                "version": version, "code": "OrvSample%d" % appid,
                "filesize": "%.1fMB" % (3.5 + i * 1.7),
            }
        for i, (name, remark, money) in enumerate(WEB_APPS):
            appid = 2001 + i
            self.web[appid] = {"appid": appid, "name": name, "remark": remark, "money": money}
        # The hot list: five desktop and five web applications.
        self.hot = [1001, 2001, 1002, 2002, 1003, 2003, 1004, 2004, 1005, 2005]

    def icon_url(self, appid):
        return "%s/icons/%d/icon.png" % (self.app_base, appid)

    def details(self, appid, hot=False):
        if appid in self.desktop:
            app = self.desktop[appid]
            return {
                "url": "", "remark": app["remark"], "money": app["money"],
                "img": self.icon_url(appid), "type": "client", "code": app["code"],
                "filesize": app["filesize"], "version": app["version"],
                "downurl": "%s/downloads/%d/setup.exe" % (self.app_base, appid),
            }
        app = self.web[appid]
        d = {"url": "%s/webapps/%d/index.html" % (self.portal_base, appid),
             "remark": app["remark"], "money": app["money"], "img": self.icon_url(appid),
             "type": "app"}
        if hot:
            d["isopen"] = "1"
        return d

    def item(self, appid, xh, hot=False):
        name = (self.desktop.get(appid) or self.web[appid])["name"]
        details = self.details(appid, hot)
        item = {"appid": str(appid), "name": name, "xh": str(xh), "0": details, "1": {}}
        # Some entries carry their details in "1" only, as the real servers do.
        if appid % 4 == 3:
            item["0"], item["1"] = {}, details
        # Web entries of the web lists with both filled: "1" holds the newer texts (the hot
        # list reads "0" alone, so it gets no such entries).
        if appid in self.web and appid % 5 == 0 and not hot:
            older = dict(details, remark="（旧）" + details["remark"], money="待定")
            item["0"], item["1"] = older, details
        return item

    def answer(self, appids, hot=False):
        data = [self.item(a, i + 1, hot) for i, a in enumerate(appids)]
        n = str(len(data))
        if hot:
            return {"tcount": n, "data": data}
        return {"page": "1", "count": n, "tpage": "1" if data else "0", "tcount": n, "data": data}

    def windows_installer(self, appid, program, register_pause=0):
        """The Windows sample installer (tools/platform-sim/windows) with its trailer."""
        app = self.desktop[appid]
        trailer = "name=%s\nversion=%s\ncode=%s\npause=%g\n" % (
            app["name"], app["version"], app["code"], register_pause)
        return program + b"\nORVSETUP\n" + trailer.encode("utf-8")

    def installer(self, appid, register_pause=0):
        app = self.desktop[appid]
        register = register_lines(register_pause).format(name=app["name"], version=app["version"])
        return INSTALLER.format(name=app["name"], version=app["version"], code=app["code"],
                                register=register)


class State:
    """Everything the servers share, guarded by one lock."""

    def __init__(self, data_dir):
        self.lock = threading.Lock()
        self.data_dir = data_dir
        self.sessions = {DEMO_CKEY: DEMO_USER}
        # user name -> {"client": [appid...], "web": [appid...]}
        self.subscriptions = {DEMO_USER: {"client": [1002, 1005, 1008], "web": [2001, 2003]}}
        self.records = {"requests": [], "log": [], "diagnosis": [], "workorder": []}
        self.keepalive = 0
        self.slow_downloads = None  # (bytes, seconds) while installers are sent slowly
        self.icon_bytes = None  # served for every icon when set (--icon-file)
        self.banner_bytes = None  # served for every banner picture when set (--banner-file)
        self.register_pause = 0  # seconds between an installer's registry writes
        self.windows_installer = None  # the Windows sample installer's bytes (--windows-installer)
        self.push_clients = []
        self.catalogue = None
        self.push_port = 0
        # One push at a time, so two messages never interleave on a client's stream.
        self.push_lock = threading.Lock()

    def record(self, kind, entry):
        with self.lock:
            self.records[kind].append(entry)
        if self.data_dir:
            with open(os.path.join(self.data_dir, kind + ".jsonl"), "a", encoding="utf-8") as f:
                f.write(json.dumps(entry, ensure_ascii=False) + "\n")

    def user_of(self, ckey):
        with self.lock:
            return self.sessions.get(ckey)

    def subs(self, user):
        with self.lock:
            return self.subscriptions.setdefault(user, {"client": [], "web": []})


TAXPAYERS = {
    "91110108MA01ABCD2X": {"nsrmc": "北京云帆财税咨询有限公司", "lxrmc": "王晓明",
                           "lxrdh": "010-62881234", "lxrdz": "北京市海淀区中关村大街27号"},
    "91310115MA1K3XYZ9Q": {"nsrmc": "上海浦江贸易有限公司", "lxrmc": "陈静",
                           "lxrdh": "021-58776655", "lxrdz": "上海市浦东新区张杨路500号"},
    "914403007084123456": {"nsrmc": "深圳市南山电子科技有限公司", "lxrmc": "刘伟",
                           "lxrdh": "0755-26001122", "lxrdz": "深圳市南山区科技园南区"},
}

SERVICES = ["代理记账", "税务申报", "发票代开", "工商注册", "财税咨询", "社保代缴", "年报公示"]


def json_bytes(value):
    return json.dumps(value, ensure_ascii=False).encode("utf-8")


def gbk_query(query):
    """The query's values, decoded from percent-encoded GBK."""
    return {k: v[0] for k, v in parse_qs(query, keep_blank_values=True, encoding="gbk",
                                         errors="replace").items()}


class Handler(BaseHTTPRequestHandler):
    server_version = "OrvantaSim/1.0"
    protocol_version = "HTTP/1.0"

    def log_message(self, fmt, *args):
        pass

    def send(self, status, content_type, body):
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        if self.command != "HEAD":
            self.wfile.write(body)

    def send_slowly(self, script, size, seconds):
        """An installer padded with a shell comment to size bytes, in 64 timed pieces."""
        body = script + b"\n#" + b"0" * max(0, size - len(script) - 3) + b"\n"
        self.send_response(200)
        self.send_header("Content-Type", "application/octet-stream")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        piece = max(1, len(body) // 64)
        for i in range(0, len(body), piece):
            self.wfile.write(body[i:i + piece])
            self.wfile.flush()
            time.sleep(seconds / 64.0)

    def send_json(self, value, status=200):
        self.send(status, "application/json; charset=utf-8", json_bytes(value))

    def read_body(self):
        n = int(self.headers.get("Content-Length") or 0)
        return self.rfile.read(n) if n > 0 else b""

    def handle_any(self, method):
        parts = urlsplit(self.path)
        st = self.server.state
        st.record("requests", {"server": self.server.kind, "method": method,
                               "path": parts.path, "query": parts.query})
        body = self.read_body() if method == "POST" else b""
        route = getattr(self, "route_" + self.server.kind.lower())
        try:
            route(method, parts.path, gbk_query(parts.query), body)
        except (BrokenPipeError, ConnectionResetError):
            pass

    def do_GET(self):
        self.handle_any("GET")

    def do_POST(self):
        self.handle_any("POST")

    def do_HEAD(self):
        self.handle_any("GET")

    # -- app server --------------------------------------------------------
    def route_app(self, method, path, query, body):
        st = self.server.state
        cat = st.catalogue
        if path == "/services/appallhot.php":
            return self.send_json(cat.answer(cat.hot, hot=True))
        if path == "/services/appall.php":
            return self.send_json(cat.answer(sorted(cat.web)))
        if path == "/services/appall_c.php":
            return self.send_json(cat.answer(sorted(cat.desktop)))
        if path in ("/services/myappall.php", "/services/myappall_c.php"):
            req = self.parse_in(query)
            user = st.user_of(req.get("ckey", "")) if req else None
            if not user:
                return self.send_json({"page": "1", "count": "0", "tpage": "0", "tcount": "0",
                                       "data": [], "msg": "未登录"})
            kind = "client" if path.endswith("_c.php") else "web"
            with st.lock:
                ids = list(st.subscriptions.get(user, {}).get(kind, []))
            return self.send_json(cat.answer(ids))
        if path in ("/services/addapp.php", "/services/delapp.php"):
            return self.send_json({"status": self.subscription(path, query)})
        if path.startswith("/icons/"):
            try:
                appid = int(path.split("/")[2])
            except (IndexError, ValueError):
                return self.send(404, "text/plain", b"not found")
            if st.icon_bytes is not None:
                return self.send(200, "image/png", st.icon_bytes)
            return self.send(200, "image/png", icon_png(appid))
        if path.startswith("/downloads/"):
            try:
                appid = int(path.split("/")[2])
                if st.windows_installer is not None:
                    script = cat.windows_installer(appid, st.windows_installer,
                                                   st.register_pause)
                else:
                    script = cat.installer(appid, st.register_pause).encode("utf-8")
            except (IndexError, ValueError, KeyError):
                return self.send(404, "text/plain", b"not found")
            if st.slow_downloads:
                return self.send_slowly(script, *st.slow_downloads)
            return self.send(200, "application/octet-stream", script)
        self.send(404, "text/plain", b"not found")

    @staticmethod
    def parse_in(query):
        try:
            value = json.loads(query.get("in", ""))
            return value if isinstance(value, dict) else None
        except ValueError:
            return None

    def subscription(self, path, query):
        st = self.server.state
        req = self.parse_in(query)
        if not req:
            return "-1"
        user = st.user_of(str(req.get("ckey", "")))
        try:
            appid = int(req.get("appid"))
        except (TypeError, ValueError):
            return "-1"
        cat = st.catalogue
        kind = "client" if appid in cat.desktop else "web" if appid in cat.web else None
        if not user or not kind:
            return "-1"
        with st.lock:
            ids = st.subscriptions.setdefault(user, {"client": [], "web": []})[kind]
            if path.endswith("addapp.php"):
                if appid in ids:
                    return "2"
                ids.append(appid)
                return "1"
            if appid not in ids:
                return "2"
            ids.remove(appid)
            return "1"

    # -- platform web server -----------------------------------------------
    def route_web(self, method, path, query, body):
        if sim_login is not None:
            answer = sim_login.handle(method, path, body, self.server.state.sessions)
            if answer is not None:
                status, content_type, data = answer
                return self.send(status, content_type, data)
        if path == "/index.html":
            page = query.get("page", "")
            html = "<html><head><meta charset='utf-8'><title>云平台</title></head>" \
                   "<body><h1>云平台</h1><p>%s</p></body></html>" % page
            return self.send(200, "text/html; charset=utf-8", html.encode("utf-8"))
        self.send(404, "text/plain", b"not found")

    # -- portal web server -------------------------------------------------
    def route_portal(self, method, path, query, body):
        if path.startswith("/completeness/"):
            # The published file list of one client version, if the data folder has one.
            version = path[len("/completeness/"):]
            name = os.path.join(self.server.state.data_dir, "completeness", os.path.basename(version))
            if version and os.path.isfile(name):
                with open(name, "rb") as f:
                    return self.send(200, "text/plain; charset=gbk", f.read())
            return self.send(404, "text/plain", b"not found")
        if path == "/adv.php":
            base = self.server.state.catalogue.portal_base
            links = ["%s/promo/%d.html" % (base, i) for i in range(1, 5)]
            data = [{"xh": i, "advfilepath": "%s/images/adv/banner%d.png" % (base, i),
                     "advlink": links[i - 1]} for i in range(1, 5)]
            return self.send_json({"data": data})
        if path.startswith("/images/adv/banner") and path.endswith(".png"):
            try:
                n = int(path[len("/images/adv/banner"):-4])
            except ValueError:
                return self.send(404, "text/plain", b"not found")
            picture = self.server.state.banner_bytes
            return self.send(200, "image/png", banner_png(n) if picture is None else picture)
        if path.startswith("/promo/") or path.startswith("/webapps/"):
            html = "<html><head><meta charset='utf-8'></head><body>%s</body></html>" % path
            return self.send(200, "text/html; charset=utf-8", html.encode("utf-8"))
        self.send(404, "text/plain", b"not found")

    # -- OA server ---------------------------------------------------------
    def route_oa(self, method, path, query, body):
        if path == "/web/getCplistAction.do":
            data = [{"id": i + 1, "cpmc": name} for i, name in enumerate(SERVICES)]
            return self.send_json({"info": "", "data": data})
        if path == "/web/getNsrsbhInfoAction.do":
            nsrsbh = query.get("nsrsbh", "").strip()
            found = TAXPAYERS.get(nsrsbh)
            if not found:
                return self.send_json({"info": "未查询到该纳税人信息", "data": {}})
            return self.send_json({"info": "", "data": dict(found, nsrsbh=nsrsbh)})
        if path == "/web/addgdsmdAction.do":
            fields = {k: query.get(k, "") for k in ("nsrsbh", "nsrmc", "lxrmc", "lxrdh", "lxrdz",
                                                    "bz")}
            if not fields["nsrsbh"]:
                return self.send_json({"info": "纳税人识别号不能为空", "data": ""})
            self.server.state.record("workorder", fields)
            return self.send_json({"info": "工单提交成功，客服将尽快与您联系", "data": ""})
        self.send(404, "text/plain", b"not found")

    # -- log and diagnosis servers -----------------------------------------
    def record_report(self, kind, query):
        text = query.get("jsonPost", "")
        entry = {"text": text}
        try:
            entry["json"] = json.loads(text)
        except ValueError:
            entry["json"] = None
        self.server.state.record(kind, entry)
        self.send_json({"hintInfo": "操作成功" if entry["json"] is not None else "操作失败"})

    def route_log(self, method, path, query, body):
        if path == "/lumo-server/client/systemCheck/applog.action":
            return self.record_report("log", query)
        self.send(404, "text/plain", b"not found")

    def route_diagnosis(self, method, path, query, body):
        if path == "/lumo-server/client/systemCheck/addOrModify.action":
            return self.record_report("diagnosis", query)
        self.send(404, "text/plain", b"not found")

    # -- message server ----------------------------------------------------
    def route_message(self, method, path, query, body):
        if path == "/index.json":
            return self.send_json({"success": True, "serverip": HOST,
                                   "serverport": str(self.server.state.push_port)})
        self.send(404, "text/plain", b"not found")

    # -- control -----------------------------------------------------------
    def route_control(self, method, path, query, body):
        st = self.server.state
        if path == "/push" and method == "POST":
            try:
                msg = json.loads(body.decode("utf-8") or "{}")
            except ValueError:
                return self.send_json({"error": "body is not JSON"}, 400)
            return self.send_json({"sent": push_message(st, msg)})
        if path == "/records":
            with st.lock:
                snapshot = json.loads(json.dumps(st.records))
                snapshot["keepalive"] = st.keepalive
                snapshot["push_clients"] = len(st.push_clients)
            kind = query.get("kind")
            if kind:
                if kind not in snapshot:
                    return self.send_json({"error": "unknown kind"}, 404)
                return self.send_json(snapshot[kind])
            return self.send_json(snapshot)
        if path == "/subscriptions":
            return self.send_json(st.subs(query.get("user", DEMO_USER)))
        if path == "/sessions":
            with st.lock:
                return self.send_json(dict(st.sessions))
        if path == "/version" and method == "POST":
            if sim_update is None:
                return self.send_json({"error": "no update server"}, 404)
            try:
                req = json.loads(body.decode("utf-8"))
                if "cut" in req:
                    sim_update.set_cut(None if req["cut"] is None else float(req["cut"]))
                if "installer" in req:
                    version = sim_update.publish_release(req["installer"], req.get("version"))
                elif "version" in req:
                    version = req["version"]
                    sim_update.set_version(version)
                elif "cut" not in req:
                    raise KeyError("version")
            except (ValueError, KeyError, TypeError, AttributeError, OSError) as e:
                return self.send_json({"error": "need {\"version\": ...} or "
                                                "{\"installer\": PATH}: %s" % e}, 400)
            return self.send_json({"version": sim_update._state.get("version"),
                                   "cut": sim_update._state.get("cut")})
        if path == "/version" and method == "GET":
            if sim_update is None or "port" not in sim_update._state:
                return self.send_json({"error": "no update server"}, 404)
            return self.send_json({"version": sim_update._state.get("version"),
                                   "url_base": sim_update.url_base(),
                                   "cut_transfers": sim_update._state.get("cut_transfers", 0)})
        if path == "/slow-downloads" and method == "POST":
            try:
                req = json.loads(body.decode("utf-8") or "{}")
                st.slow_downloads = (int(req["bytes"]), float(req["seconds"])) if req else None
            except (ValueError, KeyError, TypeError):
                return self.send_json({"error": "need {\"bytes\": N, \"seconds\": S}"}, 400)
            return self.send_json({"slow_downloads": st.slow_downloads})
        if path == "/slow-registration" and method == "POST":
            try:
                req = json.loads(body.decode("utf-8") or "{}")
                pause = float(req["pause"]) if req else 0
            except (ValueError, KeyError, TypeError):
                return self.send_json({"error": "need {\"pause\": S}"}, 400)
            if not 0 <= pause <= 60:
                return self.send_json({"error": "pause must be 0 to 60 seconds"}, 400)
            st.register_pause = pause
            return self.send_json({"slow_registration": pause})
        self.send(404, "text/plain", b"not found")


def push_message(state, msg):
    """Sends one message (GBK JSON, the server's "tittle" spelling) to every client."""
    text = json.dumps({"tittle": str(msg.get("title", "")), "content": str(msg.get("content", "")),
                       "url": str(msg.get("url", ""))}, ensure_ascii=False)
    data = text.encode("gbk", errors="replace")
    sent = 0
    with state.lock:
        clients = list(state.push_clients)
    with state.push_lock:
        for conn in clients:
            try:
                conn.sendall(data)
                sent += 1
            except OSError:
                drop_push_client(state, conn)
    return sent


def drop_push_client(state, conn):
    with state.lock:
        if conn in state.push_clients:
            state.push_clients.remove(conn)
    try:
        conn.close()
    except OSError:
        pass


class PushHandler(socketserver.BaseRequestHandler):
    """One push client: registered for pushes; its keep-alive texts are counted."""

    def handle(self):
        st = self.server.state
        with st.lock:
            st.push_clients.append(self.request)
        keep = b"keep in touch with push message server"
        pending = b""
        try:
            while True:
                data = self.request.recv(4096)
                if not data:
                    break
                pending += data
                while keep in pending:
                    pending = pending.split(keep, 1)[1]
                    with st.lock:
                        st.keepalive += 1
                pending = pending[-len(keep):]
        except OSError:
            pass
        finally:
            drop_push_client(st, self.request)


class PushServer(socketserver.ThreadingTCPServer):
    daemon_threads = True
    allow_reuse_address = True


class HttpServer(ThreadingHTTPServer):
    daemon_threads = True
    # A client fetches all its icons at once; with the default backlog of 5 the kernel drops
    # the rest of the connection requests and they come again only a second later.
    request_queue_size = 64


def set_ini_value(lines, section, key, value):
    """Sets one key of an INI text kept as a list of lines (first match wins, like the client)."""
    current = None
    insert_at = None
    for i, line in enumerate(lines):
        stripped = line.strip()
        if stripped.startswith("[") and stripped.endswith("]"):
            if current is not None and current.lower() == section.lower() and insert_at is None:
                insert_at = i
            current = stripped[1:-1].strip()
            continue
        if current is not None and current.lower() == section.lower() and "=" in stripped:
            if stripped.split("=", 1)[0].strip().lower() == key.lower():
                lines[i] = "%s=%s" % (key, value)
                return
    entry = "%s=%s" % (key, value)
    if current is not None and current.lower() == section.lower():
        lines.append(entry)
    elif insert_at is not None:
        lines.insert(insert_at, entry)
    else:
        lines.extend(["[%s]" % section, entry])


def configure_program_dir(program_dir, ports, push_port):
    """Points a client's image/config.ini (GBK) at these servers: push fallback, VPN and
    network test points, and the completeness list."""
    path = os.path.join(program_dir, "image", "config.ini")
    os.makedirs(os.path.dirname(path), exist_ok=True)
    try:
        with open(path, "rb") as f:
            lines = f.read().decode("gbk", errors="replace").splitlines()
    except FileNotFoundError:
        lines = []
    portal = "http://%s:%d/" % (HOST, ports["PORTAL"])
    web = "http://%s:%d/" % (HOST, ports["WEB"])
    for section, key, value in (("Server", "ListenIpAddr", HOST),
                                ("Server", "ListenPortNum", str(push_port)),
                                ("VPN", "Telcom", web), ("VPN", "Union", portal),
                                ("NetWork", "TestPoint1", portal), ("NetWork", "TestPoint2", web),
                                ("Completeness", "ServerCompleteness", portal + "completeness/")):
        set_ini_value(lines, section, key, value)
    tmp = path + ".tmp"
    with open(tmp, "wb") as f:
        f.write(("\r\n".join(lines) + "\r\n").encode("gbk", errors="replace"))
    os.replace(tmp, path)


def main(argv=None):
    parser = argparse.ArgumentParser(description="Stand-in platform servers on 127.0.0.1")
    parser.add_argument("--data", help="folder for records and the update server's files "
                                       "(default: a temporary folder removed at exit)")
    parser.add_argument("--push-port", type=int, default=0, help="port of the push server")
    parser.add_argument("--no-update", action="store_true", help="do not start the FTP server")
    parser.add_argument("--release-dir", help="the update server publishes this release of "
                                              "scripts/release.sh")
    parser.add_argument("--program-dir", help="client program directory whose image/config.ini "
                                              "is pointed at these servers")
    parser.add_argument("--windows-installer", help="serve this Windows program (the sample "
                        "installer of tools/platform-sim/windows) as every installer")
    parser.add_argument("--icon-file", help="serve this file as every application's icon")
    parser.add_argument("--banner-file", help="serve this file as every banner picture")
    args = parser.parse_args(argv)

    own_data = args.data is None
    data_dir = tempfile.mkdtemp(prefix="orvanta-sim.") if own_data else os.path.abspath(args.data)
    os.makedirs(data_dir, exist_ok=True)
    state = State(data_dir)
    for name, attr in ((args.icon_file, "icon_bytes"), (args.banner_file, "banner_bytes"),
                       (args.windows_installer, "windows_installer")):
        if name:
            with open(name, "rb") as f:
                setattr(state, attr, f.read())

    servers = []
    lines = []
    for kind in ("APP", "WEB", "PORTAL", "OA", "LOG", "DIAGNOSIS", "MESSAGE", "CONTROL"):
        server = HttpServer((HOST, 0), Handler)
        server.kind = kind
        server.state = state
        servers.append(server)
        name = "ORVANTA_SIM_CONTROL" if kind == "CONTROL" else "ORVANTA_HOST_" + kind
        lines.append("%s=%s:%d" % (name, HOST, server.server_address[1]))
    push = PushServer((HOST, args.push_port), PushHandler)
    push.state = state
    state.push_port = push.server_address[1]
    servers.append(push)

    ports = {s.kind: s.server_address[1] for s in servers if hasattr(s, "kind")}
    state.catalogue = Catalogue("http://%s:%d" % (HOST, ports["APP"]),
                                "http://%s:%d" % (HOST, ports["PORTAL"]))

    if sim_update is not None and not args.no_update:
        try:
            for key, value in sim_update.start(os.path.join(data_dir, "ftp"),
                                                release_dir=args.release_dir).items():
                lines.insert(len(lines) - 1, "%s=%s" % (key, value))
        except Exception as e:  # the demo works without the update server
            print("update server not started: %s" % e, file=sys.stderr)

    if args.program_dir:
        configure_program_dir(args.program_dir, ports, state.push_port)

    threads = [threading.Thread(target=s.serve_forever, kwargs={"poll_interval": 0.1}, daemon=True)
               for s in servers]
    for t in threads:
        t.start()

    stop = threading.Event()
    signal.signal(signal.SIGTERM, lambda *_: stop.set())
    signal.signal(signal.SIGINT, lambda *_: stop.set())

    for line in lines + ["ORVANTA_SIM_PUSH=%s:%d" % (HOST, state.push_port), "READY"]:
        print(line, flush=True)

    while not stop.wait(0.5):
        pass
    for s in servers:
        s.shutdown()
        s.server_close()
    with state.lock:
        clients = list(state.push_clients)
    for c in clients:
        drop_push_client(state, c)
    if own_data:
        shutil.rmtree(data_dir, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
