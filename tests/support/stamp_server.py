#!/usr/bin/python3
"""Web server for the upload dialog tests: answers the server clock request with a fixed body.

  --stamp TEXT    body of /OneClick/NowDateTime.html (default 20261211153000)
  --status N      answer that request with status N instead
Prints "PORT <n>" first; every request line goes to stderr.
"""
import argparse
import sys
from http.server import BaseHTTPRequestHandler, HTTPServer


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--stamp", default="20261211153000")
    parser.add_argument("--status", type=int, default=200)
    args = parser.parse_args()

    class Handler(BaseHTTPRequestHandler):
        protocol_version = "HTTP/1.1"

        def do_GET(self):
            sys.stderr.write("REQUEST %s\n" % self.requestline)
            sys.stderr.flush()
            if self.path == "/OneClick/NowDateTime.html":
                status, body = args.status, args.stamp.encode("utf-8")
            else:
                status, body = 404, b"not found"
            self.send_response(status)
            self.send_header("Content-Type", "text/html")
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)

        def log_message(self, fmt, *args):
            pass

    server = HTTPServer(("127.0.0.1", args.port), Handler)
    sys.stdout.write("PORT %d\n" % server.server_address[1])
    sys.stdout.flush()
    server.serve_forever()


if __name__ == "__main__":
    main()
