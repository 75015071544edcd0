#!/usr/bin/env bash
# Builds and runs the exchange-time benchmarks: bench/run_bench.sh [delay ms] [exchanges]
# (plain HTTP with the delay; then HTTPS, answered at once).
# bench/run_bench.sh body [options] runs the large-body benchmark instead
# (bench/body_bench.sh, which lists its options).
set -euo pipefail
if [ "${1:-}" = body ]; then
    shift
    exec "$(dirname "$0")/body_bench.sh" "$@"
fi
cd "$(dirname "$0")/.."
cmake -S bench -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build-bench >/dev/null
build-bench/velkor_http_bench "${1:-20}" "${2:-50}"
build-bench/velkor_tls_bench "${2:-50}"
