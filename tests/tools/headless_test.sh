#!/usr/bin/env bash
# The headless start must serve its display to this machine only: every
# socket the VNC server listens on is bound to 127.0.0.1, and the program
# runs with the virtual display set.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
PORT=$(/usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
OUT=$(mktemp -d)
trap 'rm -rf "$OUT"' EXIT

# The "program" records its display and waits until the check is done.
OSTRAFEN_VNC_PORT=$PORT timeout 20 "$ROOT/tools/headless.sh" \
  bash -c "echo \"\$DISPLAY\" > '$OUT/display'; while [[ ! -e '$OUT/done' ]]; do sleep 0.1; done" \
  >"$OUT/log" 2>&1 &
runner=$!

listening=""
for _ in $(seq 1 100); do
  listening=$(ss -Hltn "sport = :$PORT" | awk '{print $4}')
  [[ -n "$listening" && -s "$OUT/display" ]] && break
  sleep 0.1
done
touch "$OUT/done"
wait "$runner" || true

[[ -n "$listening" ]] || { echo "FAIL: nothing listens on port $PORT"; cat "$OUT/log"; exit 1; }
while read -r addr; do
  [[ "$addr" == "127.0.0.1:$PORT" ]] || { echo "FAIL: VNC listens on $addr"; exit 1; }
done <<<"$listening"
[[ "$(cat "$OUT/display")" == :* ]] || { echo "FAIL: no virtual display for the program"; exit 1; }
grep -q "ssh -L $PORT:127.0.0.1:$PORT" "$OUT/log" || { echo "FAIL: no tunnel hint"; exit 1; }
echo "headless start listens on $listening only"
