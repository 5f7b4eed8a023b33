#!/usr/bin/env bash
# Start-up time as a user sees it: from exec of corvane to the moment the X
# server maps its main window (the MapNotify of the window titled "Corvane
# Nano", not the splash), on a real X display (Xvfb), with 0, 1 and 3
# simulated instruments and with one instrument beside a port that never
# answers. Prints min and median of RUNS runs for each, beside the same
# figures of a bare Qt Widgets window of the same size started the same way
# (bench/bare_window, the yardstick: what any Qt program's first window
# costs on this machine), and the ratio of the medians. The two programs
# are started in turn, run by run, so that load on a shared machine hits both.
#
#   bench/startup.sh [BUILD_DIR] [RUNS]          (default build/, 10)
#
# CORVANE_STARTUP_TRACE=1 in the environment makes corvane print where its
# start-up goes (see bench/README.md); the script itself discards the output.
#
# Needs xvfb and x11-utils (xev, xprop); uses corvane-sim from the build.
set -euo pipefail
build="${1:-$(cd "$(dirname "$0")/.." && pwd)/build}"
runs="${2:-10}"
display=":$(( 90 + RANDOM % 9 ))"
export DISPLAY="$display"
Xvfb "$display" -screen 0 1024x700x24 >/dev/null 2>&1 &
xvfb=$!
# start_sim runs in a command substitution (a subshell), so the simulators'
# process ids are kept in a file for the clean-up.
sim_pids="$(mktemp)"
cleanup() { kill $(cat "$sim_pids") "$xvfb" 2>/dev/null || true; rm -f "$sim_pids"; }
trap cleanup EXIT
sleep 1

now() { perl -MTime::HiRes=time -e 'printf "%.6f\n", time'; }
start_sim() { # model [fault] -> prints the pty path
    local out; out="$(mktemp)"
    "$build/sim/corvane-sim" --model "$1" ${2:+--fault "$2"} >"$out" 2>/dev/null &
    echo $! >>"$sim_pids"
    for _ in $(seq 50); do [ -s "$out" ] && break; sleep 0.1; done
    head -1 "$out"; rm -f "$out"
}

# One start: TITLE PROGRAM [ARGS...]; prints milliseconds from exec to the
# MapNotify of the window titled TITLE.
one_start() {
    local title="$1"; shift
    local events; events="$(mktemp)"
    perl -MTime::HiRes=time -e '$|=1; open(my $x, "-|", "xev", "-root", "-event", "substructure") or die;
        while (<$x>) { printf "%.6f %s", time, $_ }' >"$events" &
    local watcher=$!
    sleep 0.3
    local t0; t0="$(now)"
    "$@" >/dev/null 2>&1 &
    local app=$!
    local ms=""
    for _ in $(seq 100); do
        sleep 0.05
        while read -r t win; do
            if xprop -id "$win" WM_NAME 2>/dev/null | grep -qF "\"$title\""; then
                ms="$(echo "($t - $t0) * 1000" | bc -l)"
                break
            fi
        done < <(awk '/MapNotify/{getline; for(i=1;i<=NF;i++) if($i=="window"){w=$(i+1); sub(",","",w); print $1, w}}' "$events")
        [ -n "$ms" ] && break
    done
    kill "$app" "$watcher" 2>/dev/null || true
    wait "$app" 2>/dev/null || true
    pkill -P "$watcher" xev 2>/dev/null || true
    rm -f "$events"
    printf '%.0f\n' "${ms:-99999}"
}

minmed() { # times... -> "min median"
    local sorted=($(printf '%s\n' "$@" | sort -n))
    echo "${sorted[0]} ${sorted[$(( (${#sorted[@]} - 1) / 2 ))]}"
}

report() { # label, then the arguments of corvane
    local label="$1"; shift
    local times=() bare=()
    for _ in $(seq "$runs"); do
        bare+=("$(one_start "Bare window" "$build/bench/bare_window")")
        times+=("$(one_start "Corvane Nano" "$build/corvane" "$@")")
    done
    local c b
    read -r -a c <<<"$(minmed "${times[@]}")"
    read -r -a b <<<"$(minmed "${bare[@]}")"
    printf '%-34s corvane min %4d median %4d ms | bare min %4d median %4d ms | x%s\n' \
        "$label" "${c[0]}" "${c[1]}" "${b[0]}" "${b[1]}" "$(echo "scale=2; ${c[1]} / ${b[1]}" | bc)"
    printf '%-34s   corvane: %s\n%-34s   bare:    %s\n' "" "${times[*]}" "" "${bare[*]}"
}

echo "start-up, exec to main window mapped, $runs runs each ($build)"
export QT_LOGGING_RULES="corvane.*.info=false"
report "no instrument"
p1="$(start_sim "Corvane NanoTb")"
report "one instrument" --port "$p1"
silent="$(start_sim "Corvane Nano" no-reply)"
report "one instrument, one silent port" --port "$p1" --port "$silent"
p2="$(start_sim "Corvane Tera")"
p3="$(start_sim "Corvane Nano Span")"
report "three instruments" --port "$p1" --port "$p2" --port "$p3"
