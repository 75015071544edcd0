#!/usr/bin/env bash
# Builds and runs the exchange-time benchmark: bench/run_bench.sh [delay ms] [exchanges]
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S bench -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build-bench >/dev/null
exec build-bench/velkor_http_bench "${1:-20}" "${2:-50}"
