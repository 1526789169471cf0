#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: the normal build, the
# Windows cross build under Wine, the fuzz targets, and last the same suite
# under AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")"
ROOT=$PWD
JOBS=$(nproc)

tools/install-deps.sh

export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS="detect_leaks=1:strict_string_checks=1"
export LSAN_OPTIONS="suppressions=$ROOT/tests/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DOSTRAFEN_BUILD_TESTS=ON >/dev/null
cmake --build build -j"$JOBS"
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DOSTRAFEN_SANITIZE=ON -DOSTRAFEN_BUILD_TESTS=ON >/dev/null
cmake --build build-asan -j"$JOBS"

status=0
echo "== tests (normal build) =="
ctest --test-dir build --output-on-failure -j"$JOBS" --timeout 120 || status=1

echo "== Windows builds (x86_64 tests under Wine) =="
tools/cross-windows.sh || status=1

if [[ -x tools/fuzz.sh ]]; then
  echo "== fuzz targets =="
  tools/fuzz.sh || status=1
fi

echo "== tests (AddressSanitizer + UndefinedBehaviorSanitizer) =="
ctest --test-dir build-asan --output-on-failure -j"$JOBS" --timeout 180 || status=1
exit $status
