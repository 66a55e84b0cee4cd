#!/usr/bin/env bash
# Publishes the sample build under examples/sample-build with tallybell-publish and lays it
# out as an offline fixture (policy, manifest, objects and the ready-made release) in the
# given directory, which must not exist yet. examples/offline-fixture is this script's
# output:
#   scripts/make-example-fixture.sh build/tallybell-publish examples/offline-fixture
set -euo pipefail
if [ $# -ne 2 ]; then
  echo "usage: $0 <tallybell-publish> <fixture directory>" >&2
  exit 2
fi
publish=$1
out=$2
cd "$(dirname "$0")/.."

release=2026.12.1
service=https://updates.tallybell.example
content=$(mktemp -d)
trap 'rm -rf "$content"' EXIT

"$publish" release --input examples/sample-build --release-id "$release" \
  --base-url "$service" --out "$content/content" >/dev/null
"$publish" policy --manifest "$content/content/releases/$release/manifest.json" \
  --manifest-url "$service/releases/$release/manifest.json" \
  --policy-version 1 --assignment-id example-assignment --check-after 2099-01-01T00:00:00Z \
  --result-url "$service/update/v1/results" --out "$content/policy.json"
"$publish" fixture --content "$content/content" --release-id "$release" \
  --policy "$content/policy.json" --out "$out" --ready-made
