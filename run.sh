#!/usr/bin/env bash
# Installs what is missing, builds, and starts Ostrafen. Without a display the
# program runs on Qt's VNC platform; connect a VNC viewer to the port printed.
set -euo pipefail
cd "$(dirname "$0")"

tools/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DOSTRAFEN_BUILD_TESTS=OFF >/dev/null
cmake --build build -j"$(nproc)" --target ostrafen

if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" && -z "${QT_QPA_PLATFORM:-}" ]]; then
  PORT=${OSTRAFEN_VNC_PORT:-5900}
  echo "No display found: starting on Qt's VNC platform."
  echo "Connect a VNC viewer to 127.0.0.1:$PORT (for example: vncviewer 127.0.0.1::$PORT)."
  exec ./build/ostrafen -platform "vnc:size=1280x800:port=$PORT" "$@"
fi
exec ./build/ostrafen "$@"
