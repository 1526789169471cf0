#!/usr/bin/env bash
# Cross-compiles the network core (platform/net, ftp) and its tests for
# x86_64 and i686 Windows with Debian's mingw-w64, then runs the x86_64 tests
# under Wine. This machine's kernel cannot run 32-bit x86 programs, so the
# i686 build is compiled and linked only.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
JOBS=$(nproc)

PACKAGES=(g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix wine wine64 googletest)
missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  SUDO=""; [[ $(id -u) -ne 0 ]] && SUDO=sudo
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

for arch in x86_64 i686; do
  dir=build-win-$arch
  # Debian ships neither Qt 6 nor SQLite for mingw: the network core alone.
  cmake -S . -B "$dir" -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-$arch.cmake" \
        -DCMAKE_BUILD_TYPE=Release -DOSTRAFEN_CORE_ONLY=ON >/dev/null
  cmake --build "$dir" -j"$JOBS"
done

# A private, throw-away Wine prefix so nothing of the user's is touched.
WINEPREFIX=$(mktemp -d /tmp/ostrafen-wine.XXXXXX)
export WINEPREFIX WINEDEBUG=-all
trap 'wineserver -k >/dev/null 2>&1 || true; rm -rf "$WINEPREFIX"' EXIT

status=0
for exe in build-win-x86_64/tests/*_tests.exe; do
  echo "== $(basename "$exe") under Wine =="
  log=$(mktemp)
  rc=0
  timeout 600 wine "$exe" --gtest_brief=1 >"$log" 2>&1 || rc=$?
  # Wine's own start-up chatter is noise; the test program's status counts.
  grep -v -E '^(wine: |[0-9a-f]+:(err|fixme):)' "$log" || true
  rm -f "$log"
  if [[ $rc -ne 0 ]]; then
    echo "$(basename "$exe") failed under Wine (exit $rc)"
    status=1
  fi
done
exit $status
