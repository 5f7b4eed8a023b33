#!/usr/bin/env bash
# CPU and memory of the program while it polls the instrument ten times a
# second, as a user runs it: corvane on a real X display (Xvfb), the window
# shown, connected to a simulated instrument that runs in its own process
# (corvane-sim), so the figures are the program's alone.
#
#   bench/cpu_poll.sh [SECONDS] [BUILD_DIR]        (default 60, build/)
#
# Beside corvane's figures, the same figures of the yardstick: a bare Qt
# Widgets window of the same size started the same way (bench/bare_window)
# whose one label changes its text ten times a second, as a read-out does at
# every record; the ratio says what the program costs beyond any window that
# shows a changing figure. The two run one after the other, each SECONDS.
#
# Needs xvfb and xdotool (apt-get install xvfb xdotool). Prints CPU seconds
# over the run (all threads, from /proc/PID/task/*/schedstat), CPU per second
# as a share of one core, the X server's CPU meanwhile, and RSS at start and end.
set -euo pipefail
seconds="${1:-60}"
build="${2:-$(cd "$(dirname "$0")/.." && pwd)/build}"
display=":$(( 90 + RANDOM % 9 ))"
Xvfb "$display" -screen 0 1024x700x24 >/dev/null 2>&1 &
xvfb=$!
sim_out="$(mktemp)"
"$build/sim/corvane-sim" --model "Corvane NanoTb" >"$sim_out" 2>/dev/null &
sim=$!
app=""
trap 'kill $app $sim $xvfb 2>/dev/null || true; rm -f "$sim_out"' EXIT
for _ in $(seq 50); do [ -s "$sim_out" ] && break; sleep 0.1; done
pty="$(head -1 "$sim_out")"
sleep 0.5

hz="$(getconf CLK_TCK)"
ticks() { awk '{print $14 + $15}' "/proc/${1:-$app}/stat"; }
# CPU time of all threads of a process in nanoseconds (the scheduler's count,
# finer than the clock ticks of /proc/PID/stat).
cpu_ns() { cat /proc/"${1:-$app}"/task/*/schedstat 2>/dev/null | awk '{n += $1} END {print n + 0}'; }
user_ticks() { awk '{print $14}' "/proc/$app/stat"; }
wakeups() { awk '/^voluntary_ctxt_switches/{print $2}' "/proc/$app/status"; }
rss() { awk '/VmRSS/{print $2}' "/proc/$app/status"; }

# Measures the process $app over $seconds; sets cpu, pct, per_cycle, kernel,
# wake, rss0, rss1, and xcpu (the X server's CPU over the same time: the
# drawing the program asks of it).
measure() {
    local t0 u0 w0 t1 u1 w1 x0 x1 n0 n1
    t0="$(ticks)"; u0="$(user_ticks)"; w0="$(wakeups)"; rss0="$(rss)"
    n0="$(cpu_ns)"; x0="$(cpu_ns "$xvfb")"
    sleep "$seconds"
    n1="$(cpu_ns)"; x1="$(cpu_ns "$xvfb")"
    t1="$(ticks)"; u1="$(user_ticks)"; w1="$(wakeups)"; rss1="$(rss)"
    xcpu="$(echo "scale=4; ($x1 - $x0) / 1000000000" | bc)"
    cpu="$(echo "scale=4; ($n1 - $n0) / 1000000000" | bc)"
    pct="$(echo "scale=3; 100 * $cpu / $seconds" | bc)"
    per_cycle="$(echo "scale=3; 1000 * $cpu / ($seconds * 10)" | bc)"
    # The kernel's share from the clock ticks (10 ms each).
    kernel="$(echo "scale=3; ($t1 - $t0 - $u1 + $u0) / $hz" | bc)"
    wake="$(echo "scale=1; ($w1 - $w0) / ($seconds * 10)" | bc)"
}

# The yardstick first: a bare window, one label set ten times a second.
DISPLAY="$display" "$build/bench/bare_window" --tick 100 >/dev/null 2>&1 &
app=$!
sleep 3
measure
b_cpu=$cpu b_pct=$pct b_cycle=$per_cycle b_kernel=$kernel b_wake=$wake b_rss0=$rss0 b_rss1=$rss1
b_xcpu=$xcpu
kill "$app"; wait "$app" 2>/dev/null || true

DISPLAY="$display" "$build/corvane" --port "$pty" >/dev/null 2>&1 &
app=$!
sleep 2
# Pick the instrument from the port list, as a user would.
DISPLAY="$display" xdotool mousemove 470 345 click 1
sleep 0.5
DISPLAY="$display" xdotool key Down Return
sleep 3
# Connected, the title names the instrument instead of "Corvane Nano".
title="$(DISPLAY="$display" xdotool search --all --pid "$app" --name . getwindowname %@ 2>/dev/null |
         grep -v '^Corvane Nano$' | head -1 || true)"
measure

echo "polling for ${seconds} s each: corvane at 10 records/s | bare window, one label set 10 times/s"
echo "corvane's window: ${title:-NOT CONNECTED (title still \"Corvane Nano\")}"
printf '%-36s %10.3f | %10.3f\n' "CPU seconds" "$cpu" "$b_cpu"
printf '%-36s %10.3f | %10.3f   x%s\n' "share of one core, %" "$pct" "$b_pct" \
    "$(echo "scale=2; $cpu / $b_cpu" | bc 2>/dev/null || echo '?')"
printf '%-36s %10.3f | %10.3f\n' "CPU per cycle (100 ms), ms" "$per_cycle" "$b_cycle"
printf '%-36s %10.3f | %10.3f\n' "of it in the kernel (clock ticks), s" "$kernel" "$b_kernel"
printf '%-36s %10.1f | %10.1f\n' "wake-ups per cycle (voluntary cs)" "$wake" "$b_wake"
printf '%-36s %10.3f | %10.3f\n' "X server (Xvfb) CPU seconds" "$xcpu" "$b_xcpu"
printf '%-36s %10s | %10s\n' "RSS at start, KiB" "$rss0" "$b_rss0"
printf '%-36s %10s | %10s\n' "RSS at the end, KiB" "$rss1" "$b_rss1"
