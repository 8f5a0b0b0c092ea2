#!/usr/bin/python3
"""Stand-in FTP server for the download engine's tests: serves ROOT read-only to USER:PASSWORD
on 127.0.0.1. Prints PORT=<port> once it listens. A fourth argument "stall" makes every
transfer send its first 64 KiB and then nothing for a minute."""
import logging
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler, ThrottledDTPHandler
from pyftpdlib.servers import FTPServer


def main():
    root, user, password = sys.argv[1], sys.argv[2], sys.argv[3]
    logging.basicConfig(level=logging.CRITICAL)
    authorizer = DummyAuthorizer()
    authorizer.add_user(user, password, root, perm="elr")
    handler = FTPHandler
    handler.authorizer = authorizer
    handler.passive_ports = None
    handler.masquerade_address = None
    handler.auth_failed_timeout = 0
    if len(sys.argv) > 4 and sys.argv[4] == "stall":
        dtp = ThrottledDTPHandler
        dtp.write_limit = 1024  # bytes per second: one buffer, then a long wait
        handler.dtp_handler = dtp
    server = FTPServer(("127.0.0.1", 0), handler)
    print("PORT=%d" % server.socket.getsockname()[1], flush=True)
    server.serve_forever()


if __name__ == "__main__":
    main()
