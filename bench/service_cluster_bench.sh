#!/usr/bin/env bash
# Throughput of tallybell-service by deployment, on this machine (run by hand, never by the
# tests), with the request scripts of bench/service_bench.sh:
#   resolve   resolve requests per second over HTTPS keep-alive (wrk, 32 connections)
#   results   result events per second, each new and committed before its answer (wrk,
#             64 connections)
# for: SQLite, one instance; PostgreSQL, one instance; PostgreSQL, one and two instances
# behind nginx (TLS terminated there, keep-alive TLS to the instances).
# PostgreSQL 15 runs from Debian's package in the work directory (as nobody when run as
# root), with its default durable commits.
# Usage: bench/service_cluster_bench.sh    environment: BENCH_BUILD=build SECONDS_PER_RUN=10
#                                          BENCH_PORT=47700 BENCH_DIR=<temporary directory>
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
build=${BENCH_BUILD:-$repo/build}
port=${BENCH_PORT:-47700}
duration=${SECONDS_PER_RUN:-10}
work=${BENCH_DIR:-$(mktemp -d)}
service=$build/tallybell-service
pgbin=/usr/lib/postgresql/15/bin
base=https://localhost:$port
chmod 755 "$work"
as_pg() { if [ "$(id -u)" = 0 ]; then runuser -u nobody -- "$@"; else "$@"; fi; }
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  [ -f "$work/nginx.pid" ] && kill "$(cat "$work/nginx.pid")" 2>/dev/null
  as_pg $pgbin/pg_ctl -D "$work/pg/data" stop -m fast >/dev/null 2>&1 || true
}
trap cleanup EXIT

python3 -c "import sys; sys.path.insert(0, '$repo/tests/service'); from certificates import make_certificates; make_certificates('$work/tls')"
mkdir -p "$work/build" "$work/pg" "$work/nginx"
[ "$(id -u)" != 0 ] || chown nobody "$work/pg"
echo exe >"$work/build/Tallybell.exe"
head -c 100000 /dev/urandom >"$work/build/data.bin"
"$build/tallybell-publish" release --input "$work/build" --release-id 1.0 --base-url "$base" --out "$work/content" >/dev/null
as_pg $pgbin/initdb -D "$work/pg/data" -U tallybell --auth=trust --no-locale -E UTF8 >/dev/null
as_pg $pgbin/pg_ctl -D "$work/pg/data" -l "$work/pg/log" -w \
  -o "-p $((port + 10)) -k $work/pg -c listen_addresses=127.0.0.1 -c max_connections=50" start >/dev/null

prepare() {  # database
  "$service" init --db "$1" --public-url "$base" >/dev/null
  "$service" release add "$work/content/releases/1.0" --db "$1" --base-url "$base" >/dev/null
  "$service" rollout start --db "$1" --release 1.0 --percent 100 >/dev/null
}
serve() {  # database, port
  "$service" serve --db "$1" --cert "$work/tls/server.pem" --key "$work/tls/server.key" \
    --listen "127.0.0.1:$2" --threads 96 >>"$work/service.log" 2>&1 &
  pids+=($!)
  sleep 1
}
balance() {  # ports of the instances
  local servers=""
  for p in "$@"; do servers="$servers server 127.0.0.1:$p;"; done
  cat >"$work/nginx.conf" <<CONF
worker_processes auto;
pid $work/nginx.pid;
events { worker_connections 1024; }
http {
  access_log off;
  client_body_temp_path $work/nginx/body; proxy_temp_path $work/nginx/proxy;
  fastcgi_temp_path $work/nginx/fastcgi; uwsgi_temp_path $work/nginx/uwsgi; scgi_temp_path $work/nginx/scgi;
  upstream service { $servers keepalive 32; keepalive_requests 1000000; keepalive_timeout 60s; }
  server {
    listen 127.0.0.1:$port ssl; keepalive_requests 1000000;
    ssl_certificate $work/tls/server.pem; ssl_certificate_key $work/tls/server.key;
    location / { proxy_pass https://service; proxy_http_version 1.1; proxy_set_header Connection ""; proxy_ssl_session_reuse on; }
  }
}
CONF
  nginx -p "$work/nginx" -c "$work/nginx.conf" -e "$work/nginx/error.log"
  sleep 0.5
}
stop_all() {
  for p in "${pids[@]}"; do kill "$p"; wait "$p" || true; done
  pids=()
  if [ -f "$work/nginx.pid" ]; then kill "$(cat "$work/nginx.pid")"; sleep 0.5; fi
}
measure() {  # label, port
  for kind in resolve results; do
    local c=32; [ $kind = results ] && c=64
    local out
    out=$(wrk -t2 -c$c -d"${duration}s" --latency -s "$repo/bench/service_$kind.lua" "https://localhost:$2/update/v1/$kind")
    printf '%-34s %-8s %10s/s  p50 %-9s p99 %-9s %s\n' "$1" $kind "$(echo "$out" | awk '/Requests\/sec/ {print $2}')" \
      "$(echo "$out" | awk '$1 == "50%" {print $2}')" "$(echo "$out" | awk '$1 == "99%" {print $2}')" \
      "$(echo "$out" | grep -o 'Non-2xx.*' || true)"
  done
}

pg=postgresql://tallybell@127.0.0.1:$((port + 10))/postgres
prepare "$work/service.db"
serve "$work/service.db" $((port + 1))
measure "SQLite, one instance" $((port + 1))
stop_all
prepare "$pg"
serve "$pg" $((port + 1))
measure "PostgreSQL, one instance" $((port + 1))
balance $((port + 1))
measure "PostgreSQL, one instance, nginx" "$port"
stop_all
serve "$pg" $((port + 1))
serve "$pg" $((port + 2))
balance $((port + 1)) $((port + 2))
measure "PostgreSQL, two instances, nginx" "$port"
stop_all
echo "events stored in PostgreSQL: $("$service" rollout status --db "$pg" | sed -n 's/^  results \([0-9]*\),.*/\1/p')"
