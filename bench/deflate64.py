#!/usr/bin/env python3
"""Deflate64 against Deflate and against 7-Zip: one large text entry.

7-Zip compresses the same text twice, as Deflate64 (method 9) and as
Deflate (method 8). Both archives are checked against the source, then
timed in interleaved rounds, each extraction into a fresh tmpfs folder:
`vesk-extract` on the Deflate64 archive, on the Deflate one, and `7z x` on
the Deflate64 one. Goals: Deflate64 at most 0.6 of 7-Zip's time and at
most 1.15 of the same data as Deflate (medians).

    bench/deflate64.py [--quick] [--mib N]
"""

import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
HOST = os.path.join(ROOT, 'build', 'native', 'bin', 'vesk-extract')


def run(tool, archive, folder):
    """Extracts the archive into a new folder with the tool; the seconds it
    took."""
    if tool == 'vesk':
        command = [HOST, archive, folder]
    else:
        command = ['7z', 'x', '-y', archive, '-o' + folder]
    start = time.perf_counter()
    subprocess.run(command, check=True, stdout=subprocess.DEVNULL)
    return time.perf_counter() - start


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('--quick', action='store_true', help='16 MiB, one round')
    parser.add_argument('--mib', type=int, default=64)
    options = parser.parse_args()
    mib, rounds = (16, 1) if options.quick else (options.mib, 3)
    if not shutil.which('7z'):
        sys.exit('deflate64.py: needs 7z (p7zip-full)')
    work = tempfile.mkdtemp(prefix='vesk-deflate64.', dir='/dev/shm')
    try:
        source = os.path.join(work, 'text.txt')
        subprocess.run([sys.executable, os.path.join(ROOT, 'bench', 'corpus.py'), 'text', source,
                        str(mib << 20)], check=True)
        archives = {}
        for method in ('Deflate64', 'Deflate'):
            archives[method] = os.path.join(work, method + '.zip')
            subprocess.run(['7z', 'a', '-tzip', '-mm=' + method, '-mx=5', archives[method], source],
                           check=True, stdout=subprocess.DEVNULL)
        tools = {
            'vesk Deflate64': ('vesk', archives['Deflate64']),
            'vesk Deflate': ('vesk', archives['Deflate']),
            '7z Deflate64': ('7z', archives['Deflate64']),
        }
        folder = os.path.join(work, 'out')
        with open(source, 'rb') as f:
            expected = f.read()
        for name, (tool, archive) in tools.items():
            run(tool, archive, folder)
            with open(os.path.join(folder, 'text.txt'), 'rb') as f:
                if f.read() != expected:
                    sys.exit(f'deflate64.py: {name} extracted other bytes')
            shutil.rmtree(folder)
        times = {name: [] for name in tools}
        for _ in range(rounds):
            for name, (tool, archive) in tools.items():
                times[name].append(run(tool, archive, folder))
                shutil.rmtree(folder)
        median = {name: statistics.median(values) for name, values in times.items()}
        for name, value in median.items():
            print(f'{name:16} {value * 1000:8.1f} ms  ({mib} MiB, median of {rounds})')
        against7z = median['vesk Deflate64'] / median['7z Deflate64']
        againstDeflate = median['vesk Deflate64'] / median['vesk Deflate']
        print(f'ratio Deflate64 / 7z: {against7z:.2f} (goal 0.60)')
        print(f'ratio Deflate64 / Deflate: {againstDeflate:.2f} (goal 1.15)')
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == '__main__':
    main()
