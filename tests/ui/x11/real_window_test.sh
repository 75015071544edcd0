#!/usr/bin/env bash
# The real program on a real X server with a window manager, driven as a
# person drives it: keys and mouse clicks through the X server (xdotool), the
# window manager deciding which window is active.
#   real_window_test.sh VELKOR [VELKOR-DEVSIM REGION-HASH]
# Needs Xvfb, openbox and xdotool (scripts/setup.sh installs them). With the
# simulated device and the region hash (tests/ui/x11/region_hash.cpp) it
# also runs a script and watches the log box follow its lines.
set -uo pipefail
VELKOR=$1
DEVSIM=${2:-}
REGION_HASH=${3:-}
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

# A run that goes on until Stop, against the simulated device on loopback.
script=()
if [ -n "$DEVSIM" ] && [ -n "$REGION_HASH" ]; then
  "$DEVSIM" --bind 127.0.0.1 --port 0 --port-file "$work/port" >"$work/devsim.log" 2>&1 &
  pids+=($!)
  for _ in $(seq 50); do [ -s "$work/port" ] && break; sleep 0.1; done
  printf 'While(0)\r\nhttp://127.0.0.1:%s/httpapi/SendPTZ?action=sendptz&PTZ_GETPOSITION=0\r\nSleep(50)\r\nEnd\r\n' \
    "$(head -1 "$work/port")" >"$work/follow.cmf"
  script=("$work/follow.cmf")
fi

# Settings of its own, none of the user's.
XDG_CONFIG_HOME="$work/config" QT_QPA_PLATFORM=xcb "$VELKOR" "${script[@]}" >"$work/velkor.log" 2>&1 &
pids+=($!)
main=$(wait_for_window '^Velkor( - .*)?$' 20)
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
level() { geometry "$main" MAIN; geometry "$results" RES; [ "$RES_Y" = "$MAIN_Y" ]; }
wait_until 3 level
# Side by side, both frames alike: the two windows' tops are level.
check "the results window's top is level with the main window's ($RES_Y, $MAIN_Y)" test "$RES_Y" = "$MAIN_Y"
click_x=$((RES_X + RES_WIDTH - 60))
[ $((MAIN_X + MAIN_WIDTH)) -ge $click_x ] && click_x=$((RES_X + 40))
xdotool mousemove "$click_x" $((RES_Y + 120)) click 1
sleep 0.5
check "a click makes the results window active" test "$(xdotool getactivewindow)" = "$results"

# "Save table as CSV" (the middle of the three buttons at the bottom right)
# opens the file chooser, and Escape closes it; chosen, the file is the table.
save_x=$((RES_X + RES_WIDTH - 215))
save_y=$((RES_Y + RES_HEIGHT - 23))
xdotool mousemove "$save_x" "$save_y" click 1
chooser=$(wait_for_window '^Save As$' 20)
check "Save table as CSV opens the file chooser" test -n "$chooser"
xdotool key Escape
sleep 0.5
check "Escape closes the file chooser" test -z "$(xdotool search --onlyvisible --name '^Save As$')"
check "the results window stays" test -n "$(xdotool search --onlyvisible --name '^Results - Velkor$')"
xdotool mousemove "$save_x" "$save_y" click 1
chooser=$(wait_for_window '^Save As$' 20)
if [ -n "$chooser" ]; then
  xdotool windowactivate --sync "$chooser"
  xdotool type --delay 5 "$work/table"
  xdotool key Return
  for _ in $(seq 30); do [ -s "$work/table.csv" ] && break; sleep 0.1; done
fi
check "the chosen file holds the table" grep -q '^URL,Count,OK,' "$work/table.csv"

# Alt+F4 then closes the results window, not the main window.
xdotool key alt+F4
sleep 0.5
check "Alt+F4 closes the results window" test -z "$(xdotool search --onlyvisible --name '^Results - Velkor$')"
check "the main window stays" test -n "$(xdotool search --onlyvisible --name '^Velkor( - .*)?$')"

# Ctrl+R brings it back, and Escape closes it too.
xdotool windowactivate --sync "$main"
xdotool key ctrl+r
results=$(wait_for_window '^Results - Velkor$')
if [ -n "$results" ]; then
  xdotool windowactivate --sync "$results"
  xdotool key Escape
  wait_until 3 test -z "$(xdotool search --onlyvisible --name '^Results - Velkor$')"
fi
check "Escape closes the results window" \
  test -n "$results" -a -z "$(xdotool search --onlyvisible --name '^Results - Velkor$')"

# View > Devices (by the menu's keys) opens the Devices window; a click into
# it makes it active: it takes input beside the main window too.
xdotool windowactivate --sync "$main"
xdotool key alt+v
sleep 0.3
xdotool key d
devices=$(wait_for_window '^Devices - Velkor$')
check "View > Devices shows the Devices window" test -n "$devices"
if [ -n "$devices" ]; then
  xdotool windowactivate --sync "$main"
  geometry "$devices" DEV
  xdotool mousemove $((DEV_X + DEV_WIDTH / 2)) $((DEV_Y + DEV_HEIGHT / 2)) click 1
  sleep 0.5
  check "a click makes the Devices window active" test "$(xdotool getactivewindow)" = "$devices"
  xdotool key alt+F4
  sleep 0.5
  check "Alt+F4 closes the Devices window, the main window stays" \
    test -z "$(xdotool search --onlyvisible --name '^Devices - Velkor$')" -a \
    -n "$(xdotool search --onlyvisible --name '^Velkor( - .*)?$')"
fi

[ ${#script[@]} -gt 0 ] || exit $((failures > 0))

# During a run, the log box taken to its top stops following; Ctrl+End
# follows the new lines again. The main window has its full client area,
# 1008 x 912 under the menu bar, above the 22 px status line; the log box
# lies at (25, 427) to (988, 694) in it. Watched: a part of the box clear of
# the caret.
xdotool windowactivate --sync "$main"
geometry "$main" MAIN
client_y=$((MAIN_Y + MAIN_HEIGHT - 22 - 912))
xdotool mousemove $((MAIN_X + 75)) $((client_y + 834)) click 1   # Send
sleep 2
xdotool mousemove $((MAIN_X + 40)) $((client_y + 407)) click 1   # Click Enable: the box takes clicks
xdotool mousemove $((MAIN_X + 500)) $((client_y + 560)) click 1
xdotool key ctrl+Home
sleep 0.5
log_box() { "$REGION_HASH" $((MAIN_X + 90)) $((client_y + 470)) 800 200 ${SHOTS:+"$SHOTS/log-box-$1.png"}; }
still_a=$(log_box still-a); sleep 0.8; still_b=$(log_box still-b)
check "the log box at its top stays put while lines come" test -n "$still_a" -a "$still_a" = "$still_b"
xdotool key ctrl+End
sleep 0.3
follow_a=$(log_box follow-a); sleep 0.8; follow_b=$(log_box follow-b)
check "after Ctrl+End the log box follows the new lines" test -n "$follow_a" -a "$follow_a" != "$follow_b"
xdotool mousemove $((MAIN_X + 185)) $((client_y + 834)) click 1   # Stop

exit $((failures > 0))
