#!/usr/bin/python3
"""Stand-in SOAP login services of the platform web server.

Answers POSTs to "/services/LoginService" (operation login) and
"/services/LoginOutService" (operation loginOut). Each request carries the platform's
XML document (GBK bytes, declared GBK) as the string "in0" of a SOAP 1.1
document/literal envelope; each answer carries an XML document with a "Transfer"
element as the string "out", in UTF-8.

Module use:
    status, content_type, body = handle("POST", path, body, sessions)   (None: not ours)
  A successful login stores sessions[cookie_key] = user name, where the app server's
  per-user endpoints look it up; a logout removes the key.

Standalone (just these two endpoints on 127.0.0.1):
    /usr/bin/python3 sim_login.py [--port 0] [--record-dir DIR]
                                  [--canned-out FILE | --canned-envelope FILE]
  prints "ORVANTA_HOST_WEB=127.0.0.1:<port>" once listening.
  --record-dir DIR        every request's path goes to DIR/<n>.path, its body to
                          DIR/<n>.body and the decoded in0 document to DIR/<n>.in0
                          (n counts from 1)
  --canned-out FILE       every call is answered with FILE's text (UTF-8) as "out"
  --canned-envelope FILE  every call is answered with FILE's bytes as the whole HTTP body
  (canned files are read anew for every request, so a test may change them in between)
"""

import argparse
import os
import re
import secrets
import sys
import threading
import xml.etree.ElementTree as ET
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

LOGIN_PATH = "/services/LoginService"
LOGOUT_PATH = "/services/LoginOutService"
DEFAULT_NS1 = "http://services.orvanta.example"

# Sample accounts: user name -> password.
SAMPLE_USERS = {
    "demo": "demo123",
    "张会计": "kj2026",
    "出纳小李": "cn-8899",
    "tester": "a<b&c>d",
}

_IN0 = re.compile(rb"<(?:([A-Za-z_][\w.\-]*):)?in0(\s[^>]*)?(/>|>(.*?)</(?:[\w.\-]+:)?in0\s*>)",
                  re.S)
_ENTITY = re.compile(rb"&(#x[0-9A-Fa-f]+|#[0-9]+|lt|gt|amp|quot|apos);")
_NAMED = {b"lt": b"<", b"gt": b">", b"amp": b"&", b"quot": b'"', b"apos": b"'"}


def _unescape(data):
    """XML character references and the five entities, on bytes (other bytes unchanged)."""
    def repl(m):
        name = m.group(1)
        if name.startswith(b"#x"):
            return chr(int(name[2:], 16)).encode("utf-8")
        if name.startswith(b"#"):
            return chr(int(name[1:])).encode("utf-8")
        return _NAMED[name]
    return _ENTITY.sub(repl, data)


def _escape(text):
    return (text.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;")
            .replace('"', "&quot;"))


def extract_in0(body):
    """The decoded bytes of the request's in0 string, or None when absent or nil."""
    m = _IN0.search(body)
    if not m or m.group(3) == b"/>":
        return None
    if m.group(2) and re.search(rb'nil\s*=\s*["\'](true|1)["\']', m.group(2)):
        return None
    return _unescape(m.group(4))


def _namespace_of_operation(body):
    """URI bound to the prefix of the operation element, so the answer uses the caller's."""
    m = re.search(rb"<Body[^>]*>|<[\w.\-]+:Body[^>]*>", body)
    rest = body[m.end():] if m else body
    op = re.search(rb"<(?:([A-Za-z_][\w.\-]*):)?(login|loginOut)[\s/>]", rest)
    if op:
        prefix = op.group(1)
        attr = rb"xmlns:" + prefix if prefix else rb"xmlns"
        ns = re.search(re.escape(attr) + rb'\s*=\s*"([^"]*)"', body)
        if ns:
            return ns.group(1).decode("utf-8", "replace")
    return DEFAULT_NS1


def _parse_document(doc_bytes):
    """The Authentication children of a GBK document as a dict, or None if unreadable."""
    try:
        text = doc_bytes.decode("gbk", errors="replace")
        text = re.sub(r"^\s*<\?xml[^>]*\?>", "", text)
        root = ET.fromstring(text)
    except ET.ParseError:
        return None
    auth = root if root.tag == "Authentication" else root.find(".//Authentication")
    if auth is None:
        return None
    return {child.tag: (child.text or "") for child in auth}


def transfer_document(transfer_id=None, status="0", description="", error_info=""):
    parts = ['<?xml version="1.0" encoding="GBK"?><InterfaceService><Transfer>']
    if transfer_id is not None:
        parts.append("<transferID>%s</transferID>" % _escape(transfer_id))
    parts.append("<transferStatus>%s</transferStatus>" % _escape(status))
    if description:
        parts.append("<statusDescription>%s</statusDescription>" % _escape(description))
    if error_info:
        parts.append("<errorInfo>%s</errorInfo>" % _escape(error_info))
    parts.append("</Transfer></InterfaceService>")
    return "".join(parts)


def envelope(operation, namespace, out_text):
    """A SOAP 1.1 answer of the operation holding out_text (None: no "out" element)."""
    out = "" if out_text is None else "<ns1:out>%s</ns1:out>" % _escape(out_text)
    return ('<?xml version="1.0" encoding="UTF-8"?>'
            '<soap:Envelope xmlns:soap="http://schemas.xmlsoap.org/soap/envelope/" '
            'xmlns:xsd="http://www.w3.org/2001/XMLSchema" '
            'xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance">'
            '<soap:Body><ns1:%sResponse xmlns:ns1="%s">%s</ns1:%sResponse></soap:Body>'
            '</soap:Envelope>' % (operation, _escape(namespace), out, operation)).encode("utf-8")


def _login(fields, sessions):
    if fields is None:
        return transfer_document(status="0", error_info="请求格式错误")
    user = fields.get("username", "")
    password = fields.get("password", "")
    if user in SAMPLE_USERS and SAMPLE_USERS[user] == password:
        key = secrets.token_hex(16).upper()
        sessions[key] = user
        return transfer_document(key, "1", "登录成功")
    return transfer_document(status="0", description="登录失败", error_info="用户名或密码错误")


def _logout(fields, sessions):
    key = (fields or {}).get("cookiekey", "")
    if key and sessions.pop(key, None) is not None:
        return transfer_document(key, "1", "注销成功")
    return transfer_document(key, "0", "注销失败", "用户未登录")


def handle(method, path, body, sessions):
    """(status, content type, body) for the two SOAP endpoints, None for other paths."""
    path = path.split("?", 1)[0]
    if path not in (LOGIN_PATH, LOGOUT_PATH):
        return None
    if method != "POST":
        return 405, "text/plain; charset=utf-8", b"POST only\n"
    operation = "login" if path == LOGIN_PATH else "loginOut"
    doc = extract_in0(body)
    fields = _parse_document(doc) if doc is not None else None
    out = _login(fields, sessions) if operation == "login" else _logout(fields, sessions)
    return 200, "text/xml; charset=utf-8", envelope(operation, _namespace_of_operation(body), out)


class _Handler(BaseHTTPRequestHandler):
    server_version = "OrvantaSim/1.0"

    def log_message(self, fmt, *args):
        pass

    def _read_body(self):
        if "chunked" in self.headers.get("Transfer-Encoding", "").lower():
            data = b""
            while True:
                size = int(self.rfile.readline().split(b";")[0].strip() or b"0", 16)
                if size == 0:
                    self.rfile.readline()
                    return data
                data += self.rfile.read(size)
                self.rfile.readline()
        return self.rfile.read(int(self.headers.get("Content-Length", "0") or 0))

    def _answer(self, method):
        body = self._read_body() if method == "POST" else b""
        opts = self.server.options
        with self.server.lock:
            self.server.count += 1
            n = self.server.count
        if opts.record_dir:
            with open(os.path.join(opts.record_dir, "%d.path" % n), "w") as f:
                f.write(self.path)
            with open(os.path.join(opts.record_dir, "%d.body" % n), "wb") as f:
                f.write(body)
            doc = extract_in0(body)
            with open(os.path.join(opts.record_dir, "%d.in0" % n), "wb") as f:
                f.write(doc if doc is not None else b"")
        result = handle(method, self.path, body, self.server.sessions)
        if result is not None and result[0] == 200:
            if opts.canned_envelope:
                with open(opts.canned_envelope, "rb") as f:
                    result = (200, result[1], f.read())
            elif opts.canned_out:
                with open(opts.canned_out, "r", encoding="utf-8") as f:
                    canned = f.read()
                op = "login" if self.path.startswith(LOGIN_PATH) else "loginOut"
                result = (200, result[1], envelope(op, _namespace_of_operation(body), canned))
        if result is None:
            result = (404, "text/plain; charset=utf-8", b"not found\n")
        status, ctype, data = result
        self.send_response(status)
        self.send_header("Content-Type", ctype)
        self.send_header("Content-Length", str(len(data)))
        self.send_header("Connection", "close")
        self.end_headers()
        self.wfile.write(data)

    def do_POST(self):
        self._answer("POST")

    def do_GET(self):
        self._answer("GET")


def main(argv=None):
    parser = argparse.ArgumentParser(description="Stand-in SOAP login services")
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--record-dir")
    group = parser.add_mutually_exclusive_group()
    group.add_argument("--canned-out")
    group.add_argument("--canned-envelope")
    options = parser.parse_args(argv)

    server = ThreadingHTTPServer(("127.0.0.1", options.port), _Handler)
    server.daemon_threads = True
    server.options = options
    server.sessions = {}
    server.count = 0
    server.lock = threading.Lock()
    print("ORVANTA_HOST_WEB=127.0.0.1:%d" % server.server_address[1], flush=True)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass
    return 0


if __name__ == "__main__":
    sys.exit(main())
