#!/usr/bin/python3
"""FTP server of the local demo shop: one account with full write rights on a root folder.

Prints "PORT <n>" as its first line on stdout once it listens, then logs every command it
receives to stderr.
"""
import argparse
import logging
import os
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer

USER = "kestrin_ftp"


def build_server(args, handler_class=FTPHandler):
    os.makedirs(args.root, exist_ok=True)
    authorizer = DummyAuthorizer()
    authorizer.add_user(USER, args.password, os.path.abspath(args.root), perm="elradfmwMT")
    handler_class.authorizer = authorizer
    handler_class.permit_foreign_addresses = False
    handler_class.use_sendfile = False
    return FTPServer((args.bind, args.port), handler_class)


def common_arguments(parser):
    parser.add_argument("--port", type=int, default=2121, help="0 picks a free port")
    parser.add_argument("--root", default="ftp-root", help="folder served (created if missing)")
    parser.add_argument("--password", default="Kq7demo")
    parser.add_argument("--bind", default="127.0.0.1")


def announce(server):
    port = server.socket.getsockname()[1]
    sys.stdout.write("PORT %d\n" % port)
    sys.stdout.flush()


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    common_arguments(parser)
    args = parser.parse_args()
    logging.basicConfig(stream=sys.stderr, level=logging.DEBUG, format="%(asctime)s %(message)s")
    server = build_server(args)
    announce(server)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass
    finally:
        server.close_all()


if __name__ == "__main__":
    main()
