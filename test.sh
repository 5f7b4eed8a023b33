#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test through CTest.
set -euo pipefail
root="$(cd "$(dirname "$0")" && pwd)"
source "$root/tools/scripts/setup.sh"
# What only the tests use: a real VISA client for the SCPI server, a real
# Prometheus and promtool for the metrics endpoint.
need python3 python3-pyvisa python3-pyvisa-py prometheus curl
cd "${CORVANE_BUILD_DIR:-$root/build}"
# The tests mostly wait on the instrument's timing, not on the CPU: run more
# of them at once than there are cores.
ctest --output-on-failure -j "$(( $(nproc) * 4 ))" "$@"
