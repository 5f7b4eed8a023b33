#!/usr/bin/env bash
# Installs what is missing, builds, and starts Corvane with a simulated
# instrument in the port list. Extra arguments go to the program
# (for example: ./run.sh --simulate="Corvane Nano Span").
set -euo pipefail
root="$(cd "$(dirname "$0")" && pwd)"
source "$root/tools/scripts/setup.sh"
if [ $# -eq 0 ]; then
    set -- --simulate
fi
exec "${CORVANE_BUILD_DIR:-$root/build}/corvane" "$@"
