#!/usr/bin/env bash
# Writes PNGs of the window (idle, after a run against a loopback peer), the
# command help window, the about box and the results window (after a soak
# with two URLs, slow responses and a timeout).
#   scripts/screenshots.sh [--font-pt N] [--screen WxH] [FOLDER]
# FOLDER defaults to out/screenshots. --font-pt sets the desktop font's size
# in points (the dialogs keep their own font); --screen the size of the
# screen the window opens on (default 1920x1200), e.g. --screen 1366x720.
# Uses Qt's offscreen platform; needs no display.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD="${VELKOR_SCREENSHOT_BUILD:-build}"
./scripts/setup.sh
cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build "$BUILD" --target ui_screenshots >/dev/null
runtime="$(mktemp -d)"
chmod 700 "$runtime"
trap 'rm -rf "$runtime"' EXIT
XDG_RUNTIME_DIR="$runtime" QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}" "$BUILD/tests/ui/ui_screenshots" "$@"
