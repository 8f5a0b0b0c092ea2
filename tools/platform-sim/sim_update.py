#!/usr/bin/python3
"""Stand-in update FTP server of the platform.

Serves, to the user "root" with the fixed password, the update folder
"/var/www/html/downloads/Orvanta_update/" (an absolute path: the session starts in the
login folder "/root", as on the real server) holding:
  AutoUpdater/AutoUpdater.xml  the release descriptor (its version: set_version)
  Orvanta_setup.exe            the client's installer, on Linux a shell script

The installer installs into $ORVANTA_INSTALL_DIR (else $ORVANTA_BIN, else
~/.local/share/orvanta/client): it writes "conf.config" (whose "Url" points back at this
server), an uninstaller "unins000", and registers the uninstall entry with orvreg
($ORVANTA_BIN/orvreg, else orvreg on PATH).

A real release (scripts/release.sh) replaces the stand-in installer: publish_release() (the
control endpoint's POST /version with "installer", or --release-dir) serves its installer and
descriptor. set_cut(fraction) cuts every later transfer of the installer after that fraction
of its bytes (the server answers 426), as a connection lost half-way would.

Module use:  info = start(root_dir)  ->  {"ORVANTA_HOST_UPDATE": "127.0.0.1:<port>"}
Standalone:  /usr/bin/python3 sim_update.py --root DIR [--version V | --release-dir DIR]
"""

import argparse
import errno
import logging
import os
import re
import shutil
import stat
import sys
import threading
import time

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.filesystems import AbstractedFS
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer

USER = "root"
PASSWORD = "413597kqa"
UPDATE_FOLDER = "var/www/html/downloads/Orvanta_update"
LOGIN_FOLDER = "/root"
DEFAULT_VERSION = "1.0.0.0"
DISPLAY_NAME = "奥凡云平台"
UNINSTALL_KEY = "{5A0C3D2E-7F41-4B8A-9C1D-0E2F3A4B5C6D}_is1"

_state = {}

DESCRIPTOR = """<?xml version="1.0" encoding="UTF-8"?>
<AutoUpdater>
  <Main_Version Version="{version}" />
  <Files>
    <File Name="Orvanta_setup.exe" />
  </Files>
</AutoUpdater>
"""

INSTALLER = r"""#!/bin/sh
# Installer of the client {version} (stand-in): conf.config, uninstaller, uninstall entry.
dir="${{ORVANTA_INSTALL_DIR:-${{ORVANTA_BIN:-$HOME/.local/share/orvanta/client}}}}"
mkdir -p "$dir" || exit 1
cat >"$dir/conf.config" <<'XML'
<?xml version="1.0" encoding="utf-8"?>
<configuration>
  <appSettings>
    <add key="Url" value="{url_base}" />
    <add key="Version" value="{version}" />
  </appSettings>
</configuration>
XML
orvreg=orvreg
if [ -n "$ORVANTA_BIN" ] && [ -x "$ORVANTA_BIN/orvreg" ]; then orvreg="$ORVANTA_BIN/orvreg"; fi
software='HKLM\SOFTWARE'
if [ "$ORVANTA_WOW64" = "1" ]; then software='HKLM\SOFTWARE\Wow6432Node'; fi
key="$software\Microsoft\Windows\CurrentVersion\Uninstall\{key}"
cat >"$dir/unins000" <<EOF
#!/bin/sh
"$orvreg" delete "$key" /f >/dev/null 2>&1
rm -f "$dir/conf.config"
exit 0
EOF
chmod +x "$dir/unins000"
"$orvreg" add "$key" /v DisplayName /d "{display_name} {version}" /f >/dev/null || exit 1
"$orvreg" add "$key" /v "Inno Setup: App Path" /d "$dir" /f >/dev/null || exit 1
"$orvreg" add "$key" /v UninstallString /d "$dir/unins000" /f >/dev/null || exit 1
"$orvreg" add "$key" /v DisplayVersion /d "{version}" /f >/dev/null || exit 1
exit 0
"""


class _CutFile:
    """The installer's file, ending in a read error after `limit` bytes."""

    def __init__(self, f, limit):
        self._f, self._limit, self._done = f, limit, 0

    def read(self, size=-1):
        if self._done >= self._limit:
            raise OSError(errno.ECONNRESET, "transfer cut by the test")
        data = self._f.read(min(size if size >= 0 else self._limit, self._limit - self._done))
        self._done += len(data)
        return data

    def __getattr__(self, name):
        return getattr(self._f, name)


class _FS(AbstractedFS):
    def open(self, filename, mode):
        f = super().open(filename, mode)
        cut = _state.get("cut")
        if cut is not None and "r" in mode and os.path.basename(filename) == "Orvanta_setup.exe":
            _state["cut_transfers"] = _state.get("cut_transfers", 0) + 1
            return _CutFile(f, int(os.path.getsize(filename) * cut))
        return f


def url_base(host=None, port=None):
    """The installer URL base a release's conf.config needs to find this server."""
    return "ftp://%s:%s@%s:%d/%s" % (USER, PASSWORD, host or _state["host"],
                                     port or _state["port"], UPDATE_FOLDER)


def _folder(root_dir):
    return os.path.join(root_dir, UPDATE_FOLDER)


def _write(path, text, executable=False):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    tmp = path + ".tmp"
    with open(tmp, "w", encoding="utf-8") as f:
        f.write(text)
    if executable:
        os.chmod(tmp, os.stat(tmp).st_mode | stat.S_IXUSR | stat.S_IXGRP | stat.S_IXOTH)
    os.replace(tmp, path)


def _publish(root_dir, host, port, version):
    folder = _folder(root_dir)
    _write(os.path.join(folder, "AutoUpdater", "AutoUpdater.xml"),
           DESCRIPTOR.format(version=version))
    _write(os.path.join(folder, "Orvanta_setup.exe"),
           INSTALLER.format(version=version, url_base=url_base(host, port), key=UNINSTALL_KEY,
                            display_name=DISPLAY_NAME),
           executable=True)


def set_version(version, root_dir=None):
    """Publishes another release: the descriptor's version and the installer's."""
    root = root_dir or _state["root"]
    _state["version"] = version
    _publish(root, _state["host"], _state["port"], version)


def publish_release(installer, version=None):
    """Serves a release made by scripts/release.sh: its installer file and, unless version is
    given, the version of the descriptor beside it (AutoUpdater/AutoUpdater.xml)."""
    if version is None:
        descriptor = os.path.join(os.path.dirname(installer), "AutoUpdater", "AutoUpdater.xml")
        with open(descriptor, encoding="utf-8") as f:
            version = re.search(r'<Main_Version\s+Version="([^"]+)"', f.read()).group(1)
    folder = _folder(_state["root"])
    _write(os.path.join(folder, "AutoUpdater", "AutoUpdater.xml"),
           DESCRIPTOR.format(version=version))
    tmp = os.path.join(folder, "Orvanta_setup.exe.tmp")
    shutil.copyfile(installer, tmp)
    os.chmod(tmp, 0o755)
    os.replace(tmp, os.path.join(folder, "Orvanta_setup.exe"))
    _state["version"] = version
    return version


def set_cut(fraction):
    """Later transfers of the installer end in an error after fraction of its bytes (None:
    whole transfers again)."""
    _state["cut"] = fraction


def start(root_dir, host="127.0.0.1", version=DEFAULT_VERSION, release_dir=None):
    """Starts the server on an ephemeral port in a daemon thread."""
    # Only warnings: a handler of our own keeps the server from installing its INFO logging.
    logger = logging.getLogger("pyftpdlib")
    if not logger.handlers:
        logger.addHandler(logging.StreamHandler())
    logger.setLevel(logging.WARNING)
    root_dir = os.path.abspath(root_dir)
    os.makedirs(_folder(root_dir), exist_ok=True)
    os.makedirs(os.path.join(root_dir, LOGIN_FOLDER.lstrip("/")), exist_ok=True)
    authorizer = DummyAuthorizer()
    authorizer.add_user(USER, PASSWORD, root_dir, perm="elr")

    class Handler(FTPHandler):
        def on_login(self, username):
            # A relative path is taken from here, so only an absolute one finds the files.
            self.fs.cwd = LOGIN_FOLDER

    Handler.authorizer = authorizer
    Handler.abstracted_fs = _FS
    Handler.use_sendfile = False  # every transfer goes through _FS's file objects
    Handler.banner = "update server ready"
    Handler.passive_ports = None
    Handler.masquerade_address = None
    server = FTPServer((host, 0), Handler)
    port = server.socket.getsockname()[1]
    _state.update(root=root_dir, host=host, port=port, server=server)
    set_version(version, root_dir)
    if release_dir:
        publish_release(os.path.join(release_dir, "Orvanta_setup.exe"))
    thread = threading.Thread(target=server.serve_forever, kwargs={"handle_exit": False},
                              name="sim-update-ftp", daemon=True)
    thread.start()
    return {"ORVANTA_HOST_UPDATE": "%s:%d" % (host, port)}


def main():
    parser = argparse.ArgumentParser(description="Stand-in update FTP server")
    parser.add_argument("--root", required=True, help="folder served as the FTP root")
    parser.add_argument("--version", default=DEFAULT_VERSION, help="published version")
    parser.add_argument("--release-dir", help="serve this release of scripts/release.sh")
    parser.add_argument("--host", default="127.0.0.1")
    args = parser.parse_args()
    info = start(args.root, args.host, args.version, args.release_dir)
    for key, value in info.items():
        print("%s=%s" % (key, value), flush=True)
    try:
        while True:
            time.sleep(3600)
    except KeyboardInterrupt:
        pass
    return 0


if __name__ == "__main__":
    sys.exit(main())
