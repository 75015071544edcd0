#!/usr/bin/env bash
# Writes PNGs of the window (idle, after a run against a loopback peer), the
# command help window and the about box.
#   scripts/screenshots.sh [FOLDER]      (default out/screenshots)
# Uses Qt's offscreen platform; needs no display.
set -euo pipefail
cd "$(dirname "$0")/.."
OUT="${1:-out/screenshots}"
BUILD="${VELKOR_SCREENSHOT_BUILD:-build}"
./scripts/setup.sh
cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build "$BUILD" --target ui_screenshots >/dev/null
runtime="$(mktemp -d)"
chmod 700 "$runtime"
trap 'rm -rf "$runtime"' EXIT
XDG_RUNTIME_DIR="$runtime" QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}" "$BUILD/tests/ui/ui_screenshots" "$OUT"
