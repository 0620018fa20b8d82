#!/usr/bin/env bash
# Remakes the seed corpus with other tools: Info-ZIP zip, bsdtar, Python's
# zipfile and zlib. Each seed stays small, so that the fuzzer mutates quickly.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
unzipSeeds=$here/corpus/unzip
inflateSeeds=$here/corpus/inflate
rm -rf "$unzipSeeds" "$inflateSeeds"
mkdir -p "$unzipSeeds" "$inflateSeeds"

cd "$work"
mkdir -p tree/sub/deeper tree/empty
printf 'hello, world\n' >tree/hello.txt
: >tree/sub/empty.bin
seq 1 300 >tree/sub/deeper/numbers.txt
LC_ALL=C awk 'BEGIN { srand(7); for (i = 0; i < 600; i++) printf "%c", int(rand() * 256) }' >tree/sub/random.bin
touch -d '2001-02-03 04:05:06' tree/hello.txt

zip -qr -0 "$unzipSeeds/zipStored.zip" tree
zip -qr -9 "$unzipSeeds/zipDeflated.zip" tree
zip -qr -D "$unzipSeeds/zipNoDirectories.zip" tree/hello.txt tree/sub/deeper
echo 'a comment' | zip -qz "$unzipSeeds/zipDeflated.zip"
# A self-extractor: a stub in front, positions adjusted to the whole file.
printf '#!/bin/sh\nexit 0\n' >stub
zip -q inner.zip tree/hello.txt
cat stub inner.zip >"$unzipSeeds/zipStub.zip"
zip -qA "$unzipSeeds/zipStub.zip"
# Zip64 records for a small archive: the end record holds all ones.
zip -qr -fz "$unzipSeeds/zip64.zip" tree/hello.txt tree/sub
bsdtar -a -cf "$unzipSeeds/bsdtar.zip" tree
bsdtar --format zip --options zip:compression=store -cf "$unzipSeeds/bsdtarStored.zip" tree/hello.txt

# Deflate64 from 7-Zip: letters repeated from beyond 32 KiB back, then a
# run; the archive, and its entry's stream alone.
python3 -c 'import random, sys; sys.stdout.buffer.write(random.Random(9).randbytes(33000).translate(bytes(b"ab"[i & 1] for i in range(256))) * 2 + b"z" * 2000)' >far.txt
7z a -tzip -mm=Deflate64 "$unzipSeeds/deflate64.zip" far.txt >/dev/null

python3 - "$unzipSeeds" "$inflateSeeds" <<'PY'
import sys, zipfile, zlib
unzipSeeds, inflateSeeds = sys.argv[1:]
text = b"".join(b"line %d of a text that repeats itself\n" % i for i in range(60))
with zipfile.ZipFile(unzipSeeds + "/zipfile.zip", "w") as archive:
    archive.writestr("stored.txt", b"stored bytes", zipfile.ZIP_STORED)
    archive.writestr("dir/", b"")
    archive.writestr("dir/deflated.txt", text, zipfile.ZIP_DEFLATED)
    archive.writestr("Gr\u00fc\u00dfe/\u65e5\u672c.txt", b"marked UTF-8")
    archive.comment = b"zipfile comment"

# Two central records for one entry's local header and data.
with zipfile.ZipFile(unzipSeeds + "/overlapping.zip", "w") as archive:
    archive.writestr("first.txt", text, zipfile.ZIP_DEFLATED)
with open(unzipSeeds + "/overlapping.zip", "rb") as f:
    data = f.read()
central = data.index(b"PK\x01\x02")
end = data.index(b"PK\x05\x06")
record = data[central:end]
second = record[:46] + b"again.txt" + record[46 + 9:]  # a name of the same length
endRecord = bytearray(data[end:])
endRecord[8:12] = (2).to_bytes(2, "little") * 2
endRecord[12:16] = (2 * len(record)).to_bytes(4, "little")
with open(unzipSeeds + "/overlapping.zip", "wb") as f:
    f.write(data[:end] + second + bytes(endRecord))

def raw(data, level=6, strategy=zlib.Z_DEFAULT_STRATEGY):
    c = zlib.compressobj(level, zlib.DEFLATED, -15, 9, strategy)
    return c.compress(data) + c.flush()

pattern = bytes(range(256)) * 4
seeds = {
    "stored": raw(text[:300], 0),
    "fixed": raw(text, 6, zlib.Z_FIXED),
    "dynamic": raw(text, 9),
    "huffmanOnly": raw(text + pattern, 6, zlib.Z_HUFFMAN_ONLY),
    "runs": raw(b"a" * 3000 + b"b" * 40, 9, zlib.Z_RLE),
    "empty": raw(b""),
}
# Several blocks in one stream: a full flush ends each block in between.
c = zlib.compressobj(6, zlib.DEFLATED, -15)
seeds["blocks"] = (c.compress(text[:500]) + c.flush(zlib.Z_FULL_FLUSH)
                   + c.compress(pattern) + c.flush())
with zipfile.ZipFile(unzipSeeds + "/deflate64.zip") as archive:
    info = archive.infolist()[0]
with open(unzipSeeds + "/deflate64.zip", "rb") as f:
    data = f.read()
start = info.header_offset + 30 + int.from_bytes(data[info.header_offset + 26:info.header_offset + 28], "little") \
    + int.from_bytes(data[info.header_offset + 28:info.header_offset + 30], "little")
seeds["deflate64"] = data[start:start + info.compress_size]
for name, data in seeds.items():
    with open(inflateSeeds + "/" + name, "wb") as f:
        f.write(data)
PY
ls -l "$unzipSeeds" "$inflateSeeds"
