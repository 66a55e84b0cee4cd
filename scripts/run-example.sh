#!/usr/bin/env bash
# Builds the update program and the publishing tool, publishes the sample build under
# examples/sample-build as an offline fixture (it stands in for the update service: no
# network is used) and runs the main job, the background check, against it in fresh
# temporary roots; nothing outside them is touched.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh --example
cmake --preset linux >/dev/null
cmake --build --preset linux --target tallybell-update tallybell-publish

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# A fresh fixture, because the fixture records the delivered result events.
echo "\$ scripts/make-example-fixture.sh (tallybell-publish release, policy, fixture)"
scripts/make-example-fixture.sh build/tallybell-publish "$work/fixture"
echo
roots=(--program-root "$work/program" --state-root "$work/state")

run() {
  echo "\$ tallybell-update $*"
  build/tallybell-update "$@" && echo "(exit code 0)" || echo "(exit code $?)"
}
run --background-check --offline-fixture "$work/fixture" "${roots[@]}"
echo
echo "the prepared release:"
(cd "$work/program/releases" && find . -type f | sort)
echo
echo "state.txt (the release is pending; the next check is due at the policy's checkAfter):"
cat "$work/state/state.txt"; echo
echo
echo "result events delivered to the fixture:"
cat "$work/fixture/reported-results.ndjson"
echo
echo "a second run is not due yet and is skipped:"
run --background-check --offline-fixture "$work/fixture" "${roots[@]}"
