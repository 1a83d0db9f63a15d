#!/usr/bin/python3
"""Web server of the local demo shop (Python standard library only).

Pages:
  /clients/index_top.html       the banner shown across the top of the main window
  /app_login.php?userid=&pass=  member check: "OK" for a demo member, otherwise "FAIL"
  /OneClick/NowDateTime.html    the server clock, "YYYYMMDDhhmmss" in local time
  /mymenu/newp_bsprocess_test.html?cartinfo=&dir=&id=&httpapp=
                                the cart page: shows an uploaded order from the FTP root
  /orders/<path>                files below the FTP root (the order's sheet and thumbnail)

Prints "PORT <n>" as its first line on stdout once it listens, then logs every request to
stderr.
"""
import argparse
import html
import mimetypes
import os
import sys
import time
import urllib.parse
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

SHOP_NAME = "Kestrin 포토"

# Demo members. The second password holds "&" and "#": it only arrives intact when the
# client percent-encodes the query values.
MEMBERS = {
    "demo": "demo1234",
    "kestrin": "photo&#1",
}

BANNER = """<!DOCTYPE html>
<html lang="ko"><head><meta charset="utf-8"><title>{shop}</title>
<style>
html, body {{ margin: 0; padding: 0; height: 97px; overflow: hidden; }}
body {{ font-family: "NanumGothic", "Nanum Gothic", sans-serif;
       background: linear-gradient(90deg, #1d4e89 0%, #3d7cc9 60%, #7fb2e5 100%); color: #fff; }}
.wrap {{ height: 97px; display: flex; align-items: center; padding: 0 24px; box-sizing: border-box; }}
.logo {{ width: 60px; height: 60px; border-radius: 50%; background: #fff; color: #1d4e89;
        font-weight: bold; font-size: 26px; display: flex; align-items: center;
        justify-content: center; margin-right: 18px; }}
h1 {{ margin: 0; font-size: 24px; letter-spacing: 1px; }}
p {{ margin: 4px 0 0 0; font-size: 14px; opacity: 0.9; }}
</style></head>
<body><div class="wrap"><div class="logo">K</div>
<div><h1>{shop} 증명사진</h1>
<p>여권 · 반명함 · 명함 사진을 집에서 간편하게 만들고 바로 주문하세요.</p></div></div>
</body></html>
"""

PAGE = """<!DOCTYPE html>
<html lang="ko"><head><meta charset="utf-8"><title>{title} - {shop}</title>
<style>
body {{ font-family: "NanumGothic", "Nanum Gothic", sans-serif; margin: 0; background: #eef2f8;
       color: #222; }}
header {{ background: #1d4e89; color: #fff; padding: 14px 24px; font-size: 20px; }}
main {{ padding: 20px 24px; }}
.card {{ background: #fff; border-radius: 8px; padding: 16px 20px; margin-bottom: 16px;
        box-shadow: 0 1px 3px rgba(0,0,0,.15); }}
table {{ border-collapse: collapse; }}
td, th {{ border: 1px solid #ccd; padding: 4px 10px; text-align: left; }}
tr.hit td {{ background: #fff3b0; font-weight: bold; }}
.images {{ display: flex; gap: 24px; align-items: flex-start; }}
.images img {{ border: 1px solid #99a; background: #fff; }}
.sheet img {{ max-height: 420px; }}
.error {{ color: #a11; }}
</style></head>
<body><header>{shop} 장바구니</header><main>{body}</main></body></html>
"""


def page(title, body):
    return PAGE.format(title=html.escape(title), shop=html.escape(SHOP_NAME), body=body)


def plain_name(value):
    """A single path component from the query: no separators, no "." or ".."."""
    return (value and value not in (".", "..") and "/" not in value and "\\" not in value
            and "\0" not in value)


def parse_query(query):
    """Query values, percent-decoded as UTF-8. A "+" stays a "+": the program encodes blanks
    as %20, and its cart page address is not escaped at all."""
    params = {}
    for part in query.split("&"):
        if not part:
            continue
        name, _, value = part.partition("=")
        name = urllib.parse.unquote(name, errors="replace")
        params.setdefault(name, urllib.parse.unquote(value, errors="replace"))
    return params


def inside(root, path):
    real_root = os.path.realpath(root)
    real = os.path.realpath(path)
    return real == real_root or real.startswith(real_root + os.sep)


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "KestrinDemoShop/1.0"

    def send_body(self, status, body, content_type="text/html; charset=utf-8"):
        if isinstance(body, str):
            body = body.encode("utf-8")
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(body)))
        self.send_header("Cache-Control", "no-store")
        self.end_headers()
        self.wfile.write(body)

    def do_GET(self):
        path, _, query = self.path.partition("?")
        query = query.split("#", 1)[0]
        params = parse_query(query)
        try:
            if path == "/clients/index_top.html":
                self.send_body(200, BANNER.format(shop=html.escape(SHOP_NAME)))
            elif path == "/app_login.php":
                userid = params.get("userid", "")
                ok = userid in MEMBERS and MEMBERS[userid] == params.get("pass")
                self.send_body(200, b"OK" if ok else b"FAIL", "text/plain")
            elif path == "/OneClick/NowDateTime.html":
                self.send_body(200, time.strftime("%Y%m%d%H%M%S"), "text/html")
            elif path == "/mymenu/newp_bsprocess_test.html":
                self.cart_page(params)
            elif path.startswith("/orders/"):
                self.order_file(urllib.parse.unquote(path[len("/orders/"):]))
            else:
                self.send_body(404, page("페이지 없음",
                                         '<div class="card error">요청한 페이지가 없습니다.</div>'))
        except (BrokenPipeError, ConnectionResetError):
            pass

    def cart_page(self, params):
        cartinfo = params.get("cartinfo", "")
        day = params.get("dir", "")
        userid = params.get("id", "")
        if not all(plain_name(v) for v in (cartinfo, day, userid)):
            self.send_body(400, page("잘못된 요청", '<div class="card error">주문 정보가 올바르지 '
                                     '않습니다. 장바구니 주소를 다시 확인해 주세요.</div>'))
            return
        root = self.server.ftp_root
        record_path = os.path.join(root, "test_images", day, userid, cartinfo)
        if not inside(root, record_path) or not os.path.isfile(record_path):
            self.send_body(404, page("주문 없음", '<div class="card error">주문 정보 파일 <b>%s</b> '
                                     '을(를) 찾을 수 없습니다. 업로드가 끝났는지 확인해 주세요.</div>'
                                     % html.escape(cartinfo)))
            return
        with open(record_path, "rb") as f:
            record = f.read().decode("utf-8", errors="replace")
        fields = record.split(":") if record else []
        sheet_name = fields[0] if fields else ""
        qty_index = 7 if len(fields) > 7 and fields[7] != "0" else (
            6 if len(fields) > 6 and fields[6] != "0" else 7)

        rows = []
        for i, value in enumerate(fields):
            label = "파일 이름" if i == 0 else ("수량" if i == qty_index else "항목 %d" % (i + 1))
            hit = ' class="hit"' if i in (0, qty_index) else ""
            rows.append("<tr%s><td>%d</td><td>%s</td><td>%s</td></tr>"
                        % (hit, i + 1, label, html.escape(value)))
        table = ("<table><tr><th>번호</th><th>항목</th><th>값</th></tr>%s</table>" % "".join(rows)
                 if rows else '<p class="error">장바구니 정보가 비어 있습니다.</p>')
        count_note = ("" if len(fields) == 18 else
                      '<p class="error">필드 수가 18개가 아닙니다 (%d개).</p>' % len(fields))

        images = ""
        if plain_name(sheet_name):
            thumb_rel = "/".join(["images", "thumbs", day, userid, sheet_name.replace(" ", "_")])
            sheet_rel = "/".join(["test_images", day, userid, sheet_name])
            parts = []
            for rel, caption, css in ((thumb_rel, "미리보기 (96 × 96)", "thumb"),
                                      (sheet_rel, "인화 시트", "sheet")):
                if os.path.isfile(os.path.join(root, rel)):
                    parts.append('<figure class="%s"><img src="/orders/%s" alt="%s">'
                                 '<figcaption>%s</figcaption></figure>'
                                 % (css, urllib.parse.quote(rel), html.escape(caption),
                                    html.escape(caption)))
                else:
                    parts.append('<p class="error">%s 파일이 없습니다: %s</p>'
                                 % (html.escape(caption), html.escape(rel)))
            images = '<div class="images">%s</div>' % "".join(parts)

        body = ('<div class="card"><h2>주문이 장바구니에 담겼습니다</h2>'
                "<p>회원: <b>%s</b> · 날짜 폴더: <b>%s</b> · 주문 파일: <b>%s</b></p>%s%s</div>"
                '<div class="card">%s</div>'
                % (html.escape(userid), html.escape(day), html.escape(cartinfo), table,
                   count_note, images))
        self.send_body(200, page("장바구니", body))

    def order_file(self, rel):
        root = self.server.ftp_root
        target = os.path.join(root, rel)
        if "\0" in rel or os.path.isabs(rel) or not inside(root, target) \
                or not os.path.isfile(target):
            self.send_body(404, page("파일 없음", '<div class="card error">파일을 찾을 수 없습니다.'
                                     "</div>"))
            return
        with open(target, "rb") as f:
            data = f.read()
        content_type = mimetypes.guess_type(target)[0] or "application/octet-stream"
        self.send_body(200, data, content_type)

    def log_message(self, fmt, *args):
        sys.stderr.write("%s - %s\n" % (self.address_string(), fmt % args))
        sys.stderr.flush()


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--port", type=int, default=8080, help="0 picks a free port")
    parser.add_argument("--ftp-root", default="ftp-root",
                        help="root folder of the demo FTP server (where orders arrive)")
    parser.add_argument("--bind", default="127.0.0.1")
    args = parser.parse_args()
    server = ThreadingHTTPServer((args.bind, args.port), Handler)
    server.daemon_threads = True
    server.ftp_root = os.path.abspath(args.ftp_root)
    sys.stdout.write("PORT %d\n" % server.server_address[1])
    sys.stdout.flush()
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass
    finally:
        server.server_close()


if __name__ == "__main__":
    main()
