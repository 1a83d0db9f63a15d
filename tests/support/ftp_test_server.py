#!/usr/bin/python3
"""The demo shop's FTP server with a record of the commands it received and the failure
modes the tests need.

  --log-commands FILE   append every command line, exactly as received, to FILE
  --refuse VERB[=ARG]   answer VERB (only with argument ARG, if given) with
                        "550 Refused by test server." (repeatable)
  --hang-on VERB        never answer VERB; GREETING: never send the greeting
  --drop-stor-after N   close the connection once N bytes of a STOR have arrived
  --msdos-list          answer LIST in MS-DOS style
  --endless-list        answer LIST with listing lines that never end
"""
import argparse
import logging
import os
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                "..", "..", "tools", "demo-shop"))
import ftp_server  # noqa: E402
from pyftpdlib.filesystems import AbstractedFS  # noqa: E402
from pyftpdlib.handlers import DTPHandler, FTPHandler  # noqa: E402


def main():
    parser = argparse.ArgumentParser()
    ftp_server.common_arguments(parser)
    parser.add_argument("--log-commands")
    parser.add_argument("--refuse", action="append", default=[])
    parser.add_argument("--hang-on", action="append", default=[])
    parser.add_argument("--drop-stor-after", type=int, default=-1)
    parser.add_argument("--msdos-list", action="store_true")
    parser.add_argument("--endless-list", action="store_true")
    args = parser.parse_args()
    logging.basicConfig(stream=sys.stderr, level=logging.DEBUG, format="%(message)s")

    refusals = []
    for item in args.refuse:
        verb, _, arg = item.partition("=")
        refusals.append((verb.upper(), arg if "=" in item else None))
    hang = {v.upper() for v in args.hang_on}

    class DosFS(AbstractedFS):
        def format_list(self, basedir, listing, ignore_err=True):
            for name in listing:
                path = os.path.join(basedir, name)
                try:
                    st = self.lstat(path)
                except OSError:
                    continue
                stamp = time.strftime("%m-%d-%y  %I:%M%p", time.localtime(st.st_mtime))
                size = "<DIR>         " if os.path.isdir(path) else "%14d" % st.st_size
                yield ("%s       %s %s\r\n" % (stamp, size, name)).encode("utf8")

    class EndlessFS(AbstractedFS):
        def format_list(self, basedir, listing, ignore_err=True):
            line = ("-rw-r--r--   1 owner group %12d Dec 11 15:20 %s\r\n"
                    % (0, "x" * 200)).encode("utf8")
            while True:
                yield line

    class DroppingDTP(DTPHandler):
        def handle_read(self):
            DTPHandler.handle_read(self)
            if 0 <= args.drop_stor_after <= self.tot_bytes_received:
                channel = self.cmd_channel
                self.close()
                channel.close()

        handle_read_event = handle_read

    class TestHandler(FTPHandler):
        auth_failed_timeout = 0

        def handle(self):
            if "GREETING" in hang:
                return
            FTPHandler.handle(self)

        def pre_process_command(self, line, cmd, arg):
            if args.log_commands:
                with open(args.log_commands, "a", encoding="utf8") as log:
                    log.write(line + "\n")
            if cmd in hang:
                return
            for verb, only in refusals:
                if cmd == verb and (only is None or arg == only):
                    self.respond("550 Refused by test server.")
                    return
            FTPHandler.pre_process_command(self, line, cmd, arg)

    if args.msdos_list:
        TestHandler.abstracted_fs = DosFS
    if args.endless_list:
        TestHandler.abstracted_fs = EndlessFS
    if args.drop_stor_after >= 0:
        TestHandler.dtp_handler = DroppingDTP
    server = ftp_server.build_server(args, TestHandler)
    ftp_server.announce(server)
    try:
        server.serve_forever()
    finally:
        server.close_all()


if __name__ == "__main__":
    main()
