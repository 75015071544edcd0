#!/usr/bin/env bash
# The main job: builds Velkor (the window, velkor-cli and the simulated device),
# starts the simulated device on a free loopback port, runs the example script
# against it with velkor-cli, prints the log, then runs the check examples
# (examples/ptz-check.cmf, examples/reboot-check.cmf) on a right device, where
# they pass, and on a wrong one, where they fail with exit code 7, and tells how
# to open the window with the example loaded.
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build build --target velkor velkor-cli velkor-devsim >/dev/null

work=$(mktemp -d)
devsim_pid=""
stop_devsim() {
  if [ -n "$devsim_pid" ]; then
    kill "$devsim_pid" 2>/dev/null || true
    wait "$devsim_pid" 2>/dev/null || true
    devsim_pid=""
  fi
}
cleanup() {
  stop_devsim
  rm -rf "$work"
}
trap cleanup EXIT

# Starts the simulated device with the options given, on a free port: $port.
start_devsim() {
  stop_devsim
  : >"$work/devsim.out"
  ./build/tools/devsim/velkor-devsim --port 0 "$@" >"$work/devsim.out" 2>&1 &
  devsim_pid=$!
  for _ in $(seq 50); do
    grep -q '^listening ' "$work/devsim.out" 2>/dev/null && break
    sleep 0.1
  done
  port=$(sed -n 's/^listening 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$work/devsim.out")
  [ -n "$port" ] || { echo "demo: the simulated device did not start" >&2; cat "$work/devsim.out" >&2; exit 1; }
}

# The examples address port 8080; a copy points at the device's port.
copy_example() {
  sed "s/127\.0\.0\.1:8080/127.0.0.1:$port/g" "examples/$1" >"$work/$1"
}

start_devsim --auth digest --reboot-seconds 2
echo "demo: simulated device (digest auth) on 127.0.0.1:$port"
copy_example demo.cmf
set +e
./build/src/cli/velkor-cli run "$work/demo.cmf" --id admin --password 4719 --log-dir "$work"
status=$?
set -e
echo "demo: velkor-cli exited with $status; the auto-saved log had $(cat "$work"/*_Velkor_Log.txt | wc -l) lines"

# The check examples, each against a device of its own: the run's log with
# its [CHECK] lines and verdict, and its exit code against the one expected.
# A wrong exit code fails the demo.
checks_ok=1
run_check() {  # run_check WHAT EXPECTED FILE [DEVSIM OPTION ...]
  local what=$1 expected=$2 file=$3
  shift 3
  echo
  echo "demo: $what (expect exit $expected)"
  start_devsim "$@"
  copy_example "$file"
  # A reboot slower than its budget: the copy's budget is cut to 1 s, so
  # that the demo need not wait a minute for a slow device.
  [ -n "${budget:-}" ] && sed -i "s/downtime < 60s/downtime < $budget/" "$work/$file"
  set +e
  ./build/src/cli/velkor-cli run "$work/$file"
  local got=$?
  set -e
  echo "demo: velkor-cli exited with $got"
  [ "$got" -eq "$expected" ] || { echo "demo: expected exit $expected, got $got" >&2; checks_ok=0; }
}

run_check "ptz-check.cmf: the head moves, the position read back is checked" 0 ptz-check.cmf
run_check "ptz-check.cmf on a head that misses by 12 steps (--pan-error 12)" 7 ptz-check.cmf --pan-error 12
run_check "reboot-check.cmf: a 2 s reboot within the 60 s budget" 0 reboot-check.cmf --reboot-seconds 2
budget=1s run_check "reboot-check.cmf with the budget cut to 1 s, on a 3 s reboot (--reboot-seconds 3)" 7 \
  reboot-check.cmf --reboot-seconds 3
stop_devsim

cat <<'EOF'

demo: to open the window with the example loaded, start the simulated device on the
      example's port, then Velkor, and press "Send":
  ./build/tools/devsim/velkor-devsim --port 8080 --auth digest &
  ./build/src/app/velkor examples/demo.cmf
EOF
[ "$checks_ok" -eq 1 ] || exit 1
exit $status
