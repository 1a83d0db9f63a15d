#!/usr/bin/env bash
# Runs the program against the local demo shop: sets up and builds (tools/setup.sh), starts
# the shop's web server and FTP server in the background, starts KestrinIndex, and stops the
# two servers again when the program ends. Arguments are passed to the program (the first
# one, when given, is the user ID; without it the login dialog asks: demo / demo1234, or
# "비회원 주문" for a guest order).
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT="$PWD"

bash tools/setup.sh

PYTHON=/usr/bin/python3  # Debian's Python, which has python3-pyftpdlib
FTP_ROOT="$ROOT/tools/demo-shop/data/ftp"
mkdir -p "$FTP_ROOT"
LOGS="$(mktemp -d /tmp/kestrin-demo.XXXXXX)"

PIDS=()
stop_servers() {
  for pid in "${PIDS[@]}"; do
    kill "$pid" 2>/dev/null || true
  done
  for pid in "${PIDS[@]}"; do
    wait "$pid" 2>/dev/null || true
  done
}
trap stop_servers EXIT
trap 'exit 130' INT TERM

# Starts a server script in the background and waits for its "PORT <n>" line; the port is
# left in SERVER_PORT. (No command substitution: the server must stay a child of this shell,
# so that it is stopped on exit.)
SERVER_PORT=""
start_server() {
  local name="$1"
  shift
  "$PYTHON" "$@" >"$LOGS/$name.out" 2>"$LOGS/$name.log" &
  local pid=$!
  PIDS+=("$pid")
  local word port
  for _ in $(seq 1 100); do
    if [ -s "$LOGS/$name.out" ] && read -r word port <"$LOGS/$name.out" && [ "$word" = "PORT" ]; then
      SERVER_PORT="$port"
      return 0
    fi
    if ! kill -0 "$pid" 2>/dev/null; then break; fi
    sleep 0.1
  done
  echo "The demo shop's $name did not start. Its log ($LOGS/$name.log):" >&2
  cat "$LOGS/$name.log" >&2 || true
  return 1
}

start_server web-server tools/demo-shop/web_server.py --port 8080 --ftp-root "$FTP_ROOT"
WEB_PORT="$SERVER_PORT"
start_server ftp-server tools/demo-shop/ftp_server.py --port 2121 --root "$FTP_ROOT"
FTP_PORT="$SERVER_PORT"
echo "Demo shop: web server on 127.0.0.1:$WEB_PORT, FTP server on 127.0.0.1:$FTP_PORT (logs in $LOGS)"

export KESTRIN_WEB_SERVER="127.0.0.1:$WEB_PORT"
export KESTRIN_FTP_SERVER="127.0.0.1:$FTP_PORT"
if [ "$(id -u)" -eq 0 ]; then
  export QTWEBENGINE_DISABLE_SANDBOX=1  # the banner's browser engine refuses its sandbox as root
fi
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "No display found (DISPLAY / WAYLAND_DISPLAY): the window cannot be shown." >&2
fi

status=0
"$ROOT/build/app/KestrinIndex" "$@" || status=$?
exit "$status"
