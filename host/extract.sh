#!/usr/bin/env bash
# Builds the library and its command-line host, then extracts ARCHIVE (by
# default the bundled sample) into DEST (by default ./vesk-output).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
archive=${1:-$root/host/sample/sample.zip}
destination=${2:-vesk-output}

"$root/tests/install.sh" build

cmake -S "$root" -B "$root/build/extract" -DCMAKE_BUILD_TYPE=Release -DVESK_TESTS=OFF >/dev/null
cmake --build "$root/build/extract" --target vesk-extract vesk -j "$(nproc)" >/dev/null
status=0
"$root/build/extract/bin/vesk-extract" "$archive" "$destination" || status=$?
if [ "$status" = 0 ]; then
  echo "Extracted $archive into $(cd "$destination" && pwd)"
else
  echo "Extraction of $archive failed (result $status)" >&2
fi
exit "$status"
