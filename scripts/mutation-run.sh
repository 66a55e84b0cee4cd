#!/usr/bin/env bash
# Mutation run: plants each fault of scripts/mutants.txt in the product code in turn,
# rebuilds the linux preset incrementally, runs the tests and reports whether the suite
# caught the fault. Not part of CI; it takes a long time.
#
#   scripts/mutation-run.sh [--check] [--only NAME[,NAME...]] [--list FILE] [--out FILE]
#
# --check only verifies that every fault still applies to the current sources.
# For speed the tests of the mutated folder run first (tests/<folder>/, stopping at the
# first failure); only when they all pass does the whole Linux suite run, short campaigns
# included. The file is always restored, also when the run is interrupted.
set -euo pipefail

ROOT="$(cd "$(dirname "$0")/.." && pwd)"
LIST="$ROOT/scripts/mutants.txt"
OUT=""
ONLY=""
CHECK=0
BUILD="$ROOT/build"
TEST_TIMEOUT="${MUTATION_TEST_TIMEOUT:-180}"
while [ $# -gt 0 ]; do
  case "$1" in
    --check) CHECK=1 ;;
    --only) ONLY="$2"; shift ;;
    --list) LIST="$2"; shift ;;
    --out) OUT="$2"; shift ;;
    *) echo "unknown argument: $1" >&2; exit 2 ;;
  esac
  shift
done
[ -n "$OUT" ] || OUT="$BUILD/mutation-report.txt"
cd "$ROOT"

# apply FILE OLD NEW: replaces the one occurrence of OLD; fails when there is not exactly one.
apply() {
  python3 - "$1" "$2" "$3" <<'PY'
import sys
path, old, new = sys.argv[1:4]
text = open(path, encoding="utf-8").read()
if text.count(old) != 1:
    sys.exit(f"{path}: expected the text once, found it {text.count(old)} times: {old}")
open(path, "w", encoding="utf-8").write(text.replace(old, new))
PY
}

# The tests of one folder of src/: the suites of tests/<folder>/ (platform: its POSIX
# and portable tests), as a ctest regular expression.
folder_regex() {
  local dir="tests/$1"
  local suites
  suites=$(grep -rhoE --include='*_test.cpp' --exclude-dir=windows \
             '^TEST(_F|_P)?\(([^,]+),' "$dir" 2>/dev/null |
           sed -E 's/^TEST(_F|_P)?\(([^,]+),/\2/' | sort -u | paste -sd'|' -)
  [ -n "$suites" ] && echo "(^|/)($suites)\\."
}

BACKUP=""
TARGET=""
restore() {
  if [ -n "$BACKUP" ] && [ -f "$BACKUP" ]; then
    cp "$BACKUP" "$TARGET"
    rm -f "$BACKUP"
    BACKUP=""
  fi
}
trap 'restore' EXIT
trap 'restore; exit 130' INT TERM

mapfile -t LINES < <(grep -v -E '^\s*(#|$)' "$LIST")

if [ "$CHECK" = 1 ]; then
  bad=0
  for line in "${LINES[@]}"; do
    IFS=$'\t' read -r name file old new <<<"$line"
    TARGET="$file"; BACKUP="$(mktemp)"; cp "$file" "$BACKUP"
    apply "$file" "$old" "$new" || bad=$((bad + 1))
    restore
  done
  echo "${#LINES[@]} faults, $bad do not apply"
  exit $(( bad > 0 ))
fi

[ -f "$BUILD/CMakeCache.txt" ] || cmake --preset linux >/dev/null
build() { nice -n 5 cmake --build "$BUILD" -j2 "$@" >"$BUILD/mutation-build.log" 2>&1; }
# Runs ctest; prints the first failing test, or nothing when all passed.
run_tests() {
  rm -f "$BUILD/Testing/Temporary/LastTestsFailed.log"
  if nice -n 5 ctest --test-dir "$BUILD" -j2 --stop-on-failure --timeout "$TEST_TIMEOUT" "$@" \
       >"$BUILD/mutation-ctest.log" 2>&1; then
    return 0
  fi
  local failed
  failed=$(sed -n '1s/^[0-9]*://p' "$BUILD/Testing/Temporary/LastTestsFailed.log" 2>/dev/null || true)
  echo "${failed:-ctest-error}"
}

mkdir -p "$(dirname "$OUT")"
printf '%-32s %-12s %-9s %-7s %s\n' "fault" "folder" "result" "secs" "first failing test" | tee "$OUT"
caught=0
survived=0
for line in "${LINES[@]}"; do
  IFS=$'\t' read -r name file old new <<<"$line"
  if [ -n "$ONLY" ] && [[ ",$ONLY," != *",$name,"* ]]; then continue; fi
  folder=$(echo "$file" | cut -d/ -f2)
  start=$(date +%s)
  TARGET="$file"; BACKUP="$(mktemp)"; cp "$file" "$BACKUP"
  result="survived"
  by="-"
  if ! apply "$file" "$old" "$new"; then
    result="invalid"
  elif ! build --target tallybell-tests; then
    result="no-build"
  else
    regex=$(folder_regex "$folder" || true)
    failed=""
    if [ -n "$regex" ]; then
      failed=$(run_tests -R "$regex" -LE campaign) || true
    fi
    if [ -n "$failed" ]; then
      result="caught"; by="$failed"
    elif ! build; then
      result="no-build"
    else
      failed=$(run_tests) || true
      if [ -n "$failed" ]; then result="caught"; by="$failed (whole suite)"; fi
    fi
  fi
  restore
  case "$result" in caught) caught=$((caught + 1)) ;; survived) survived=$((survived + 1)) ;; esac
  printf '%-32s %-12s %-9s %-7s %s\n' "$name" "$folder" "$result" "$(( $(date +%s) - start ))" "$by" |
    tee -a "$OUT"
done
# Leave the build matching the unchanged sources (MUTATION_KEEP_BUILD=1 skips this when
# another fault follows at once, as when a driver runs the faults one by one).
[ "${MUTATION_KEEP_BUILD:-0}" = 1 ] || build || true
echo "caught $caught, survived $survived" | tee -a "$OUT"
