#!/usr/bin/env bash
# Builds the libFuzzer targets of the HTTP client with clang and runs each for
# a while: scripts/fuzz.sh [seconds per target, default 60]
set -euo pipefail
cd "$(dirname "$0")/.."
SECONDS_PER_TARGET="${1:-60}"
BUILD=build-fuzz
CC=clang CXX=clang++ cmake -S fuzz -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$BUILD"
status=0
for target in fuzz_response_parser fuzz_challenge fuzz_exchange; do
  corpus="$BUILD/corpus/$target"
  mkdir -p "$corpus"
  cp -n fuzz/seeds/* "$corpus"/ 2>/dev/null || true
  echo "== $target (${SECONDS_PER_TARGET}s)"
  set +e
  "$BUILD/$target" "$corpus" -max_total_time="$SECONDS_PER_TARGET" -max_len=8192 -timeout=20 \
    -print_final_stats=1 >"$BUILD/$target.log" 2>&1
  rc=$?
  set -e
  grep -E 'stat::number_of_executed_units|stat::average_exec_per_sec|ERROR|Done' "$BUILD/$target.log" || true
  if [ $rc -ne 0 ]; then
    echo "fuzz: $target failed (exit $rc); see $BUILD/$target.log and the crash-* file it names" >&2
    status=1
  fi
done
exit $status
