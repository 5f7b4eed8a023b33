#!/usr/bin/env bash
# Installs the Debian packages the build needs (only those missing) and builds
# the project into build/. Sourced by run.sh and test.sh.
set -euo pipefail

PACKAGES=(g++ cmake ninja-build ccache pkg-config qtbase5-dev libqt5serialport5-dev libqwt-qt5-dev
          fonts-liberation2)

missing=()
for p in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    SUDO=""
    [ "$(id -u)" -ne 0 ] && SUDO="sudo"
    $SUDO apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
build="${CORVANE_BUILD_DIR:-$root/build}"
# Qt 6 may be installed too: point CMake at Qt 5 explicitly.
qt5dir="$(dirname "$(dpkg -L qtbase5-dev | grep -m1 '/cmake/Qt5/Qt5Config.cmake$')")"
cmake -S "$root" -B "$build" -G Ninja -DQt5_DIR="$qt5dir" >/dev/null
cmake --build "$build" -j "$(nproc)"
