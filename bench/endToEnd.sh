#!/usr/bin/env bash
# End-to-end extraction and memory benchmark (options: see endToEnd.py --help).
set -euo pipefail
bench=$(cd "$(dirname "$0")" && pwd)
"$bench/prepare.sh"
exec python3 "$bench/endToEnd.py" "$@"
