#!/usr/bin/env bash
# Installs the Debian 12 packages the build and the tests need (through sudo when not root).
set -euo pipefail

packages=(
  build-essential cmake pkg-config
  nlohmann-json3-dev libssl-dev libcurl4-openssl-dev libgtest-dev
  g++-mingw-w64-x86-64-posix wine wine64
  python3 openssl
  clang libclang-rt-14-dev
  libcpp-httplib-dev libsqlite3-dev wrk
  libpq-dev postgresql nginx-light curl
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
echo "installing: ${missing[*]}"
"${sudo_cmd[@]}" apt-get update -q
DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
