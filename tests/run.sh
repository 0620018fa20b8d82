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
    cmake make g++ libgtest-dev zlib1g-dev zip unzip python3 binutils clang-format git
  # libFuzzer and its sanitizer runtimes.
  apt-get install -y --no-install-recommends clang-14 libclang-rt-14-dev
  # The 32-bit Windows build and its tests under Wine, on a virtual screen.
  apt-get install -y --no-install-recommends \
    g++-mingw-w64-i686 wine wine32:i386 wine64 xvfb icoutils
fi

# The house style (.clang-format) over every tracked C and C++ source.
git ls-files '*.c' '*.cpp' '*.h' | xargs clang-format --dry-run -Werror

jobs=$(nproc)
for preset in native asan; do
  cmake --preset "$preset"
  cmake --build --preset "$preset" -j "$jobs"
  ctest --preset "$preset" -j "$jobs"
done

# Windows last: its tests compare with the native build's results.
cmake --preset windows
cmake --build --preset windows -j "$jobs"
ctest --preset windows -j "$jobs"

# A minute of fuzzing per target on the seed corpus.
fuzz/run.sh 60
