#!/usr/bin/env bash
# The main job: builds Velkor (the window, velkor-cli and the simulated device),
# starts the simulated device on a free loopback port, runs the example script
# against it with velkor-cli, prints the log, and tells how to open the window
# with the example loaded.
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build build --target velkor velkor-cli velkor-devsim >/dev/null

work=$(mktemp -d)
devsim_pid=""
cleanup() {
  [ -n "$devsim_pid" ] && kill "$devsim_pid" 2>/dev/null && wait "$devsim_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

./build/tools/devsim/velkor-devsim --port 0 --auth digest --reboot-seconds 2 >"$work/devsim.out" 2>&1 &
devsim_pid=$!
for _ in $(seq 50); do
  grep -q '^listening ' "$work/devsim.out" 2>/dev/null && break
  sleep 0.1
done
port=$(sed -n 's/^listening 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$work/devsim.out")
[ -n "$port" ] || { echo "demo: the simulated device did not start" >&2; cat "$work/devsim.out" >&2; exit 1; }
echo "demo: simulated device (digest auth) on 127.0.0.1:$port"

# The example addresses port 8080; point it at the device's port.
sed "s/127\.0\.0\.1:8080/127.0.0.1:$port/g" examples/demo.cmf >"$work/demo.cmf"
set +e
./build/src/cli/velkor-cli run "$work/demo.cmf" --id admin --password 4719 --log-dir "$work"
status=$?
set -e
echo "demo: velkor-cli exited with $status; the auto-saved log had $(cat "$work"/*_Velkor_Log.txt | wc -l) lines"
cat <<'EOF'
demo: to open the window with the example loaded, start the simulated device on the
      example's port, then Velkor, and press "Send":
  ./build/tools/devsim/velkor-devsim --port 8080 --auth digest &
  ./build/src/app/velkor examples/demo.cmf
EOF
exit $status
