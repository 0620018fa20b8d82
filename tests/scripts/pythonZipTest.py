"""An archive of stored entries written by Python's zipfile extracts byte for
byte with the recorded times. Usage: pythonZipTest.py path/to/vesk-extract"""
import os
import random
import subprocess
import sys
import tempfile
import time
import zipfile

os.environ["TZ"] = "America/New_York"
time.tzset()
random.seed(5)
entries = {
    "readme.txt": (b"stored by zipfile\n", (2010, 6, 1, 12, 30, 10)),
    "data/random.bin": (random.randbytes(70000), (2010, 1, 15, 8, 0, 0)),
    "data/empty": (b"", (1980, 1, 1, 0, 0, 0)),
}
with tempfile.TemporaryDirectory() as work:
    archive = os.path.join(work, "py.zip")
    with zipfile.ZipFile(archive, "w", zipfile.ZIP_STORED) as zipped:
        directory = zipfile.ZipInfo("data/sub/", (2010, 6, 1, 0, 0, 0))
        directory.external_attr = 0o40755 << 16 | 0x10
        zipped.writestr(directory, b"")
        for name, (data, stamp) in entries.items():
            zipped.writestr(zipfile.ZipInfo(name, stamp), data)
    out = os.path.join(work, "out")
    os.mkdir(out)
    result = subprocess.run([sys.argv[1], archive, out], capture_output=True)
    failures = []
    if result.returncode != 0 or result.stderr:
        failures.append(f"status {result.returncode}, stderr {result.stderr!r}")
    if not os.path.isdir(os.path.join(out, "data/sub")):
        failures.append("data/sub not created")
    for name, (data, stamp) in entries.items():
        path = os.path.join(out, name)
        with open(path, "rb") as extracted:
            if extracted.read() != data:
                failures.append(f"{name}: contents differ")
        if os.stat(path).st_mtime != time.mktime(stamp + (0, 0, -1)):
            failures.append(f"{name}: time {os.stat(path).st_mtime}")
    print("\n".join(failures) or "zipfile archive: all passed")
    sys.exit(1 if failures else 0)
