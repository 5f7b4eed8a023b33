#!/usr/bin/env bash
# Runs a benchmark of this tree and of an earlier revision side by side, on the
# same machine in one run, alternating them so that load changes hit both.
#
#   bench/compare.sh [REV] [BENCH] [ARGS...]     (defaults: HEAD, bench_cycle)
#
# The earlier revision is checked out into a temporary worktree and built there
# (its own bench of the same name); the working tree is built into build/.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
rev="${1:-HEAD}"
bench="${2:-bench_cycle}"
shift $(( $# > 2 ? 2 : $# ))
source "$root/tools/scripts/need.sh"
qt5dir="$(qt5_dir)"
work="$(mktemp -d)"
trap 'git -C "$root" worktree remove --force "$work/src" >/dev/null 2>&1 || true; rm -rf "$work"' EXIT
git -C "$root" worktree add --detach "$work/src" "$rev" >/dev/null 2>&1
cmake -S "$work/src" -B "$work/build" -G Ninja -DQt5_DIR="$qt5dir" -DBUILD_TESTING=OFF >/dev/null
cmake --build "$work/build" --target "$bench" >/dev/null
cmake -S "$root" -B "$root/build" -G Ninja -DQt5_DIR="$qt5dir" >/dev/null
cmake --build "$root/build" --target "$bench" >/dev/null
for round in 1 2; do
    echo "=== round $round: $rev ($(git -C "$root" rev-parse --short "$rev"))"
    "$work/build/bench/$bench" "$@"
    echo "=== round $round: working tree"
    "$root/build/bench/$bench" "$@"
done
