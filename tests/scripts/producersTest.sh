#!/bin/bash
# A tree stored by Info-ZIP zip (zip -0 -r, and -fz for Zip64 records), by
# Python's zipfile (also with Zip64 fields) and, where it is installed, by
# 7-Zip (Deflate64 and Deflate) extracts byte for byte, with the recorded
# modification times (Info-ZIP's extended timestamps to the second, 7-Zip's
# NTFS times, zipfile's MS-DOS times in steps of two), into a destination
# that does not exist yet; names outside ASCII (raw UTF-8 from zip, marked
# UTF-8 by zipfile) keep their bytes. An archive of 70,000 entries extracts
# all of them. The shipped Deflate64 archive, made by 7-Zip from the tree's
# block and run, extracts to the same bytes.
# Usage: producersTest.sh path/to/vesk-extract
set -eu
host=$1
export TZ=America/New_York
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
tree=$work/tree
mkdir -p "$tree/sub/deeper" "$tree/empty dir" "$tree/Grüße"
python3 - "$tree" <<'PYTHON'
import random, sys
random.seed(11)
sizes = {"big.bin": 1 << 20, "sub/a.txt": 100, "sub/deeper/c.bin": 5000,
         "with space.txt": 2048, "empty": 0, "sub/deeper/odd.bin": 2049,
         "Grüße/straße.txt": 300, "日本語 ファイル.txt": 30}
for name, size in sizes.items():
    with open(sys.argv[1] + "/" + name, "wb") as f:
        f.write(random.randbytes(size))
# Deflate64's own codes: 56 KiB of four letters repeated (distances beyond
# 32 KiB), and a long run of one byte.
letters = bytes(b"ACGT"[i & 3] for i in range(256))
with open(sys.argv[1] + "/block.txt", "wb") as f:
    f.write(random.Random(64).randbytes(57344).translate(letters) * 3)
with open(sys.argv[1] + "/run.bin", "wb") as f:
    f.write(b"z" * 300000)
PYTHON
# Summer and winter dates, whatever today's season.
touch -d "2010-06-01 12:30:10" "$tree/big.bin" "$tree/sub/a.txt" "$tree/block.txt" "$tree/run.bin"
touch -d "2010-01-15 08:00:00" "$tree/sub/deeper/c.bin" "$tree/empty"
touch -d "1999-12-31 23:59:58" "$tree/with space.txt"
touch -d "2021-07-04 04:05:07" "$tree/sub/deeper/odd.bin" "$tree/Grüße/straße.txt" "$tree/日本語 ファイル.txt"

(cd "$tree" && zip -0 -r -q "$work/infozip.zip" .)
# Zip64 records for an ordinary archive: an end record of all ones.
(cd "$tree" && zip -6 -r -q -fz "$work/infozip64.zip" .)
python3 - "$tree" "$work" <<'PYTHON'
import os, sys, zipfile
tree, work = sys.argv[1:]
for archive, zip64 in (("zipfile.zip", False), ("zipfile64.zip", True)):
    with zipfile.ZipFile(os.path.join(work, archive), "w", zipfile.ZIP_STORED) as zipped:
        for root, directories, files in os.walk(tree):
            for name in directories + files:
                path = os.path.join(root, name)
                if os.path.isdir(path) or not zip64:
                    zipped.write(path, os.path.relpath(path, tree))
                    continue
                info = zipfile.ZipInfo.from_file(path, os.path.relpath(path, tree))
                with open(path, "rb") as source, zipped.open(info, "w", force_zip64=True) as entry:
                    entry.write(source.read())
# More entries than the end record can count: the true count is in the
# Zip64 end record.
with zipfile.ZipFile(os.path.join(work, "many.zip"), "w") as zipped:
    for i in range(70000):
        zipped.writestr(f"many/{i}", b"")
PYTHON

producers=(infozip infozip64 zipfile zipfile64)
if command -v 7z >/dev/null; then
    (cd "$tree" && 7z a -tzip -mm=Deflate64 -mx=9 "$work/7zDeflate64.zip" . >/dev/null)
    (cd "$tree" && 7z a -tzip -mm=Deflate -mx=9 "$work/7zDeflate.zip" . >/dev/null)
    producers+=(7zDeflate64 7zDeflate)
fi

status=0
shipped=$work/shipped
"$host" "$(dirname "$0")/../data/deflate64.zip" "$shipped" || { echo "FAIL shipped: status $?"; status=1; }
for file in block.txt run.bin; do
    cmp "$tree/$file" "$shipped/$file" || status=1
done
out=$work/many/dest
"$host" "$work/many.zip" "$out" || { echo "FAIL many: status $?"; status=1; }
count=$(find "$out" -type f | wc -l)
[ "$count" = 70000 ] || { echo "FAIL many: $count files, expected 70000"; status=1; }
rm -rf "$work/many"
for producer in "${producers[@]}"; do
    out=$work/$producer/new/dest
    "$host" "$work/$producer.zip" "$out" || { echo "FAIL $producer: status $?"; status=1; continue; }
    diff -r "$tree" "$out" || status=1
    while IFS= read -r -d '' file; do
        expected=$(stat -c %Y "$tree/$file")
        [[ $producer == zipfile* ]] && expected=$((expected - expected % 2))
        actual=$(stat -c %Y "$out/$file")
        if [ "$expected" != "$actual" ]; then
            echo "FAIL $producer $file: time $actual, expected $expected"
            status=1
        fi
    done < <(cd "$tree" && find . -type f -print0)
done
[ $status = 0 ] && echo "${producers[*]}, the shipped Deflate64 archive: all passed"
exit $status
