#!/usr/bin/python3
"""Stand-in web server for the diagnosis tests, on an ephemeral loopback port.

  http_standin.py ROOT

GET /ok answers 200; GET /redirect answers 302 to /ok; GET /hang answers only after
30 seconds; any other path is served from
the file ROOT + path (200), or answered 404 when there is no such file. Prints PORT=<n>.
"""
import http.server
import os
import sys
import time

ROOT = sys.argv[1]


class Handler(http.server.BaseHTTPRequestHandler):
    def log_message(self, *args):
        pass

    def answer(self, status, body=b"", headers=()):
        self.send_response(status)
        for name, value in headers:
            self.send_header(name, value)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def do_GET(self):
        path = self.path.split("?", 1)[0]
        if path == "/ok":
            return self.answer(200, b"ok")
        if path == "/hang":
            time.sleep(30)
            return self.answer(200, b"late")
        if path == "/redirect":
            return self.answer(302, headers=[("Location", "/ok")])
        local = os.path.normpath(os.path.join(ROOT, path.lstrip("/")))
        if local.startswith(os.path.normpath(ROOT) + os.sep) and os.path.isfile(local):
            with open(local, "rb") as f:
                return self.answer(200, f.read())
        return self.answer(404, b"not found")


server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
print("PORT=%d" % server.server_address[1], flush=True)
server.serve_forever()
