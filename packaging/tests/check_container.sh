#!/usr/bin/env bash
# The container image of packaging/container, built from the project's .deb and
# used as the README's Kubernetes Job uses it: a fleet of four devices run as
# two shards, each in a container of its own, against velkor-devsim on this
# machine (127.0.0.1 and 127.0.1.x only, over the host's network), then the
# shards' reports merged in a third.
#   packaging/tests/check_container.sh BUILD SOURCE [DEB]
# BUILD: a build tree; its velkor-devsim plays the devices, and the image's
# storage is kept in BUILD/container (the base is made once there). DEB: the
# package to put in the image (or the variable VELKOR_DEB); without either,
# scripts/package.sh makes one in BUILD/container/deb-build. Exit 77
# (skipped, with the reason) where podman, runc or mmdebstrap is missing or
# cannot run.
set -euo pipefail
build=$(cd "$1" && pwd)
source=$(cd "$2" && pwd)
deb=${3:-${VELKOR_DEB:-}}
work="$build/container"
image=localhost/velkor-cli:test

fail() { echo "FAIL: $*" >&2; exit 1; }
skip() { echo "SKIP: $*" >&2; exit 77; }

# What can be known before the expensive steps.
[ "$(id -u)" -eq 0 ] || skip "podman runs rootful here and this is not root"
for tool in podman runc mmdebstrap; do
  command -v "$tool" >/dev/null || skip "$tool is missing (scripts/setup.sh --container installs it)"
done
devsim="$build/tools/devsim/velkor-devsim"
[ -x "$devsim" ] || fail "no velkor-devsim in $build"
eval "$("$source/packaging/container/build-image.sh" --env "$work")"
podman info >/dev/null 2>&1 || skip "podman does not run here: $(podman info 2>&1 | tail -n 2)"

if [ -z "$deb" ]; then
  command -v ccache >/dev/null && export CMAKE_CXX_COMPILER_LAUNCHER=ccache
  deb=$("$source/scripts/package.sh" "$work/deb-build" | tail -n 1) || fail "scripts/package.sh failed"
fi
status=0
"$source/packaging/container/build-image.sh" "$deb" "$work" "$image" >/dev/null || status=$?
[ "$status" -eq 77 ] && skip "the image cannot be built here (see above)"
[ "$status" -eq 0 ] || fail "the image was not built (exit $status)"

fleet=$(mktemp -d)
sim_pid=""
cleanup() {
  if [ -n "$sim_pid" ]; then kill "$sim_pid" 2>/dev/null || true; fi
  rm -rf "$fleet"
}
trap cleanup EXIT
"$devsim" --devices 4 --auth digest >"$fleet/sim.out" 2>"$fleet/sim.err" &
sim_pid=$!
for _ in $(seq 50); do
  [ "$(wc -l <"$fleet/sim.out")" -ge 4 ] && break
  sleep 0.1
done
port=$(sed -n '1s/^listening 127\.0\.1\.1:\([0-9]*\)$/\1/p' "$fleet/sim.out")
[ -n "$port" ] || fail "velkor-devsim did not start: $(cat "$fleet/sim.out" "$fleet/sim.err")"

# Each device moves by its own steps and checks where it is.
printf 'name,host,steps\ncam-1,127.0.1.1,3\ncam-2,127.0.1.2,5\ncam-3,127.0.1.3,7\ncam-4,127.0.1.4,11\n' >"$fleet/cams.csv"
printf 'http://{{host}}:%s/httpapi/SendPTZ?action=sendptz&PTZ_MOVE=right,{{steps}}&PTZ_GETPOSITION=0\n  Expect field pan == {{steps}}\n' \
  "$port" >"$fleet/ptz.cmf"
in_image() { podman run --rm --pull=never --network host -v "$fleet:/fleet" "$image" "$@"; }

limit=$(in_image sh -c 'ulimit -n')
[ "$limit" = 20000 ] || fail "open files in the container: $limit, not 20000"
for shard in 1 2; do
  code=0
  in_image velkor-cli run /fleet/ptz.cmf --devices /fleet/cams.csv --shard "$shard/2" --quiet \
    --json "/fleet/shard-$shard.json" >"$fleet/shard-$shard.out" 2>&1 || code=$?
  [ "$code" -eq 0 ] || fail "shard $shard/2 exited $code: $(cat "$fleet/shard-$shard.out")"
done
code=0
in_image velkor-cli merge /fleet/fleet.json /fleet/shard-1.json /fleet/shard-2.json >"$fleet/merge.out" 2>&1 || code=$?
[ "$code" -eq 0 ] || fail "the merge exited $code: $(cat "$fleet/merge.out")"

# The merged report: the whole list, each device's one request answered.
figures=$(python3 - "$fleet/fleet.json" <<'PY'
import json, sys
report = json.load(open(sys.argv[1]))
total = report["stats_total"]
print(report["verdict"], report["exit_code"], report["device_rows"], total["count"], total["ok"])
for device in report["devices"]:
    request = device["requests"][0]
    print(device["name"], device["verdict"], len(device["requests"]), request["host"], request["status"])
PY
)
expected="pass 0 4 4 4
cam-1 pass 1 127.0.1.1 200
cam-2 pass 1 127.0.1.2 200
cam-3 pass 1 127.0.1.3 200
cam-4 pass 1 127.0.1.4 200"
[ "$figures" = "$expected" ] || fail "merged report: $figures"$'\n'"wanted: $expected"

# And on this side: each simulated device moved once, by its own steps.
for row in 1:3 2:5 3:7 4:11; do
  position=$(curl -s --digest -u admin:4719 \
    "http://127.0.1.${row%:*}:$port/httpapi/SendPTZ?action=sendptz&PTZ_GETPOSITION=0" | tr -d '\r\n')
  [ "$position" = "pan=${row#*:} tilt=0 zoom=1" ] || fail "127.0.1.${row%:*} is at $position"
done
echo "container: $image ran a two-shard fleet against velkor-devsim on the host and merged it"
