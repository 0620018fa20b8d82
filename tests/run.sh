#!/usr/bin/env bash
# Installs what the tests need (as root, on Debian 12), builds every
# configuration and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "$(id -u)" = 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  dpkg --add-architecture i386
  apt-get update
  apt-get install -y --no-install-recommends \
    cmake make g++ libgtest-dev zlib1g-dev zip unzip python3 binutils
fi

jobs=$(nproc)
for preset in native asan; do
  cmake --preset "$preset"
  cmake --build --preset "$preset" -j "$jobs"
  ctest --preset "$preset" -j "$jobs"
done
