#!/usr/bin/env python3
"""Many small files under Wine: vesk-extract.exe (through vesk.dll) against
bare-files.exe, which only creates, writes, stamps and closes the same files
with the bare system calls. Interleaved rounds into fresh tmpfs folders, best
time per program. Needs the windows preset built.

Usage: bench/wineFiles.py [--quick] [--count N] [--rounds R] [--bin WINDOWS_BIN]
(the loader is VESK_WINE, as in the Wine suite, or wine)"""
import argparse
import os
import random
import shutil
import sys
import tempfile
import time
import zipfile

sys.dont_write_bytecode = True
ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "windows"))
import wineTools  # noqa: E402

GOAL = 1.3


def makeArchive(path, count):
    """bare-files' layout: 100 files to a folder, 64 B to 16 KiB, of text."""
    chooser = random.Random(7)
    words = [bytes(chooser.choice(b"etaoinshrdlu") for _ in range(chooser.randint(2, 9)))
             for _ in range(2000)]
    text = b" ".join(chooser.choice(words) for _ in range(60000))
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as archive:
        for i in range(count):
            size = 64 << (i % 9)
            start = i * 997 % (len(text) - size)
            archive.writestr("d%03d/f%05d.txt" % (i // 100, i), text[start:start + size])


def timed(state, work, arguments, count):
    dest = os.path.join(work, "dest")
    shutil.rmtree(dest, ignore_errors=True)
    os.makedirs(dest)
    started = time.perf_counter()
    code, _, error = wineTools.run(state, [wineTools.WINE] + arguments, cwd=work, timeout=1200)
    seconds = time.perf_counter() - started
    made = sum(len(files) for _, _, files in os.walk(dest))
    if code != 0 or made != count:
        sys.exit(f"{arguments[0]}: exit {code}, {made} of {count} files: {error}")
    return seconds


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--quick", action="store_true", help="2,000 files, two rounds")
    parser.add_argument("--count", type=int, default=10000)
    parser.add_argument("--rounds", type=int, default=5)
    parser.add_argument("--bin", default=os.path.join(ROOT, "build", "windows", "bin"))
    options = parser.parse_args()
    options.bin = os.path.abspath(options.bin)
    if options.quick:
        options.count, options.rounds = 2000, 2
    work = tempfile.mkdtemp(prefix="vesk-wine-files.", dir="/dev/shm")
    state = os.path.join(work, "wine")
    try:
        wineTools.start(state)
        makeArchive(os.path.join(work, "files.zip"), options.count)
        programs = {"bare-files": [os.path.join(options.bin, "bare-files.exe"), "dest",
                                   str(options.count)],
                    "vesk-extract": [os.path.join(options.bin, "vesk-extract.exe"), "files.zip",
                                     "dest"]}
        best = {name: float("inf") for name in programs}
        for round in range(options.rounds):
            for name, arguments in (programs.items() if round % 2 == 0
                                    else reversed(programs.items())):
                best[name] = min(best[name], timed(state, work, arguments, options.count))
        for name, seconds in best.items():
            print(f"{name:13} {seconds:7.2f} s  {seconds / options.count * 1e6:6.0f} us a file")
        ratio = best["vesk-extract"] / best["bare-files"]
        line = (f"{options.count} small files under Wine: vesk-extract / bare-files {ratio:.2f} "
                f"(goal <= {GOAL})")
        print(line)
        summary = os.environ.get("VESK_BENCH_SUMMARY")
        if summary:
            with open(summary, "a") as file:
                file.write(line + "\n")
    finally:
        if os.path.exists(state):
            wineTools.stop(state)
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
