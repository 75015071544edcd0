#!/usr/bin/env bash
# The real program on a real X server with a window manager, driven as a
# person drives it: keys and mouse clicks through the X server (xdotool), the
# window manager deciding which window is active.
#   real_window_test.sh VELKOR
# Needs Xvfb, openbox and xdotool (scripts/setup.sh installs them).
set -uo pipefail
VELKOR=$1
for tool in Xvfb openbox xdotool; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done

work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# A display of our own: Xvfb picks a free number and tells it.
exec 5>"$work/display"
Xvfb -displayfd 5 -screen 0 1920x1080x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
pids+=($!)
for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(head -1 "$work/display")"
openbox >"$work/openbox.log" 2>&1 &
pids+=($!)
sleep 1

source "$(dirname "$0")/x11_common.sh"

QT_QPA_PLATFORM=xcb "$VELKOR" >"$work/velkor.log" 2>&1 &
pids+=($!)
main=$(wait_for_window '^Velkor$')
check "the main window is up" test -n "$main"
[ -n "$main" ] || exit 1
xdotool windowactivate --sync "$main"

# View > Results (Ctrl+R) opens the results window beside the main window.
xdotool key ctrl+r
results=$(wait_for_window '^Results - Velkor$')
check "Ctrl+R shows the results window" test -n "$results"
[ -n "$results" ] || exit 1

# With the main window active again, a click into the part of the results
# window that lies beside it makes the results window active: it takes input.
xdotool windowactivate --sync "$main"
eval "$(xdotool getwindowgeometry --shell "$main" | sed 's/^/MAIN_/')"
eval "$(xdotool getwindowgeometry --shell "$results" | sed 's/^/RES_/')"
click_x=$((RES_X + RES_WIDTH - 60))
[ $((MAIN_X + MAIN_WIDTH)) -ge $click_x ] && click_x=$((RES_X + 40))
xdotool mousemove "$click_x" $((RES_Y + 120)) click 1
sleep 0.5
check "a click makes the results window active" test "$(xdotool getactivewindow)" = "$results"

# Alt+F4 then closes the results window, not the main window.
xdotool key alt+F4
sleep 0.5
check "Alt+F4 closes the results window" test -z "$(xdotool search --onlyvisible --name '^Results - Velkor$')"
check "the main window stays" test -n "$(xdotool search --onlyvisible --name '^Velkor$')"

exit $((failures > 0))
