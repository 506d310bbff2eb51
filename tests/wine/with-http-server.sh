#!/usr/bin/env bash
# with-http-server.sh <command> [args...]
# Starts tests/wine/http_server.py on a free loopback port, runs the command
# with MORVANE_HTTP_PORT and MORVANE_HTTP_CLOSED_PORT set (Wine passes the
# environment on to Windows programs), stops the server by PID and exits with
# the command's status.
set -uo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
work=$(mktemp -d)
python3 "$here/http_server.py" "$work/port" </dev/null >"$work/server.log" 2>&1 &
server=$!
trap 'kill "$server" 2>/dev/null; wait "$server" 2>/dev/null; rm -rf "$work"' EXIT

for ((i = 0; i < 200; i++)); do
  [[ -s $work/port ]] && break
  kill -0 "$server" 2>/dev/null || { cat "$work/server.log" >&2; exit 125; }
  sleep 0.05
done
read -r port closed <"$work/port" || { echo "with-http-server: no port" >&2; exit 125; }

# WinINet and WinHTTP under Wine honour proxy variables even for 127.0.0.1.
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY no_proxy NO_PROXY
export MORVANE_HTTP_PORT=$port MORVANE_HTTP_CLOSED_PORT=$closed
"$@"
