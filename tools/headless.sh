#!/usr/bin/env bash
# Runs a program on a virtual X display and serves that display to VNC viewers
# on this machine only (127.0.0.1). Anyone who could reach the VNC port could
# drive the program and its saved sites, so it is never offered to the network.
#   tools/headless.sh PROGRAM [ARGS...]
#   OSTRAFEN_VNC_PORT  the VNC port (default 5900)
set -euo pipefail
PORT=${OSTRAFEN_VNC_PORT:-5900}

for tool in Xvfb x11vnc; do
  command -v "$tool" >/dev/null || { echo "$tool is missing (run tools/install-deps.sh)" >&2; exit 1; }
done

# The first free display number from :99 down.
DISPLAY_NUM=""
for n in $(seq 99 -1 20); do
  if [[ ! -e /tmp/.X$n-lock && ! -e /tmp/.X11-unix/X$n ]]; then DISPLAY_NUM=$n; break; fi
done
[[ -n "$DISPLAY_NUM" ]] || { echo "no free X display number" >&2; exit 1; }

pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
}
trap cleanup EXIT INT TERM

Xvfb ":$DISPLAY_NUM" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 1 100); do
  [[ -e /tmp/.X11-unix/X$DISPLAY_NUM ]] && break
  sleep 0.05
done
export DISPLAY=":$DISPLAY_NUM"

x11vnc -display "$DISPLAY" -localhost -noipv6 -rfbport "$PORT" -nopw -forever -shared -quiet \
  >/dev/null 2>&1 &
pids+=($!)

echo "No display found: Ostrafen runs on the virtual display $DISPLAY."
echo "A VNC viewer on this machine reaches it at 127.0.0.1:$PORT (for example: vncviewer 127.0.0.1::$PORT)."
echo "It listens on this machine only. From another machine, tunnel through SSH:"
echo "  ssh -L $PORT:127.0.0.1:$PORT $(id -un)@$(hostname)   then connect the viewer to 127.0.0.1:$PORT there."

"$@" &
app=$!
pids+=("$app")
wait "$app"
