#!/usr/bin/env bash
# Builds and runs the large-body benchmark (Velkor's client against curl,
# Content-Length and chunked, on loopback):
#   bench/body_bench.sh [--size BYTES[K|M|G]] [--runs N] [--chunk BYTES]
#                       [--framing length|chunked|both] [--close] [--timeout SEC]
# Defaults: a 100M body, 5 runs, 16K chunks, both framings, the connection
# kept open after the response. The build directory is build-bench, or
# VELKOR_BENCH_BUILD when set (relative to the repository's top).
set -euo pipefail
cd "$(dirname "$0")/.."
build="${VELKOR_BENCH_BUILD:-build-bench}"
cmake -S bench -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target velkor_body_bench >/dev/null
"$build/velkor_body_bench" "$@"
