"""The stand-in login services' module contract, as the full simulator mounts it."""

import os
import re
import sys
import unittest

sys.path.insert(0, os.environ.get("ORV_SIM_DIR", os.path.join(os.path.dirname(__file__),
                                                               "..", "..", "tools", "platform-sim")))
import sim_login  # noqa: E402


def request(operation, document, ns="urn:test:ns1"):
    escaped = document.replace(b"&", b"&amp;").replace(b"<", b"&lt;").replace(b">", b"&gt;")
    return (b'<?xml version="1.0" encoding="UTF-8"?><SOAP-ENV:Envelope '
            b'xmlns:SOAP-ENV="http://schemas.xmlsoap.org/soap/envelope/" xmlns:ns1="'
            + ns.encode() + b'"><SOAP-ENV:Body><ns1:' + operation + b"><ns1:in0>" + escaped
            + b"</ns1:in0></ns1:" + operation + b"></SOAP-ENV:Body></SOAP-ENV:Envelope>")


def login_doc(user, password):
    return ('<?xml version="1.0" encoding="GBK"?><InterfaceService><Authentication>'
            "<username>%s</username><password>%s</password><logintype>2</logintype>"
            "</Authentication></InterfaceService>" % (user, password)).encode("gbk")


def logout_doc(key):
    return ('<?xml version="1.0" encoding="GBK"?><InterfaceService><Authentication>'
            "<cookiekey>%s</cookiekey></Authentication></InterfaceService>" % key).encode("gbk")


def out_text(body):
    m = re.search(rb"<ns1:out>(.*)</ns1:out>", body, re.S)
    raw = m.group(1).decode("utf-8")
    return raw.replace("&lt;", "<").replace("&gt;", ">").replace("&quot;", '"').replace("&amp;", "&")


def field(text, name):
    m = re.search("<%s>(.*?)</%s>" % (name, name), text)
    return m.group(1) if m else None


class SimLoginTest(unittest.TestCase):
    def test_samples_include_a_chinese_user(self):
        self.assertEqual(sim_login.SAMPLE_USERS["demo"], "demo123")
        self.assertEqual(sim_login.SAMPLE_USERS["张会计"], "kj2026")

    def test_other_paths_are_not_handled(self):
        self.assertIsNone(sim_login.handle("POST", "/services/appall.php", b"", {}))
        self.assertIsNone(sim_login.handle("GET", "/index.html", b"", {}))

    def test_login_then_logout_manages_the_session_table(self):
        sessions = {}
        status, ctype, body = sim_login.handle(
            "POST", "/services/LoginService", request(b"login", login_doc("张会计", "kj2026")),
            sessions)
        self.assertEqual(status, 200)
        self.assertTrue(ctype.startswith("text/xml"))
        self.assertIn(b'xmlns:ns1="urn:test:ns1"', body)
        self.assertIn(b"<ns1:loginResponse", body)
        out = out_text(body)
        self.assertEqual(field(out, "transferStatus"), "1")
        key = field(out, "transferID")
        self.assertEqual(sessions, {key: "张会计"})

        _, _, body = sim_login.handle("POST", "/services/LoginOutService",
                                      request(b"loginOut", logout_doc(key)), sessions)
        self.assertIn(b"<ns1:loginOutResponse", body)
        self.assertEqual(field(out_text(body), "transferStatus"), "1")
        self.assertEqual(sessions, {})

    def test_wrong_password_and_unreadable_requests_answer_an_error_text(self):
        sessions = {}
        for body in (request(b"login", login_doc("demo", "nope")),
                     request(b"login", login_doc("nobody", "demo123")),
                     request(b"login", b"not xml"),
                     b"<garbage"):
            _, _, answer = sim_login.handle("POST", "/services/LoginService", body, sessions)
            out = out_text(answer)
            self.assertEqual(field(out, "transferStatus"), "0")
            self.assertTrue(field(out, "errorInfo"))
        self.assertEqual(sessions, {})

    def test_escaped_password_is_read_back(self):
        sessions = {}
        _, _, body = sim_login.handle(
            "POST", "/services/LoginService",
            request(b"login", login_doc("tester", "a&lt;b&amp;c&gt;d")), sessions)
        self.assertEqual(field(out_text(body), "transferStatus"), "1")

    def test_get_is_refused(self):
        status, _, _ = sim_login.handle("GET", "/services/LoginService", b"", {})
        self.assertEqual(status, 405)


if __name__ == "__main__":
    unittest.main()
