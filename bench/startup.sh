#!/usr/bin/env bash
# Start-up time as a user sees it: from exec of corvane to the moment the X
# server maps its main window (the MapNotify of the window titled "Corvane
# Nano", not the splash), on a real X display (Xvfb), with 0, 1 and 3
# simulated instruments and with one instrument beside a port that never
# answers. Prints min and median of RUNS runs for each, beside the same
# figures of a bare Qt Widgets window of the same size started the same way
# (bench/bare_window, the yardstick: what any Qt program's first window
# costs on this machine), and the ratio of the medians; and beside the bare
# window with one text field (--field), which sets up the fonts before it is
# mapped, as any window with a text field does (the bare window does so at
# its first paint, after the map). The programs are started in turn, run by
# run, so that load on a shared machine hits all of them.
#
#   bench/startup.sh [BUILD_DIR] [RUNS]          (default build/, 10)
#
# "Painted" is the end of the window's first paint, from the start-up marks
# both programs print with CORVANE_STARTUP_TRACE (src/widgets/startmarks.h;
# bench/startup_marks.sh shows them all).
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

# One start: TITLE PROGRAM [ARGS...]; prints "MAPPED PAINTED": milliseconds
# from exec to the MapNotify of the window titled TITLE, and to the end of its
# first paint as the program's start-up marks tell it (-1 for a program that
# prints none, such as an earlier revision).
one_start() {
    local title="$1"; shift
    local events marks; events="$(mktemp)"; marks="$(mktemp)"
    perl -MTime::HiRes=time -e '$|=1; open(my $x, "-|", "xev", "-root", "-event", "substructure") or die;
        while (<$x>) { printf "%.6f %s", time, $_ }' >"$events" 2>/dev/null &
    local watcher=$!
    sleep 0.3
    local t0; t0="$(now)"
    CORVANE_STARTUP_TRACE="$t0" "$@" >/dev/null 2>"$marks" &
    local app=$!
    local ms="" painted=""
    for _ in $(seq 100); do
        sleep 0.05
        if [ -z "$ms" ]; then
            while read -r t win; do
                if xprop -id "$win" WM_NAME 2>/dev/null | grep -qF "\"$title\""; then
                    ms="$(echo "($t - $t0) * 1000" | bc -l)"
                    break
                fi
            done < <(awk '/MapNotify/{getline; for(i=1;i<=NF;i++) if($i=="window"){w=$(i+1); sub(",","",w); print $1, w}}' "$events")
        fi
        painted="$(awk '/^startup .* first paint done/{print $2; exit}' "$marks")"
        [ -n "$ms" ] && { [ -n "$painted" ] || [ "$(grep -c '^startup' "$marks")" -eq 0 ]; } && break
    done
    kill "$app" "$watcher" 2>/dev/null || true
    wait "$app" 2>/dev/null || true
    pkill -P "$watcher" xev 2>/dev/null || true
    rm -f "$events" "$marks"
    printf '%.0f %.0f\n' "${ms:-99999}" "${painted:--1}"
}

minmed() { # times... -> "min median"
    local sorted=($(printf '%s\n' "$@" | sort -n))
    echo "${sorted[0]} ${sorted[$(( (${#sorted[@]} - 1) / 2 ))]}"
}

ratio() { echo "scale=2; $1 / $2" | bc; }

report() { # label, then the arguments of corvane
    local label="$1"; shift
    local mapped=() painted=() bmapped=() bpainted=() fmapped=() fpainted=() m p
    for _ in $(seq "$runs"); do
        read -r m p <<<"$(one_start "Bare window" "$build/bench/bare_window")"
        bmapped+=("$m"); bpainted+=("$p")
        read -r m p <<<"$(one_start "Bare window" "$build/bench/bare_window" --field)"
        fmapped+=("$m"); fpainted+=("$p")
        read -r m p <<<"$(one_start "Corvane Nano" "$build/corvane" "$@")"
        mapped+=("$m"); painted+=("$p")
    done
    local c b f
    printf '%s (min / median ms; ratio of the medians)\n' "$label"
    read -r -a c <<<"$(minmed "${mapped[@]}")"
    read -r -a b <<<"$(minmed "${bmapped[@]}")"
    read -r -a f <<<"$(minmed "${fmapped[@]}")"
    printf '  mapped   corvane %3d / %3d | bare %3d / %3d  x%s | bare with a field %3d / %3d  x%s\n' \
        "${c[0]}" "${c[1]}" "${b[0]}" "${b[1]}" "$(ratio "${c[1]}" "${b[1]}")" \
        "${f[0]}" "${f[1]}" "$(ratio "${c[1]}" "${f[1]}")"
    read -r -a c <<<"$(minmed "${painted[@]}")"
    read -r -a b <<<"$(minmed "${bpainted[@]}")"
    read -r -a f <<<"$(minmed "${fpainted[@]}")"
    if [ "${c[0]}" -ge 0 ]; then
        printf '  painted  corvane %3d / %3d | bare %3d / %3d  x%s | bare with a field %3d / %3d  x%s\n' \
            "${c[0]}" "${c[1]}" "${b[0]}" "${b[1]}" "$(ratio "${c[1]}" "${b[1]}")" \
            "${f[0]}" "${f[1]}" "$(ratio "${c[1]}" "${f[1]}")"
    fi
    printf '  mapped, each run: corvane %s | bare %s | with a field %s\n' \
        "${mapped[*]}" "${bmapped[*]}" "${fmapped[*]}"
}

echo "start-up, exec to main window mapped (X server) and painted (the program's marks)," \
     "$runs runs each ($build)"
export QT_LOGGING_RULES="corvane.*.info=false"
report "no instrument"
p1="$(start_sim "Corvane NanoTb")"
report "one instrument" --port "$p1"
silent="$(start_sim "Corvane Nano" no-reply)"
report "one instrument, one silent port" --port "$p1" --port "$silent"
p2="$(start_sim "Corvane Tera")"
p3="$(start_sim "Corvane Nano Span")"
report "three instruments" --port "$p1" --port "$p2" --port "$p3"
