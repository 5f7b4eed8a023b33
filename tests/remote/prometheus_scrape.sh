#!/usr/bin/env bash
# corvane's metrics endpoint checked by the real tools of the Prometheus project.
#
#   prometheus_scrape.sh promtool   CORVANE [ARG...]
#       one scrape with curl: the status line and Content-Type, and
#       `promtool check metrics` on the text, without error or warning;
#   prometheus_scrape.sh prometheus CORVANE [ARG...]
#       a real Prometheus on a free loopback port scrapes corvane every second;
#       its HTTP API must show `up` = 1, corvane_build_info, and a bit count of
#       serial EXPECT_SERIAL (default 10447) that grows between two scrapes;
#   prometheus_scrape.sh rules RULES TESTS
#       `promtool check rules` on an alerting rule file, without warnings, and
#       `promtool test rules` on its unit tests.
#
# corvane says where it serves on stderr ("corvane: metrics on
# http://127.0.0.1:PORT/metrics"). Everything started here is stopped on exit.
# Exit status 77 (skipped for CTest) when the prometheus package cannot be installed.
set -uo pipefail

mode="${1:-}"
shift || true
serial="${EXPECT_SERIAL:-10447}"
work="$(mktemp -d)"
pids=()
cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null && wait "$p" 2>/dev/null; done
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "FAILED: $*"
    exit 1
}

if ! command -v promtool >/dev/null || ! command -v prometheus >/dev/null || ! command -v curl >/dev/null; then
    source "$(dirname "$0")/../../tools/scripts/need.sh"
    if ! need prometheus curl >"$work/need.log" 2>&1 || ! command -v promtool >/dev/null; then
        echo "SKIPPED: the Debian packages prometheus and curl could not be installed:"
        tail -n 5 "$work/need.log"
        exit 77
    fi
fi

if [ "$mode" = rules ]; then
    promtool check rules "$1" 2>&1 | tee "$work/check.out"
    [ "${PIPESTATUS[0]}" -eq 0 ] || fail "promtool check rules"
    grep -qi warn "$work/check.out" && fail "promtool check rules warned"
    promtool test rules "$2" || fail "promtool test rules"
    exit 0
fi

"$@" 2>"$work/server.err" >/dev/null &
pids+=($!)
port=""
for _ in $(seq 200); do
    port="$(sed -n 's|^corvane: metrics on http://127\.0\.0\.1:\([0-9]*\)/metrics$|\1|p' "$work/server.err")"
    [ -n "$port" ] || ! kill -0 "${pids[0]}" 2>/dev/null && break
    sleep 0.1
done
[ -n "$port" ] || fail "no port from: $* ($(cat "$work/server.err"))"
url="http://127.0.0.1:$port/metrics"

if [ "$mode" = promtool ]; then
    for _ in $(seq 100); do # the instrument may not be there yet
        curl -sS --max-time 10 -D "$work/headers" -o "$work/scrape.txt" "$url" || fail "no answer from $url"
        grep -q "^corvane_bit_count_total{serial=\"$serial\"" "$work/scrape.txt" && break
        sleep 0.1
    done
    grep -q "^corvane_bit_count_total{serial=\"$serial\"" "$work/scrape.txt" || fail "no bit count of $serial"
    tr -d '\r' <"$work/headers" | grep -qx 'HTTP/1.1 200 OK' || fail "status: $(head -n 1 "$work/headers")"
    grep -qix $'Content-Type: text/plain; version=0.0.4; charset=utf-8\r' "$work/headers" ||
        fail "$(grep -i '^Content-Type' "$work/headers")"
    promtool check metrics <"$work/scrape.txt" >"$work/promtool.out" 2>&1
    status=$?
    [ $status -eq 0 ] && [ ! -s "$work/promtool.out" ] || fail "promtool check metrics ($status): $(cat "$work/promtool.out")"
    echo "promtool check metrics: no problem in $(wc -l <"$work/scrape.txt") lines from $url"
    exit 0
fi

web="$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')"
printf 'global: {scrape_interval: 1s, scrape_timeout: 1s}\nscrape_configs:\n  - job_name: corvane\n    static_configs: [{targets: ["127.0.0.1:%s"]}]\n' \
    "$port" >"$work/prometheus.yml"
prometheus --config.file="$work/prometheus.yml" --storage.tsdb.path="$work/data" \
    --web.listen-address="127.0.0.1:$web" --log.level=warn >"$work/prometheus.log" 2>&1 &
pids+=($!)
query() {
    curl -sS --max-time 5 -G "http://127.0.0.1:$web/api/v1/query" --data-urlencode "query=$1" 2>&1
}
first=""
for _ in $(seq 30); do
    sleep 1
    up="$(query 'up{job="corvane"}')" build="$(query corvane_build_info)"
    bits="$(query "corvane_bit_count_total{serial=\"$serial\"}" | sed -n 's/.*,"\([0-9.e+]*\)"\]}.*/\1/p')"
    grep -q '"value":\[[0-9.]*,"1"\]' <<<"$up" && grep -q '"version":"' <<<"$build" && [ -n "$bits" ] || continue
    [ -z "$first" ] && first="$bits" && continue
    if python3 -c "import sys; sys.exit(float('$bits') <= float('$first'))"; then
        echo "Prometheus scraped $url: up = 1, corvane_build_info, the bit count of $serial grew from $first to $bits"
        exit 0
    fi
done
echo "up: $up"$'\n'"corvane_build_info: $build"$'\n'"bits: ${bits:-none}"
tail -n 20 "$work/prometheus.log"
fail "Prometheus did not show a growing bit count within 30 s"
