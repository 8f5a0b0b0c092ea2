"""A private X desktop for driving the real Orvanta window from outside.

Xvfb with openbox, a session bus with the accessibility bus (AT-SPI), xdotool for real
pointer and keyboard input, and the stand-in platform on loopback. Nothing here reaches
into the program: input goes through the X server, observations come from the X server,
the accessibility tree, the stand-in servers' records and the registry tool.
"""

import argparse
import json
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import traceback
import urllib.request

SKIP = 77  # CTest SKIP_RETURN_CODE


class Skip(Exception):
    """The machine lacks something the desktop needs; the test is skipped, not failed."""


class StepFailed(Exception):
    pass


def wait_until(probe, timeout, what, interval=0.1):
    """Polls probe() until it returns a true value; returns it or raises StepFailed."""
    deadline = time.monotonic() + timeout
    while True:
        try:
            value = probe()
        except StepFailed:
            raise
        except Exception:  # a probe racing a window that is going away
            value = None
        if value:
            return value
        if time.monotonic() > deadline:
            raise StepFailed("timed out after %.0f s waiting for %s" % (timeout, what))
        time.sleep(interval)


def missing_tools(accessible=True):
    """Names of the programs and modules the desktop needs that this machine lacks."""
    needed = {
        "Xvfb": "Xvfb (package xvfb)",
        "openbox": "openbox (package openbox)",
        "xdotool": "xdotool (package xdotool)",
        "xwininfo": "xwininfo (package x11-utils)",
        "xmodmap": "xmodmap (package x11-xserver-utils)",
    }
    if accessible:
        needed["dbus-daemon"] = "dbus-daemon (package dbus)"
    missing = [text for tool, text in needed.items() if shutil.which(tool) is None]
    if not accessible:
        return missing
    if not os.path.exists("/usr/libexec/at-spi-bus-launcher"):
        missing.append("at-spi-bus-launcher (package at-spi2-core)")
    try:
        import gi  # noqa: F401  (pyatspi is imported once the session bus exists)
        gi.require_version("Atspi", "2.0")
    except (ImportError, ValueError):
        missing.append("python3-pyatspi")
    return missing


class Desktop:
    """Xvfb + openbox, with a session bus and the accessibility bus unless accessible is
    false (Wine's windows are not on it), all ended by close(). needs: further programs the
    test runs."""

    def __init__(self, workdir, width=1280, height=800, accessible=True, needs=()):
        self.workdir = workdir
        self.width, self.height = width, height
        self.accessible = accessible
        self.needs = needs
        self.procs = []
        self.env = {}
        self.atspi = None
        self.bound = {}  # character -> the spare key it is bound to
        self.spare = None

    def _spawn(self, argv, env=None, **kw):
        p = subprocess.Popen(argv, env=env, stdin=subprocess.DEVNULL, start_new_session=True, **kw)
        self.procs.append(p)
        return p

    def start(self):
        missing = missing_tools(self.accessible) + [
            t for t in self.needs if shutil.which(t) is None]
        if missing:
            raise Skip("the desktop test needs " + ", ".join(missing) +
                       " (bash scripts/install-deps.sh installs them)")
        r, w = os.pipe()
        self._spawn(["Xvfb", "-displayfd", str(w), "-screen", "0",
                     "%dx%dx24" % (self.width, self.height), "-nolisten", "tcp", "-noreset"],
                    pass_fds=(w,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(w)
        with os.fdopen(r) as f:
            number = f.readline().strip()
        if not number:
            raise Skip("Xvfb did not start")
        display = ":" + number
        env = dict(os.environ, DISPLAY=display)
        if self.accessible:
            runtime = os.path.join(self.workdir, "run")
            os.makedirs(runtime, mode=0o700, exist_ok=True)
            env["XDG_RUNTIME_DIR"] = runtime
            # Session bus of our own; the accessibility bus is started on it.
            bus = self._spawn(["dbus-daemon", "--session", "--nofork", "--print-address=1"],
                              env=env, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                              text=True)
            address = bus.stdout.readline().strip()
            if not address:
                raise Skip("dbus-daemon did not start")
            env["DBUS_SESSION_BUS_ADDRESS"] = address
            self._spawn(["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"], env=env,
                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self._spawn(["openbox", "--sm-disable"], env=env, stdout=subprocess.DEVNULL,
                    stderr=subprocess.DEVNULL)
        self.env = env
        wait_until(lambda: self.x(["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"]).find("window id") >= 0,
                   10, "the window manager")
        if not self.accessible:
            return self
        os.environ.update(DISPLAY=display, DBUS_SESSION_BUS_ADDRESS=address,
                          XDG_RUNTIME_DIR=runtime)
        wait_until(lambda: "AT_SPI_BUS" in self.x(["xprop", "-root", "AT_SPI_BUS"]) and
                   "not found" not in self.x(["xprop", "-root", "AT_SPI_BUS"]), 10,
                   "the accessibility bus")
        import pyatspi  # connects to the buses named in the environment
        self.atspi = pyatspi
        return self

    def close(self):
        for p in reversed(self.procs):
            if p.poll() is None:
                try:
                    os.killpg(p.pid, signal.SIGTERM)
                except ProcessLookupError:
                    pass
        for p in reversed(self.procs):
            try:
                p.wait(timeout=5)
            except subprocess.TimeoutExpired:
                os.killpg(p.pid, signal.SIGKILL)
                p.wait()

    # -- X -------------------------------------------------------------------
    def x(self, argv, check=False):
        r = subprocess.run(argv, env=self.env, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                           text=True, timeout=20)
        if check and r.returncode != 0:
            raise StepFailed("%s failed" % " ".join(argv))
        return r.stdout

    def windows(self, name=None, pid=None):
        """Visible top-level windows (ids), optionally by exact title and owning process."""
        argv = ["xdotool", "search", "--all", "--onlyvisible"]
        if pid is not None:
            argv += ["--pid", str(pid)]
        argv += ["--name", "^%s$" % re.escape(name) if name else "."]
        return [int(w) for w in self.x(argv).split()]

    def geometry(self, window):
        """(x, y, width, height) of the window's client area on the screen."""
        out = self.x(["xwininfo", "-id", str(window)])
        val = {k: int(v) for k, v in re.findall(r"(Absolute upper-left [XY]|Width|Height):\s+(-?\d+)", out)}
        return (val["Absolute upper-left X"], val["Absolute upper-left Y"], val["Width"], val["Height"])

    def viewable(self, window):
        return "IsViewable" in self.x(["xwininfo", "-id", str(window)])

    def active_window(self):
        out = self.x(["xdotool", "getactivewindow"]).strip()
        return int(out) if out else None

    def click(self, x, y):
        self.x(["xdotool", "mousemove", "--sync", str(int(x)), str(int(y))], check=True)
        time.sleep(0.05)  # let the hover state settle before the press, as a hand would
        self.x(["xdotool", "click", "1"], check=True)

    def key(self, *keys):
        self.x(["xdotool", "key", "--clearmodifiers"] + list(keys), check=True)

    def bind_characters(self, text):
        """Gives every character of text outside the keyboard map a key of its own.

        xdotool types such a character by remapping a spare key for one press and mapping
        it back at once; a client that reads the new keymap only after the second change
        loses the character. With the characters bound beforehand nothing is remapped while
        typing. The server has few spare keys (19 in Xvfb's map), so keys bound for earlier
        texts are taken back for this one's characters when none is left."""
        if self.spare is None:
            out = self.x(["xmodmap", "-pke"])
            self.spare = [int(m) for m in re.findall(r"^keycode\s+(\d+) =\s*$", out, re.M)]
        wanted = [c for c in sorted({c for c in text if ord(c) > 0x7E}) if c not in self.bound]
        argv = ["xmodmap"]
        for c in wanted:
            free = [k for k in self.spare if k not in self.bound.values()]
            if not free:
                old = next((o for o in self.bound if o not in text), None)
                if old is None:
                    break
                free = [self.bound.pop(old)]
            self.bound[c] = free[0]
            argv += ["-e", "keycode %d = U%04X U%04X" % (free[0], ord(c), ord(c))]
        if len(argv) > 1:
            self.x(argv, check=True)
            time.sleep(0.3)  # the client reads the new keymap before the first key

    def type(self, text):
        self.x(["xdotool", "type", "--delay", "60", text], check=True)

    def screenshot(self, path):
        if shutil.which("import"):
            self.x(["import", "-window", "root", path])

    # -- accessibility -------------------------------------------------------
    def app(self, pid):
        """The accessible application of process pid, or None."""
        desktop = self.atspi.Registry.getDesktop(0)
        for i in range(desktop.childCount):
            a = desktop.getChildAtIndex(i)
            try:
                if a is not None and a.get_process_id() == pid:
                    return a
            except Exception:
                continue
        return None

    def nodes(self, root, showing=True, limit=4000):
        """Every accessible below root (breadth first), only those on screen by default."""
        if root is None:
            return []
        try:
            root.clear_cache()
        except Exception:
            pass
        out, queue = [], [root]
        S = self.atspi.STATE_SHOWING
        while queue and len(out) < limit:
            node = queue.pop(0)
            try:
                n = node.childCount
            except Exception:
                continue
            for i in range(n):
                try:
                    c = node.getChildAtIndex(i)
                    if c is None:
                        continue
                    if showing and not c.getState().contains(S):
                        continue
                except Exception:
                    continue
                out.append(c)
                queue.append(c)
        return out

    def text_of(self, node):
        parts = []
        for getter in (lambda: node.name, lambda: node.description):
            try:
                v = getter()
                if v:
                    parts.append(v)
            except Exception:
                pass
        try:
            t = node.queryText()
            parts.append(t.getText(0, t.characterCount))
        except Exception:
            pass
        return " ".join(parts)

    def role(self, node):
        try:
            return node.getRoleName()
        except Exception:
            return ""

    def extents(self, node):
        e = node.queryComponent().getExtents(self.atspi.DESKTOP_COORDS)
        return (e.x, e.y, e.width, e.height)

    def find(self, root, name=None, role=None, contains=None):
        """Accessibles on screen below root by exact name, role name and/or text substring."""
        found = []
        for n in self.nodes(root):
            try:
                if name is not None and n.name != name:
                    continue
                if role is not None and self.role(n) != role:
                    continue
                if contains is not None and contains not in self.text_of(n):
                    continue
                found.append(n)
            except Exception:
                continue
        return found

    def click_node(self, node):
        x, y, w, h = self.extents(node)
        if w <= 0 or h <= 0:
            raise StepFailed("control '%s' has no area on screen" % node.name)
        self.click(x + w // 2, y + h // 2)

    def at_point(self, root_window_node, x, y):
        """The deepest accessible at screen point (x, y) below a window's accessible."""
        node = root_window_node
        for _ in range(12):
            try:
                child = node.queryComponent().getAccessibleAtPoint(int(x), int(y),
                                                                   self.atspi.DESKTOP_COORDS)
            except Exception:
                child = None
            if child is None or child == node:
                return node
            node = child
        return node


class Platform:
    """The stand-in platform servers on loopback (tools/platform-sim)."""

    def __init__(self, source_dir, data_dir, program_dir, extra=()):
        self.out = open(os.path.join(data_dir + ".out"), "w+")
        self.err = open(os.path.join(data_dir + ".err"), "w+")
        self.proc = subprocess.Popen(
            ["/usr/bin/python3", os.path.join(source_dir, "tools/platform-sim/platform_sim.py"),
             "--data", data_dir, "--program-dir", program_dir] + list(extra),
            stdout=self.out, stderr=self.err, stdin=subprocess.DEVNULL, start_new_session=True)
        self.env = {}

        def ready():
            if self.proc.poll() is not None:
                raise StepFailed("platform-sim ended: " + open(self.err.name).read())
            return "READY" in open(self.out.name).read()
        wait_until(ready, 30, "the stand-in platform")
        for line in open(self.out.name).read().splitlines():
            if line.startswith("ORVANTA_") and "=" in line:
                k, v = line.split("=", 1)
                self.env[k] = v
        self.control = "http://" + self.env["ORVANTA_SIM_CONTROL"]
        self.app = "http://" + self.env["ORVANTA_HOST_APP"]

    def get(self, path, base=None):
        with urllib.request.urlopen((base or self.control) + path, timeout=10) as r:
            return json.loads(r.read().decode("utf-8"))

    def post(self, path, body):
        req = urllib.request.Request(self.control + path, data=json.dumps(body).encode("utf-8"),
                                     method="POST", headers={"Content-Type": "application/json"})
        with urllib.request.urlopen(req, timeout=10) as r:
            return json.loads(r.read().decode("utf-8"))

    def records(self, kind=None):
        return self.get("/records" + ("?kind=" + kind if kind else ""))

    def requested(self, fragment):
        """Requests recorded so far whose path contains fragment."""
        return [r for r in self.records("requests") if fragment in json.dumps(r, ensure_ascii=False)]

    def close(self):
        if self.proc.poll() is None:
            self.proc.terminate()
            try:
                self.proc.wait(timeout=5)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
        self.out.close()
        self.err.close()


def fresh_program_dir(bin_dir, root):
    """A copy of the build's program directory, with a browser stand-in that records."""
    prog = os.path.join(root, "prog")
    shutil.copytree(bin_dir, prog, symlinks=True)
    fake = os.path.join(root, "fakebin")
    os.makedirs(fake)
    log = os.path.join(root, "browser.log")
    for name in ("xdg-open", "sensible-browser", "x-www-browser"):
        path = os.path.join(fake, name)
        with open(path, "w") as f:
            f.write("#!/bin/sh\necho \"$0 $*\" >> '%s'\n" % log)
        os.chmod(path, 0o755)
    return prog, fake, log


def client_env(desktop, platform, root, prog, fakebin):
    env = dict(desktop.env)
    env.pop("QT_QPA_PLATFORM", None)  # the test runner sets offscreen for widget tests
    env.update(platform.env)
    home = os.path.join(root, "home")
    os.makedirs(home, exist_ok=True)
    env.update({
        "QT_QPA_PLATFORM": "xcb",
        "QT_LINUX_ACCESSIBILITY_ALWAYS_ON": "1",
        "HOME": home,
        "XDG_DATA_HOME": os.path.join(home, ".local/share"),
        "XDG_CONFIG_HOME": os.path.join(home, ".config"),
        "ORVANTA_REGISTRY_ROOT": os.path.join(root, "registry"),
        "ORVANTA_APPS_ROOT": os.path.join(root, "apps"),
        "ORVANTA_BIN": prog,
        "PATH": fakebin + ":" + prog + ":" + os.environ.get("PATH", "/usr/bin:/bin"),
        "LANG": "C.UTF-8",
    })
    return env


class ClientSession:
    """What the desktop scripts share: the running client (self.client), its main window
    (self.window) on self.desktop."""

    def alive(self):
        if self.client.poll() is not None:
            raise StepFailed("Orvanta ended with exit code %d" % self.client.returncode)
        return True

    def at(self, x, y):
        """Screen position of a point given in the main window's client coordinates."""
        gx, gy, _, _ = self.desktop.geometry(self.window)
        return (gx + x, gy + y)

    def click_at(self, point):
        self.alive()
        self.desktop.click(*self.at(*point))


def make_root(prefix):
    return tempfile.mkdtemp(prefix=prefix)


def log(msg):
    print(msg, flush=True)
    sys.stdout.flush()


def run_steps(session, steps, not_yet=None):
    """Runs (name, function) steps in order until the first failure; a failing step leaves a
    screenshot in the work folder. Returns ([(name, status, detail)], the failed step or None)."""
    not_yet = not_yet or {}
    results, failed = [], None
    for name, fn in steps:
        if name in not_yet:
            results.append((name, "SKIPPED", not_yet[name]))
            continue
        if failed:
            results.append((name, "NOT RUN", "after the failure of " + failed))
            continue
        t0 = time.monotonic()
        try:
            fn(session)
            results.append((name, "PASS", "%.1f s" % (time.monotonic() - t0)))
        except StepFailed as e:
            failed = name
            results.append((name, "FAIL", str(e)))
        except Exception as e:
            failed = name
            results.append((name, "FAIL", "%s: %s" % (type(e).__name__, e)))
            traceback.print_exc()
        if failed == name and getattr(session, "desktop", None) is not None:
            session.desktop.screenshot(os.path.join(session.root, "failure-%s.png" % name))
    return results, failed


def script_main(session_class, doc, heading, shots=False, not_yet=None, options=None,
                missing=None):
    """The command line of a desktop script: --source, --keep, by default --bin (and --shots).
    Starts session_class(args), runs its STEPS and prints a summary under heading. Returns the
    exit code: 0 when every step passed, 1 on a failure of the start or a step (the work folder
    is kept), SKIP when the program is not built or the machine lacks the desktop's tools.
    options(ap) replaces --bin with the script's own arguments; missing(args) then says what
    is not built, or None."""
    ap = argparse.ArgumentParser(description=doc.split("\n")[1])
    if options is None:
        ap.add_argument("--bin", required=True, help="the build's program directory")
    else:
        options(ap)
    ap.add_argument("--source", required=True, help="the source tree (for platform-sim)")
    ap.add_argument("--keep", action="store_true", help="keep the work folder")
    if shots:
        ap.add_argument("--shots", help="also save screenshots of some steps into this folder")
    args = ap.parse_args()
    if not shots:
        args.shots = None
    if missing is None:
        def missing(args):
            if not os.access(os.path.join(args.bin, "Orvanta"), os.X_OK):
                return "%s/Orvanta is not built" % args.bin
            return None
    reason = missing(args)
    if reason:
        print("SKIP: " + reason)
        return SKIP
    session = session_class(args)
    t0 = time.monotonic()
    try:
        session.start()
    except Skip as e:
        print("SKIP: " + str(e))
        session.close()
        return SKIP
    except Exception:
        traceback.print_exc()
        session.close()
        return 1
    try:
        results, failed = run_steps(session, session.STEPS, not_yet)
    finally:
        session.close()
    log("\n%s (%.1f s):" % (heading, time.monotonic() - t0))
    for name, status, detail in results:
        log("  %-16s %-8s %s" % (name, status, detail))
    skipped = [n for n, s, _ in results if s == "SKIPPED"]
    if skipped:
        log("Skipped steps (their part of the client is not there yet): " + ", ".join(skipped))
    if failed:
        log("Work folder kept for inspection: " + session.root)
        return 1
    if not args.keep:
        shutil.rmtree(session.root, ignore_errors=True)
    return 0
