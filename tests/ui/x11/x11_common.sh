# Shared by the real-window tests: sourced, not run.
#   check DESCRIPTION COMMAND...   counts a failure in $failures
#   wait_for_window NAME-PATTERN [SECONDS]
#                                  prints the id of the visible window, waiting
#                                  for it up to SECONDS (5 by default)
#   geometry ID PREFIX             the window's place and size
#   wait_until SECONDS COMMAND...  polls COMMAND until it succeeds (a busy
#                                  machine frames and moves windows late)
failures=0
check() {
  if "${@:2}"; then echo "ok: $1"; else echo "FAIL: $1"; failures=$((failures + 1)); fi
}
wait_for_window() {
  local id=""
  for _ in $(seq $((${2:-5} * 10))); do
    id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | tail -1)
    [ -n "$id" ] && break
    sleep 0.1
  done
  echo "$id"
}
# geometry ID PREFIX: sets PREFIX_X, _Y, _WIDTH, _HEIGHT to the window's own
# area (its frame not counted) on the screen. xwininfo gives where it is;
# xdotool counts the frame's top-left corner in once more.
geometry() {
  local info
  if command -v xwininfo >/dev/null && info=$(xwininfo -id "$1" 2>/dev/null); then
    eval "$2_X=$(sed -n 's/.*Absolute upper-left X: *//p' <<<"$info")"
    eval "$2_Y=$(sed -n 's/.*Absolute upper-left Y: *//p' <<<"$info")"
    eval "$2_WIDTH=$(sed -n 's/^ *Width: *//p' <<<"$info")"
    eval "$2_HEIGHT=$(sed -n 's/^ *Height: *//p' <<<"$info")"
  else
    eval "$(xdotool getwindowgeometry --shell "$1" | sed "s/^/$2_/")"
  fi
}
wait_until() {
  local tries=$(($1 * 10))
  shift
  for _ in $(seq "$tries"); do "$@" && return 0; sleep 0.1; done
  return 1
}
