#!/usr/bin/env bash
# A fleet against the wire: nginx on loopback answers every device (`return
# 200`), tcpdump captures the loopback traffic during each run, and
# bench/fleet_wire.py pairs each reported time_us (the run's JSON Lines) with
# its exchange on the wire. wrk -t2 -c1000 measures the same nginx alone.
#   bench/fleet_bench.sh [scenario ...]   (default: wrk paced idle full scale)
# Scenarios:
#   wrk    wrk -t2 -c1000 for 10 s against one device address
#   one    one device, While(P) of a request and Sleep(1000)
#   paced  N devices, While(P) of a request and Sleep(1000)
#   idle   N devices that sent one request, then only Sleep; then only a
#          CheckAlive wait on a closed port: the runner's CPU share in each,
#          and Ctrl+C to exit during the CheckAlive wait
#   full   N devices, While(P) of one request, back to back
#   scale  S devices (--jobs S), While(3) of a request and Sleep(10000), the
#          starts spread over 10 s; then the same fleet stopped with Ctrl+C
# Environment: FLEET_N (1000), FLEET_PASSES (20), FLEET_SCALE (10000),
# FLEET_RAMP (paced and full: --ramp-up, default none), VELKOR_BENCH_BUILD
# (build-release, relative to the repository's top; Release, only
# velkor-cli built). Needs nginx, wrk and tcpdump (scripts/setup.sh) and the
# right to capture on lo (root, or CAP_NET_RAW on tcpdump).
# Every device has an address of its own, 127.0.X.Y on one port, so that the
# capture tells the devices apart.
set -euo pipefail
cd "$(dirname "$0")/.."
top="$(pwd)"
scenarios=("$@")
[ ${#scenarios[@]} -eq 0 ] && scenarios=(wrk paced idle full scale)
devices="${FLEET_N:-1000}"
passes="${FLEET_PASSES:-20}"
scale="${FLEET_SCALE:-10000}"
ramp="${FLEET_RAMP:-}"
build="${VELKOR_BENCH_BUILD:-build-release}"
if [ ! -x "$build/src/cli/velkor-cli" ]; then
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
    cmake --build "$build" --target velkor-cli >/dev/null
fi
cli="$top/$build/src/cli/velkor-cli"
for tool in nginx wrk tcpdump; do
    command -v "$tool" >/dev/null || [ -x "/usr/sbin/$tool" ] || { echo "fleet_bench: $tool missing (scripts/setup.sh)" >&2; exit 1; }
done
nginx_bin="$(command -v nginx || echo /usr/sbin/nginx)"
tcpdump_bin="$(command -v tcpdump || echo /usr/sbin/tcpdump)"

ulimit -n "$(ulimit -Hn)" 2>/dev/null || true
ulimit -u unlimited 2>/dev/null || true
most=$devices
[[ " ${scenarios[*]} " == *" scale "* ]] && [ "$scale" -gt "$most" ] && most=$scale

work="$(mktemp -d)"
pids=()
cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    [ -f "$work/nginx.pid" ] && kill "$(cat "$work/nginx.pid")" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
# Stopped by a signal (timeout, Ctrl+C): still stop nginx and tcpdump.
trap 'exit 130' INT TERM HUP

port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
closed_port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
address() { echo "127.0.$((1 + $1 / 250)).$((1 + $1 % 250))"; }
addresses() {  # count: the first count device addresses, one a line
    awk -v n="$1" 'BEGIN { for (i = 0; i < n; i++) printf "127.0.%d.%d\n", 1 + int(i / 250), 1 + i % 250 }'
}
device_list() {  # count file
    { echo "name,host,port"; addresses "$1" | awk -v p="$port" '{ printf "dev-%d,%s,%s\n", NR, $0, p }'; } >"$2"
}

# nginx: its own prefix, configuration and logs in the temporary folder; a
# listening socket on every device's address, keep-alive for the whole run.
mkdir -p "$work/nginx/logs"
{
    echo "worker_processes 2; pid $work/nginx.pid; error_log $work/nginx/error.log warn;"
    echo "worker_rlimit_nofile 65536;"
    echo "events { worker_connections 30000; }"
    echo "http { access_log off; keepalive_requests 10000000; keepalive_timeout 600s;"
    echo "  client_body_temp_path $work/nginx/body; proxy_temp_path $work/nginx/proxy;"
    echo "  fastcgi_temp_path $work/nginx/fastcgi; uwsgi_temp_path $work/nginx/uwsgi; scgi_temp_path $work/nginx/scgi;"
    echo "  server {"
    addresses "$most" | sed "s/.*/    listen &:$port;/"
    echo "    location / { return 200 \"ok\\n\"; }"
    echo "  }"
    echo "}"
} >"$work/nginx.conf"
"$nginx_bin" -p "$work/nginx" -c "$work/nginx.conf" -e "$work/nginx/error.log"
for _ in $(seq 1 100); do
    curl -s -o /dev/null "http://$(address $((most - 1))):$port/" && break
    sleep 0.1
done
curl -sf -o /dev/null "http://$(address $((most - 1))):$port/" || { cat "$work/nginx/error.log" >&2; exit 1; }

capture_start() {
    "$tcpdump_bin" -i lo -n -s 96 -B 131072 -w "$work/cap.pcap" "tcp port $port" 2>"$work/tcpdump.err" &
    cap_pid=$!
    pids+=("$cap_pid")
    for _ in $(seq 1 50); do grep -q 'listening on' "$work/tcpdump.err" 2>/dev/null && break; sleep 0.1; done
}
capture_stop() {
    sleep 0.5
    kill -INT "$cap_pid"
    wait "$cap_pid" || true
    dropped=$(awk '/dropped by kernel/ {print $1}' "$work/tcpdump.err")
}

threads_of() {  # pid: the process's thread count now
    local k v
    while read -r k v _; do [ "$k" = Threads: ] && { echo "$v"; return; }; done <"/proc/$1/status" 2>/dev/null
    echo 0
}
cpu_ticks() {  # pid: user + system clock ticks so far
    awk '{print $14 + $15}' "/proc/$1/stat" 2>/dev/null || echo 0
}

# One fleet run, captured: label count script jobs [extra velkor-cli options].
measure() {
    local label="$1" count="$2" script="$3" run_jobs="$4"
    shift 4
    device_list "$count" "$work/devices.csv"
    rm -f "$work/run.jsonl"
    capture_start
    local start end pid="" threads=0 t
    start=$(date +%s%N)
    /usr/bin/time -v -o "$work/time.txt" "$cli" run "$script" --devices "$work/devices.csv" --jobs "$run_jobs" \
        --quiet --jsonl "$work/run.jsonl" "$@" >"$work/out.txt" 2>"$work/err.txt" &
    local time_pid=$!
    while kill -0 "$time_pid" 2>/dev/null; do
        [ -z "$pid" ] && pid=$(pgrep -P "$time_pid" || true)
        if [ -n "$pid" ]; then
            t=$(threads_of "$pid")
            [ "${t:-0}" -gt "$threads" ] && threads=$t
        fi
        sleep 0.2
    done
    wait "$time_pid" || true
    end=$(date +%s%N)
    capture_stop
    python3 "$top/bench/fleet_wire.py" "$work/cap.pcap" "$work/run.jsonl" "$work/devices.csv" >"$work/wire.json"
    python3 - "$work/wire.json" "$work/time.txt" "$label" "$(((end - start) / 1000000))" "$threads" "${dropped:-?}" <<'EOF'
import json, re, sys
w = json.load(open(sys.argv[1]))
timing = open(sys.argv[2]).read()
rss_kb = int(re.search(r"Maximum resident set size \(kbytes\): (\d+)", timing).group(1))
cpu_s = sum(float(re.search(p, timing).group(1)) for p in (r"User time \(seconds\): ([\d.]+)", r"System time \(seconds\): ([\d.]+)"))
exit_code = re.search(r"Exit status: (\d+)", timing).group(1)
wall_ms = int(sys.argv[4])
n = w["requests"]
e, wi, r = w["error_us"], w["wire_us"], w["reported_us"]
ms = lambda v: "-" if v is None else f"{v / 1000:.2f}"
print(f"{sys.argv[3]:<14} req {n:>6} paired {w['paired']:>6} unpaired {w['unpaired']} (pcap dropped {sys.argv[6]})"
      f"  wall {wall_ms / 1000:.1f} s  {n * 1000 / max(wall_ms, 1):.0f} req/s  exit {exit_code}")
print(f"{'':<14} error ms p50 {ms(e['p50'])} p99 {ms(e['p99'])} max {ms(e['max'])} (min {ms(e['min'])})"
      f" | wire p50 {ms(wi['p50'])} p99 {ms(wi['p99'])} | reported p50 {ms(r['p50'])} p99 {ms(r['p99'])}")
print(f"{'':<14} CPU {cpu_s:.2f} s = {cpu_s * 1e6 / max(n, 1):.0f} us/request  peak RSS {rss_kb / 1024:.1f} MiB"
      f"  threads {sys.argv[5]}", flush=True)
EOF
}

# The runner's CPU share between two instants of a run that only waits:
# label count script settle_s window_s; then Ctrl+C, timed to the exit.
idle_share() {
    local label="$1" count="$2" script="$3" settle="$4" window="$5"
    device_list "$count" "$work/devices.csv"
    "$cli" run "$script" --devices "$work/devices.csv" --jobs "$count" --quiet >/dev/null 2>&1 &
    local pid=$!
    pids+=("$pid")
    sleep "$settle"
    local t0 t1 hz start end
    hz=$(getconf CLK_TCK)
    t0=$(cpu_ticks "$pid")
    sleep "$window"
    t1=$(cpu_ticks "$pid")
    local threads
    threads=$(threads_of "$pid")
    start=$(date +%s%N)
    kill -INT "$pid"
    local waited=0
    while kill -0 "$pid" 2>/dev/null && [ $waited -lt 300 ]; do sleep 0.05; waited=$((waited + 1)); done
    end=$(date +%s%N)
    local stopped="Ctrl+C to exit $(((end - start) / 1000000)) ms"
    if kill -0 "$pid" 2>/dev/null; then
        stopped="no exit 15 s after Ctrl+C (then SIGTERM)"
        kill -TERM "$pid" 2>/dev/null || true
    fi
    wait "$pid" 2>/dev/null || true
    python3 -c "import sys; t=(int(sys.argv[2])-int(sys.argv[1]))/int(sys.argv[3]); print(f'{sys.argv[4]:<14} CPU {t:.2f} s in {sys.argv[5]} s = {100*t/float(sys.argv[5]):.1f} % of a core, threads {sys.argv[6]}, {sys.argv[7]}')" \
        "$t0" "$t1" "$hz" "$label" "$window" "$threads" "$stopped"
}

url='http://{{host}}:{{port}}/httpapi/SendPTZ?action=sendptz&PTZ_GETPOSITION=0'
printf 'While(%s)\n%s\nSleep(1000)\nEnd\n' "$passes" "$url" >"$work/paced.cmf"
printf 'While(%s)\n%s\nEnd\n' "$passes" "$url" >"$work/full.cmf"
printf '%s\nSleep(600000)\n' "$url" >"$work/sleep.cmf"
printf '%s\nCheckAlive({{host}}:%s)\n' "$url" "$closed_port" >"$work/alive.cmf"
printf 'While(3)\n%s\nSleep(10000)\nEnd\n' "$url" >"$work/scale.cmf"
printf 'While(1000000)\n%s\nSleep(10000)\nEnd\n' "$url" >"$work/scale-long.cmf"
ramp_args=()
[ -n "$ramp" ] && ramp_args=(--ramp-up "$ramp")

echo "fleet_bench: nginx on 127.0.X.Y:$port, devices $devices, passes $passes, scale $scale${ramp:+, ramp-up $ramp}; $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg)"
for scenario in "${scenarios[@]}"; do
    case "$scenario" in
    wrk)
        wrk -t2 -c1000 -d10s "http://$(address 0):$port/httpapi/SendPTZ?action=sendptz&PTZ_GETPOSITION=0" >"$work/wrk.txt" 2>&1 || true
        awk '/Requests\/sec/ {r=$2} /Latency/ && !l {l=$2" avg, stdev "$3", max "$4; } END {printf "%-14s %s req/s, latency %s\n", "wrk -c1000", r, l}' "$work/wrk.txt"
        ;;
    one) measure "one device" 1 "$work/paced.cmf" 1 ;;
    paced) measure "paced" "$devices" "$work/paced.cmf" "$devices" "${ramp_args[@]}" ;;
    full) measure "full speed" "$devices" "$work/full.cmf" "$devices" "${ramp_args[@]}" ;;
    idle)
        idle_share "idle Sleep" "$devices" "$work/sleep.cmf" 5 10
        idle_share "idle CheckAlive" "$devices" "$work/alive.cmf" 5 10
        ;;
    scale)
        measure "scale" "$scale" "$work/scale.cmf" "$scale" --ramp-up 10s
        idle_share "scale Ctrl+C" "$scale" "$work/scale-long.cmf" 15 5
        ;;
    *) echo "fleet_bench: no scenario '$scenario'" >&2; exit 2 ;;
    esac
done
