#!/usr/bin/env bash
# Installs the Debian packages the build needs (only those missing) and builds
# the project into build/. Sourced by run.sh and test.sh.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
source "$root/tools/scripts/need.sh"

need g++ cmake ninja-build ccache pkg-config qtbase5-dev libqt5serialport5-dev libqwt-qt5-dev \
     fonts-liberation2

build="${CORVANE_BUILD_DIR:-$root/build}"
qt5dir="$(qt5_dir)"
cmake -S "$root" -B "$build" -G Ninja -DQt5_DIR="$qt5dir" >/dev/null
cmake --build "$build" -j "$(nproc)"
