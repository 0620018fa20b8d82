#!/usr/bin/env bash
# Installs what the tests need (tests/install.sh), builds every
# configuration and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."

tests/install.sh

# The house style over the C and C++ sources, shellcheck and pyflakes over
# the scripts.
tests/lint.sh

jobs=$(nproc)
for preset in native asan tsan; do
  cmake --preset "$preset"
  cmake --build --preset "$preset" -j "$jobs"
  ctest --preset "$preset" -j "$jobs"
done

# Windows last: its tests compare with the native build's results. The
# deliverables are 32-bit; a machine whose kernel cannot run 32-bit programs
# (no IA-32 emulation) cannot run 32-bit Wine either, so there the suite runs
# on a 64-bit build of the same code under wine64, and the 32-bit build's
# own tables are still checked.
cmake --preset windows
cmake --build --preset windows -j "$jobs"
if /usr/lib/wine/wine --version >/dev/null 2>&1; then
  ctest --preset windows -j "$jobs"
else
  echo "run.sh: this machine cannot run 32-bit programs; the Wine suite runs on the 64-bit build"
  ctest --preset windows -j "$jobs" -R '^windows[.]binaries$'
  cmake --preset windows64
  cmake --build --preset windows64 -j "$jobs"
  ctest --preset windows64 -j "$jobs"
fi

# A minute of fuzzing per target on the seed corpus.
fuzz/run.sh 60
