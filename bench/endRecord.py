#!/usr/bin/env python3
"""End-record search benchmark: vesk-extract on one small archive, alone,
with the longest comment behind its end record, and behind a hole of
hundreds of MiB (a sparse file in tmpfs). The search should cost in
proportion to what lies behind the last record, so the archives with a
large front should take as long as the small one. unzip runs beside it as
a reference.
"""

import argparse
import os
import shutil
import sys
import time
import zipfile

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from endToEnd import ROOT, log, run, summary, verdict, warn_if_busy  # noqa: E402

# A scan through the front would cost hundreds of times more; the margin is
# for noise in runs of a few milliseconds.
GOAL_RATIO = 1.5
# A file with no end record is searched whole; from the page cache the
# search should run at memory speed.
GOAL_SCAN = 4e9  # bytes per second
# Runs take milliseconds, so many rounds are cheap and their best is stable
# on a busy machine; a slow search stops the rounds after this many seconds.
BUDGET = 30
ENTRIES = {
    'readme.txt': b'The archive behind the hole.\n' * 40,
    'data/table.txt': b''.join(b'%6d %6d\n' % (i, i * i % 9973) for i in range(500)),
    'data/empty.txt': b'',
}


def write_archive(path, front, comment=b''):
    """The entries, at front bytes into a sparse file."""
    with open(path, 'wb') as f:
        f.seek(front)
        with zipfile.ZipFile(f, 'w', zipfile.ZIP_DEFLATED) as archive:
            for name, data in ENTRIES.items():
                archive.writestr(zipfile.ZipInfo(name, (2026, 12, 8, 12, 0, 0)), data,
                                 zipfile.ZIP_DEFLATED)
            archive.comment = comment


def extracted_right(output):
    for name, data in ENTRIES.items():
        try:
            with open(os.path.join(output, name), 'rb') as f:
                if f.read() != data:
                    return False
        except OSError:
            return False
    return True


def scan_speed(vesk, work, size, rounds):
    """Bytes per second of vesk's search through a file that holds no end
    record (random bytes, cached in tmpfs): best of the rounds."""
    os.makedirs(work, exist_ok=True)
    path = os.path.join(work, 'none.bin')
    try:
        with open(path, 'wb') as f:
            for _ in range(size >> 20):
                f.write(os.urandom(1 << 20))
        error = os.path.join(work, 'stderr')
        best = min(run([os.path.abspath(vesk), path, os.path.join(work, 'out')], error)[0]
                   for _ in range(max(3, rounds // 4)))
    finally:
        shutil.rmtree(work, ignore_errors=True)
    return size / best


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument('--quick', action='store_true', help='smaller holes, fewer rounds')
    parser.add_argument('--rounds', type=int,
                        help='most timed rounds (default 41, quick 21; fewer past %d s)' % BUDGET)
    parser.add_argument('--vesk', default=os.path.join(ROOT, 'build/native/bin/vesk-extract'))
    options = parser.parse_args()
    rounds = options.rounds or (21 if options.quick else 41)
    mib = 1 << 20
    fronts = (64 * mib, 256 * mib) if options.quick else (256 * mib, 1024 * mib)
    cases = [('small', 0, b''), ('64 KiB behind', 0, b'~' * 65535)]
    cases += [('%d MiB in front' % (front // mib), front, b'') for front in fronts]
    tools = {
        'vesk': lambda a, d: [os.path.abspath(options.vesk), a, d],
        'unzip': lambda a, d: [shutil.which('unzip'), '-qq', '-o', a, '-d', d],
    }

    work = '/dev/shm/vesk-bench-endrecord-%d' % os.getpid()
    os.makedirs(work)
    times = {(case[0], tool): [] for case in cases for tool in tools}
    try:
        paths, sizes = {}, {}
        for index, (name, front, comment) in enumerate(cases):
            paths[name] = os.path.join(work, 'case%d.zip' % index)
            write_archive(paths[name], front, comment)
            sizes[name] = os.path.getsize(paths[name])
        error = os.path.join(work, 'stderr')
        output = os.path.join(work, 'out')

        def extract(name, tool):
            os.mkdir(output)
            elapsed, status = run(tools[tool](paths[name], output), error)
            right = status == 0 and extracted_right(output)
            shutil.rmtree(output)
            return elapsed, right

        for name, _, _ in cases:
            for tool in tools:
                if not extract(name, tool)[1]:
                    with open(error) as f:
                        raise SystemExit('endRecord: %s extracts "%s" wrongly: %s'
                                         % (tool, name, f.read().strip()))
        warn_if_busy('before the rounds')
        started = time.monotonic()
        for round_index in range(rounds):
            turn = round_index % len(cases)
            for name, _, _ in cases[turn:] + cases[:turn]:
                for tool in tools:
                    times[name, tool].append(extract(name, tool)[0])
            if round_index >= 2 and time.monotonic() - started > BUDGET:
                break
        rounds = round_index + 1
        log('end record: %d rounds in %.0f s' % (rounds, time.monotonic() - started))
    finally:
        shutil.rmtree(work, ignore_errors=True)

    best = {key: min(value) for key, value in times.items()}
    log('')
    log('End-record search: best wall time of %d rounds; goal: large front / small <= %.2f'
        % (rounds, GOAL_RATIO))
    log('%-16s %12s %9s %11s %9s %11s' % ('archive', 'bytes', 'vesk ms', 'vesk ratio',
                                          'unzip ms', 'unzip ratio'))
    for name, _, _ in cases:
        vesk, unzip = best[name, 'vesk'], best[name, 'unzip']
        log('%-16s %12d %9.2f %11.2f %9.2f %11.2f' % (
            name, sizes[name], vesk * 1e3, vesk / best['small', 'vesk'],
            unzip * 1e3, unzip / best['small', 'unzip']))
    largest = cases[-1][0]
    scan_gbs = scan_speed(options.vesk, work, fronts[-1], rounds)
    log('no end record, %d MiB of random bytes: vesk searches %.2f GB/s (goal >= %.0f): %s'
        % (fronts[-1] // mib, scan_gbs / 1e9, GOAL_SCAN / 1e9, verdict(scan_gbs >= GOAL_SCAN)))
    summary('end record: no record, whole-file search %.2f GB/s (goal >= %.0f): %s'
            % (scan_gbs / 1e9, GOAL_SCAN / 1e9, verdict(scan_gbs >= GOAL_SCAN)))
    ratio = best[largest, 'vesk'] / best['small', 'vesk']
    log('goal: %s / small = %.3f: %s' % (largest, ratio, verdict(ratio <= GOAL_RATIO)))
    summary('end record: vesk %s %.1f ms, small %.1f ms, ratio %.3f (goal <= %.2f): %s' % (
        largest, best[largest, 'vesk'] * 1e3, best['small', 'vesk'] * 1e3, ratio,
        GOAL_RATIO, verdict(ratio <= GOAL_RATIO)))


if __name__ == '__main__':
    main()
