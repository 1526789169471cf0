#!/usr/bin/python3
"""Loopback FTP server for the tests (pyftpdlib).

Binds 127.0.0.1 (or --host, such as ::1) on a free port and writes that port to --port-file once it
listens, so the fixture never races for a port. Ends on SIGTERM or when its
parent dies (--max-seconds caps its life in any case).
"""
import argparse
import os
import signal
import sys
import threading

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--home", required=True)
    ap.add_argument("--user", default="tester")
    ap.add_argument("--password", default="secret")
    ap.add_argument("--port-file", required=True)
    ap.add_argument("--host", default="127.0.0.1")
    ap.add_argument("--pasv-low", type=int, default=0)
    ap.add_argument("--pasv-high", type=int, default=0)
    ap.add_argument("--max-seconds", type=int, default=300)
    args = ap.parse_args()

    auth = DummyAuthorizer()
    auth.add_user(args.user, args.password, args.home, perm="elradfmwMT")
    handler = FTPHandler
    handler.authorizer = auth
    handler.banner = "Ostrafen test server ready."
    # Names are bytes on disk; keep undecodable ones intact on the wire.
    handler.encoding = "utf8"
    handler.unicode_errors = "surrogateescape"
    if args.pasv_low and args.pasv_high:
        handler.passive_ports = range(args.pasv_low, args.pasv_high + 1)
    handler.permit_foreign_addresses = False
    handler.permit_privileged_ports = False

    server = FTPServer((args.host, 0), handler)
    server.max_cons = 64
    port = server.socket.getsockname()[1]
    tmp = args.port_file + ".tmp"
    with open(tmp, "w") as f:
        f.write(str(port))
    os.rename(tmp, args.port_file)

    def stop(*_):
        server.close_all()
        os._exit(0)

    signal.signal(signal.SIGTERM, stop)
    threading.Timer(args.max_seconds, stop).start()
    parent = os.getppid()

    def watch_parent():
        while True:
            if os.getppid() != parent:
                os._exit(0)
            threading.Event().wait(0.5)

    threading.Thread(target=watch_parent, daemon=True).start()
    server.serve_forever(timeout=0.2)


if __name__ == "__main__":
    sys.exit(main())
