#!/usr/bin/env bash
# Service instances on one database behind nginx (TLS termination, content served as a CDN
# would), driven by the real update program: an instance killed with SIGKILL during a burst
# of result deliveries, the database stopped and started during a run, a rollout change
# seen by every instance, and instances whose clocks straddle a window edge issuing the
# same policy. On SQLite one instance runs the same checks without the database restart.
# On PostgreSQL the service's own suite then runs against the same server (its store tests;
# the month of policies runs on its own SQLite file and gains nothing from a second run).
# Usage: service_cluster.sh postgres|sqlite SERVICE UPDATE PUBLISH PORT CERTIFICATE-HELPER-DIR SUITE
set -uo pipefail
backend=$1 service=$2 update=$3 publish=$4 port=$5 certdir=$6 suite=$7
pgbin=/usr/lib/postgresql/15/bin
skip() { echo "SKIPPED: $*"; exit 77; }
command -v nginx >/dev/null || skip "nginx is not installed"
[ "$backend" = sqlite ] || [ -x $pgbin/pg_ctl ] || skip "the PostgreSQL server is not installed ($pgbin)"

tmp=$(mktemp -d) && chmod 755 "$tmp" && cd "$tmp" || exit 1
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
expect() { if [ "$2" = "$3" ]; then echo "ok: $1"; else fail "$1: expected '$2', got '$3'"; fi; }
# The server refuses to run as root: a test run as root hands it to nobody.
as_pg() { if [ "$(id -u)" = 0 ]; then runuser -u nobody -- "$@"; else "$@"; fi; }
pg() { as_pg $pgbin/pg_ctl -D "$tmp/pg/data" -l "$tmp/pg/log" -w -o "-p $((port + 12)) -k $tmp/pg -c listen_addresses=127.0.0.1" "$@" >/dev/null; }
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill -9 "$p" 2>/dev/null; done
  [ -f "$tmp/nginx.pid" ] && kill "$(cat "$tmp/nginx.pid")" 2>/dev/null
  [ -d "$tmp/pg/data" ] && pg stop -m immediate 2>/dev/null
  rm -rf "$tmp"
}
trap cleanup EXIT

if [ "$backend" = postgres ]; then
  instances=3
  mkdir -p pg && { [ "$(id -u)" != 0 ] || chown nobody pg; }
  as_pg $pgbin/initdb -D "$tmp/pg/data" -U tallybell --auth=trust --no-locale -E UTF8 >pg/initdb.log 2>&1 &&
    pg start || { cat pg/initdb.log pg/log; exit 1; }
  db="postgresql://tallybell@127.0.0.1:$((port + 12))/postgres"
else
  instances=1
  db="$tmp/service.db"
fi
python3 -c "import sys; sys.path.insert(0, sys.argv[1]); from certificates import make_certificates; make_certificates(sys.argv[2])" \
  "$certdir" "$tmp/tls" || exit 1
export SSL_CERT_FILE="$tmp/tls/ca.pem"
url="https://localhost:$port"
# Instance clocks one and two seconds before a window edge and one second after it.
edge=1796000040
for i in 1 2 3; do echo $((edge + (i == 3 ? 1 : i - 3))) >"clock-$i"; done
svc() { "$service" "$@" --db "$db" --clock-file "$tmp/clock-1"; }
svc init --public-url "$url" --check-interval 60 >/dev/null || exit 1
for v in 1.0 2.0; do
  mkdir -p "build-$v" && echo "program $v" >"build-$v/Tallybell.exe" && echo "data $v" >"build-$v/data.bin"
  "$publish" release --input "build-$v" --release-id "$v" --base-url "$url" --out content >/dev/null &&
    svc release add "content/releases/$v" --base-url "$url" >/dev/null || exit 1
done
svc rollout start --release 1.0 --percent 100 >/dev/null || exit 1

start_instance() {
  "$service" serve --db "$db" --clock-file "$tmp/clock-$1" --cert tls/server.pem --key tls/server.key \
    --listen "127.0.0.1:$((port + $1))" --threads 16 >"instance-$1.log" 2>&1 &
  pids[$1]=$!
  for _ in $(seq 100); do grep -q "serving on" "instance-$1.log" && return; sleep 0.1; done
  fail "instance $1 did not start: $(cat "instance-$1.log")"
}
for i in $(seq $instances); do start_instance "$i"; done
upstreams=$(for i in $(seq $instances); do echo "server 127.0.0.1:$((port + i));"; done)
mkdir -p nginx inst
cat >nginx.conf <<CONF
worker_processes 1;
pid $tmp/nginx.pid;
events { worker_connections 1024; }
http {
  access_log off;
  client_body_temp_path $tmp/nginx/body; proxy_temp_path $tmp/nginx/proxy;
  fastcgi_temp_path $tmp/nginx/fastcgi; uwsgi_temp_path $tmp/nginx/uwsgi; scgi_temp_path $tmp/nginx/scgi;
  upstream service { $upstreams keepalive 16; }
  server {
    listen 127.0.0.1:$port ssl;
    ssl_certificate $tmp/tls/server.pem; ssl_certificate_key $tmp/tls/server.key;
    location /update/ {
      proxy_pass https://service; proxy_http_version 1.1; proxy_set_header Connection "";
      proxy_ssl_verify on; proxy_ssl_name localhost; proxy_ssl_trusted_certificate $tmp/tls/ca.pem;
    }
    location / { root $tmp/content; }
  }
}
CONF
nginx -p "$tmp/nginx" -c "$tmp/nginx.conf" -e "$tmp/nginx/error.log" || exit 1

body='{"currentReleaseId":"","installationId":"00000000-0000-4000-8000-000000000001","lastGoodReleaseId":"",'\
'"launcherVersion":"0.1.0.37","os":"Linux","productId":"tallybell","quarantinedReleaseIds":[],'\
'"updateCoreVersion":"0.1.0.37","userId":""}'
post() { curl -s --cacert "$tmp/tls/ca.pem" -o "$tmp/answer" -w '%{http_code}' -X POST -H 'Content-Type: application/json' --data "$body" "$1/update/v1/resolve"; }
# The policy each instance issues to one installation, straight from the instance.
policies() { for i in $(seq $instances); do post "https://localhost:$((port + i))" >/dev/null; cat answer; echo; done | sort -u; }
run_install() { "$update" --background-check --force-check --program-root "$tmp/inst/$1/program" --state-root "$tmp/inst/$1/state" >>"inst/$1.log" 2>&1; }
pending() { find inst/*/state/results/pending -name '*.json' 2>/dev/null | wc -l; }
# A later pass: installations without a policy check again, queued events are sent again.
later_pass() {
  for n in "$@"; do
    [ -f "inst/$n/state/state/current-policy.json" ] || run_install "$n"
    "$update" --report-result --state-root "$tmp/inst/$n/state" >>"inst/$n.log" 2>&1
  done
}
stored() { svc rollout status | sed -n 's/^  results \([0-9]*\),.*/\1/p'; }

# The instance whose clock passed the edge moves the shared window; the others follow
# with their next poll of the revision.
sleep 1
expect "every instance issues one policy across the window edge" 1 "$(policies | wc -l)"
before=$(policies)
svc rollout start --release 2.0 --percent 100 >/dev/null
sleep 1.5
after=$(policies)
expect "a rollout change reaches every instance" "1 2.0" "$(echo "$after" | wc -l) $(echo "$after" | grep -o '"targetReleaseId":"[0-9.]*"' | cut -d'"' -f4)"
v() { echo "$1" | grep -o '"policyVersion":[0-9]*' | cut -d: -f2; }
[ "$(v "$after")" -gt "$(v "$before")" ] && echo "ok: the version rises with the change" || fail "version $(v "$after") after $(v "$before")"

# A burst of installations; one instance dies in the middle of it.
burst=16
client=()
for n in $(seq $burst); do run_install "$n" & client+=($!); done
# The kill lands once results are arriving.
for _ in $(seq 100); do [ "$(stored)" -gt 0 ] && break; sleep 0.1; done
[ $instances -gt 1 ] && kill -9 "${pids[2]}"
wait "${client[@]}"
echo "after the burst: $(pending) events still queued, $(grep -c 'prematurely\|reset by peer' nginx/error.log) requests cut off"
later_pass $(seq $burst)
expect "nothing acknowledged is lost after the kill" "0 $burst" "$(pending) $(stored)"
later_pass $(seq $burst)
expect "repeated passes count nothing twice" "$burst" "$(stored)"

if [ "$backend" = postgres ]; then
  pg stop -m fast
  expect "results are refused while the database is down" 503 \
    "$(curl -s --cacert "$tmp/tls/ca.pem" -o /dev/null -w '%{http_code}' -X POST -H 'Idempotency-Key: 0123456789abcdef0123456789abcdef' --data '{}' "$url/update/v1/results")"
  # Each surviving instance, straight: it answers 503 once its snapshot is no longer confirmed.
  live() { for i in 1 3; do post "https://localhost:$((port + i))"; echo; done | sort -u | tr '\n' ' '; }
  for _ in $(seq 60); do [ "$(live)" = "503 " ] && break; sleep 0.25; done
  expect "resolves are refused while the database is down" "503 " "$(live)"
  for n in $(seq $((burst + 1)) $((burst + 4))); do run_install "$n"; done
  expect "installations keep their state during the outage" 0 "$(ls inst/*/state/state/current-policy.json | grep -c "inst/2[5-8]/")"
  pg start
  for _ in $(seq 60); do [ "$(live)" = "200 " ] && break; sleep 0.25; done
  expect "the instances recover by themselves" "200 " "$(live)"
  later_pass $(seq $((burst + 1)) $((burst + 4)))
  expect "nothing is lost over the database restart" "0 $((burst + 4))" "$(pending) $(stored)"
  TALLYBELL_SERVICE_TEST_PG="postgresql://tallybell@127.0.0.1:$((port + 12))" "$suite" --gtest_filter="更新服务.*" >suite.log 2>&1 &&
    echo "ok: the service suite passes on PostgreSQL" || { tail -n 30 suite.log; fail "the service suite on PostgreSQL"; }
fi

[ $failures -eq 0 ] || { tail -n 5 instance-*.log nginx/error.log; exit 1; }
echo "all checks passed ($backend, $instances instance(s))"
