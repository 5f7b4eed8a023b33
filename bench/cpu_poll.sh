#!/usr/bin/env bash
# CPU and memory of the program while it polls the instrument ten times a
# second, as a user runs it: corvane on a real X display (Xvfb), the window
# shown, connected to a simulated instrument that runs in its own process
# (corvane-sim), so the figures are the program's alone.
#
#   bench/cpu_poll.sh [SECONDS] [BUILD_DIR]        (default 60, build/)
#
# Needs xvfb and xdotool (apt-get install xvfb xdotool). Prints CPU seconds
# over the run, CPU per second as a share of one core, and RSS at start and end.
set -euo pipefail
seconds="${1:-60}"
build="${2:-$(cd "$(dirname "$0")/.." && pwd)/build}"
display=":$(( 90 + RANDOM % 9 ))"
Xvfb "$display" -screen 0 1024x700x24 >/dev/null 2>&1 &
xvfb=$!
sim_out="$(mktemp)"
"$build/sim/corvane-sim" --model "Corvane NanoTb" >"$sim_out" 2>/dev/null &
sim=$!
trap 'kill $app $sim $xvfb 2>/dev/null || true; rm -f "$sim_out"' EXIT
for _ in $(seq 50); do [ -s "$sim_out" ] && break; sleep 0.1; done
pty="$(head -1 "$sim_out")"
sleep 0.5
DISPLAY="$display" "$build/corvane" --port "$pty" >/dev/null 2>&1 &
app=$!
sleep 2
# Pick the instrument from the port list, as a user would.
DISPLAY="$display" xdotool mousemove 470 345 click 1
sleep 0.5
DISPLAY="$display" xdotool key Down Return
sleep 3
ticks() { awk '{print $14 + $15}' "/proc/$app/stat"; }
user_ticks() { awk '{print $14}' "/proc/$app/stat"; }
wakeups() { awk '/^voluntary_ctxt_switches/{print $2}' "/proc/$app/status"; }
rss() { awk '/VmRSS/{print $2}' "/proc/$app/status"; }
hz="$(getconf CLK_TCK)"
t0="$(ticks)"; u0="$(user_ticks)"; w0="$(wakeups)"; rss0="$(rss)"
sleep "$seconds"
t1="$(ticks)"; u1="$(user_ticks)"; w1="$(wakeups)"; rss1="$(rss)"
cpu="$(echo "scale=3; ($t1 - $t0) / $hz" | bc)"
echo "corvane polling for ${seconds} s: ${cpu} s CPU = $(echo "scale=3; 100 * $cpu / $seconds" | bc) % of a core," \
     "$(echo "scale=3; 1000 * $cpu / ($seconds * 10)" | bc) ms per cycle"
echo "of it in the kernel: $(echo "scale=3; ($t1 - $t0 - $u1 + $u0) / $hz" | bc) s;" \
     "wake-ups (voluntary context switches): $(( (w1 - w0) / (seconds * 10) )) per cycle"
echo "RSS: ${rss0} KiB at start, ${rss1} KiB at the end"
