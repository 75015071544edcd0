#!/usr/bin/env bash
# Builds and runs the exchange-time benchmarks: bench/run_bench.sh [delay ms] [exchanges]
# (plain HTTP with the delay; then HTTPS, answered at once)
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S bench -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build-bench >/dev/null
build-bench/velkor_http_bench "${1:-20}" "${2:-50}"
build-bench/velkor_tls_bench "${2:-50}"
