# Shared by the real-window tests: sourced, not run.
#   check DESCRIPTION COMMAND...   counts a failure in $failures
#   wait_for_window NAME-PATTERN   prints the id of the visible window
failures=0
check() {
  if "${@:2}"; then echo "ok: $1"; else echo "FAIL: $1"; failures=$((failures + 1)); fi
}
wait_for_window() {
  local id=""
  for _ in $(seq 50); do
    id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | tail -1)
    [ -n "$id" ] && break
    sleep 0.1
  done
  echo "$id"
}
