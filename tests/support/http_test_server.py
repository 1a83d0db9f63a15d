#!/usr/bin/python3
"""HTTP server for the HTTP client and login tests.

Prints "PORT <n>" first. Routes (GET):
  /echo...            200, body = the request line and the headers exactly as received
  /status/<code>      that status with its standard reason phrase
  /redirect           302 to /echo
  /setcookie          sets the cookie kestrin_session=abc123
  /checkcookie        body = the Cookie header received (empty when none)
  /hang               accepts and never answers
  /slow               answers 12 bytes, one every 0.4 s (about 5 s in all)
  /drop               closes the connection without a word
  /binary             bytes 0..255
  /app_login.php      login check: pass "secret" gives "OK"; the userid picks special answers:
                      crlf -> "OK\\r\\n", lower -> "ok", empty -> "", boom -> 500, moved -> 302
Every request line is logged to stderr.
"""
import argparse
import http.server
import sys
import time
import urllib.parse


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def answer(self, status, body=b"", headers=()):
        self.send_response(status)
        for name, value in headers:
            self.send_header(name, value)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def do_GET(self):
        sys.stderr.write("REQUEST %s\n" % self.requestline)
        sys.stderr.flush()
        path, _, query = self.path.partition("?")
        if path.startswith("/echo"):
            text = self.requestline + "\r\n"
            for name, value in self.headers.items():
                text += "%s: %s\r\n" % (name, value)
            self.answer(200, text.encode("latin-1"))
        elif path.startswith("/status/"):
            code = int(path[len("/status/"):])
            self.answer(code, b"" if code in (204, 304) else b"status body")
        elif path == "/redirect":
            self.answer(302, b"moved", [("Location", "/echo")])
        elif path == "/setcookie":
            self.answer(200, b"set", [("Set-Cookie", "kestrin_session=abc123; Path=/")])
        elif path == "/checkcookie":
            self.answer(200, (self.headers.get("Cookie") or "").encode("latin-1"))
        elif path == "/hang":
            time.sleep(120)
            self.close_connection = True
        elif path == "/slow":
            body = b"slow-answer!"
            self.send_response(200)
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.flush()
            for i in range(len(body)):
                time.sleep(0.4)
                self.wfile.write(body[i:i + 1])
                self.wfile.flush()
        elif path == "/drop":
            self.close_connection = True
        elif path == "/binary":
            self.answer(200, bytes(range(256)))
        elif path == "/app_login.php":
            params = dict(urllib.parse.parse_qsl(query, keep_blank_values=True))
            userid = params.get("userid", "")
            special = {"crlf": b"OK\r\n", "lower": b"ok", "empty": b""}
            if userid in special:
                self.answer(200, special[userid])
            elif userid == "boom":
                self.answer(500, b"")
            elif userid == "moved":
                self.answer(302, b"", [("Location", "/elsewhere")])
            else:
                self.answer(200, b"OK" if params.get("pass") == "secret" else b"FAIL")
        else:
            self.answer(404, b"not found")

    def log_request(self, code="-", size="-"):
        pass  # do_GET logs every request line itself, also those never answered


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--port", type=int, default=0)
    args = parser.parse_args()
    server = http.server.ThreadingHTTPServer(("127.0.0.1", args.port), Handler)
    server.daemon_threads = True
    print("PORT %d" % server.server_address[1], flush=True)
    server.serve_forever()


if __name__ == "__main__":
    main()
