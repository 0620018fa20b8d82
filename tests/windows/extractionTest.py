"""The same archives, extracted by the Linux build and by vesk.dll under Wine,
give the same files, bytes, modification times, messages and results, and
both what is expected; the few differences are the Windows rules for names
and paths, stated per case.

Usage: extractionTest.py STATE_DIR WINDOWS_BIN NATIVE_BIN"""
import gzip
import hashlib
import io
import os
import random
import shutil
import signal
import stat
import subprocess
import sys
import time
import zipfile
import zlib

import wineTools
import zipMaker as z

state, windowsBin, nativeBin = sys.argv[1:4]
if not os.path.exists(os.path.join(nativeBin, "vesk-extract")):
    sys.exit(f"no vesk-extract in {nativeBin}: build the native preset first")
os.environ["TZ"] = wineTools.TIME_ZONE
time.tzset()
work = os.path.join(state, "extraction")
shutil.rmtree(work, ignore_errors=True)
os.makedirs(os.path.join(work, "archives"))
started = time.time()

CAPTION = "ZEL Development Environment: "
NOW = "the time of extraction"
TEXT = b"".join(b"line %d of a text that compresses well\r\n" % i for i in range(9000))
NOISE = random.Random(5).randbytes(70000)
DIRECTORY = "directory"
FIFO = "fifo"
# Each component fits Linux's 255 bytes, the whole does not fit 260.
LONG_NAME = "sub/" + "n" * 251 + ".txt"


def fixedCodes(data):
    deflater = zlib.compressobj(9, zlib.DEFLATED, -15, 9, zlib.Z_FIXED)
    return deflater.compress(data) + deflater.flush()


def deflate64Run(byte, matches):
    """A Deflate64 stream of one literal and `matches` of the longest length
    at distance 1: fixed code 285 with all sixteen extra bits set."""
    bits = []

    def field(value, count):  # least significant bit first
        bits.extend((value >> i) & 1 for i in range(count))

    def code(value, count):  # Huffman codes most significant bit first
        bits.extend((value >> i) & 1 for i in reversed(range(count)))

    field(0b11, 3)  # final block, fixed codes
    code(0x30 + byte, 8)
    for _ in range(matches):
        code(0xC0 + 285 - 280, 8)
        field(0xFFFF, 16)
        code(0, 5)
    code(0, 7)  # end of block
    bits += [0] * (-len(bits) % 8)
    return bytes(sum(bit << i for i, bit in enumerate(bits[at:at + 8])) for at in range(0, len(bits), 8))


# The shipped Deflate64 archive, made by 7-Zip: 56 KiB of four letters
# repeated, which reach beyond 32 KiB, and a long run.
with open(os.path.join(os.path.dirname(__file__), "..", "data", "deflate64.zip"), "rb") as shipped:
    DEFLATE64 = shipped.read()
DEFLATE64_BLOCK = random.Random(64).randbytes(57344).translate(bytes(b"ACGT"[i & 3] for i in range(256))) * 3
RUN = b"z" * (1 + 3 * 65538)


# Names marked UTF-8 and Unicode Path names reach Windows through the wide
# calls as written. Unmarked names are narrow text: Linux keeps their bytes;
# Wine reads those made on MS-DOS (host 0) in its OEM code page, 437, those
# from other hosts as UTF-8 where they are, else in its ANSI code page, 1252.
NAMES = ["Grüße/straße.txt", "Привет мир.txt", "日本語/ファイル.txt", "emoji-😀.txt",
         # 140 characters, 420 bytes: the Windows limit counts UTF-16 units.
         "長い/" + "/".join(["路" * 45] * 3) + ".txt"]
UNMARKED = {(b"M\x84rz.txt", 0): "März.txt", (b"Gr\x81\xe1e.txt", 0): "Grüße.txt",
            ("Präsentation für Müller.txt".encode(), 3): "Präsentation für Müller.txt",
            (b"\xe4.txt", 3): "ä.txt", (b"caf\xe9.txt", 11): "café.txt"}
# 261 UTF-16 units with "dest\\"; each component fits Linux's 255 bytes.
CJK_TOO_LONG = "/".join(["路" * 85] * 3) + "/x.txt"
RAW_GRUESSE = "Grüße.txt".encode("cp437")  # as Info-ZIP on Windows writes it


def zipfileNames():
    """Python's zipfile marks every name outside ASCII as UTF-8."""
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w") as archive:
        for name in NAMES[:4]:
            archive.writestr(zipfile.ZipInfo(name, z.SUMMER), name.encode())
    return buffer.getvalue()


def withParents(files):
    """The files and every directory above them."""
    tree = {"dest/": DIRECTORY}
    for path, item in files.items():
        parts = path.split("/")
        for depth in range(2, len(parts)):
            tree["/".join(parts[:depth]) + "/"] = DIRECTORY
        tree[path] = item
    return tree


def infoZipArchive(name, *options):
    """An archive made by Info-ZIP from files with known times."""
    source = os.path.join(work, name)
    os.makedirs(os.path.join(source, "tree", "sub"))
    for path, data, when in (("tree/a.txt", TEXT[:3000], z.WINTER),
                             ("tree/sub/b.bin", NOISE[:3000], z.SUMMER)):
        with open(os.path.join(source, path), "wb") as file:
            file.write(data)
        stamp = time.mktime(when + (0, 0, -1))
        os.utime(os.path.join(source, path), (stamp, stamp))
    subprocess.run(["zip", "-q", "-r", "-X", *options, f"../archives/{name}.zip", "tree"],
                   cwd=source, check=True)
    with open(os.path.join(work, "archives", f"{name}.zip"), "rb") as file:
        return file.read()


# 2020-06-15 12:34:56 UTC; the NTFS time 2021-03-04 05:06:07.1234567 UTC.
EXACT = 1592224496
NTFS = (1614834367 + 11644473600) * 10**7 + 1234567

# name: (archive bytes or None for no file, expected outcome, what differs on
# Windows). An outcome: result, message texts, standard output and the tree
# below the case's folder: directories, and files with bytes and local time.
cases = {
    "stored": (z.archive([
        z.entry("readme.txt", TEXT[:500], when=z.SUMMER),
        z.entry("docs/notes/winter.txt", TEXT[500:900], when=z.WINTER),
        z.entry("docs/extra/", directory=True),
        z.entry("empty.bin", when=(1980, 1, 1, 0, 0, 0)),
        z.entry("noise.bin", NOISE[:5000], when=(2107, 12, 31, 23, 59, 58)),
    ]), {"files": {
        "dest/": DIRECTORY, "dest/docs/": DIRECTORY, "dest/docs/notes/": DIRECTORY,
        "dest/docs/extra/": DIRECTORY,
        "dest/readme.txt": (TEXT[:500], z.SUMMER),
        "dest/docs/notes/winter.txt": (TEXT[500:900], z.WINTER),
        "dest/empty.bin": (b"", (1980, 1, 1, 0, 0, 0)),
        "dest/noise.bin": (NOISE[:5000], (2107, 12, 31, 23, 59, 58)),
    }}, {}),
    "deflate": (z.archive([
        z.entry("text.txt", TEXT, method=8, when=z.WINTER),
        z.entry("noise.bin", NOISE, method=8),
        z.entry("fixed.txt", TEXT[:2000], method=8, compressed=fixedCodes(TEXT[:2000])),
        z.entry("empty.txt", method=8),
    ]), {"files": {
        "dest/": DIRECTORY,
        "dest/text.txt": (TEXT, z.WINTER), "dest/noise.bin": (NOISE, z.SUMMER),
        "dest/fixed.txt": (TEXT[:2000], z.SUMMER), "dest/empty.txt": (b"", z.SUMMER),
    }}, {}),
    "infoZip": (infoZipArchive("infoZip"), {"files": {
        "dest/": DIRECTORY, "dest/tree/": DIRECTORY, "dest/tree/sub/": DIRECTORY,
        "dest/tree/a.txt": (TEXT[:3000], z.WINTER),
        "dest/tree/sub/b.bin": (NOISE[:3000], z.SUMMER),
    }}, {}),
    # Zip64 records: the end record holds all ones.
    "zip64": (infoZipArchive("zip64", "-fz"), {"files": {
        "dest/": DIRECTORY, "dest/tree/": DIRECTORY, "dest/tree/sub/": DIRECTORY,
        "dest/tree/a.txt": (TEXT[:3000], z.WINTER),
        "dest/tree/sub/b.bin": (NOISE[:3000], z.SUMMER),
    }}, {}),
    # The time an extra field gives is set exactly, local or central; the
    # NTFS field's, to 100 ns, before the extended timestamp's.
    "exactTimes": (z.archive([
        z.entry("extended.txt", b"e", extra=z.extendedTime(EXACT)),
        z.entry("local.txt", b"l", localExtra=z.extendedTime(EXACT)),
        z.entry("ntfs.txt", b"n", extra=z.extendedTime(EXACT), localExtra=z.ntfsTime(NTFS)),
        z.entry("cutShort.txt", b"c", extra=z.extendedTime(EXACT)[:8]),
    ]), {"files": {
        "dest/": DIRECTORY, "dest/extended.txt": (b"e", time.localtime(EXACT)[:6]),
        "dest/local.txt": (b"l", time.localtime(EXACT)[:6]),
        "dest/ntfs.txt": (b"n", time.localtime(1614834367)[:6] + (123456700,)),
        "dest/cutShort.txt": (b"c", z.SUMMER),
    }}, {}),
    "encrypted": (z.archive([z.entry("open.txt", b"open"), z.entry("secret.txt", b"noise", flags=1)]), {
        "result": 1, "messages": ["Encrypted file #secret.txt# :-("],
        "files": {"dest/": DIRECTORY, "dest/open.txt": (b"open", z.SUMMER)}}, {}),
    # An installer stub in front; the archive's positions are absolute.
    "selfExtractor": (b"MZ" + bytes(4998) + z.archive(
        [z.entry("inside.txt", TEXT[:100], method=8)], offset=5000), {"files": {
            "dest/": DIRECTORY, "dest/inside.txt": (TEXT[:100], z.SUMMER)}}, {}),
    # Dates that the MS-DOS conversion refuses leave the time of writing.
    "invalidDates": (z.archive([
        z.entry("month0.txt", b"a", dos=(z.dosDateTime((2010, 1, 1, 0, 0, 0))[0] & ~0x1E0, 0)),
        z.entry("february30.txt", b"b", dos=z.dosDateTime((2010, 2, 30, 0, 0, 0))),
        z.entry("hour24.txt", b"c", dos=z.dosDateTime((2010, 2, 1, 24, 0, 0))),
        z.entry("second60.txt", b"d", dos=z.dosDateTime((2010, 2, 1, 0, 0, 60))),
    ]), {"files": {
        "dest/": DIRECTORY, "dest/month0.txt": (b"a", NOW), "dest/february30.txt": (b"b", NOW),
        "dest/hour24.txt": (b"c", NOW), "dest/second60.txt": (b"d", NOW),
    }}, {}),
    "emptyDestination": (z.archive([z.entry("here/file.txt", b"here")]), {"files": {
        "here/": DIRECTORY, "here/file.txt": (b"here", z.SUMMER)}}, {}),
    "badCrc": (z.archive([z.entry("wrong.txt", b"data", crc=1234)]), {
        "result": 1, "messages": ["CRC FAILED :-("],
        "files": {"dest/": DIRECTORY, "dest/wrong.txt": (b"data", z.SUMMER)}}, {}),
    "thirdOfFiveFails": (z.archive(
        [z.entry(f"{n}.txt", n.encode(), crc=7 if n == "three" else None)
         for n in ("one", "two", "three", "four", "five")]), {
        "result": 1, "messages": ["CRC FAILED :-("],
        "files": {"dest/": DIRECTORY, "dest/one.txt": (b"one", z.SUMMER),
                  "dest/two.txt": (b"two", z.SUMMER), "dest/three.txt": (b"three", z.SUMMER)}},
        {}),
    "deflate64": (DEFLATE64, {"files": {
        "dest/": DIRECTORY, "dest/block.txt": (DEFLATE64_BLOCK, z.SUMMER),
        "dest/run.bin": (b"z" * 300000, z.SUMMER)}}, {}),
    "deflate64Longest": (z.archive([z.entry("run.bin", RUN, method=9, compressed=deflate64Run(ord("z"), 3))]), {
        "files": {"dest/": DIRECTORY, "dest/run.bin": (RUN, z.SUMMER)}}, {}),
    "method12": (z.archive([z.entry("bzip2.bin", b"packed", method=12, when=z.WINTER)]), {
        "result": 1, "messages": ["Unsupported compression method (12) :-("],
        "files": {"dest/": DIRECTORY, "dest/bzip2.bin": (b"", z.WINTER)}}, {}),
    "badDeflate": (z.archive([z.entry("broken.txt", b"lost", method=8, compressed=b"\x07\0\0")]), {
        "result": 1, "messages": [" Bad Table "],
        "files": {"dest/": DIRECTORY, "dest/broken.txt": (b"", z.SUMMER)}}, {}),
    "outputIsDirectory": (z.archive([z.entry("taken/", directory=True), z.entry("taken", b"x")]), {
        "result": 1, "messages": ["Can't open output file :-("],
        "files": {"dest/": DIRECTORY, "dest/taken/": DIRECTORY}}, {}),
    "sevenZip": (b"7z\xbc\xaf\x27\x1c" + bytes(58), {
        "result": 1, "messages": [" (SORRY!)"], "output": b"7-"}, {}),
    "gzip": (gzip.compress(TEXT[:2000], mtime=0), {
        "result": 1, "messages": [" (SORRY!)"], "output": b"G"}, {}),
    "tooSmall": (b"PK\x03\x04 short", {
        "result": 1, "messages": ["File is faulty/empty/ridiculously small :-("]}, {}),
    "noEndRecord": (bytes(200), {"result": 1}, {}),
    "missingArchive": (None, {
        "result": 1,
        "messages": ["Cannot open input file #../../archives/missingArchive.zip# :-("]}, {}),
    "unsafeParent": (z.archive([z.entry("docs/../../evil.txt", b"evil")]), {
        "result": 1, "messages": ["Unsafe file name #docs/../../evil.txt# :-("]}, {}),
    "unsafeAbsolute": (z.archive([z.entry("\\evil.txt", b"evil")]), {
        "result": 1, "messages": ["Unsafe file name #\\evil.txt# :-("]}, {}),
    # A colon names a drive or a stream on Windows only.
    "colon": (z.archive([z.entry("c:evil.txt", b"evil")]), {
        "files": {"dest/": DIRECTORY, "dest/c:evil.txt": (b"evil", z.SUMMER)}}, {
        "result": 1, "messages": ["Unsafe file name #c:evil.txt# :-("], "files": {}}),
    # Windows paths end at 260 bytes, Linux paths at 4096.
    "longName": (z.archive([z.entry(LONG_NAME, b"long")]), {
        "files": {"dest/": DIRECTORY, "dest/sub/": DIRECTORY,
                  "dest/" + LONG_NAME: (b"long", z.SUMMER)}}, {
        "result": 1, "messages": [f"File name too long #{LONG_NAME}# :-("], "files": {}}),
    "utf8Names": (z.archive([z.entry(name, name.encode(), flags=z.UTF8) for name in NAMES]
                            + [z.entry(raw, raw, host=host) for raw, host in UNMARKED]), {
        "files": withParents({**{"dest/" + name: (name.encode(), z.SUMMER) for name in NAMES},
                              **{os.fsdecode(b"dest/" + raw): (raw, z.SUMMER)
                                 for raw, _ in UNMARKED}})}, {
        "files": withParents({**{"dest/" + name: (name.encode(), z.SUMMER) for name in NAMES},
                              **{"dest/" + name: (raw, z.SUMMER)
                                 for (raw, _), name in UNMARKED.items()}})}),
    # The box shows an unmarked name as it was read.
    "unmarkedRefused": (z.archive([z.entry(b"M\x84rz/con.txt", b"device")]), {
        "files": withParents({os.fsdecode(b"dest/M\x84rz/con.txt"): (b"device", z.SUMMER)})}, {
        "result": 1, "messages": ["Unsafe file name #März/con.txt# :-("], "files": {}}),
    "zipfileNames": (zipfileNames(), {"files": withParents(
        {"dest/" + name: (name.encode(), z.SUMMER) for name in NAMES[:4]})}, {}),
    # A field for another raw name is stale: the raw name counts (from Unix,
    # not UTF-8: the ANSI code page).
    "unicodePath": (z.archive([
        z.entry(RAW_GRUESSE, b"field", extra=z.unicodePath(RAW_GRUESSE, "Grüße.txt")),
        z.entry(b"na\x8bve.txt", b"stale", extra=z.unicodePath(b"naive.txt", "naïve.txt"), host=3),
    ]), {"files": {
        "dest/": DIRECTORY, "dest/Grüße.txt": (b"field", z.SUMMER),
        os.fsdecode(b"dest/na\x8bve.txt"): (b"stale", z.SUMMER)}}, {"files": {
        "dest/": DIRECTORY, "dest/Grüße.txt": (b"field", z.SUMMER),
        "dest/na‹ve.txt": (b"stale", z.SUMMER)}}),
    # Linux's message line shows malformed bytes as escapes, the box U+FFFD.
    "invalidUtf8": (z.archive([z.entry(b"over\xc0\xaflong.txt", b"x", flags=z.UTF8)]), {
        "result": 1, "messages": ["Unsafe file name #over\\xc0\\xaflong.txt# :-("]}, {
        "messages": ["Unsafe file name #over\ufffd\ufffdlong.txt# :-("]}),
    # Windows trims the final dots and blanks of each name.
    "trailingDots": (z.archive([z.entry("dir./f.txt", b"f"), z.entry("dir./", directory=True),
                                z.entry("trailing.", b"t")]), {
        "files": {"dest/": DIRECTORY, "dest/dir./": DIRECTORY, "dest/dir./f.txt": (b"f", z.SUMMER),
                  "dest/trailing.": (b"t", z.SUMMER)}}, {
        "files": {"dest/": DIRECTORY, "dest/dir/": DIRECTORY, "dest/dir/f.txt": (b"f", z.SUMMER),
                  "dest/trailing": (b"t", z.SUMMER)}}),
    "cjkTooLong": (z.archive([z.entry(CJK_TOO_LONG, b"long", flags=z.UTF8)]), {
        "files": withParents({"dest/" + CJK_TOO_LONG: (b"long", z.SUMMER)})}, {
        "result": 1, "messages": [f"File name too long #{CJK_TOO_LONG}# :-("], "files": {}}),
}


def largeArchive(path):
    """Its one entry lies beyond 2 GiB, behind a hole that costs no disk."""
    offset = 2**31 + 1000
    with open(path, "wb") as file:
        file.truncate(offset)
        file.seek(offset)
        file.write(z.archive([z.entry("far/away.txt", TEXT[:1500], method=8)], offset=offset))


cases["beyond2GiB"] = (largeArchive, {"files": {
    "dest/": DIRECTORY, "dest/far/": DIRECTORY,
    "dest/far/away.txt": (TEXT[:1500], z.SUMMER)}}, {})


# Links in the destination are never entered; Wine reports a Unix symlink to
# a directory as a reparse point. (Wine 8 shows a symlink to a file as the
# file itself, so file links are left to the native tests.)
def linkLayout(folder):
    os.makedirs(os.path.join(folder, "dest", "a"))
    os.makedirs(os.path.join(folder, "outside"))
    with open(os.path.join(folder, "outside", "target.txt"), "wb") as file:
        file.write(b"secret")
    os.symlink("../outside", os.path.join(folder, "dest", "link"))
    os.symlink("../../outside", os.path.join(folder, "dest", "a", "link"))


LINKED = {"dest/": DIRECTORY, "dest/a/": DIRECTORY, "dest/link/": DIRECTORY,
          "dest/a/link/": DIRECTORY, "outside/": DIRECTORY,
          "outside/target.txt": (b"secret", NOW)}
layouts = {}
for case, name in (("directoryLink", "link/evil.txt"), ("deeperLink", "a/link/new/evil.txt")):
    layouts[case] = linkLayout
    cases[case] = (z.archive([z.entry(name, b"evil")]), {
        "result": 1, "messages": [f"Unsafe file name #{name}# :-("], "files": LINKED}, {})


# What stands at an entry's own path is never written through: a hard link
# to a file outside, a Unix link (Wine shows a file link as the file itself,
# a dangling one as nothing), a FIFO (Wine shows it as a plain file).
def occupiedLayout(occupy):
    def layout(folder):
        os.makedirs(os.path.join(folder, "dest"))
        os.makedirs(os.path.join(folder, "outside"))
        with open(os.path.join(folder, "outside", "victim.txt"), "wb") as file:
            file.write(b"secret")
        occupy(os.path.join(folder, "outside"), os.path.join(folder, "dest", "f.txt"))
    return layout


OUTSIDE = {"dest/": DIRECTORY, "outside/": DIRECTORY, "outside/victim.txt": (b"secret", NOW)}
REPLACED = {"files": dict(OUTSIDE, **{"dest/f.txt": (b"new", z.SUMMER)})}
for case, occupy, outcome, onWindows in (
        ("hardLinkAtPath", lambda outside, path: os.link(outside + "/victim.txt", path), REPLACED, {}),
        ("fileLinkAtPath", lambda outside, path: os.symlink("../outside/victim.txt", path), REPLACED,
         {}),
        ("danglingLinkAtPath", lambda outside, path: os.symlink("../outside/new.txt", path),
         REPLACED, {}),
        ("fifoAtPath", lambda outside, path: os.mkfifo(path),
         {"result": 1, "messages": ["Can't open output file :-("],
          "files": dict(OUTSIDE, **{"dest/f.txt": FIFO})}, {})):
    layouts[case] = occupiedLayout(occupy)
    cases[case] = (z.archive([z.entry("f.txt", b"new")]), outcome, onWindows)

# Destinations whose folders are all missing, written with forward slashes
# or both separators, relative or absolute: every folder is made. Each case:
# its destination, and the folders it makes below the case's folder.
DESTINATIONS = {}
for case, destination, made in (
        ("forwardSlashes", "fwd/deeper/dest", "fwd/deeper/dest"),
        ("mixedSeparators", "mix\\deeper/dest", "mix/deeper/dest"),
        ("absoluteForwardSlashes",
         lambda folder, platform: ("" if platform == "native" else "Z:") + folder + "/abs/dest", "abs/dest")):
    DESTINATIONS[case] = destination
    parts = made.split("/")
    cases[case] = (z.archive([z.entry("sub/a.txt", b"a")]), {"files": {
        **{"/".join(parts[:depth]) + "/": DIRECTORY for depth in range(1, len(parts) + 1)},
        made + "/sub/": DIRECTORY, made + "/sub/a.txt": (b"a", z.SUMMER)}}, {})

# Names that Windows maps to devices, and those of dots and blanks alone,
# which it trims to "..", "." or nothing, are refused there; on Linux they
# are names like any other.
for number, name in enumerate(["aux.txt", "com1.log", "nul", "CON", "sub/LPT2", "COM¹.txt",
                               "nul .txt", "Conout$", ". /x.txt", "  /x.txt", "a/.. ./x.txt"]):
    cases[f"windowsOnly{number}"] = (z.archive([z.entry(name, b"device", flags=z.UTF8)]), {
        "files": withParents({"dest/" + name: (b"device", z.SUMMER)})}, {
        "result": 1, "messages": [f"Unsafe file name #{name}# :-("], "files": {}})


def fingerprint(data, when):
    """`when`: NOW or local time, to the second or with nanoseconds after."""
    stamp = when if when == NOW else (time.strftime("%Y-%m-%d %H:%M:%S", when[:6] + (0, 0, 0))
                                      + "".join(f".{part:09d}" for part in when[6:] if part))
    return hashlib.sha256(data).hexdigest()[:16], len(data), stamp


def expected(outcome):
    files = {path: item if isinstance(item, str) else fingerprint(*item)
             for path, item in outcome.get("files", {}).items()}
    return {"result": outcome.get("result", 0),
            "messages": [CAPTION + text for text in outcome.get("messages", [])],
            "output": outcome.get("output", b""), "files": files}


def tree(root):
    found = {}
    for directory, subdirectories, files in os.walk(root):
        relative = os.path.relpath(directory, root)
        prefix = "" if relative == "." else relative + "/"
        for name in subdirectories:
            found[prefix + name + "/"] = DIRECTORY
        for name in files:
            path = os.path.join(directory, name)
            # Neither followed nor opened: a link would hide what it points
            # to, a FIFO would block.
            if os.path.islink(path):
                found[prefix + name] = "link to " + os.readlink(path)
                continue
            if stat.S_ISFIFO(os.stat(path).st_mode):
                found[prefix + name] = FIFO
                continue
            with open(path, "rb") as file:
                data = file.read()
            modified = os.stat(path).st_mtime_ns
            extracting = started - 5 <= modified / 1e9 <= time.time() + 5
            when = NOW if extracting else time.localtime(modified // 10**9)[:6] + (modified % 10**9,)
            found[prefix + name] = fingerprint(data, when)
    return found


def extract(platform, case, threads=None, meanwhile=None):
    """Runs the platform's host in a folder of the case's own; `threads`
    sets VESK_THREADS; `meanwhile`, if given, is called with the Wine process
    and the folder while it runs."""
    folder = os.path.join(work, platform + str(threads or ""), case)
    os.makedirs(folder)
    if case in layouts:
        layouts[case](folder)
    destination = DESTINATIONS.get(case, "dest")
    if callable(destination):
        destination = destination(folder, platform)
    arguments = [f"../../archives/{case}.zip"] + ([] if case == "emptyDestination" else [destination])
    if platform == "native":
        # A UTF-8 terminal, whatever the run's locale: the message line's escapes depend on it.
        ran = subprocess.run([os.path.join(nativeBin, "vesk-extract")] + arguments, cwd=folder,
                             capture_output=True, timeout=120, env=dict(os.environ, LC_ALL="C.UTF-8"))
        code, output, error = ran.returncode, ran.stdout, ran.stderr.decode(errors="replace")
    else:
        code, output, error = wineTools.run(
            state, [wineTools.WINE, os.path.join(windowsBin, "vesk-host.exe")] + arguments, cwd=folder,
            variables={"VESK_THREADS": str(threads)} if threads else None,
            meanwhile=meanwhile and (lambda process: meanwhile(process, folder)))
    # Wine's own processes sometimes report a crash of theirs on our stderr.
    messages = [line for line in error.replace("\0", "").splitlines()
                if not line.startswith("wine: ")]
    return {"result": code, "messages": messages, "output": output,
            "files": tree(folder)}


def differences(actual, wanted):
    lines = []
    for key in wanted:
        if key == "files":
            for path in sorted(set(actual[key]) | set(wanted[key])):
                if actual[key].get(path) != wanted[key].get(path):
                    lines.append(f"{path}: {actual[key].get(path)}, wanted "
                                 f"{wanted[key].get(path)}")
        elif actual[key] != wanted[key]:
            lines.append(f"{key}: {actual[key]!r}, wanted {wanted[key]!r}")
    return lines


failures = 0
for case, (archive, outcome, onWindows) in cases.items():
    path = os.path.join(work, "archives", case + ".zip")
    if callable(archive):
        archive(path)
    elif archive is not None:
        with open(path, "wb") as file:
            file.write(archive)
    results = {"native": extract("native", case), "windows": extract("windows", case)}
    for platform, actual in results.items():
        wanted = expected(dict(outcome, **onWindows) if platform == "windows" else outcome)
        for line in differences(actual, wanted):
            print(f"FAIL {case} ({platform}) {line}")
            failures += 1
    if callable(archive):
        os.remove(path)

# Several workers write the entries, committed in the central directory's
# order: the first entry that fails decides the result, the one message and
# the files, whatever the count. Entry 200 is large, so that later ones are
# on their way when it fails, some in folders of their own; files stand
# before the call where entries 225 and 300 go, and one named "wall".
def workerName(number):
    block = number // 20  # runs of one folder keep the walk ahead of the workers
    folder = f"late{block}/" if number > 200 and block % 2 == 0 else ["a/", "b/", "b/c/"][block % 3]
    return f"{folder}f{number}.txt"


def workerData(number):
    return TEXT * 20 if number == 200 else b"%d," % number * (number % 40 + 1) + NOISE[:number * 37 % 2000]


def workerLayout(folder):
    os.makedirs(os.path.join(folder, "dest", "a"))
    os.makedirs(os.path.join(folder, "dest", "b", "c"))
    stamp = time.mktime(z.WINTER + (0, 0, -1))
    for path in (workerName(225), workerName(300), "wall"):
        with open(os.path.join(folder, "dest", path), "wb") as file:
            file.write(b"before")
        os.utime(os.path.join(folder, "dest", path), (stamp, stamp))


BEFORE = {"dest/" + path: (b"before", z.WINTER) for path in (workerName(225), workerName(300), "wall")}
# case: how entry 200 differs, the message, what entry 200 leaves
for case, change, message, left in (
        ("workersAllWell", {}, None, None),
        ("workersBadCrc", {"crc": 1}, "CRC FAILED :-(", workerData(200)),
        ("workersMethod12", {"method": 12, "compressed": b"packed"},
         "Unsupported compression method (12) :-(", b""),
        ("workersUnsafe", {"name": "../x.txt"}, "Unsafe file name #../x.txt# :-(", None),
        ("workersDirectory", {"name": "wall/sub/", "directory": True, "data": b""},
         "Can't create directory #wall/sub/# :-(", None),
        ("workersThroughFile", {"name": "wall/f200.txt"}, "Can't open output file :-(", None)):
    entries = [z.entry(**dict({"name": workerName(n), "data": workerData(n),
                               "method": 0 if n % 4 == 1 else 8}, **(change if n == 200 else {})))
               for n in range(400)]
    with open(os.path.join(work, "archives", case + ".zip"), "wb") as file:
        file.write(z.archive(entries))
    layouts[case] = workerLayout
    files = {"dest/" + workerName(n): (workerData(n), z.SUMMER) for n in range(200 if message else 400)}
    if left is not None:
        files["dest/" + workerName(200)] = (left, z.SUMMER)
    wanted = expected({"result": 1 if message else 0, "messages": [message] if message else [],
                       "files": withParents(dict(BEFORE, **files))})
    one, eight = extract("windows", case, 1), extract("windows", case, 8)
    for line in ([f"(1 worker) {line}" for line in differences(one, wanted)]
                 + [f"(8 workers, against 1) {line}" for line in differences(eight, one)]
                 + [f"left {path}" for run in (one, eight) for path in run["files"] if "vesk~" in path]):
        print(f"FAIL {case} {line}")
        failures += 1

# Entries that the workers must keep in order, whatever their count. Of two
# names of one file the later wins, though the earlier waits behind a slow
# entry in its worker's run while other workers reach the later one. The
# directories made for the entries after one that fails go with them.
ZEROS = bytes(32 << 20)  # slow to write, small in the archive
BIG = random.Random(6).randbytes(4 << 20)  # a run of work of its own
ALIASES = [("x", "./x"), ("d/x", "d//x"), ("y", ".\\y"), ("t/x", "T./X.")]
aliases, aliasFiles = [], {}
for number, (early, late) in enumerate(ALIASES):
    bigs = [f"big{number}-{n}.bin" for n in range(3)]
    aliases += ([z.entry(f"slow{number}.bin", ZEROS, method=8), z.entry(early, b"EARLY")]
                + [z.entry(name, BIG) for name in bigs] + [z.entry(late, b"LATE")])
    aliasFiles.update({f"dest/slow{number}.bin": (ZEROS, z.SUMMER), "dest/" + early: (b"LATE", z.SUMMER)},
                      **{"dest/" + name: (BIG, z.SUMMER) for name in bigs})
LATER = ["later/", "later/a/", "later/a/b/", "later/a/b/c/"]
for case, entries, outcome, counts in (
        ("aliases", aliases, {"files": withParents(aliasFiles)}, (1, 2, 8)),
        ("laterDirectories", [z.entry(f"big{n}.bin", BIG) for n in range(3)]
         + [z.entry("bad.txt", b"bad", crc=1)] + [z.entry(name, directory=True) for name in LATER]
         + [z.entry(LATER[-1] + "f.txt", b"f")], {
             "result": 1, "messages": ["CRC FAILED :-("], "files": withParents(
                 {**{f"dest/big{n}.bin": (BIG, z.SUMMER) for n in range(3)},
                  "dest/bad.txt": (b"bad", z.SUMMER)})}, (1, 2, 4))):
    with open(os.path.join(work, "archives", case + ".zip"), "wb") as file:
        file.write(z.archive(entries))
    for threads in counts:
        for line in differences(extract("windows", case, threads), expected(outcome)):
            print(f"FAIL {case} ({threads} workers) {line}")
            failures += 1

# Another process keeps swapping the directories below the destination for
# links to a folder outside, by renaming them aside and by exchanging them
# atomically with a link, while entries extract, from the start or once the
# entries are on their way: nothing lands outside.
SWAPPER = """
import ctypes, os, sys, time
dest, outside, late = sys.argv[1:]
exchange = ctypes.CDLL(None).renameat2
a, b, link, aside = dest + "/a", dest + "/a/b", dest + "/link", dest + "/aside"
while late == "late" and not os.path.exists(b + "/f10.txt"):
    time.sleep(0.001)
os.symlink(outside, link)
for turn in range(10**9):
    victim = a if turn % 4 < 2 else b
    if turn % 2 == 0:
        for step in (lambda: os.rename(victim, aside), lambda: os.symlink(outside, victim),
                     lambda: os.unlink(victim), lambda: os.rename(aside, victim)):
            try:
                step()
            except OSError:
                pass
    else:
        for _ in range(2):
            exchange(-100, victim.encode(), -100, link.encode(), 2)  # AT_FDCWD, RENAME_EXCHANGE
"""
folder = os.path.join(work, "race")
with open(os.path.join(work, "archives", "race.zip"), "wb") as file:
    file.write(z.archive([z.entry(f"a/b/f{i}.txt", b"x") for i in range(500)]))
for round in range(3):
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(os.path.join(folder, "dest", "a", "b"))
    os.makedirs(os.path.join(folder, "outside", "b"))
    swapper = subprocess.Popen([sys.executable, "-c", SWAPPER, os.path.join(folder, "dest"),
                                os.path.join(folder, "outside"), "late" if round else "early"])
    code, output, error = wineTools.run(
        state, [wineTools.WINE, os.path.join(windowsBin, "vesk-host.exe"), "../archives/race.zip", "dest"],
        cwd=folder)
    swapper.kill()
    swapper.wait()
    outside = tree(os.path.join(folder, "outside"))
    messages = [line for line in error.splitlines() if not line.startswith("wine: ")]
    refused = code == 1 and len(messages) == 1 and (
        messages[0].startswith(CAPTION + "Unsafe file name #a/b/f")
        or messages[0] == CAPTION + "Can't open output file :-(")
    if list(outside) != ["b/"] or (code != 0 and not refused):
        print(f"FAIL race round {round}: exit {code}, {messages}, outside {sorted(outside)}")
        failures += 1


def standingLayout(names):
    """Files that stand at entries' names before the call, and one outside."""
    def layout(folder):
        os.makedirs(os.path.join(folder, "dest"))
        os.makedirs(os.path.join(folder, "outside"))
        files = [("outside/victim.txt", b"secret")] + [("dest/" + name, b"before") for name in names]
        for path, data in files:
            with open(os.path.join(folder, path), "wb") as file:
                file.write(data)
    return layout


def asideNames(folder):
    return [name for name in os.listdir(os.path.join(folder, "dest")) if name.startswith("vesk~")]


# A file stands at f.txt, so its entry's file waits aside while slow.bin,
# before it, is written; meanwhile another process replaces the file aside
# with a link to a file outside. slow.bin then fails, and the file aside is
# removed, or not, and it is committed: either way the file outside stays.
def swapAside(process, folder):
    while process.poll() is None:
        aside = asideNames(folder)
        if aside:
            link = os.path.join(folder, "link")
            os.symlink(os.path.join(folder, "outside", "victim.txt"), link)
            os.replace(link, os.path.join(folder, "dest", aside[0]))
            return
        time.sleep(0.001)


# pad.bin ends slow.bin's run of work: f.txt is written in another.
swapped = [z.archive([z.entry("slow.bin", ZEROS * 2, method=8, crc=crc), z.entry("pad.bin", BIG[:1 << 20]),
                      z.entry("f.txt", b"new")]) for crc in (None, 1)]
swaps = 0
victim = {"outside/": DIRECTORY, "outside/victim.txt": fingerprint(b"secret", NOW)}
for round in range(4):
    case = f"swappedAside{round}"
    layouts[case] = standingLayout(["f.txt"])
    with open(os.path.join(work, "archives", case + ".zip"), "wb") as file:
        file.write(swapped[round % 2])
    run = extract("windows", case, 2, swapAside)
    swaps += any(str(item).startswith("link to") for item in run["files"].values())
    outside = {path: item for path, item in run["files"].items() if path.startswith("outside/")}
    if outside != victim:
        print(f"FAIL {case}: outside {outside}, {run['result']} {run['messages']}")
        failures += 1


# A call killed half-way leaves no file aside behind: each goes with its
# last handle until its commit. The large first entry holds back every
# commit; the later ones wait aside over the files at their names. The
# call is killed once the last of them is written (a file aside is named
# by its entry's number), so that none is being made; a round that ends
# before is checked as it ends.
FIRST = ZEROS * 8
STANDING = ["first.bin"] + [f"f{n}.txt" for n in range(1, 40)]


def killHalfWay(process, folder):
    dest = os.path.join(folder, "dest")
    while process.poll() is None:
        try:
            early = os.path.getsize(os.path.join(dest, "vesk~0-0.tmp")) < len(FIRST) * 3 // 4
            last = os.path.getsize(os.path.join(dest, f"vesk~{len(STANDING) - 1:x}-0.tmp")) == 3
        except OSError:
            early = last = False
        if early and last:
            process.kill()
            process.wait()
            # Wine's server closes the handles of a dead process on its own time.
            deadline = time.time() + 10
            while asideNames(folder) and time.time() < deadline:
                time.sleep(0.05)
            return
        time.sleep(0.001)


killedArchive = z.archive([z.entry("first.bin", FIRST, method=8)]
                          + [z.entry(name, b"new") for name in STANDING[1:]])
for round in range(3):
    case = f"killed{round}"
    layouts[case] = standingLayout(STANDING)
    with open(os.path.join(work, "archives", case + ".zip"), "wb") as file:
        file.write(killedArchive)
    run = extract("windows", case, 2, killHalfWay)
    killed = run["result"] == -signal.SIGKILL
    wanted = expected({"files": dict(OUTSIDE, **{
        "dest/" + name: (b"before", NOW) if killed
        else (FIRST if name == "first.bin" else b"new", z.SUMMER) for name in STANDING})})
    for line in differences(run, {"files": wanted["files"]} if killed else wanted):
        print(f"FAIL {case}{' (killed)' if killed else ''} {line}")
        failures += 1
    if killed:
        break
print(f"Wine: a file aside swapped for a link in {swaps} of 4 rounds; the call killed half-way "
      f"{'in round ' + str(round) if killed else 'in no round'}")

# A program linked against the import library with the public header.
folder = os.path.join(work, "importLibrary")
os.makedirs(folder)
code, output, error = wineTools.run(state, [wineTools.WINE, os.path.join(windowsBin, "import-check.exe")],
                                    cwd=folder)
if code != 0 or output != b"unzip 1, unzipOneFile 1\r\n" or error:
    print(f"FAIL import library: exit {code}, output {output!r}, errors {error!r}")
    failures += 1

# The DLL names the way its CRC-32 goes in its debug output when it loads:
# by carry-less multiplication where the processor has PCLMULQDQ and SSE4.1.
with open("/proc/cpuinfo") as cpuinfo:
    flags = set(cpuinfo.read().split())
expectedWay = ("carry-less multiplication" if {"pclmulqdq", "sse4_1"} <= flags else "table")
code, output, error = wineTools.run(
    state, [wineTools.WINE, os.path.join(windowsBin, "vesk-host.exe"), "../archives/stored.zip", "dest"],
    cwd=folder, debug="-all,+debugstr")
ways = [way for way in ("carry-less multiplication", "table") if f"vesk: CRC-32 by {way}" in error]
print(f"vesk.dll under Wine: CRC-32 by {', '.join(ways) or 'an unnamed way'}")
if code != 0 or ways != [expectedWay]:
    print(f"FAIL CRC-32 way: exit {code}, {ways}, wanted {expectedWay}")
    failures += 1
# The decoder's bit buffer is as wide as the target's registers, with BMI2's
# shifts where the processor has them.
with open(os.path.join(windowsBin, "vesk.dll"), "rb") as dll:
    image = dll.read(4096)
machine = int.from_bytes(image[int.from_bytes(image[0x3C:0x40], "little") + 4:][:2], "little")
expectedDecoder = ("32" if machine == 0x14C else "64") + "-bit bit buffer" + (" and BMI2" if "bmi2" in flags else "")
decoderWays = [line.split("Deflate with a ", 1)[1].split("\\n")[0].strip('"') for line in error.splitlines()
               if "vesk: Deflate with a " in line]
print(f"vesk.dll under Wine: Deflate with a {', '.join(decoderWays) or 'an unnamed way'}")
if decoderWays != [expectedDecoder]:
    print(f"FAIL decoder way: {decoderWays}, wanted {expectedDecoder}")
    failures += 1

shutil.rmtree(work, ignore_errors=True)
print(f"extraction: {len(cases)} archive cases on both platforms, "
      f"{'all passed' if not failures else f'{failures} differences'}")
sys.exit(1 if failures else 0)
