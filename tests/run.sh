#!/usr/bin/env bash
# Installs what the tests need (tests/install.sh), builds every
# configuration and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."

tests/install.sh

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
