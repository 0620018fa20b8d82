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

# A path as the program sees it: as it is, or on Wine's drive Z:.
unixPath() { printf '%s' "$1"; }
windowsPath() { printf 'Z:%s' "${1//\//\\}"; }

# inflateBench over the built-in mix and the two corpus files in a tmpfs
# folder of this run, its ratio lines to the summary:
#   decodeAll SUMMARY_LABEL PATH_FUNCTION COMMAND...
decodeAll() {
  local label=$1 path=$2 corpus file
  shift 2
  for corpus in mix text binaries; do
    echo "-- $corpus"
    file=mix
    [ "$corpus" = mix ] || file=$("$path" "$work/$corpus.bin")
    "$@" "$mib" "$file" "$("$path" "$work/decode")" | tee "$work/decode.txt"
    {
      echo "decoding $corpus$label ($mib MiB):"
      grep '^ratio' "$work/decode.txt" | sed 's/^/  /'
    } >>"$VESK_BENCH_SUMMARY"
  done
}

echo
echo "== Decoding one large Deflate entry in memory: vesk unzip, zlib, libdeflate"
if [ ${#quick[@]} -gt 0 ]; then mib=16; else mib=64; fi
python3 "$bench/corpus.py" text "$work/text.bin" $((mib << 20))
python3 "$bench/corpus.py" binaries "$work/binaries.bin" $((mib << 20))
decodeAll "" unixPath "$root/build/native/bin/inflateBench"

echo
echo "== Decoding under Wine: inflateBench.exe through vesk.dll, against zlib built for Windows"
# The 32-bit build where this machine runs 32-bit programs, else the 64-bit
# one; a Wine prefix of this run's own, with no screen: the program only
# writes to the console.
if [ -x "$root/build/windows/bin/inflateBench.exe" ] && wine --version >/dev/null 2>&1; then
  wineBench=(wine "$root/build/windows/bin/inflateBench.exe")
  wineBits=32
elif [ -x "$root/build/windows64/bin/inflateBench.exe" ] && [ -x /usr/lib/wine/wine64 ]; then
  wineBench=(/usr/lib/wine/wine64 "$root/build/windows64/bin/inflateBench.exe")
  wineBits=64
else
  wineBench=()
  echo "skipped: needs Wine and the windows (or windows64) preset built with libz-mingw-w64-dev"
fi
if [ ${#wineBench[@]} -gt 0 ]; then
  wineRun() {
    env -u DISPLAY WINEPREFIX="$work/wine" WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml= "$@"
  }
  wineRun "${wineBench[0]}" wineboot -i >"$work/wineboot.txt" 2>&1 || {
    cat "$work/wineboot.txt" >&2
    exit 1
  }
  decodeAll " under Wine, $wineBits-bit" windowsPath wineRun "${wineBench[@]}"
  wineRun wineserver -k || true
  rm -rf "$work/wine"
fi
rm -f "$work/text.bin" "$work/binaries.bin" "$work/decode.txt" "$work/wineboot.txt"

echo
echo "== Deflate64: one large text entry, against Deflate and 7-Zip"
python3 "$bench/deflate64.py" "${quick[@]}" | tee "$work/deflate64.txt"
{
  echo "Deflate64:"
  grep '^ratio' "$work/deflate64.txt" | sed 's/^/  /'
} >>"$VESK_BENCH_SUMMARY"

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
