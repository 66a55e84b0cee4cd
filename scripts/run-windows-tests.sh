#!/bin/sh
# Runs the Windows unit-test program under Wine in a fresh, throw-away prefix.
# Usage: scripts/run-windows-tests.sh [gtest options...]
# Build first: cmake --preset windows && cmake --build --preset windows
# Exits with the test program's status (0 when every test passed). The shell sees the
# Windows exit code modulo 256, which keeps gtest's 0 and 1 intact.
set -eu

repo=$(cd "$(dirname "$0")/.." && pwd)
build="$repo/build-windows"
tests="$build/tests/tallybell-tests.exe"
if [ ! -f "$tests" ]; then
  echo "run-windows-tests: $tests not found; build the windows preset first" >&2
  exit 2
fi

prefix=$(mktemp -d "${TMPDIR:-/tmp}/tallybell-wine.XXXXXX")
export WINEPREFIX="$prefix"
export WINEDEBUG=-all
# No menu entries, no .NET or Gecko installer prompts in the fresh prefix.
export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d"

cleanup() {
  # Let the prefix's wineserver finish before its directory goes away; the services of
  # tests that did not end end with their control directories inside the prefix.
  wineserver -k >/dev/null 2>&1 || true
  wineserver -w >/dev/null 2>&1 || true
  rm -rf "$prefix"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# Create the prefix up front so its start-up chatter stays out of the test output.
wine wineboot --init >/dev/null 2>&1 || true
wineserver -w

# The network tests start the loopback service of tests/service (a Unix program, which Wine
# runs as one) with certificates from one CA made for this prefix; the prefix's machine
# ROOT store trusts it, as a Windows machine would trust a real one. The host's stores are
# never touched. Connections go direct: no proxy of the caller takes part.
python3 -B "$repo/tests/service/certificates.py" "$prefix/test-ca"
if ! wine "$build/tests/tallybell-trust-test-ca.exe" "Z:$prefix/test-ca/ca.pem"; then
  echo "run-windows-tests: the prefix refused the test CA" >&2
  exit 2
fi
export TALLYBELL_TEST_CA_DIR="$prefix/test-ca"
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY all_proxy ALL_PROXY no_proxy NO_PROXY

# The tests run with build-windows as their working directory (drive Z: maps the Linux
# root), where tallybell-update.exe lies; a copy also sits beside the test program.
cd "$build"
status=0
wine "$tests" "$@" || status=$?
wineserver -w
exit "$status"
