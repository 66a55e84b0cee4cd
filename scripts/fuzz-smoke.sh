#!/usr/bin/env bash
# Runs every libFuzzer target for a few seconds on a temporary copy of its starting corpus and
# fails when any of them finds a crash, a leak, a sanitizer report or a time-out.
#
#   scripts/fuzz-smoke.sh [seconds-per-target]   (default 30)
#   FUZZ_KEEP_CORPUS=1 scripts/fuzz-smoke.sh 600  (the long run: new inputs that add
#                                                  coverage are merged into the kept corpus)
#
# Builds the fuzz preset first (clang). The starting inputs of target <name>_fuzz or <name>_parse_fuzz
# are tests/fuzz/corpus/<name>/ when that folder exists, plus the JSON parsing corpus under
# tests/data. Inputs that make a target fail are kept in build-fuzz/fuzz-artifacts/<target>/
# so they can be replayed:
#   build-fuzz/fuzz/<target> <artifact>
set -euo pipefail

seconds="${1:-30}"
if ! [[ "$seconds" =~ ^[0-9]+$ ]] || [ "$seconds" -eq 0 ]; then
  echo "usage: $0 [seconds-per-target]" >&2
  exit 2
fi

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

if [ ! -f build-fuzz/CMakeCache.txt ]; then
  cmake --preset fuzz
fi
cmake --build --preset fuzz

json_inputs="$root/tests/data/json-test-suite/test_parsing"

work="$(mktemp -d "${TMPDIR:-/tmp}/tallybell-fuzz.XXXXXX")"
trap 'rm -rf "$work"' EXIT

failed=()
run_target() {
  local target="$1"
  local kept="$2"
  shift 2
  local corpus="$work/$target"
  local artifacts="$root/build-fuzz/fuzz-artifacts/$target"
  mkdir -p "$corpus" "$artifacts"
  # libFuzzer writes new inputs into its first corpus directory, so it gets a copy.
  local inputs
  for inputs in "$@"; do
    find "$inputs" -maxdepth 1 -type f -exec cp -t "$corpus" -- {} +
  done

  echo "== $target: ${seconds}s on $(ls "$corpus" | wc -l) starting inputs"
  local status=0
  "$root/build-fuzz/fuzz/$target" \
    -max_total_time="$seconds" -timeout=25 -print_final_stats=1 \
    -artifact_prefix="$artifacts/" "$corpus" >"$work/$target.log" 2>&1 || status=$?
  grep -E '^(Done|stat::number_of_executed_units|stat::new_units_added)|DONE' "$work/$target.log" || true
  if [ "$status" -ne 0 ]; then
    echo "!! $target failed with status $status; log follows" >&2
    tail -n 60 "$work/$target.log" >&2
    echo "!! failing inputs are in $artifacts" >&2
    failed+=("$target")
  elif [ "${FUZZ_KEEP_CORPUS:-0}" = 1 ] && [ -n "$kept" ]; then
    # Only inputs that add coverage to what is kept already are copied over.
    mkdir -p "$kept"
    "$root/build-fuzz/fuzz/$target" -merge=1 "$kept" "$corpus" >"$work/$target.merge.log" 2>&1 ||
      echo "!! merging the corpus of $target failed" >&2
    echo "kept corpus: $(ls "$kept" | wc -l) inputs in ${kept#$root/}"
  fi
}

shopt -s nullglob
targets=("$root"/build-fuzz/fuzz/*_fuzz)
if [ "${#targets[@]}" -eq 0 ]; then
  echo "no fuzz targets in build-fuzz/fuzz" >&2
  exit 1
fi
for binary in "${targets[@]}"; do
  [ -x "$binary" ] || continue
  target="$(basename "$binary")"
  name="${target%_fuzz}"
  own_inputs="$root/tests/fuzz/corpus/${name%_parse}"
  if [ -d "$own_inputs" ]; then
    run_target "$target" "$own_inputs" "$own_inputs" "$json_inputs"
  else
    run_target "$target" "" "$json_inputs"
  fi
done

if [ "${#failed[@]}" -ne 0 ]; then
  echo "fuzz smoke failed: ${failed[*]}" >&2
  exit 1
fi
echo "fuzz smoke passed"
