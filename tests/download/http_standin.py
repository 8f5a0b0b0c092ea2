#!/usr/bin/python3
"""Stand-in HTTP server (and HTTP proxy) for the download engine's tests.

Prints PORT=<port> once it listens on 127.0.0.1. Paths:
  /file/N          N bytes with Content-Length (byte i is i % 251)
  /file/N?lm=TEXT  the same with a Last-Modified header
  /nolen/N         N bytes without Content-Length, then the connection closes
  /short/N         announces N bytes, sends half, closes
  /cut/N           announces N bytes, closes before the first
  /status/CODE     an empty answer with that status
  /hang            accepts the request and never answers
  /slow/N          N bytes with Content-Length, 8192 bytes every 50 ms
  /slow/N?fill=B   the same, every byte B (0-255)
  /stall/N         announces N bytes, sends half, then sends nothing more (keeps the line)
  /flaky/N?cut=K   N bytes with "Accept-Ranges: bytes"; every answer sends at most K bytes
                   and closes; a "Range: bytes=S-" request gets a 206 of the rest.
                   &lm=TEXT Last-Modified; &lmhit=1 Last-Modified changes on every request;
                   &norange=1 neither announces nor honours ranges; &stall=1 stalls instead
                   of closing after K bytes
  /count/N?k=ID    N bytes, slowly (8192 every 50 ms), counting concurrent answers
  /stats           JSON: hits per path, proxy credentials seen, Range headers in order,
                   the most answers of /count at once (a client may count more exactly)
Requests with an absolute URL are proxy requests: without the expected Proxy-Authorization
("--proxy-auth USER:PASSWORD", or never when "--proxy-auth" is absent) they get 407.
"""
import argparse
import base64
import json
import sys
import threading
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
from urllib.parse import urlsplit, parse_qs

STATS = {"hits": {}, "proxyAuth": [], "ranges": [], "active": 0, "maxActive": 0}
LOCK = threading.Lock()
ARGS = None


def body(n):
    pattern = bytes(i % 251 for i in range(251))
    reps = n // 251 + 1
    return (pattern * reps)[:n]


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.0"

    def log_message(self, fmt, *args):
        pass

    def do_GET(self):
        target = self.path
        if target.startswith("http://"):
            auth = self.headers.get("Proxy-Authorization", "")
            with LOCK:
                STATS["proxyAuth"].append(auth)
            expected = None
            if ARGS.proxy_auth:
                expected = "Basic " + base64.b64encode(ARGS.proxy_auth.encode()).decode()
            if auth != expected:
                self.send_response(407)
                self.send_header("Proxy-Authenticate", 'Basic realm="standin"')
                self.send_header("Content-Length", "0")
                self.end_headers()
                return
            parts = urlsplit(target)
            target = parts.path + ("?" + parts.query if parts.query else "")
        parts = urlsplit(target)
        path, query = parts.path, parse_qs(parts.query)
        with LOCK:
            STATS["hits"][path] = STATS["hits"].get(path, 0) + 1
        seg = path.strip("/").split("/")
        try:
            if seg[0] == "stats":
                data = json.dumps(STATS).encode()
                self.send_response(200)
                self.send_header("Content-Length", str(len(data)))
                self.end_headers()
                self.wfile.write(data)
            elif seg[0] == "file":
                data = body(int(seg[1]))
                self.send_response(200)
                self.send_header("Content-Length", str(len(data)))
                if "lm" in query:
                    self.send_header("Last-Modified", query["lm"][0])
                self.end_headers()
                self.wfile.write(data)
            elif seg[0] == "nolen":
                data = body(int(seg[1]))
                self.send_response(200)
                self.end_headers()
                self.wfile.write(data)
            elif seg[0] in ("short", "stall"):
                n = int(seg[1])
                self.send_response(200)
                self.send_header("Content-Length", str(n))
                self.end_headers()
                self.wfile.write(body(n // 2))
                self.wfile.flush()
                if seg[0] == "stall":
                    time.sleep(3600)  # keeps the line open without sending more
            elif seg[0] == "cut":
                self.send_response(200)
                self.send_header("Content-Length", seg[1])
                self.end_headers()
                self.wfile.flush()
            elif seg[0] == "status":
                self.send_response(int(seg[1]))
                self.send_header("Content-Length", "0")
                self.end_headers()
            elif seg[0] == "flaky":
                n, cut = int(seg[1]), int(query["cut"][0])
                ranged = "norange" not in query
                lm = query.get("lm", [""])[0]
                if "lmhit" in query:
                    lm = "Mon, 0%d Dec 2026 10:00:00 GMT" % (STATS["hits"][path] % 10)
                rng = self.headers.get("Range", "")
                with LOCK:
                    STATS["ranges"].append(rng)
                start = 0
                if ranged and rng.startswith("bytes=") and rng.endswith("-"):
                    start = int(rng[6:-1])
                    self.send_response(206)
                    self.send_header("Content-Range", "bytes %d-%d/%d" % (start, n - 1, n))
                else:
                    self.send_response(200)
                self.send_header("Content-Length", str(n - start))
                if ranged:
                    self.send_header("Accept-Ranges", "bytes")
                if lm:
                    self.send_header("Last-Modified", lm)
                self.end_headers()
                self.wfile.write(body(n)[start:start + cut])
                self.wfile.flush()
                if "stall" in query and start + cut < n:
                    time.sleep(3600)
            elif seg[0] == "count":
                data = body(int(seg[1]))
                with LOCK:
                    STATS["active"] += 1
                    STATS["maxActive"] = max(STATS["maxActive"], STATS["active"])
                try:
                    self.send_response(200)
                    self.send_header("Content-Length", str(len(data)))
                    self.end_headers()
                    for i in range(0, len(data), 8192):
                        if i:
                            time.sleep(0.05)
                        self.wfile.write(data[i:i + 8192])
                        self.wfile.flush()
                finally:
                    with LOCK:
                        STATS["active"] -= 1
            elif seg[0] == "hang":
                time.sleep(3600)
            elif seg[0] == "slow":
                if "fill" in query:
                    data = bytes([int(query["fill"][0])]) * int(seg[1])
                else:
                    data = body(int(seg[1]))
                self.send_response(200)
                self.send_header("Content-Length", str(len(data)))
                self.end_headers()
                for i in range(0, len(data), 8192):
                    self.wfile.write(data[i:i + 8192])
                    self.wfile.flush()
                    time.sleep(0.05)
            else:
                self.send_response(404)
                self.send_header("Content-Length", "0")
                self.end_headers()
        except (BrokenPipeError, ConnectionResetError):
            pass


def main():
    global ARGS
    p = argparse.ArgumentParser()
    p.add_argument("--proxy-auth", default=None)
    ARGS = p.parse_args()
    server = ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    server.daemon_threads = True
    print("PORT=%d" % server.server_address[1], flush=True)
    server.serve_forever()


if __name__ == "__main__":
    main()
