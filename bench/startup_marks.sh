#!/usr/bin/env bash
# Where the start-up goes: starts a program RUNS times on Xvfb with
# CORVANE_STARTUP_TRACE set to the moment of the exec, so that it prints its
# start-up marks (src/widgets/startmarks.h) as milliseconds since the exec,
# and adds the X server's MapNotify of each window (watched with xev).
# Prints, per mark, the median over the runs of its time since the exec and
# of its step from the previous mark.
#
#   bench/startup_marks.sh [BUILD_DIR] [RUNS] [PROGRAM ARGS...]
#                          (default build/, 7, corvane with no instrument)
#
# For example `bench/startup_marks.sh build 7 bench/bare_window` for the
# yardstick. Needs xvfb, x11-utils (xev) and perl.
set -euo pipefail
build="${1:-$(cd "$(dirname "$0")/.." && pwd)/build}"
runs="${2:-7}"
shift $(($# > 2 ? 2 : $#))
[ $# -eq 0 ] && set -- corvane
program="$build/$1"; shift
display=":$(( 90 + RANDOM % 9 ))"
export DISPLAY="$display"
Xvfb "$display" -screen 0 1024x700x24 >/dev/null 2>&1 &
xvfb=$!
work="$(mktemp -d)"
watcher=""
trap 'kill $watcher $xvfb 2>/dev/null || true; rm -rf "$work"' EXIT
sleep 1
perl -MTime::HiRes=time -e '$|=1; open(my $x, "-|", "xev", "-root", "-event", "substructure") or die;
    while (<$x>) { printf "%.6f %s", time, $_ }' >"$work/events" 2>/dev/null &
watcher=$!
sleep 0.3
export QT_LOGGING_RULES="corvane.*.info=false"
for run in $(seq "$runs"); do
    : >"$work/events"
    t0="$(perl -MTime::HiRes=time -e 'printf "%.6f", time')"
    CORVANE_STARTUP_TRACE="$t0" "$program" "$@" >/dev/null 2>"$work/err" &
    app=$!
    sleep 1
    kill "$app"; wait "$app" 2>/dev/null || true
    {
        grep '^startup' "$work/err" | sed -E 's/^startup +([0-9.]+) ms +\(\+ *[0-9.]+\) +/\1 /'
        awk -v t0="$t0" '/^[0-9.]+ MapNotify/{t=$1; getline; for (i = 1; i <= NF; i++)
            if ($i == "window") { w = $(i + 1); sub(",", "", w) }
            printf "%.2f X server: MapNotify of window %s\n", (t - t0) * 1000, w }' "$work/events"
    } | sort -n -s -k1,1 >"$work/run$run"
done
# Median per mark, in the order of the first run; marks are told apart by text.
echo "start-up marks of $program $* ($runs runs), median ms since exec / step"
perl -e '
    my (%t, @order, %seen);
    for my $f (@ARGV) {
        open(my $h, "<", $f) or die;
        while (<$h>) {
            chomp; my ($ms, $what) = split(/ /, $_, 2);
            $what =~ s/window 0x[0-9a-f]+/window #/;
            my $n = 1; $n++ while $seen{"$f\t$what#$n"}; $seen{"$f\t$what#$n"} = 1;
            my $key = "$what#$n";
            push @order, $key unless exists $t{$key};
            push @{$t{$key}}, $ms;
        }
    }
    my $prev = 0;
    for my $k (@order) {
        my @v = sort { $a <=> $b } @{$t{$k}};
        my $m = $v[int($#v / 2)];
        (my $name = $k) =~ s/#\d+$//;
        printf "%8.1f  (+%5.1f)  %s\n", $m, $m - $prev, $name;
        $prev = $m;
    }' "$work"/run*
