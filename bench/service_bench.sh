#!/usr/bin/env bash
# Benchmarks of tallybell-service on this machine (run by hand, never by the tests):
#   S1 resolve   resolve requests per second over HTTPS keep-alive (wrk, 32 connections,
#                1,000 installations), with the rollout at 50 %
#   S2 results   result events per second, each a new event committed to disk before its
#                answer (wrk, 64 connections)
#   S3 memory    peak resident memory of the service (VmHWM) after both
# Usage: bench/service_bench.sh    environment: BENCH_BUILD=build SECONDS_PER_RUN=15
#                                  BENCH_PORT=47619 BENCH_DIR=<temporary directory>
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
build=${BENCH_BUILD:-$repo/build}
port=${BENCH_PORT:-47619}
duration=${SECONDS_PER_RUN:-15}
work=${BENCH_DIR:-$(mktemp -d)}
service=$build/tallybell-service
base=https://localhost:$port

python3 -c "import sys; sys.path.insert(0, '$repo/tests/service'); from certificates import make_certificates; make_certificates('$work/tls')"
mkdir -p "$work/build"
echo exe > "$work/build/Tallybell.exe"
head -c 100000 /dev/urandom > "$work/build/data.bin"
for id in 1.0 2.0; do
  echo "$id" > "$work/build/version.txt"
  "$build/tallybell-publish" release --input "$work/build" --release-id $id --base-url "$base" --out "$work/content" >/dev/null 2>&1
done
db=$work/service.db
rm -f "$db"*
"$service" init --db "$db" --public-url "$base" >/dev/null
for id in 1.0 2.0; do
  "$service" release add "$work/content/releases/$id" --db "$db" --base-url "$base" >/dev/null
done
"$service" rollout start --db "$db" --release 1.0 --percent 100 >/dev/null
"$service" rollout start --db "$db" --release 2.0 --percent 50 >/dev/null
"$service" serve --db "$db" --cert "$work/tls/server.pem" --key "$work/tls/server.key" \
  --listen "127.0.0.1:$port" --content "$work/content" --threads 96 >"$work/service.log" 2>&1 &
pid=$!
trap 'kill $pid 2>/dev/null || true' EXIT
sleep 1

echo "S1 resolve (${duration}s, 32 connections)"
wrk -t2 -c32 -d"${duration}s" --latency -s "$repo/bench/service_resolve.lua" "$base/update/v1/resolve" |
  grep -E 'Requests/sec|Non-2xx|50%|99%|requests in'
echo "S2 results (${duration}s, 64 connections)"
wrk -t2 -c64 -d"${duration}s" --latency -s "$repo/bench/service_results.lua" "$base/update/v1/results" |
  grep -E 'Requests/sec|Non-2xx|50%|99%|requests in'
echo "S3 memory: $(grep VmHWM /proc/$pid/status)"
kill "$pid"; wait "$pid" || true
trap - EXIT
"$service" rollout status --db "$db" | tail -1
