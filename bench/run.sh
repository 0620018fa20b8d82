#!/usr/bin/env bash
# Builds and runs the decoding benchmark (argument: corpus size in MiB).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cmake --preset native >/dev/null
cmake --build --preset native --target inflateBench -j "$(nproc)" >/dev/null
"$root/build/native/bin/inflateBench" "$@"
