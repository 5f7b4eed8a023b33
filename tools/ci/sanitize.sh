#!/usr/bin/env bash
# CI stage: every test with AddressSanitizer, LeakSanitizer and
# UndefinedBehaviorSanitizer; the first report fails the run.
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
source "$root/tools/scripts/need.sh"
need g++ cmake ninja-build ccache pkg-config qtbase5-dev libqt5serialport5-dev
build="$root/build-sanitize"
qt5dir="$(qt5_dir)"
flags="-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer -O1"
cmake -S "$root" -B "$build" -G Ninja -DQt5_DIR="$qt5dir" -DCMAKE_BUILD_TYPE=Debug \
      -DCORVANE_BUILD_BENCH=OFF -DCMAKE_UNITY_BUILD=ON \
      -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" >/dev/null
cmake --build "$build" -j "$(nproc)"
export ASAN_OPTIONS="halt_on_error=1:detect_leaks=1:abort_on_error=1"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
export LSAN_OPTIONS="suppressions=$root/tools/ci/lsan.supp:print_suppressions=0"
cd "$build"
ctest --output-on-failure -j "$(( $(nproc) * 4 ))"
