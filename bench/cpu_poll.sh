#!/usr/bin/env bash
# CPU and memory of the program while it polls the instrument ten times a
# second, as a user runs it: corvane on a real X display (Xvfb), the window
# shown, connected to a simulated instrument that runs in its own process
# (corvane-sim), so the figures are the program's alone.
#
#   bench/cpu_poll.sh [SECONDS] [BUILD_DIR] [RUNS]      (default 60, build/, 1)
#
# Beside corvane's figures, the same figures of the yardstick: a bare Qt
# Widgets window of the same size started the same way (bench/bare_window)
# whose one label changes its text ten times a second, as a read-out does at
# every record; the ratio says what the program costs beyond any window that
# shows a changing figure. Each run measures the two one after the other,
# SECONDS each; with several runs the summary gives min and median.
# CPU_POLL_UNMAPPED=1 adds a third phase per run: corvane polling with its
# window unmapped (nothing is painted), the cost of the cycle alone.
#
# Needs xvfb and xdotool (apt-get install xvfb xdotool). Prints CPU seconds
# over the run (all threads, from /proc/PID/task/*/schedstat), CPU per second
# as a share of one core, the X server's CPU meanwhile, and RSS at start and end.
set -euo pipefail
seconds="${1:-60}"
build="${2:-$(cd "$(dirname "$0")/.." && pwd)/build}"
runs="${3:-1}"
source "$(dirname "$0")/xvfb_sim.sh"

hz="$(getconf CLK_TCK)"
ticks() { awk '{print $14 + $15}' "/proc/$app/stat"; }
user_ticks() { awk '{print $14}' "/proc/$app/stat"; }
# CPU time of all threads of a process in nanoseconds (the scheduler's count,
# finer than the clock ticks of /proc/PID/stat).
cpu_ns() { cat /proc/"${1:-$app}"/task/*/schedstat 2>/dev/null | awk '{n += $1} END {print n + 0}'; }
wakeups() { awk '/^voluntary_ctxt_switches/{print $2}' "/proc/$app/status"; }
rss() { awk '/VmRSS/{print $2}' "/proc/$app/status"; }

# Measures the process $app over $seconds; prints "PCT KERNEL WAKE XPCT RSS0
# RSS1": CPU as a share of one core, of it in the kernel (from the clock
# ticks, 10 ms each), wake-ups (voluntary context switches) per 100 ms, the X
# server's CPU meanwhile as a share of one core (the drawing the program asks
# of it), RSS in KiB at the start and the end.
measure() {
    local t0 u0 w0 t1 u1 w1 x0 x1 n0 n1 r0 r1
    t0="$(ticks)"; u0="$(user_ticks)"; w0="$(wakeups)"; r0="$(rss)"
    n0="$(cpu_ns)"; x0="$(cpu_ns "$xvfb")"
    sleep "$seconds"
    n1="$(cpu_ns)"; x1="$(cpu_ns "$xvfb")"
    t1="$(ticks)"; u1="$(user_ticks)"; w1="$(wakeups)"; r1="$(rss)"
    echo "$(echo "scale=4; 100 * ($n1 - $n0) / ($seconds * 1000000000)" | bc)" \
         "$(echo "scale=4; 100 * ($t1 - $t0 - $u1 + $u0) / ($hz * $seconds)" | bc)" \
         "$(echo "scale=2; ($w1 - $w0) / ($seconds * 10)" | bc)" \
         "$(echo "scale=4; 100 * ($x1 - $x0) / ($seconds * 1000000000)" | bc)" "$r0" "$r1"
}

stop() { kill "$app" 2>/dev/null || true; wait "$app" 2>/dev/null || true; app=""; }

bare=() corv=() unmapped=() title=""
for run in $(seq "$runs"); do
    # The yardstick: a bare window, one label set ten times a second.
    DISPLAY="$display" "$build/bench/bare_window" --tick 100 >/dev/null 2>&1 &
    app=$!
    sleep 3
    bare+=("$(measure)")
    stop

    DISPLAY="$display" "$build/corvane" --port "$pty" >/dev/null 2>&1 &
    app=$!
    sleep 2
    # Pick the instrument from the port list, as a user would.
    DISPLAY="$display" xdotool mousemove 470 345 click 1
    sleep 0.5
    DISPLAY="$display" xdotool key Down Return
    sleep 3
    # Connected, the title names the instrument instead of "Corvane Nano".
    title="$(DISPLAY="$display" xdotool search --all --pid "$app" --name . getwindowname %@ \
             2>/dev/null | grep -v '^Corvane Nano$' | head -1 || true)"
    corv+=("$(measure)")
    if [ "${CPU_POLL_UNMAPPED:-0}" = 1 ]; then
        DISPLAY="$display" xdotool search --all --pid "$app" --name . windowunmap %@ 2>/dev/null
        sleep 1
        unmapped+=("$(measure)")
    fi
    stop
    line="run $run: corvane ${corv[-1]%% *} % | bare ${bare[-1]%% *} %"
    [ ${#unmapped[@]} -gt 0 ] && line+=" | corvane unmapped ${unmapped[-1]%% *} %"
    echo "$line"
done

# column N of the measurements given -> "min median"
minmed() {
    local n="$1"; shift
    printf '%s\n' "$@" | awk -v n="$n" '{print $n}' | sort -g |
        awk '{v[NR] = $1} END {printf "%.3f %.3f", v[1], v[int((NR + 1) / 2)]}'
}
row() { # label column format
    local c b u
    read -r -a c <<<"$(minmed "$2" "${corv[@]}")"
    read -r -a b <<<"$(minmed "$2" "${bare[@]}")"
    printf "%-34s $3 / $3 | $3 / $3" "$1" "${c[0]}" "${c[1]}" "${b[0]}" "${b[1]}"
    if [ ${#unmapped[@]} -gt 0 ]; then
        read -r -a u <<<"$(minmed "$2" "${unmapped[@]}")"
        printf " | $3 / $3" "${u[0]}" "${u[1]}"
    fi
    echo
}
echo
phases="corvane at 10 records/s | the bare window, one label set 10 times/s"
[ ${#unmapped[@]} -gt 0 ] && phases+=" | corvane, window unmapped"
echo "polling for ${seconds} s, $runs run(s): min / median of $phases"
echo "corvane's window: ${title:-NOT CONNECTED (title still \"Corvane Nano\")}"
row "CPU, share of one core, %" 1 "%6.3f"
read -r -a c <<<"$(minmed 1 "${corv[@]}")"
read -r -a b <<<"$(minmed 1 "${bare[@]}")"
echo "  ratio of the medians: x$(echo "scale=2; ${c[1]} / ${b[1]}" | bc);" \
     "CPU per record (ms) = share of one core in %"
row "of it in the kernel, %" 2 "%6.3f"
row "wake-ups per 100 ms" 3 "%6.2f"
row "X server (Xvfb) CPU, %" 4 "%6.3f"
row "RSS at the start, KiB" 5 "%6.0f"
row "RSS at the end, KiB" 6 "%6.0f"
