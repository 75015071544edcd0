#!/usr/bin/env bash
# A run over many devices on loopback: velkor-devsim --devices N (127.0.1.1,
# 127.0.1.2, ... on one port) and velkor-cli run --devices with a While(P) of
# one request per device, all at once:
#   bench/fleet_bench.sh [N devices, default 1000] [P passes, default 20] [jobs, default N]
# Prints, for one device alone and for the fleet: requests/s, p50 and p99 of
# the response time, the wall time, the peak RSS and the CPU time of the
# runner (/usr/bin/time -v), the most threads the process had, and the time from SIGINT to exit of a fleet run
# stopped midway. The build directory is build-release (Release, only the two
# programs built), or VELKOR_BENCH_BUILD when set (relative to the
# repository's top).
set -euo pipefail
cd "$(dirname "$0")/.."
devices="${1:-1000}"
passes="${2:-20}"
jobs="${3:-$devices}"
build="${VELKOR_BENCH_BUILD:-build-release}"
if [ ! -x "$build/src/cli/velkor-cli" ] || [ ! -x "$build/tools/devsim/velkor-devsim" ]; then
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
    cmake --build "$build" --target velkor-cli velkor-devsim >/dev/null
fi
cli="$build/src/cli/velkor-cli"
devsim="$build/tools/devsim/velkor-devsim"

# A connection per device in the runner and in the simulator, and more.
ulimit -n "$(ulimit -Hn)" 2>/dev/null || true
need=$((devices * 4 + 64))
if [ "$(ulimit -n)" != unlimited ] && [ "$(ulimit -n)" -lt "$need" ]; then
    echo "fleet_bench: open files limited to $(ulimit -n), $need wanted" >&2
fi

work="$(mktemp -d)"
sim_pid=""
cleanup() {
    [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

"$devsim" --devices "$devices" --port 0 >"$work/sim.out" 2>"$work/sim.err" &
sim_pid=$!
for _ in $(seq 1 200); do
    [ "$(grep -c '^listening ' "$work/sim.out" 2>/dev/null || true)" -ge "$devices" ] && break
    sleep 0.05
done
[ "$(grep -c '^listening ' "$work/sim.out")" -ge "$devices" ] || { cat "$work/sim.err" >&2; exit 1; }

echo "name,host,port" >"$work/devices.csv"
n=0
while read -r _ address; do
    n=$((n + 1))
    echo "dev-$n,${address%:*},${address##*:}" >>"$work/devices.csv"
done < <(grep '^listening ' "$work/sim.out")
head -2 "$work/devices.csv" >"$work/one.csv"
printf 'While(%s)\nhttp://{{host}}:{{port}}/httpapi/SendPTZ?action=sendptz&PTZ_GETPOSITION=0\nEnd\n' "$passes" \
    >"$work/fleet.cmf"
printf 'While(1000000)\nhttp://{{host}}:{{port}}/httpapi/SendPTZ?action=sendptz&PTZ_GETPOSITION=0\nEnd\n' \
    >"$work/long.cmf"

# One run: wall time, peak RSS, most threads; the figures from its JSON report.
measure() {  # label list jobs
    local label="$1" list="$2" run_jobs="$3"
    local start end pid threads=0 t
    start=$(date +%s%N)
    /usr/bin/time -v -o "$work/time.txt" "$cli" run "$work/fleet.cmf" --devices "$list" --jobs "$run_jobs" \
        --quiet --json "$work/report.json" >"$work/out.txt" 2>"$work/err.txt" &
    local time_pid=$!
    while kill -0 "$time_pid" 2>/dev/null; do
        pid=$(pgrep -P "$time_pid" || true)
        if [ -n "$pid" ] && [ -r "/proc/$pid/status" ]; then
            t=$(awk '/^Threads:/ {print $2}' "/proc/$pid/status" 2>/dev/null || echo 0)
            [ "${t:-0}" -gt "$threads" ] && threads=$t
        fi
        sleep 0.02
    done
    wait "$time_pid" || true
    end=$(date +%s%N)
    python3 - "$work/report.json" "$work/time.txt" "$label" "$(((end - start) / 1000000))" "$threads" <<'EOF'
import json, re, sys
report = json.load(open(sys.argv[1]))
timing = open(sys.argv[2]).read()
rss_kb = int(re.search(r"Maximum resident set size \(kbytes\): (\d+)", timing).group(1))
cpu_s = sum(float(re.search(p, timing).group(1)) for p in (r"User time \(seconds\): ([\d.]+)", r"System time \(seconds\): ([\d.]+)"))
total = report["stats_total"]
wall_ms = int(sys.argv[4])
print(f"{sys.argv[3]:<22} {total['count']:>8} {total['ok']:>8} {wall_ms:>8} {total['count'] * 1000 / wall_ms:>10.0f}"
      f" {total['median_ms']!s:>5} {total['p99_ms']!s:>5} {rss_kb / 1024:>8.1f} {sys.argv[5]:>8} {cpu_s:>6.2f}  exit {report['exit_code']}")
EOF
}

echo "devices $devices, passes $passes, jobs $jobs"
echo "run                    requests       ok  wall ms  requests/s   p50   p99  RSS MiB  threads  CPU s"
measure "one device" "$work/one.csv" 1
measure "$devices devices" "$work/devices.csv" "$jobs"

# SIGINT midway: every device stops at its next End.
"$cli" run "$work/long.cmf" --devices "$work/devices.csv" --jobs "$jobs" --quiet >/dev/null 2>&1 &
cli_pid=$!
sleep 3
start=$(date +%s%N)
kill -INT "$cli_pid"
wait "$cli_pid" || true
end=$(date +%s%N)
echo "SIGINT to exit, $devices devices running: $(((end - start) / 1000000)) ms"
