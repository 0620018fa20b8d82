#!/usr/bin/env bash
# On a prepared machine the install step needs no registry: with apt-get
# replaced by a stand-in that fails and records its calls, it succeeds and
# records none.
set -euo pipefail
root=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
printf '#!/bin/sh\necho "$*" >>"%s/calls"\nexit 100\n' "$work" >"$work/apt-get"
chmod +x "$work/apt-get"
PATH="$work:$PATH" "$root/tests/install.sh"
if [ -e "$work/calls" ]; then
  echo "apt-get was called:" >&2
  cat "$work/calls" >&2
  exit 1
fi
