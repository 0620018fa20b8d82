#!/usr/bin/env python3
"""Directory records benchmark: vesk-extract on an archive of nothing but
records of one directory, `d/`, a million of them (--quick: 200,000), with 1,
8 and 64 workers. Entries with nothing to write wake no worker, so more
workers should cost no more than one.
"""

import argparse
import os
import shutil
import struct
import subprocess
import sys
import time

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from endToEnd import ROOT, log, summary, verdict, warn_if_busy  # noqa: E402

GOAL_RATIO = 1.10  # many workers against one, median of the rounds
COUNTS = (1, 8, 64)


def write_archive(path, records):
    """`records` central records of the stored, empty directory d/ and the
    local header they all point to (Zip64 past 65,535 records)."""
    name = b'd/'
    local = struct.pack('<IHHHHHIIIHH', 0x04034B50, 20, 0, 0, 0, 0, 0, 0, 0, len(name), 0) + name
    central = struct.pack('<IHHHHHHIIIHHHHHII', 0x02014B50, 20, 20, 0, 0, 0, 0, 0, 0, 0,
                          len(name), 0, 0, 0, 0, 0x10, 0) + name
    directory_size = len(central) * records
    with open(path, 'wb') as f:
        f.write(local)
        f.write(central * records)
        zip64_end = len(local) + directory_size
        f.write(struct.pack('<IQHHIIQQQQ', 0x06064B50, 44, 45, 45, 0, 0, records, records,
                            directory_size, len(local)))
        f.write(struct.pack('<IIQI', 0x07064B50, 0, zip64_end, 1))
        f.write(struct.pack('<IHHHHIIH', 0x06054B50, 0, 0, 0xFFFF, 0xFFFF, 0xFFFFFFFF,
                            0xFFFFFFFF, 0))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument('--quick', action='store_true', help='200,000 records, three rounds')
    parser.add_argument('--vesk', default=os.path.join(ROOT, 'build/native/bin/vesk-extract'))
    options = parser.parse_args()
    records = 200_000 if options.quick else 1_000_000
    rounds = 3 if options.quick else 5
    work = '/dev/shm/vesk-bench-records-%d' % os.getpid()
    os.makedirs(work)
    try:
        archive = os.path.join(work, 'records.zip')
        write_archive(archive, records)
        times = {count: [] for count in COUNTS}
        warn_if_busy('before the rounds')
        for round_index in range(rounds):
            for count in COUNTS[round_index % len(COUNTS):] + COUNTS[:round_index % len(COUNTS)]:
                output = os.path.join(work, 'out')
                started = time.monotonic()
                done = subprocess.run([options.vesk, archive, output],
                                      env=dict(os.environ, VESK_THREADS=str(count)),
                                      stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
                times[count].append(time.monotonic() - started)
                if done.returncode != 0 or os.listdir(output) != ['d']:
                    raise SystemExit('vesk-extract failed with %d workers: %s'
                                     % (count, done.stderr.decode()[:200]))
                shutil.rmtree(output)
    finally:
        shutil.rmtree(work, ignore_errors=True)

    medians = {count: sorted(t)[len(t) // 2] for count, t in times.items()}
    log('Directory records: %d records of d/, median wall time of %d rounds' % (records, rounds))
    ok = True
    for count in COUNTS:
        ratio = medians[count] / medians[1]
        ok = ok and ratio <= GOAL_RATIO
        log('%2d workers %.3f s  against one %.3f  %s' % (count, medians[count], ratio,
                                                         verdict(ratio <= GOAL_RATIO)))
    summary('directory records (%d): %s workers <= %.2f x one worker: %s' % (
        records, ', '.join(str(c) for c in COUNTS[1:]), GOAL_RATIO, verdict(ok)))


if __name__ == '__main__':
    main()
