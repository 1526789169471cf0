#!/usr/bin/env bash
# Installs what is missing, builds, and starts Ostrafen. Without a display the
# program runs on a virtual display served by VNC on 127.0.0.1 only.
set -euo pipefail
cd "$(dirname "$0")"

tools/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DOSTRAFEN_BUILD_TESTS=OFF >/dev/null
cmake --build build -j"$(nproc)" --target ostrafen

if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" && -z "${QT_QPA_PLATFORM:-}" ]]; then
  exec tools/headless.sh ./build/ostrafen "$@"
fi
exec ./build/ostrafen "$@"
