#!/usr/bin/env bash
# CI stage: every libFuzzer target for a bounded time (FUZZ_SECONDS, default
# 30 each), starting from the seed corpus in fuzz/corpus. A finding fails the
# run and leaves the input in build-fuzz/findings/.
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
mkdir -p "$build/findings"
for t in $targets; do
    corpus="$build/corpus/$t"
    mkdir -p "$corpus"
    cp -n "$root/fuzz/corpus/$t/"* "$corpus/" 2>/dev/null || true
    echo "== $t, ${seconds} s"
    "$build/fuzz/$t" -max_total_time="$seconds" -rss_limit_mb=2048 -print_final_stats=1 \
        -artifact_prefix="$build/findings/$t-" "$corpus" 2>&1 | grep -E "^(Done|stat::number_of_executed_units)|ERROR|SUMMARY" || true
    if ls "$build/findings/$t-"* >/dev/null 2>&1; then
        echo "$t found a failing input: $(ls "$build/findings/$t-"*)"
        exit 1
    fi
done
