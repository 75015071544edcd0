#!/usr/bin/env bash
# Writes PNGs of the window (idle, after a run against a loopback peer), the
# command help window, the about box and the results window (after a soak
# with two URLs, slow responses and a timeout; its statistics, and its
# request list with a request picked).
#   scripts/screenshots.sh [--font-pt N] [--screen WxH] [--panel N] [--scale N] [--devices] [FOLDER]
#   scripts/screenshots.sh --cases [FOLDER]
# FOLDER defaults to out/screenshots. --font-pt sets the desktop font's size
# in points (the dialogs keep their own font); --screen the size of the
# screen the window opens on (default 1920x1200), e.g. --screen 1366x720;
# --panel the height of a panel at the screen's bottom; --scale the scale
# factor (QT_SCALE_FACTOR; a set QT_SCALE_FACTOR is used too). --devices
# writes the device list's windows instead: the window with a list of twenty
# loopback devices after a run on all of them, the Devices window, and the
# results window with the whole fleet (by script line and by device) and
# with one device. --cases writes
# the desktops the window is checked on, a folder each: 9, 12 and 14 pt
# fonts, 1366x720 with a 40 px panel, and 1920x1080 at scale 2 with a 40 px
# panel; and the device list's windows in "devices".
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
shoot() {
  XDG_RUNTIME_DIR="$runtime" QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}" "$BUILD/tests/ui/ui_screenshots" "$@"
}
if [ "${1:-}" = "--cases" ]; then
  folder="${2:-out/screenshots}"
  for pt in 9 12 14; do
    shoot --font-pt "$pt" "$folder/font-${pt}pt"
  done
  shoot --screen 1366x720 --panel 40 "$folder/1366x720-panel40"
  shoot --screen 1920x1080 --panel 40 --scale 2 "$folder/1920x1080-panel40-scale2"
  shoot --devices "$folder/devices"
  exit 0
fi
shoot "$@"
