#!/usr/bin/env bash
# Several instruments at once, as a user runs them: corvane on a real X display
# (Xvfb) with one main window per instrument (--open-all), each connected to a
# simulated instrument running in a process of its own (corvane-sim), so the
# figures are the program's alone. For 1, 4 and 8 instruments (or those given):
# start-up to the first window mapped, the program's CPU (share of one core)
# and RSS while all poll, and the records per second each instrument delivers
# (read through the program's own SCPI server: the record counter of
# FETCh:ALL? before and after).
#
#   bench/several.sh [SECONDS] [BUILD_DIR] [COUNTS...]     (default 30, build/, 1 4 8)
#
# Needs xvfb, x11-utils (xev, xprop), python3, bc.
set -euo pipefail
seconds="${1:-30}"
build="${2:-$(cd "$(dirname "$0")/.." && pwd)/build}"
shift $(( $# > 2 ? 2 : $# ))
counts=("$@")
[ ${#counts[@]} -gt 0 ] || counts=(1 4 8)
display=":$(( 80 + RANDOM % 9 ))"
export DISPLAY="$display" QT_LOGGING_RULES="corvane.*.info=false"
Xvfb "$display" -screen 0 1600x1200x24 >/dev/null 2>&1 &
xvfb=$!
pids="$(mktemp)"
cleanup() { kill $(cat "$pids") "$xvfb" 2>/dev/null || true; rm -f "$pids"; }
trap cleanup EXIT
sleep 1

start_sim() { # seed -> prints the pty path
    local out; out="$(mktemp)"
    "$build/sim/corvane-sim" --model "Corvane NanoTb" --seed "$1" >"$out" 2>/dev/null &
    echo $! >>"$pids"
    for _ in $(seq 50); do [ -s "$out" ] && break; sleep 0.1; done
    head -1 "$out"; rm -f "$out"
}

# SCPI: the records counter of every connected instrument, "serial seq" per line.
records() { # port
    /usr/bin/python3 - "$1" <<'EOF'
import csv, socket, sys
s = socket.create_connection(("127.0.0.1", int(sys.argv[1])), timeout=5)
f = s.makefile("rwb")
def ask(q):
    f.write(q.encode() + b"\n"); f.flush()
    return f.readline().decode().strip()
fields = next(csv.reader([ask("INST:CAT?")]))
for serial in fields[0::3]:
    if serial:
        ask("INST:SEL " + serial + ";*OPC?")
        print(serial, ask("FETC:ALL?").split(",")[0])
EOF
}

now() { perl -MTime::HiRes=time -e 'printf "%.6f\n", time'; }
hz="$(getconf CLK_TCK)"
printf '%-12s %10s %12s %10s %s\n' instruments "start ms" "CPU % core" "RSS MiB" "records/s each"
for n in "${counts[@]}"; do
    ports=()
    for i in $(seq "$n"); do ports+=(--port "$(start_sim "$i")"); done
    err="$(mktemp)"; events="$(mktemp)"
    perl -MTime::HiRes=time -e '$|=1; open(my $x, "-|", "xev", "-root", "-event", "substructure") or die;
        while (<$x>) { printf "%.6f %s", time, $_ }' >"$events" &
    watcher=$!
    sleep 0.3
    t0="$(now)"
    "$build/corvane" "${ports[@]}" --open-all --scpi=127.0.0.1:0 2>"$err" &
    app=$!
    echo "$app" >>"$pids"
    ms=""
    for _ in $(seq 200); do
        sleep 0.05
        while read -r t win; do
            if xprop -id "$win" WM_NAME 2>/dev/null | grep -q '"Corvane'; then
                ms="$(echo "($t - $t0) * 1000" | bc -l)"
                break
            fi
        done < <(awk '/MapNotify/{getline; for(i=1;i<=NF;i++) if($i=="window"){w=$(i+1); sub(",","",w); print $1, w}}' "$events")
        [ -n "$ms" ] && break
    done
    kill "$watcher" 2>/dev/null || true; pkill -P "$watcher" xev 2>/dev/null || true
    port=""
    for _ in $(seq 100); do
        port="$(sed -n 's/^corvane: SCPI on 127.0.0.1:\([0-9]*\).*/\1/p' "$err" | head -1)"
        [ -n "$port" ] && [ "$(records "$port" 2>/dev/null | wc -l)" -ge "$n" ] && break
        sleep 0.2
    done
    sleep 2
    before="$(records "$port")"
    ticks0="$(awk '{print $14 + $15}' "/proc/$app/stat")"
    sleep "$seconds"
    ticks1="$(awk '{print $14 + $15}' "/proc/$app/stat")"
    after="$(records "$port")"
    rss="$(awk '/VmRSS/{printf "%.1f", $2 / 1024}' "/proc/$app/status")"
    cpu="$(echo "scale=2; 100 * ($ticks1 - $ticks0) / $hz / $seconds" | bc)"
    rates="$(join <(echo "$before" | sort) <(echo "$after" | sort) |
             awk -v s="$seconds" '{printf "%.2f ", ($3 - $2) / s}')"
    printf '%-12s %10.0f %12s %10s %s\n' "$n" "${ms:-99999}" "$cpu" "$rss" "$rates"
    kill "$app" 2>/dev/null || true
    wait "$app" 2>/dev/null || true
    kill $(grep -v "^$app$" "$pids") 2>/dev/null || true
    : >"$pids"
    rm -f "$err" "$events"
done
