#!/usr/bin/env bash
# Builds every configuration and runs every test: Linux, Linux under AddressSanitizer and
# UndefinedBehaviorSanitizer, the Windows test program under Wine, and the fuzz targets.
# Exits non-zero when anything fails.
set -uo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh || exit 1

echo "== layer check"
python3 scripts/check-layers.py || exit 1

build() {
  cmake --preset "$1" >/dev/null && cmake --build --preset "$1"
}
for preset in linux linux-asan windows fuzz; do
  echo "== build $preset"
  build "$preset" || { echo "build of $preset failed"; exit 1; }
done

failed=()
echo "== Windows tests under Wine"
scripts/run-windows-tests.sh || failed+=(windows)
echo "== fuzz smoke runs"
scripts/fuzz-smoke.sh "${FUZZ_SECONDS:-20}" || failed+=(fuzz)
echo "== Linux tests under sanitizers"
ctest --preset linux-asan -j2 || failed+=(linux-asan)
echo "== Linux tests"
ctest --preset linux -j2 || failed+=(linux)

if [ ${#failed[@]} -ne 0 ]; then
  echo "FAILED: ${failed[*]}"
  exit 1
fi
