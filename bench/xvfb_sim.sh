# Sourced by the polling benchmarks: starts Xvfb on a free-looking display and
# a simulated NanoTb in a process of its own, sets $display and $pty, and
# stops both (and $app, once the caller sets it) when the script exits.
# Needs $build.
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
