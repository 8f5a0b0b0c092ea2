#!/usr/bin/python3
"""Starts Linux programs for the Windows tests running under Wine, which can neither start a
Linux program nor read its output. Listens on 127.0.0.1 and prints PORT=<port>.

One connection per program. Request: "A <len>\\n<argument>" per argument, "V <len>\\n<NAME=VALUE>"
per extra variable, then "R\\n". Arguments and values that are Windows paths (C:\\..., Z:/...)
are turned into the Linux paths of the Wine prefix's drives. Answer: "P <pid>\\n" once started,
"O <len>\\n" + bytes of its output, "E <len>\\n" + bytes of its errors, "X <code>\\n" at its end
(127 when it could not start). Closing the connection ends the program and its children.
"""
import os
import re
import signal
import socket
import subprocess
import sys
import threading

DRIVE = re.compile(r"^([A-Za-z]):[\\/]")


def linux_path(value):
    m = DRIVE.match(value)
    if not m:
        return value
    prefix = os.environ.get("WINEPREFIX") or os.path.expanduser("~/.wine")
    root = os.path.realpath(os.path.join(prefix, "dosdevices", m.group(1).lower() + ":"))
    rest = value[3:].replace("\\", "/")
    return os.path.join(root, rest) if rest else root


def read_request(conn):
    data = b""
    args, env = [], {}

    def need(n):
        nonlocal data
        while len(data) < n:
            chunk = conn.recv(65536)
            if not chunk:
                raise EOFError
            data += chunk

    while True:
        need(1)
        while b"\n" not in data:
            need(len(data) + 1)
        head, data = data.split(b"\n", 1)
        if head == b"R":
            return args, env
        kind, length = head.split(b" ")
        need(int(length))
        body, data = data[: int(length)].decode(), data[int(length):]
        if kind == b"A":
            args.append(linux_path(body))
        else:
            name, _, value = body.partition("=")
            env[name] = linux_path(value)


def end_group(proc):
    for sig in (signal.SIGTERM, signal.SIGKILL):
        try:
            os.killpg(proc.pid, sig)
        except ProcessLookupError:
            return
        try:
            proc.wait(3)
            return
        except subprocess.TimeoutExpired:
            pass


def serve(conn):
    lock = threading.Lock()

    def send(raw):
        with lock:
            try:
                conn.sendall(raw)
            except OSError:
                pass

    try:
        args, extra = read_request(conn)
    except (EOFError, ValueError, OSError):
        conn.close()
        return
    env = dict(os.environ)
    env.update(extra)
    try:
        proc = subprocess.Popen(args, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE, env=env, start_new_session=True)
    except OSError as e:
        msg = str(e).encode()
        send(b"E %d\n" % len(msg) + msg + b"X 127\n")
        conn.close()
        return
    send(b"P %d\n" % proc.pid)

    def pump(stream, kind):
        for chunk in iter(lambda: stream.read1(65536), b""):
            send(kind + b" %d\n" % len(chunk) + chunk)

    readers = [threading.Thread(target=pump, args=(proc.stdout, b"O"), daemon=True),
               threading.Thread(target=pump, args=(proc.stderr, b"E"), daemon=True)]
    for r in readers:
        r.start()

    def watch_peer():
        # The test closed the connection (or ended): the program goes too.
        try:
            while conn.recv(4096):
                pass
        except OSError:
            pass
        end_group(proc)

    threading.Thread(target=watch_peer, daemon=True).start()
    code = proc.wait()
    for r in readers:
        r.join(2)
    send(b"X %d\n" % (code if code >= 0 else 128 - code))
    try:
        conn.shutdown(socket.SHUT_WR)
    except OSError:
        pass


def main():
    listener = socket.socket()
    listener.bind(("127.0.0.1", 0))
    listener.listen(64)
    print("PORT=%d" % listener.getsockname()[1], flush=True)
    while True:
        conn, _ = listener.accept()
        threading.Thread(target=serve, args=(conn,), daemon=True).start()


if __name__ == "__main__":
    sys.exit(main())
