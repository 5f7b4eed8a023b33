#!/usr/bin/env bash
# The metrics endpoint checked by the real tools of the Prometheus project.
#
#   prometheus_scrape.sh promtool   COMMAND [ARG...]
#       one scrape with curl: the headers, and `promtool check metrics` on the
#       text, which must report no error and no warning;
#   prometheus_scrape.sh prometheus COMMAND [ARG...]
#       a real Prometheus on a free loopback port scrapes the server every
#       second; its HTTP API must show `up` = 1 and the instrument's serial
#       label within 30 s.
#
# COMMAND starts the server on 127.0.0.1 and prints its port on the first line
# of stdout (tests/remote/metrics_fixture does; later the program itself).
# EXPECT_SERIAL names a serial the scrape must carry (default CV2417-0042).
# Everything started here is stopped on exit. Exit status 77 (a skipped test
# for CTest) when the prometheus package cannot be installed.
set -uo pipefail

mode="${1:-}"
shift || true
if [[ "$mode" != promtool && "$mode" != prometheus ]] || [ $# -eq 0 ]; then
    echo "usage: $0 promtool|prometheus COMMAND [ARG...]" >&2
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

# The server under test, and the port it prints.
"$@" >"$work/server.out" 2>"$work/server.err" &
pids+=($!)
port=""
for _ in $(seq 100); do
    port="$(head -n 1 "$work/server.out" 2>/dev/null)"
    [[ "$port" =~ ^[0-9]+$ ]] && break
    kill -0 "${pids[0]}" 2>/dev/null || break
    port=""
    sleep 0.1
done
[ -n "$port" ] || fail "the server did not print its port: $* ($(cat "$work/server.err"))"
url="http://127.0.0.1:$port/metrics"

if [ "$mode" = promtool ]; then
    curl -sS --max-time 10 -D "$work/headers" -o "$work/scrape.txt" "$url" ||
        fail "no answer from $url"
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
deadline=$((SECONDS + 30))
up="" bits="" build=""
while [ $SECONDS -lt $deadline ]; do
    kill -0 "${pids[1]}" 2>/dev/null || break
    up="$(query 'up{job="corvane"}')"
    bits="$(query corvane_bit_count_total)"
    build="$(query corvane_build_info)"
    if grep -q '"value":\[[0-9.]*,"1"\]' <<<"$up" && grep -q "\"serial\":\"$serial\"" <<<"$bits" &&
        grep -q '"version":"' <<<"$build"; then
        echo "Prometheus scraped $url: up = 1, corvane_bit_count_total{serial=\"$serial\"} and corvane_build_info are there"
        exit 0
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
