#!/usr/bin/env bash
# Where the real program's windows go on real X servers with a window
# manager: the main window and the results window (Ctrl+R), frames included,
# lie inside the desktop's work area, and the results window stands beside
# the main window when both fit side by side. On every screen the results
# window and the Devices window (View > Devices) leave "Stop" uncovered.
#   real_window_placement_test.sh VELKOR
# Needs Xvfb, openbox, xdotool and xprop (scripts/setup.sh installs them).
set -uo pipefail
VELKOR=$1
for tool in Xvfb openbox xdotool xprop; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done

work=$(mktemp -d)
pids=()
stop_all() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
  wait 2>/dev/null
  pids=()
}
trap 'stop_all; rm -rf "$work"' EXIT

source "$(dirname "$0")/x11_common.sh"
# frame ID PREFIX: sets PREFIX_L, _T, _R, _B (right and bottom exclusive) to
# the window's frame as the window manager drew it.
frame() {
  local x y w h fl fr ft fb
  geometry "$1" WIN
  x=$WIN_X y=$WIN_Y w=$WIN_WIDTH h=$WIN_HEIGHT
  read -r fl fr ft fb < <(xprop -id "$1" _NET_FRAME_EXTENTS | sed 's/.*= //; s/,/ /g')
  eval "$2_L=$((x - ${fl:-0})) $2_T=$((y - ${ft:-0})) $2_R=$((x + w + ${fr:-0})) $2_B=$((y + h + ${fb:-0}))"
}
inside() {  # inside PREFIX: the frame lies in the work area
  local l=$1_L t=$1_T r=$1_R b=$1_B
  [ "${!l}" -ge "$WA_L" ] && [ "${!t}" -ge "$WA_T" ] && [ "${!r}" -le "$WA_R" ] && [ "${!b}" -le "$WA_B" ]
}
apart() {  # the two frames do not overlap
  [ "$MAIN_R" -le "$RES_L" ] || [ "$RES_R" -le "$MAIN_L" ]
}
# stop_uncovered PREFIX: the frame PREFIX lies clear of "Stop", which the
# main window has at x 135 to 235 of its client area (times the scale),
# whatever its height.
stop_uncovered() {
  local l=$1_L r=$1_R
  geometry "$main" MAINWIN
  [ "${!l}" -ge $((MAINWIN_X + 235 * scale)) ] || [ "${!r}" -le $((MAINWIN_X + 135 * scale)) ]
}

# placement SCREEN EDGE MARGIN [SCALE]: the program on a screen of SCREEN
# (WxH) whose work area the window manager narrows by MARGIN at EDGE, as a
# panel there would; at QT_SCALE_FACTOR SCALE (1 unless given).
placement() {
  local screen=$1 edge=$2 margin=$3 case="$1 with $3 px at the $2"
  scale=${4:-1}
  if [ "$scale" != 1 ]; then case="$case at scale $scale"; fi
  cat >"$work/rc.xml" <<XML
<?xml version="1.0" encoding="UTF-8"?>
<openbox_config xmlns="http://openbox.org/3.4/rc">
  <margins><$edge>$margin</$edge></margins>
</openbox_config>
XML
  rm -f "$work/display"
  exec 5>"$work/display"
  Xvfb -displayfd 5 -screen 0 "${screen}x24" -nolisten tcp >"$work/xvfb.log" 2>&1 &
  pids+=($!)
  for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
  exec 5>&-
  export DISPLAY=":$(head -1 "$work/display")"
  openbox --config-file "$work/rc.xml" >"$work/openbox.log" 2>&1 &
  pids+=($!)
  sleep 1

  # Each start with settings of its own: none kept from an earlier case.
  XDG_CONFIG_HOME=$(mktemp -d -p "$work") QT_SCALE_FACTOR=$scale QT_QPA_PLATFORM=xcb "$VELKOR" >"$work/velkor.log" 2>&1 &
  pids+=($!)
  local main results
  main=$(wait_for_window '^Velkor( - .*)?$' 20)
  check "$case: the main window is up" test -n "$main"
  if [ -n "$main" ]; then
    sleep 1
    # The first desktop's work area (the property holds one per desktop).
    read -r WA_L WA_T WA_W WA_H < <(xprop -root _NET_WORKAREA | sed 's/.*= //; s/,/ /g' | awk '{print $1, $2, $3, $4}')
    WA_R=$((WA_L + WA_W)) WA_B=$((WA_T + WA_H))
    main_inside() { frame "$main" MAIN; inside MAIN; }
    wait_until 10 main_inside
    echo "  work area $WA_L,$WA_T-$WA_R,$WA_B; main frame $MAIN_L,$MAIN_T-$MAIN_R,$MAIN_B"
    check "$case: the main window's frame lies in the work area" inside MAIN
    xdotool windowactivate --sync "$main"
    xdotool key ctrl+r
    results=$(wait_for_window '^Results - Velkor$')
    check "$case: Ctrl+R shows the results window" test -n "$results"
    if [ -n "$results" ]; then
      sleep 1
      both_inside() { frame "$main" MAIN; frame "$results" RES; inside MAIN && inside RES; }
      wait_until 10 both_inside
      echo "  main frame $MAIN_L,$MAIN_T-$MAIN_R,$MAIN_B; results frame $RES_L,$RES_T-$RES_R,$RES_B"
      [ -n "${SHOTS:-}" ] && command -v import >/dev/null && import -window root "$SHOTS/placement-$screen-$edge$margin.png"
      check "$case: the results window's frame lies in the work area" inside RES
      check "$case: the main window's frame still lies in the work area" inside MAIN
      # Side by side when both fit, at the width the results window has.
      if [ $((MAIN_R - MAIN_L + RES_R - RES_L)) -le "$WA_W" ]; then
        check "$case: the results window stands beside the main window" apart
      fi
      check "$case: the results window leaves Stop uncovered" stop_uncovered RES
      xdotool windowactivate --sync "$results" key Escape
    fi
    # View > Devices, by the menu's keys.
    xdotool windowactivate --sync "$main"
    xdotool key alt+v
    sleep 0.3
    xdotool key d
    local devices
    devices=$(wait_for_window '^Devices - Velkor$')
    check "$case: View > Devices shows the Devices window" test -n "$devices"
    if [ -n "$devices" ]; then
      sleep 1
      dev_clear() { frame "$devices" DEV; stop_uncovered DEV; }
      wait_until 10 dev_clear
      frame "$main" MAIN
      echo "  main frame $MAIN_L,$MAIN_T-$MAIN_R,$MAIN_B; Devices frame $DEV_L,$DEV_T-$DEV_R,$DEV_B"
      check "$case: the Devices window leaves Stop uncovered" stop_uncovered DEV
    fi
  fi
  stop_all
}

placement 1920x1080 bottom 0
placement 1920x1080 bottom 40
placement 1366x720 bottom 40
placement 1366x768 bottom 40
placement 1280x720 bottom 40
placement 1280x800 top 32
# At scale 2 the main window fills the screen and the results window opens
# over it, right of Stop.
placement 1920x1080 bottom 0 2

exit $((failures > 0))
