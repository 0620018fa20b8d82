#!/usr/bin/env python3
"""Benchmark corpora made from files on the machine: text, binaries, many
small files and random data. Deterministic for a given machine.

As a program: `corpus.py text|binaries FILE BYTES` writes one file holding
that kind of data, for the in-memory decoding benchmark.
"""

import glob
import gzip
import os
import random
import sys

TEXT_SOURCES = ['/usr/include', '/usr/share/doc'] + sorted(glob.glob('/usr/lib/python3.*')) + [
    '/usr/share/perl', '/usr/share/man']
BINARY_SOURCES = [
    ('/usr/bin', False),
    ('/usr/lib/x86_64-linux-gnu', True),
    ('/usr/lib/aarch64-linux-gnu', True),
    ('/usr/sbin', False),
]
# One huge library would make the binaries a single-file benchmark.
BINARY_FILE_LIMIT = 32 << 20


def plain_name(name):
    # Backslashes are folder separators to the library under test, and odd
    # bytes in names would test name handling rather than speed.
    return name.isascii() and name.isprintable() and '\\' not in name


def walk_files(top):
    """Regular files below top (no symbolic links), in a stable order."""
    for folder, subfolders, files in os.walk(top):
        subfolders.sort()
        if not plain_name(folder):
            subfolders.clear()
            continue
        for name in sorted(files):
            path = os.path.join(folder, name)
            if plain_name(name) and not os.path.islink(path) and os.path.isfile(path):
                yield path


def text_files():
    """(relative name, bytes) of text files, taking from each source in turn;
    gzipped manual pages and documents are unpacked."""

    def from_source(top):
        label = os.path.basename(top.rstrip('/'))
        for path in walk_files(top):
            try:
                with open(path, 'rb') as f:
                    data = f.read()
                if path.endswith('.gz'):
                    data = gzip.decompress(data)
                    path = path[:-3]
            except (OSError, EOFError, gzip.BadGzipFile):
                continue
            if data and b'\0' not in data:
                yield os.path.join(label, os.path.relpath(path, top)), data

    yield from in_turn([from_source(top) for top in TEXT_SOURCES if os.path.isdir(top)])


def in_turn(sources):
    """One item of each source in turn, until all are used up."""
    while sources:
        for source in list(sources):
            item = next(source, None)
            if item is None:
                sources.remove(source)
            else:
                yield item


def binary_files():
    """(relative name, bytes) of programs and shared libraries, in turn."""

    def from_source(top, libraries_only):
        label = os.path.basename(top.rstrip('/'))
        for entry in sorted(os.scandir(top), key=lambda e: e.name):
            if not entry.is_file(follow_symlinks=False) or not plain_name(entry.name):
                continue
            if libraries_only and '.so' not in entry.name:
                continue
            if entry.stat().st_size > BINARY_FILE_LIMIT:
                continue
            try:
                with open(entry.path, 'rb') as f:
                    yield os.path.join(label, entry.name), f.read()
            except OSError:
                continue

    yield from in_turn([from_source(top, only) for top, only in BINARY_SOURCES
                        if os.path.isdir(top)])


def take(make_files, total):
    """Items from make_files() up to total bytes; the set is repeated under
    again-N/ when the machine has too little."""
    size = 0
    repeat = 0
    while size < total:
        before = size
        for name, data in make_files():
            if repeat:
                name = os.path.join('again-%d' % repeat, name)
            yield name, data
            size += len(data)
            if size >= total:
                return
        if size == before:
            raise SystemExit('corpus: no %s found on this machine' % make_files.__name__)
        repeat += 1


def write_tree(folder, items):
    count = size = 0
    for name, data in items:
        path = os.path.join(folder, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, 'wb') as f:
            f.write(data)
        count += 1
        size += len(data)
    return count, size


def make_text(folder, total):
    return write_tree(folder, take(text_files, total))


def make_binaries(folder, total):
    return write_tree(folder, take(binary_files, total))


def make_small(folder, count, text_folder):
    """count files of 64 B to 16 KiB (log-uniform), cut from the text corpus,
    100 to a folder."""
    chooser = random.Random(20000)

    def stream():
        while True:
            for path in walk_files(text_folder):
                with open(path, 'rb') as f:
                    yield f.read()

    pieces = stream()
    pending = b''
    size = 0
    for index in range(count):
        length = int(64 * 256 ** chooser.random())
        while len(pending) < length:
            pending += next(pieces)
        data, pending = pending[:length], pending[length:]
        path = os.path.join(folder, 'd%03d' % (index // 100), 'f%05d.txt' % index)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, 'wb') as f:
            f.write(data)
        size += length
    return count, size


def make_random(folder, total):
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, 'random.bin'), 'wb') as f:
        f.write(random.Random(64).randbytes(total))
    return 1, total


def write_joined(path, make_files, total):
    """One file holding total bytes of that kind of data."""
    with open(path, 'wb') as out:
        written = 0
        for _, data in take(make_files, total):
            data = data[:total - written]
            out.write(data)
            written += len(data)


if __name__ == '__main__':
    if len(sys.argv) != 4 or sys.argv[1] not in ('text', 'binaries'):
        raise SystemExit('usage: corpus.py text|binaries FILE BYTES')
    kind = text_files if sys.argv[1] == 'text' else binary_files
    write_joined(sys.argv[2], kind, int(sys.argv[3]))
