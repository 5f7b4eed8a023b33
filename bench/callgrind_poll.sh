#!/usr/bin/env bash
# Instructions per record while the program polls, from callgrind over the
# whole corvane process: corvane on Xvfb, its window shown, connected (by
# clicking the port list, as cpu_poll.sh does) to corvane-sim in its own
# process; instructions are counted only over SECONDS of polling, after the
# start and the connection. Instruction counts are stable under load, unlike
# times: the figure to compare revisions by on a shared machine.
#
#   bench/callgrind_poll.sh [SECONDS] [BUILD_DIR] [OUT_FILE]
#                           (default 20, build/, /tmp/callgrind.out.poll)
#
# Prints the total instructions (Ir), the records shown (calls of
# MainWindow::showRecord), Ir per record, and per record the inclusive Ir of
# the paint events by widget class and of the record's own slot. The profile
# stays in OUT_FILE for callgrind_annotate. Needs valgrind, xvfb, xdotool.
set -euo pipefail
seconds="${1:-20}"
build="${2:-$(cd "$(dirname "$0")/.." && pwd)/build}"
out="${3:-/tmp/callgrind.out.poll}"
source "$(dirname "$0")/xvfb_sim.sh"
rm -f "$out" "$out".*
DISPLAY="$display" QT_LOGGING_RULES="corvane.*.info=false" valgrind --tool=callgrind \
    --instr-atstart=no --callgrind-out-file="$out" "$build/corvane" --port "$pty" \
    >/dev/null 2>&1 &
app=$!
# Under valgrind the start takes seconds: wait for the port list to be filled.
sleep 12
DISPLAY="$display" xdotool mousemove 470 345 click 1
sleep 2
DISPLAY="$display" xdotool key Down Return
sleep 5
title="$(DISPLAY="$display" xdotool search --all --pid "$app" --name . getwindowname %@ 2>/dev/null |
         grep -v '^Corvane Nano$' | head -1 || true)"
callgrind_control -i on "$app" >/dev/null 2>&1
sleep "$seconds"
callgrind_control -i off "$app" >/dev/null 2>&1
callgrind_control -d "$app" >/dev/null 2>&1
sleep 1
kill "$app" 2>/dev/null || true
wait "$app" 2>/dev/null || true
app=""
# The dump written by -d is OUT_FILE.1 (the one at exit, OUT_FILE, is empty).
dump="$(ls -v "$out".[0-9]* 2>/dev/null | tail -1)"
echo "corvane polling under callgrind for ${seconds} s; window: ${title:-NOT CONNECTED}"
echo "profile: $dump"
# (From / : in the source tree callgrind_annotate drops callers in system headers.)
(cd / && callgrind_annotate --inclusive=yes --threshold=100 "$dump") >"$out.inclusive" 2>/dev/null
(cd / && callgrind_annotate --tree=caller "$dump") >"$out.callers" 2>/dev/null
python3 - "$out.inclusive" "$out.callers" <<'PY'
import re, sys
inclusive = open(sys.argv[1]).read().splitlines()
callers = open(sys.argv[2]).read().splitlines()
def ir(line):
    return int(line.split()[0].replace(",", ""))
total = next(ir(l) for l in inclusive if "PROGRAM TOTALS" in l)
# Records shown: the calls of MainWindow::showRecord, summed over its callers
# (the "<" lines above its "*" line in the caller tree).
records = 0
for i, l in enumerate(callers):
    if "*" in l and "MainWindow::showRecord(" in l and "mainwindow_measure.cpp" in l:
        j = i - 1
        while j >= 0 and " < " in callers[j]:
            m = re.search(r"\(([\d,]+)x\)", callers[j])
            records += int(m.group(1).replace(",", "")) if m else 0
            j -= 1
        break
print(f"total Ir {total:,}, records shown {records}", end="")
if not records:
    print(); sys.exit()
print(f", Ir per record {total // records:,}")
def inclusive_of(name):
    best = 0
    for l in inclusive:
        if name in l and re.match(r"^\s*[\d,]+ ", l):
            best = max(best, ir(l))
    return best
for name in ["QWidgetRepaintManager::paintAndFlush", "QWidgetRepaintManager::flush(",
             "QWidgetPrivate::drawWidget", "QLabel::paintEvent", "QCommandLinkButton::paintEvent",
             "QGroupBox::paintEvent", "QAbstractSpinBox::paintEvent", "QDial::paintEvent",
             "QSlider::paintEvent", "QComboBox::paintEvent", "MainWindow::showRecord("]:
    v = inclusive_of(name)
    if v:
        print(f"  {name:<40} {v // records:>9,} Ir per record (inclusive)")
PY
