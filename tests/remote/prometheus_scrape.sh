#!/usr/bin/env bash
# The metrics endpoint checked by the real tools of the Prometheus project.
#
#   prometheus_scrape.sh promtool   COMMAND [ARG...]
#       one scrape with curl: the headers, and `promtool check metrics` on the
#       text, which must report no error and no warning;
#   prometheus_scrape.sh prometheus COMMAND [ARG...]
#       a real Prometheus on a free loopback port scrapes the server every
#       second; its HTTP API must show `up` = 1 and the instrument's serial
#       label within 30 s (and, with EXPECT_GROWING=1, a bit count that grows
#       from one scrape to a later one);
#   prometheus_scrape.sh rules RULES TESTS
#       `promtool check rules` on an alerting rule file, without warnings, and
#       `promtool test rules` on its unit tests.
#
# COMMAND starts the server on 127.0.0.1 and says where it listens: either its
# port on the first line of stdout (tests/remote/metrics_fixture), or a line
# "corvane: metrics on http://127.0.0.1:PORT/metrics" on stderr (corvane).
# EXPECT_SERIAL names a serial the scrape must carry (default CV2417-0042).
# Everything started here is stopped on exit. Exit status 77 (a skipped test
# for CTest) when the prometheus package cannot be installed.
set -uo pipefail

mode="${1:-}"
shift || true
if [[ "$mode" != promtool && "$mode" != prometheus && "$mode" != rules ]] || [ $# -eq 0 ]; then
    echo "usage: $0 promtool|prometheus COMMAND [ARG...] | rules RULES TESTS" >&2
    exit 2
fi
serial="${EXPECT_SERIAL:-CV2417-0042}"
root="$(cd "$(dirname "$0")/../.." && pwd)"
work="$(mktemp -d)"
pids=()

cleanup() {
    local p
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
    for p in "${pids[@]}"; do wait "$p" 2>/dev/null; done
    rm -rf "$work"
}
trap cleanup EXIT

fail() {
    echo "FAILED: $*"
    exit 1
}

# promtool and prometheus are in Debian's prometheus package.
if ! command -v promtool >/dev/null || ! command -v prometheus >/dev/null ||
    ! command -v curl >/dev/null; then
    source "$root/tools/scripts/need.sh"
    if ! need prometheus curl >"$work/need.log" 2>&1 ||
        ! command -v promtool >/dev/null || ! command -v prometheus >/dev/null; then
        echo "SKIPPED: the Debian packages prometheus and curl are needed and could not be installed:"
        tail -n 5 "$work/need.log"
        exit 77
    fi
fi

if [ "$mode" = rules ]; then
    [ $# -eq 2 ] || fail "rules takes a rule file and its tests"
    promtool check rules "$1" >"$work/check.out" 2>&1
    status=$?
    cat "$work/check.out"
    [ $status -eq 0 ] || fail "promtool check rules exited with $status"
    grep -qi warn "$work/check.out" && fail "promtool check rules warned"
    promtool test rules "$2" || fail "promtool test rules failed"
    exit 0
fi

# The server under test, and the port it says it listens on.
"$@" >"$work/server.out" 2>"$work/server.err" &
pids+=($!)
port=""
for _ in $(seq 200); do
    port="$(head -n 1 "$work/server.out" 2>/dev/null)"
    [[ "$port" =~ ^[0-9]+$ ]] && break
    port="$(sed -n 's|^corvane: metrics on http://127\.0\.0\.1:\([0-9]*\)/metrics$|\1|p' "$work/server.err")"
    [[ "$port" =~ ^[0-9]+$ ]] && break
    kill -0 "${pids[0]}" 2>/dev/null || break
    port=""
    sleep 0.1
done
[ -n "$port" ] || fail "the server did not print its port: $* ($(cat "$work/server.err"))"
url="http://127.0.0.1:$port/metrics"

if [ "$mode" = promtool ]; then
    # A program that has just started may not have its instrument yet.
    for _ in $(seq 100); do
        curl -sS --max-time 10 -D "$work/headers" -o "$work/scrape.txt" "$url" ||
            fail "no answer from $url"
        grep -q "serial=\"$serial\"" "$work/scrape.txt" && grep -q '^corvane_bit_count_total' "$work/scrape.txt" && break
        sleep 0.1
    done
    tr -d '\r' <"$work/headers" >"$work/headers.txt"
    head -n 1 "$work/headers.txt" | grep -qx 'HTTP/1.1 200 OK' ||
        fail "status: $(head -n 1 "$work/headers.txt")"
    grep -qix 'Content-Type: text/plain; version=0.0.4; charset=utf-8' "$work/headers.txt" ||
        fail "Content-Type: $(grep -i '^Content-Type' "$work/headers.txt")"
    grep -q "serial=\"$serial\"" "$work/scrape.txt" || fail "no serial=\"$serial\" in the scrape"
    promtool check metrics <"$work/scrape.txt" >"$work/promtool.out" 2>&1
    status=$?
    if [ $status -ne 0 ] || [ -s "$work/promtool.out" ]; then
        cat "$work/promtool.out"
        fail "promtool check metrics exited with $status"
    fi
    echo "promtool check metrics: no problem in $(wc -l <"$work/scrape.txt") lines from $url"
    exit 0
fi

# A free port for Prometheus' own web server.
web="$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')"
cat >"$work/prometheus.yml" <<EOF
global:
  scrape_interval: 1s
  scrape_timeout: 1s
  evaluation_interval: 1s
scrape_configs:
  - job_name: corvane
    static_configs:
      - targets: ['127.0.0.1:$port']
EOF
prometheus --config.file="$work/prometheus.yml" --storage.tsdb.path="$work/data" \
    --web.listen-address="127.0.0.1:$web" --log.level=warn >"$work/prometheus.log" 2>&1 &
pids+=($!)

query() {
    curl -sS --max-time 5 -G "http://127.0.0.1:$web/api/v1/query" --data-urlencode "query=$1" 2>&1
}
# The value of corvane_bit_count_total for the serial, as Prometheus has it.
bitsOf() {
    grep -o "\"serial\":\"$serial\"[^]]*\]" <<<"$1" | sed -n 's/.*,"\([0-9.e+]*\)"\]$/\1/p' | head -n 1
}
deadline=$((SECONDS + 30))
up="" bits="" build="" first=""
while [ $SECONDS -lt $deadline ]; do
    kill -0 "${pids[1]}" 2>/dev/null || break
    up="$(query 'up{job="corvane"}')"
    bits="$(query corvane_bit_count_total)"
    build="$(query corvane_build_info)"
    if grep -q '"value":\[[0-9.]*,"1"\]' <<<"$up" && grep -q "\"serial\":\"$serial\"" <<<"$bits" &&
        grep -q '"version":"' <<<"$build"; then
        now="$(bitsOf "$bits")"
        if [ "${EXPECT_GROWING:-0}" != 1 ]; then
            echo "Prometheus scraped $url: up = 1, corvane_bit_count_total{serial=\"$serial\"} and corvane_build_info are there"
            exit 0
        fi
        if [ -z "$first" ]; then
            first="$now"
        elif python3 -c "import sys; sys.exit(0 if float('$now') > float('$first') else 1)"; then
            echo "Prometheus scraped $url: up = 1, corvane_bit_count_total{serial=\"$serial\"} grew from $first to $now, corvane_build_info is there"
            exit 0
        fi
    fi
    sleep 1
done
echo "up: $up"
echo "corvane_bit_count_total: $bits"
echo "corvane_build_info: $build"
echo "targets: $(curl -sS --max-time 5 "http://127.0.0.1:$web/api/v1/targets" 2>&1)"
echo "Prometheus' log:"
tail -n 20 "$work/prometheus.log"
fail "Prometheus did not show the scrape within 30 s"
