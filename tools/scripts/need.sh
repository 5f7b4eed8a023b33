#!/usr/bin/env bash
# need PACKAGE...: installs the Debian packages that are missing (only those),
# with sudo when not root. Sourced by the setup and CI scripts.
need() {
    local missing=() p
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# qt5_dir: Qt 5's CMake folder. Qt 6 may be installed too, so CMake is pointed
# at Qt 5 explicitly.
qt5_dir() {
    dirname "$(dpkg -L qtbase5-dev | grep -m1 '/cmake/Qt5/Qt5Config.cmake$')"
}
