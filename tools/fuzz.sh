#!/usr/bin/env bash
# Builds the libFuzzer targets in fuzz/ with clang and runs each for a while
# (FUZZ_SECONDS, default 30). Exits non-zero when a target crashes, leaks,
# hangs or does not build. The random seed is fixed (FUZZ_SEED, default 1) so
# that a run repeats what the last one tried; FUZZ_SEED=0 explores afresh.
set -uo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
OUT=${FUZZ_BUILD_DIR:-$ROOT/build-fuzz}
SECS=${FUZZ_SECONDS:-30}
SEED=${FUZZ_SEED:-1}
CXX=${FUZZ_CXX:-clang++}
if ! command -v "$CXX" >/dev/null 2>&1; then
  echo "fuzz.sh: $CXX not found" >&2
  exit 1
fi
mkdir -p "$OUT"
FLAGS=(-std=c++20 -g -O1 -fno-omit-frame-pointer -fsanitize=fuzzer,address,undefined
       -fno-sanitize-recover=undefined -Wall -Wextra -I"$ROOT")

# The network layer without the Windows-only files, and without OpenSSL:
# the fuzzed code reaches TLS only through the interface of tls_none.cpp.
NET_SRCS=()
for f in "$ROOT"/platform/net/*.cpp; do
  [[ $(basename "$f") == tls.cpp ]] && continue
  NET_SRCS+=("$f")
done
FTP_SRCS=()
for f in "$ROOT"/ftp/*.cpp; do FTP_SRCS+=("$f"); done

build() {
  local name=$1; shift
  echo "== building $name"
  if ! "$CXX" "${FLAGS[@]}" -o "$OUT/$name" "$@" -lpthread; then
    echo "fuzz.sh: $name did not build" >&2
    return 1
  fi
}

run() {
  local name=$1 seeds=$2
  local corpus="$OUT/corpus-$name"
  mkdir -p "$corpus" "$OUT/artifacts-$name"
  echo "== running $name for ${SECS}s"
  ASAN_OPTIONS="detect_leaks=1:abort_on_error=0${ASAN_OPTIONS:+:$ASAN_OPTIONS}" \
  UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" \
    "$OUT/$name" -max_total_time="$SECS" -seed="$SEED" -timeout=10 -rss_limit_mb=2048 -max_len=8192 \
      -print_final_stats=1 -artifact_prefix="$OUT/artifacts-$name/" "$corpus" "$seeds" \
      >"$OUT/$name.log" 2>&1
  local rc=$?
  tail -n 12 "$OUT/$name.log"
  if [[ $rc -ne 0 ]]; then
    echo "fuzz.sh: $name failed (exit $rc); log: $OUT/$name.log" >&2
    return 1
  fi
}

status=0
build listing_parser_fuzz "$ROOT/fuzz/listing_parser_fuzz.cpp" "$ROOT/ftp/listing_parser.cpp" || status=1
build reply_reader_fuzz "$ROOT/fuzz/reply_reader_fuzz.cpp" "${FTP_SRCS[@]}" "${NET_SRCS[@]}" || status=1
[[ -x "$OUT/listing_parser_fuzz" ]] && { run listing_parser_fuzz "$ROOT/fuzz/corpus/listing" || status=1; }
[[ -x "$OUT/reply_reader_fuzz" ]] && { run reply_reader_fuzz "$ROOT/fuzz/corpus/reply" || status=1; }
exit $status
