#!/usr/bin/env bash
# Download throughput and memory of the download task against curl, on one machine and
# the same data: a local HTTPS server (the test service of tests/service, which serves
# offset-pattern objects from memory) and a work directory on the repository's disk.
#
# Prints, for a 256 MiB object:
#   - curl -o followed by sync, and the download task (libcurl client, default chunk),
#     alternating for ROUNDS rounds, each timed from start to the end of a sync, and the
#     ratio task / curl of the summed throughputs;
#   - the task with each hand-over chunk size of CHUNKS (KiB), ROUNDS interleaved passes;
#   - the task's peak resident memory for a 16 MiB and a 256 MiB object (/usr/bin/time -v).
#
# Usage: bench/download_bench.sh   (environment: ROUNDS=3, CHUNKS="1024 2048 4096 8192 16384")
# Builds bench/ in build-bench (Release, tests off). Not run by the tests or CI.
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
build="$repo/build-bench"
rounds=${ROUNDS:-3}
chunks=${CHUNKS:-"1024 2048 4096 8192 16384"}
mib=1048576

for tool in curl python3 openssl sha256sum /usr/bin/time; do
  command -v "$tool" >/dev/null || { echo "download_bench: $tool is missing" >&2; exit 2; }
done

cmake -S "$repo" -B "$build" -DCMAKE_BUILD_TYPE=Release -DTALLYBELL_BENCH=ON -DTALLYBELL_TESTS=OFF >/dev/null
cmake --build "$build" --target tallybell-download-bench -j2 >/dev/null
bench="$build/bench/tallybell-download-bench"

work=$(mktemp -d "$build/run.XXXXXX")
service_pid=
cleanup() {
  exec 3>&- 2>/dev/null || true
  if [ -n "$service_pid" ]; then kill "$service_pid" 2>/dev/null || true; wait "$service_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# The service: one route per object size. It exits when its stdin (fd 3 here) closes.
mkdir -p "$work/service" "$work/runtime"
chmod 700 "$work/runtime"
cat >"$work/service/routes.json" <<EOF
{"routes":[{"method":"*","path":"/o16","responses":[{"objectSize":$((16 * mib))}]},
           {"method":"*","path":"/o256","responses":[{"objectSize":$((256 * mib))}]}]}
EOF
mkfifo "$work/service-stdin"
python3 -B "$repo/tests/service/tallybell_test_service.py" --control-dir "$work/service" \
  <"$work/service-stdin" >"$work/service-ready" 2>"$work/service-stderr" &
service_pid=$!
exec 3>"$work/service-stdin"
for _ in $(seq 100); do grep -q '^ready' "$work/service-ready" 2>/dev/null && break; sleep 0.1; done
port=$(awk '/^ready/ {print $2}' "$work/service-ready")
[ -n "$port" ] || { echo "download_bench: the service did not start" >&2; cat "$work/service-stderr" >&2; exit 1; }
ca="$work/service/tls/ca.pem"
export SSL_CERT_FILE="$ca" XDG_RUNTIME_DIR="$work/runtime"
unset http_proxy https_proxy HTTPS_PROXY all_proxy ALL_PROXY SSL_CERT_DIR

url() { echo "https://localhost:$port/o$1"; }
now_ns() { date +%s%N; }
rate() { echo "$1 $2" | awk '{printf "%.1f", $1 / 1048576 / ($2 / 1e9)}'; }

# Warms the service's copy of each object and learns its hash.
declare -A sha
for size in 16 256; do
  curl -sS --fail --cacert "$ca" -o "$work/warm.bin" "$(url "$size")"
  sha[$size]=$(sha256sum "$work/warm.bin" | cut -d' ' -f1)
  rm -f "$work/warm.bin"
done
sync

# Runs the task for an object of $1 MiB with chunk $2 bytes (empty: default) into a
# fresh cache; prints the wall-clock nanoseconds including a final sync.
run_task() {
  rm -rf "$work/cache"
  sync
  local start end
  start=$(now_ns)
  "$bench" "$work/cache" "${sha[$1]}" $(($1 * mib)) "$(url "$1")" ${2:+"$2"} >/dev/null
  sync
  end=$(now_ns)
  echo $((end - start))
}

run_curl() {
  rm -f "$work/curl.bin"
  sync
  local start end
  start=$(now_ns)
  curl -sS --fail --cacert "$ca" -o "$work/curl.bin" "$(url 256)"
  sync
  end=$(now_ns)
  [ "$(sha256sum "$work/curl.bin" | cut -d' ' -f1)" = "${sha[256]}" ] || { echo "curl got other bytes" >&2; exit 1; }
  rm -f "$work/curl.bin"
  echo $((end - start))
}

echo "256 MiB over HTTPS from 127.0.0.1:$port, work directory $work"
curl_total=0
task_total=0
for round in $(seq "$rounds"); do
  c=$(run_curl)
  t=$(run_task 256 "")
  curl_total=$((curl_total + c))
  task_total=$((task_total + t))
  echo "round $round: curl -o + sync $(rate $((256 * mib)) "$c") MiB/s, task $(rate $((256 * mib)) "$t") MiB/s"
done
curl_rate=$(rate $((rounds * 256 * mib)) "$curl_total")
task_rate=$(rate $((rounds * 256 * mib)) "$task_total")
echo "all rounds: curl -o + sync $curl_rate MiB/s, task $task_rate MiB/s," \
  "ratio task/curl $(echo "$task_rate $curl_rate" | awk '{printf "%.2f", $1 / $2}')"

# Interleaved passes, so that a slow spell of the machine does not fall on one size.
echo "task by hand-over chunk size (256 MiB, $rounds interleaved passes, median last):"
declare -A by_chunk
for _ in $(seq "$rounds"); do
  for kib in $chunks; do
    t=$(run_task 256 $((kib * 1024)))
    by_chunk[$kib]="${by_chunk[$kib]:-} $(rate $((256 * mib)) "$t")"
  done
done
for kib in $chunks; do
  echo "  $kib KiB:${by_chunk[$kib]} MiB/s, median" \
    "$(echo "${by_chunk[$kib]}" | tr ' ' '\n' | sed '/^$/d' | sort -n | awk '{v[NR] = $1} END {print v[int((NR + 1) / 2)]}')"
done

echo "task peak resident memory (default chunk):"
for size in 16 256; do
  rm -rf "$work/cache"
  /usr/bin/time -v "$bench" "$work/cache" "${sha[$size]}" $((size * mib)) "$(url "$size")" \
    >/dev/null 2>"$work/time.txt"
  echo "  $size MiB object: $(awk -F': ' '/Maximum resident set size/ {print $2}' "$work/time.txt") KiB"
done
