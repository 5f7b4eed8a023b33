#!/usr/bin/env bash
# CI stage: the Debian package. Builds it with cpack, checks the desktop entry
# and AppStream metadata, installs it with apt as a user would, runs the
# installed programs and reports what lintian says (errors fail the run).
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
source "$root/tools/scripts/need.sh"
need dpkg-dev file lintian desktop-file-utils appstream
build="${CORVANE_BUILD_DIR:-$root/build}"
cmake -S "$root" -B "$build" >/dev/null
cmake --build "$build" -j "$(nproc)"
stage="$(mktemp -d)"
DESTDIR="$stage" cmake --install "$build" --prefix /usr >/dev/null
desktop-file-validate "$stage"/usr/share/applications/*.desktop
appstreamcli validate --no-net "$stage"/usr/share/metainfo/*.metainfo.xml
rm -rf "$stage"
(cd "$build" && rm -f corvane_*.deb && cpack -G DEB >/dev/null)
deb="$(ls "$build"/corvane_*.deb)"
echo "== $(basename "$deb")"
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --reinstall "$deb" >/dev/null
/usr/bin/corvane --version
/usr/bin/corvane-sim --version
# The installed program finds the one without a display, and it runs.
/usr/bin/corvane --headless --simulate --duration 2s
test -f /usr/share/applications/example.corvane.Corvane.desktop
echo "== lintian"
lintian --tag-display-limit 0 "$deb" 2>&1 | grep -v "running with root privileges" | tee "$build/lintian.txt" || true
! grep -q '^E:' "$build/lintian.txt"
