#!/usr/bin/env bash
# CI stage: every libFuzzer target for a bounded time (FUZZ_SECONDS, default
# 30 each), starting from the seed corpus in fuzz/corpus/<target>/. A target
# fails the stage when it
#   - crashes, hangs on an input, leaks or runs out of memory (libFuzzer's
#     exit status is not 0; the input lands in build-fuzz/findings/),
#   - reports an error without stopping (a sanitizer's "runtime error", an
#     "ERROR:" line),
#   - cannot start, has no seed corpus, or stops before its time: the final
#     "Done N runs in S second(s)" must show S >= FUZZ_SECONDS and N > 0.
# Every target runs even when an earlier one failed; the log of each is in
# build-fuzz/logs/<target>.log.
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
source "$root/tools/scripts/need.sh"
need clang-14 libclang-rt-14-dev cmake ninja-build pkg-config qtbase5-dev libqt5serialport5-dev
seconds="${FUZZ_SECONDS:-30}"
build="$root/build-fuzz"
qt5dir="$(qt5_dir)"
CC=clang-14 CXX=clang++-14 cmake -S "$root" -B "$build" -G Ninja -DQt5_DIR="$qt5dir" \
    -DCORVANE_BUILD_FUZZ=ON -DBUILD_TESTING=OFF -DCORVANE_BUILD_BENCH=OFF \
    -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link,address,undefined" >/dev/null
targets=$(cd "$root/fuzz" && ls fuzz_*.cpp | sed 's/\.cpp$//')
cmake --build "$build" -j "$(nproc)" --target $targets
mkdir -p "$build/findings" "$build/logs"

# Undefined behaviour stops the target (and leaves the input) instead of
# printing a line and going on.
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1${UBSAN_OPTIONS:+:$UBSAN_OPTIONS}"

failed=()
fail() { # target, why
    echo "FAIL $1: $2"
    failed+=("$1")
}
for t in $targets; do
    log="$build/logs/$t.log"
    corpus="$build/corpus/$t"
    echo "== $t, ${seconds} s"
    if ! ls "$root/fuzz/corpus/$t/"* >/dev/null 2>&1; then
        fail "$t" "no seed corpus in fuzz/corpus/$t/"
        continue
    fi
    mkdir -p "$corpus"
    cp -n "$root/fuzz/corpus/$t/"* "$corpus/"
    stamp="$build/findings/.start-$t"
    touch "$stamp"
    # -timeout: one input running longer than 10 s is a hang (a finding).
    # timeout(1) ends a target that never reaches its own time limit.
    status=0
    timeout --kill-after=10 "$((seconds + 120))" \
        "$build/fuzz/$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="$build/findings/$t-" "$corpus" \
        >"$log" 2>&1 || status=$?
    grep -E "^(Done|stat::number_of_executed_units)|ERROR|SUMMARY|runtime error" "$log" || true

    done_line=$(grep -E "^Done [0-9]+ runs in [0-9]+ second" "$log" | tail -n 1 || true)
    runs=$(sed -nE 's/^Done ([0-9]+) runs in ([0-9]+) second.*/\1/p' <<<"$done_line")
    ran=$(sed -nE 's/^Done ([0-9]+) runs in ([0-9]+) second.*/\2/p' <<<"$done_line")
    findings=$(find "$build/findings" -maxdepth 1 -name "$t-*" -newer "$stamp" | sort)
    rm -f "$stamp"
    if [ "$status" -eq 124 ] || [ "$status" -eq 137 ]; then
        fail "$t" "did not stop after its time (ended by timeout)"
    elif [ "$status" -eq 126 ] || [ "$status" -eq 127 ]; then
        fail "$t" "could not start"
    elif [ "$status" -ne 0 ]; then
        fail "$t" "exit status $status"
    elif [ -n "$findings" ]; then
        fail "$t" "left failing inputs"
    elif grep -qE "runtime error|ERROR:" "$log"; then
        fail "$t" "reported an error"
    elif [ -z "$done_line" ]; then
        fail "$t" "no final 'Done' line: it did not run to its end"
    elif [ "$runs" -eq 0 ] || [ "$ran" -lt "$seconds" ]; then
        fail "$t" "ran $runs inputs in $ran s, not the $seconds s asked for"
    elif ! grep -qE "^stat::number_of_executed_units: *[1-9]" "$log"; then
        fail "$t" "no final statistics"
    fi
    if [ -n "$findings" ]; then
        echo "$findings" | sed 's/^/  failing input: /'
    fi
    if [ "${#failed[@]}" -gt 0 ] && [ "${failed[-1]}" = "$t" ]; then
        echo "  --- end of $log:"
        tail -n 30 "$log" | sed 's/^/  /'
    fi
done
if [ "${#failed[@]}" -gt 0 ]; then
    echo "Fuzzing failed: ${failed[*]}"
    exit 1
fi
echo "Fuzzing: every target ran ${seconds} s without a finding"
