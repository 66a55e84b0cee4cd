#!/usr/bin/env bash
# Builds the program and runs its offline preparation on the bundled example fixture, in
# temporary program and state roots (nothing outside them is touched).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset linux >/dev/null
cmake --build --preset linux --target tallybell-update

roots=$(mktemp -d)
trap 'rm -rf "$roots"' EXIT
mkdir -p "$roots/state"
# Offline preparation needs an existing local state. A new installation gets one from its
# first background check; here we start from the older line-oriented state format, which
# the program still reads and rewrites in its current checksummed form on the first change.
printf 'stateVersion=1\nactiveRelease=\n' > "$roots/state/state.txt"

run() {
  echo "\$ tallybell-update $*"
  build/tallybell-update "$@" && echo "(exit code 0)" || echo "(exit code $?)"
}
run --offline-fixture examples/offline-fixture --prepare-release 2026.12.1 \
    --program-root "$roots/program" --state-root "$roots/state"
echo
echo "releases now in the program root:"
(cd "$roots/program/releases" && find . -type f | sort)
echo
echo "state.txt (the release is pending):"
cat "$roots/state/state.txt"; echo
echo
echo "a second run finds the release in place and pending, and writes nothing:"
run --offline-fixture examples/offline-fixture --prepare-release 2026.12.1 \
    --program-root "$roots/program" --state-root "$roots/state"
