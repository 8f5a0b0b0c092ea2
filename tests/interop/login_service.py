"""The platform's login and logout SOAP services written with spyne, validating requests
with lxml against the service's schema: a SOAP stack of another maker for the client's
proxy to talk to.

    login_service.py --calls FILE [--namespace URI]

Listens on an ephemeral loopback port and prints "ORVANTA_HOST_WEB=127.0.0.1:<port>".
Sample users: demo / demo123 and 张会计 / kj2026. Every answered call appends a line
"operation|charset|user name or cookie key" to FILE (the charset of the request's
Content-Type, "-" when none).
"""
import argparse
import logging
import re
import secrets
import sys
import xml.etree.ElementTree as ET
from wsgiref.simple_server import WSGIRequestHandler, make_server

from spyne import Application, ServiceBase, Unicode, rpc
from spyne.protocol.soap import Soap11
from spyne.server.wsgi import WsgiApplication

USERS = {"demo": "demo123", "张会计": "kj2026"}
SESSIONS = {}
OPTS = None


def transfer(key, status, description, error=""):
    doc = '<?xml version="1.0" encoding="GBK"?><InterfaceService><Transfer>'
    if key is not None:
        doc += "<transferID>%s</transferID>" % key
    doc += "<transferStatus>%s</transferStatus>" % status
    doc += "<statusDescription>%s</statusDescription>" % description
    if error:
        doc += "<errorInfo>%s</errorInfo>" % error
    return doc + "</Transfer></InterfaceService>"


def fields(in0):
    """The Authentication children of the platform's document (text already decoded)."""
    try:
        root = ET.fromstring(re.sub(r"^\s*<\?xml[^>]*\?>", "", in0 or ""))
    except ET.ParseError:
        return {}
    auth = root.find(".//Authentication") if root.tag != "Authentication" else root
    return {} if auth is None else {c.tag: c.text or "" for c in auth}


def record(ctx, operation, who):
    ctype = ctx.transport.req_env.get("CONTENT_TYPE", "")
    m = re.search(r"charset=([^;\s]+)", ctype, re.I)
    with open(OPTS.calls, "a", encoding="utf-8") as f:
        f.write("%s|%s|%s\n" % (operation, m.group(1) if m else "-", who))


class LoginService(ServiceBase):
    @rpc(Unicode, _returns=Unicode, _out_variable_name="out")
    def login(ctx, in0):
        f = fields(in0)
        user = f.get("username", "")
        record(ctx, "login", user)
        if USERS.get(user) == f.get("password") and user:
            key = secrets.token_hex(16).upper()
            SESSIONS[key] = user
            return transfer(key, "1", "登录成功")
        return transfer(None, "0", "登录失败", "用户名或密码错误")


class LoginOutService(ServiceBase):
    @rpc(Unicode, _returns=Unicode, _out_variable_name="out")
    def loginOut(ctx, in0):
        key = fields(in0).get("cookiekey", "")
        record(ctx, "loginOut", key)
        if key and SESSIONS.pop(key, None) is not None:
            return transfer(key, "1", "注销成功")
        return transfer(key, "0", "注销失败", "用户未登录")


def application(service, namespace):
    return WsgiApplication(Application([service], tns=namespace,
                                       in_protocol=Soap11(validator="lxml"),
                                       out_protocol=Soap11()))


class Quiet(WSGIRequestHandler):
    def log_message(self, fmt, *args):
        pass


def main():
    global OPTS
    parser = argparse.ArgumentParser()
    parser.add_argument("--calls", required=True)
    parser.add_argument("--namespace", default="http://services.orvanta.example")
    OPTS = parser.parse_args()
    logging.basicConfig(level=logging.CRITICAL)
    apps = {"/services/LoginService": application(LoginService, OPTS.namespace),
            "/services/LoginOutService": application(LoginOutService, OPTS.namespace)}

    def dispatch(environ, start_response):
        app = apps.get(environ.get("PATH_INFO", ""))
        if app is None:
            start_response("404 Not Found", [("Content-Type", "text/plain")])
            return [b"not found\n"]
        return app(environ, start_response)

    server = make_server("127.0.0.1", 0, dispatch, handler_class=Quiet)
    print("ORVANTA_HOST_WEB=127.0.0.1:%d" % server.server_port, flush=True)
    server.serve_forever()


if __name__ == "__main__":
    sys.exit(main())
