#!/usr/bin/env bash
# Builds the fuzz targets with clang in build/fuzz and runs each for SECONDS
# on a copy of its seed corpus. Any crash, sanitizer report, hang or file
# outside the fuzzer's folder fails the run; the input is kept in
# build/fuzz/artifacts.
set -euo pipefail
seconds=${1:?usage: fuzz/run.sh SECONDS}
cd "$(dirname "$0")/.."
build=build/fuzz
cc=$(command -v clang-14 || command -v clang)
cxx=$(command -v clang++-14 || command -v clang++)

cmake -S fuzz -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER="$cc" -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_COMPILE_WARNING_AS_ERROR=ON
cmake --build "$build" -j "$(nproc)"

# Extracted files go to memory where there is some.
scratch=$(mktemp -d /dev/shm/veskFuzz.XXXXXX 2>/dev/null || mktemp -d)
trap 'rm -rf "$scratch"' EXIT
for target in inflate unzip; do
  corpus=$build/corpus/$target
  rm -rf "$corpus"
  mkdir -p "$corpus" "$build/artifacts"
  cp "fuzz/corpus/$target"/* "$corpus"
  dictionary=()
  [ -f "fuzz/$target.dict" ] && dictionary=("-dict=fuzz/$target.dict")
  echo "== ${target}Fuzzer for $seconds s"
  TMPDIR=$scratch "$build/${target}Fuzzer" -max_total_time="$seconds" -timeout=10 \
    -rss_limit_mb=2048 -close_fd_mask=1 -print_final_stats=1 \
    -artifact_prefix="$build/artifacts/$target-" "${dictionary[@]}" "$corpus"
done
