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

packages=(cmake make g++ libgtest-dev python3 zip unzip libarchive-tools zlib1g-dev
          libdeflate-dev time)
missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'ok installed' \
    || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" != 0 ]; then
    echo "bench: missing packages (install as root): ${missing[*]}" >&2
    exit 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  echo "bench: installing ${missing[*]}"
  quietly apt-get update
  quietly apt-get install -y --no-install-recommends "${missing[@]}"
fi

cd "$root"
quietly cmake --preset native
quietly cmake --build --preset native -j "$(nproc)" --target vesk-extract inflateBench
