#!/usr/bin/env bash
# CI stage: the program and every test built against Qt 6.
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
source "$root/tools/scripts/need.sh"
need g++ cmake ninja-build ccache pkg-config qt6-base-dev qt6-serialport-dev libgl-dev
build="$root/build-qt6"
cmake -S "$root" -B "$build" -G Ninja -DCORVANE_QT=6 -DCORVANE_BUILD_BENCH=OFF \
      -DCMAKE_UNITY_BUILD=ON >/dev/null
cmake --build "$build" -j "$(nproc)"
cd "$build"
ctest --output-on-failure -j "$(( $(nproc) * 4 ))"
