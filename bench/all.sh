#!/usr/bin/env bash
# Every benchmark, then a summary against the goals:
#   bench/all.sh [--quick] [--keep]
# --quick: small corpora and few rounds; --keep: keep the end-to-end corpus
# in /dev/shm/vesk-bench-cache for the next run.
set -euo pipefail
bench=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$bench")
quick=()
keep=()
for option in "$@"; do
  case $option in
    --quick) quick=(--quick) ;;
    --keep) keep=(--keep) ;;
    *) echo "usage: bench/all.sh [--quick] [--keep]" >&2; exit 2 ;;
  esac
done

"$bench/prepare.sh"
work=$(mktemp -d /dev/shm/vesk-bench-all.XXXXXX)
trap 'rm -rf "$work"' EXIT
export VESK_BENCH_SUMMARY=$work/summary
started=$SECONDS

echo "== End to end and memory"
python3 "$bench/endToEnd.py" "${quick[@]}" "${keep[@]}"

echo
echo "== Decoding one large Deflate entry in memory: vesk unzip, zlib, libdeflate"
if [ ${#quick[@]} -gt 0 ]; then mib=16; else mib=64; fi
python3 "$bench/corpus.py" text "$work/text.bin" $((mib << 20))
python3 "$bench/corpus.py" binaries "$work/binaries.bin" $((mib << 20))
for corpus in mix text binaries; do
  echo "-- $corpus"
  if [ "$corpus" = mix ]; then
    "$root/build/native/bin/inflateBench" "$mib" | tee "$work/decode"
  else
    "$root/build/native/bin/inflateBench" "$mib" "$work/$corpus.bin" | tee "$work/decode"
  fi
  {
    echo "decoding $corpus ($mib MiB):"
    grep '^ratio' "$work/decode" | sed 's/^/  /'
  } >>"$VESK_BENCH_SUMMARY"
done
rm -f "$work/text.bin" "$work/binaries.bin"

echo
echo "== Directory records: many workers against one"
python3 "$bench/directoryRecords.py" "${quick[@]}"

echo
echo "== End-record search"
python3 "$bench/endRecord.py" "${quick[@]}"

echo
echo "== Many small files under Wine: vesk-extract.exe against the bare system calls"
# The 32-bit build where this machine runs 32-bit programs, else the 64-bit one.
if [ -x "$root/build/windows/bin/bare-files.exe" ] && wine --version >/dev/null 2>&1; then
  python3 "$bench/wineFiles.py" "${quick[@]}"
elif [ -x "$root/build/windows64/bin/bare-files.exe" ] && [ -x /usr/lib/wine/wine64 ]; then
  VESK_WINE=/usr/lib/wine/wine64 python3 "$bench/wineFiles.py" --bin "$root/build/windows64/bin" "${quick[@]}"
else
  echo "skipped: needs Wine and the windows (or windows64) preset built"
fi

echo
echo "== Summary ($((SECONDS - started)) s)"
cat "$VESK_BENCH_SUMMARY"
