#!/usr/bin/env bash
# Installs the Debian 12 packages the build and the tests need (through sudo when not root);
# --example installs only what building the Linux programs needs.
set -euo pipefail

# What configuring and building the Linux programs needs (the example uses only this).
packages=(
  build-essential cmake pkg-config
  nlohmann-json3-dev libssl-dev libcurl4-openssl-dev libgtest-dev
  libcpp-httplib-dev libsqlite3-dev libpq-dev
  python3 openssl
)
# What the whole test run adds: the Windows cross build and Wine, the fuzz targets, the
# service's load tools, and the database server and load balancer of the cluster tests.
if [ "${1:-}" != "--example" ]; then
  packages+=(
    g++-mingw-w64-x86-64-posix wine wine64
    clang libclang-rt-14-dev
    wrk postgresql nginx-light curl
  )
fi
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
