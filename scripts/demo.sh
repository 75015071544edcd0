#!/usr/bin/env bash
# The main job: builds Velkor and checks the example script.
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build build --target velkor-cli >/dev/null
./build/src/cli/velkor-cli check examples/demo.cmf
