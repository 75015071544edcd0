#!/usr/bin/env bash
# The real program as a daily tool on a real X server with a window manager:
# its settings survive a restart (the window's place, File > Recent files),
# a command file dragged from another program and dropped on the window
# loads, and a script of 5,000 different URLs runs to its end while the
# window answers input: the help window ("Command", F1) opens and closes
# again and again during the run, and each time it came up is printed.
#   real_window_daily_test.sh VELKOR VELKOR-DEVSIM DRAG-SOURCE
# Needs Xvfb, openbox and xdotool (scripts/setup.sh installs them).
set -uo pipefail
VELKOR=$1
DEVSIM=$2
DRAG_SOURCE=$3
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

exec 5>"$work/display"
Xvfb -displayfd 5 -screen 0 1920x1080x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
pids+=($!)
for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(head -1 "$work/display")"
openbox >"$work/openbox.log" 2>&1 &
pids+=($!)
sleep 1

source "$(dirname "$0")/x11_common.sh"
export XDG_CONFIG_HOME="$work/config" QT_QPA_PLATFORM=xcb
ms() { echo $(($(date +%s%N) / 1000000)); }

"$DEVSIM" --bind 127.0.0.1 --port 0 --port-file "$work/port" >"$work/devsim.log" 2>&1 &
pids+=($!)
for _ in $(seq 50); do [ -s "$work/port" ] && break; sleep 0.1; done
port=$(head -1 "$work/port")
printf 'http://127.0.0.1:%s/httpapi/SendPTZ?action=sendptz&PTZ_PRESETSET=1\r\n' "$port" >"$work/pan.cmf"
# A sweep: a line per preset, each URL another, 5,000 in all.
for i in $(seq 5000); do
  printf 'http://127.0.0.1:%s/httpapi/SendPTZ?action=sendptz&PTZ_PRESETSET=%d&sweep=%d\r\n' \
    "$port" $(((i - 1) % 255 + 1)) "$i"
done >"$work/sweep.cmf"

# --- Settings survive a restart: the window's place and the recent files.
"$VELKOR" "$work/pan.cmf" >"$work/velkor1.log" 2>&1 &
first=$!
pids+=($first)
main=$(wait_for_window '^Velkor - pan\.cmf$' 20)
check "the first start loads pan.cmf" test -n "$main"
[ -n "$main" ] || exit 1
sleep 1
xdotool windowmove --sync "$main" 300 40
sleep 0.5
geometry "$main" BEFORE
xdotool windowactivate --sync "$main"
xdotool key alt+F4
wait_until 10 bash -c "! kill -0 $first 2>/dev/null"
check "Alt+F4 ends the program" bash -c "! kill -0 $first 2>/dev/null"

# The sweep below is watched in its saved log: "Use log auto save" into a
# folder of the test's, set in the settings the first start left.
ini="$XDG_CONFIG_HOME/Velkor/velkor.ini"
check "the first start kept its settings" test -s "$ini"
mkdir -p "$work/logs"
sed -i "/^\[log\]/,/^\[/ { s|^autoSave=.*|autoSave=true|; s|^folder=.*|folder=$work/logs| }" "$ini"
"$VELKOR" >"$work/velkor2.log" 2>&1 &
pids+=($!)
main=$(wait_for_window '^Velkor$' 20)
check "the second start is up" test -n "$main"
[ -n "$main" ] || exit 1
sleep 1
geometry "$main" AFTER
echo "  place before the restart $BEFORE_X,$BEFORE_Y ${BEFORE_WIDTH}x$BEFORE_HEIGHT, after $AFTER_X,$AFTER_Y ${AFTER_WIDTH}x$AFTER_HEIGHT"
check "the window comes back at its place" \
  test "$AFTER_X,$AFTER_Y,$AFTER_WIDTH,$AFTER_HEIGHT" = "$BEFORE_X,$BEFORE_Y,$BEFORE_WIDTH,$BEFORE_HEIGHT"
# File > Recent files > 1 (Alt+F, F, 1).
xdotool windowactivate --sync "$main"
xdotool key alt+f
sleep 0.3
xdotool key f
sleep 0.3
xdotool key 1
check "File > Recent files > 1 loads pan.cmf again" test -n "$(wait_for_window '^Velkor - pan\.cmf$' 5)"

# --- Drag and drop: the sweep dragged from another program onto the log box.
"$DRAG_SOURCE" "$work/sweep.cmf" >"$work/drag.log" 2>&1 &
pids+=($!)
source_window=$(wait_for_window '^Drag source$' 10)
check "the drag source is up" test -n "$source_window"
if [ -n "$source_window" ]; then
  xdotool windowmove --sync "$source_window" 1500 100
  sleep 0.5
  geometry "$source_window" SRC
  geometry "$main" MAIN
  to_x=$((MAIN_X + 500)) to_y=$((MAIN_Y + MAIN_HEIGHT / 2))
  xdotool mousemove $((SRC_X + 100)) $((SRC_Y + 100)) mousedown 1
  sleep 0.3
  for step in $(seq 1 10); do
    xdotool mousemove $((SRC_X + 100 + (to_x - SRC_X - 100) * step / 10)) $((SRC_Y + 100 + (to_y - SRC_Y - 100) * step / 10))
    sleep 0.1
  done
  sleep 0.3
  xdotool mouseup 1
fi
check "a command file dropped on the window loads" test -n "$(wait_for_window '^Velkor - sweep\.cmf$' 10)"

# --- The sweep runs to its end with the window answering clicks: F1 opens
# the help window ("Command"), Enter closes it; each time is how long the
# window took to appear after the key.
saved_log() { ls "$work"/logs/*_Velkor_Log.txt 2>/dev/null | head -1; }
run_over() { local f; f=$(saved_log); [ -n "$f" ] && grep -q 'Total running time(Application)' "$f"; }
# ask_help: F1 in the main window, then the help window closed with Enter;
# adds how long it took to appear to $times, and counts $asked and $answered.
ask_help() {
  xdotool windowactivate --sync "$main" >/dev/null 2>&1
  asked=$((asked + 1))
  local t0 t1 help=""
  t0=$(ms)
  xdotool key F1
  for _ in $(seq 500); do
    help=$(xdotool search --onlyvisible --name '^Command$' 2>/dev/null | tail -1)
    [ -n "$help" ] && break
  done
  t1=$(ms)
  [ -n "$help" ] || return
  answered=$((answered + 1))
  times+=($((t1 - t0)))
  xdotool windowactivate --sync "$help" key Return >/dev/null 2>&1
  wait_until 5 test -z "$(xdotool search --onlyvisible --name '^Command$' 2>/dev/null)"
}
summary() {  # summary LABEL: the times of $times, sorted
  printf '%s\n' "${times[@]}" | sort -n |
    awk -v label="$1" '{a[NR]=$1} END {print "  " label ": " NR " times, median " a[int((NR+1)/2)] " ms, slowest " a[NR] " ms"}'
}
# The same before the run: what the X server, the window manager and
# xdotool take on this machine without a run.
times=() asked=0 answered=0
for _ in 1 2 3 4 5; do ask_help; sleep 0.3; done
echo "  idle, the help window came up after (ms): ${times[*]}"
summary "idle"
check "the idle window answered each of the $asked presses of F1" test "$answered" = "$asked"

times=() asked=0 answered=0
xdotool windowactivate --sync "$main"
xdotool key F5
start=$(ms)
while ! run_over && [ $(($(ms) - start)) -lt 600000 ]; do
  ask_help
  sleep 0.3
done
run_ms=$(($(ms) - start))
sent=$(grep -c '\[SEND\] http://127.0.0.1:[0-9]*/httpapi/SendPTZ?action=sendptz&PTZ_PRESETSET=[0-9]*&sweep=' "$(saved_log)" 2>/dev/null)
echo "  the sweep took ${run_ms} ms; the help window came up after (ms): ${times[*]}"
[ ${#times[@]} -gt 0 ] && summary "during the sweep"
check "the sweep ran to its end" run_over
check "the saved log holds its 5000 requests ($sent)" test "${sent:-0}" = 5000
check "the window answered each of the $asked presses of F1 during the run" test "$asked" -gt 0 -a "$answered" = "$asked"

exit $((failures > 0))
