#!/usr/bin/env bash
# Builds the program and shows what this build can do on the bundled example.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset linux >/dev/null
cmake --build --preset linux --target tallybell-update
echo "\$ build/tallybell-update --version"
build/tallybell-update --version
echo "\$ build/tallybell-update"
build/tallybell-update
