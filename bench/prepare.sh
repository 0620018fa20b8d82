#!/usr/bin/env bash
# Installs the benchmarks' rivals and build needs when missing (as root, on
# Debian) and builds the native preset's host, library and inflateBench.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

# Output only when a step fails.
quietly() {
  local log
  log=$(mktemp)
  if ! "$@" >"$log" 2>&1; then
    cat "$log" >&2
    rm -f "$log"
    return 1
  fi
  rm -f "$log"
}

"$root/tests/install.sh" bench >/dev/null

cd "$root"
quietly cmake --preset native
quietly cmake --build --preset native -j "$(nproc)" --target vesk-extract inflateBench
