#!/usr/bin/env bash
# CPU and memory of the headless program while it polls one instrument ten
# times a second: corvane-headless connected to a simulated instrument running
# in a process of its own (corvane-sim), beside the yardstick bench/bare_loop,
# an event loop that only wakes up as often (30 times a second: the poll
# timer, the port becoming writable, the reply). The two run at the same time,
# so both see the same load on the machine.
#
#   bench/headless_cpu.sh [SECONDS] [BUILD_DIR] [RUNS]   (default 60, build/, 3)
#
# CPU is the scheduler's count over all threads (/proc/PID/task/*/schedstat)
# as a share of one core; RSS from /proc/PID/status at the end.
set -euo pipefail
seconds="${1:-60}"
build="${2:-$(cd "$(dirname "$0")/.." && pwd)/build}"
runs="${3:-3}"
pids=()
cleanup() { kill "${pids[@]}" 2>/dev/null || true; }
trap cleanup EXIT

cpu_ns() { cat /proc/"$1"/task/*/schedstat 2>/dev/null | awk '{n += $1} END {print n + 0}'; }
pct() { echo "scale=3; 100 * ($2 - $1) / ($seconds * 1000000000)" | bc; }

for run in $(seq "$runs"); do
    out="$(mktemp)"
    "$build/sim/corvane-sim" --model "Corvane NanoTb" --seed "$run" >"$out" 2>/dev/null &
    sim=$!; pids+=("$sim")
    for _ in $(seq 50); do [ -s "$out" ] && break; sleep 0.1; done
    port="$(head -1 "$out")"; rm -f "$out"
    "$build/corvane-headless" --headless --port "$port" >/dev/null 2>&1 &
    app=$!; pids+=("$app")
    "$build/bench/bare_loop" --wakeups 30 &
    bare=$!; pids+=("$bare")
    sleep 3  # connected and polling
    a0="$(cpu_ns "$app")"; b0="$(cpu_ns "$bare")"
    sleep "$seconds"
    a1="$(cpu_ns "$app")"; b1="$(cpu_ns "$bare")"
    rss="$(awk '/VmRSS/{print $2}' "/proc/$app/status")"
    echo "run $run: corvane-headless $(pct "$a0" "$a1") % of a core, RSS $rss KiB;" \
         "bare_loop (30 wake-ups/s) $(pct "$b0" "$b1") %"
    kill "$app" "$bare" "$sim"; wait "$app" "$bare" "$sim" 2>/dev/null || true
    pids=()
done
