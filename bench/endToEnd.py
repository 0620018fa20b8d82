#!/usr/bin/env python3
"""End-to-end extraction benchmark of vesk-extract, with its peak memory.

Rivals: Info-ZIP unzip, bsdtar and Python's zipfile, on archives that
Info-ZIP zip made of text, binaries, many small files and random data.

Every tool's output is checked against the source tree before anything is
timed; then rounds run every tool once per archive in rotated order, each
into a fresh tmpfs folder that is removed outside the timed part.
"""

import argparse
import json
import os
import shutil
import subprocess
import sys
import time

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import corpus  # noqa: E402

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
CACHE = '/dev/shm/vesk-bench-cache'
MODES = {
    'full': dict(text=200_000_000, binaries=150_000_000, small=20_000, random=64 << 20, rounds=5),
    'quick': dict(text=20_000_000, binaries=15_000_000, small=2_000, random=8 << 20, rounds=2),
}
# Bumped whenever the corpus is made differently, so an old cache is rebuilt.
CORPUS_VERSION = 1
CORPORA = ('text', 'binaries', 'small', 'random')
LEVELS = (0, 6, 9)
# vesk-extract with the default number of workers, and with one.
WORKERS = min(len(os.sched_getaffinity(0)), 8)
MEMORY_GOAL_KIB = 4096 + 1024 * WORKERS
# Goals of the workers, against one: on the archives of many entries, and
# on one of a single entry, where they cannot help and must not hinder.
MANY_ENTRIES = ('text-6', 'small-6', 'binaries-6')
SINGLE_ENTRY = 'random-6'


def log(*parts):
    print(*parts, flush=True)


def summary(line):
    path = os.environ.get('VESK_BENCH_SUMMARY')
    if path:
        with open(path, 'a') as f:
            f.write(line + '\n')


def build_corpus(folder, sizes):
    """Source trees and their archives under folder; reused when the stamp
    says they were made with the same sizes."""
    stamp_path = os.path.join(folder, 'stamp.json')
    stamp = dict(sizes, version=CORPUS_VERSION)
    stamp.pop('rounds')
    try:
        with open(stamp_path) as f:
            if json.load(f) == stamp:
                log('corpus: reusing', folder)
                return
    except (OSError, ValueError):
        pass
    shutil.rmtree(folder, ignore_errors=True)
    source = os.path.join(folder, 'source')
    started = time.monotonic()
    made = {
        'text': corpus.make_text(os.path.join(source, 'text'), sizes['text']),
        'binaries': corpus.make_binaries(os.path.join(source, 'binaries'), sizes['binaries']),
    }
    made['small'] = corpus.make_small(os.path.join(source, 'small'), sizes['small'],
                                      os.path.join(source, 'text'))
    made['random'] = corpus.make_random(os.path.join(source, 'random'), sizes['random'])
    for name, (count, size) in made.items():
        log('corpus: %-8s %6d files %8.1f MB' % (name, count, size / 1e6))

    # Two zips at a time: the machine has two cores.
    archives = os.path.join(folder, 'archives')
    os.makedirs(archives)
    jobs = [(name, level) for level in (9, 6, 0) for name in CORPORA]
    running = []
    while jobs or running:
        while jobs and len(running) < 2:
            name, level = jobs.pop(0)
            target = os.path.join(archives, '%s-%d.zip' % (name, level))
            running.append(subprocess.Popen(['zip', '-r', '-q', '-%d' % level, target, '.'],
                                            cwd=os.path.join(source, name)))
        running[0].wait()
        if running[0].returncode != 0:
            raise SystemExit('zip failed')
        running.pop(0)
    log('corpus: made in %.0f s' % (time.monotonic() - started))
    with open(stamp_path, 'w') as f:
        json.dump(stamp, f)


def tree(folder):
    """Relative paths of the files (with sizes) and folders below folder."""
    files, folders = {}, set()
    for parent, subfolders, names in os.walk(folder):
        relative = os.path.relpath(parent, folder)
        for name in subfolders:
            folders.add(os.path.normpath(os.path.join(relative, name)))
        for name in names:
            path = os.path.join(parent, name)
            files[os.path.normpath(os.path.join(relative, name))] = os.lstat(path).st_size
    return files, folders


def same_file(a, b):
    with open(a, 'rb') as fa, open(b, 'rb') as fb:
        while True:
            block = fa.read(1 << 20)
            if block != fb.read(1 << 20):
                return False
            if not block:
                return True


def compare(expected, source, output):
    """None when output holds exactly the source tree, else what differs."""
    files, folders = tree(output)
    if set(files) != set(expected[0]):
        missing = sorted(set(expected[0]) - set(files))
        extra = sorted(set(files) - set(expected[0]))
        return '%d files missing (%s), %d extra (%s)' % (
            len(missing), ', '.join(missing[:3]), len(extra), ', '.join(extra[:3]))
    if folders != expected[1]:
        return 'folders differ: %s' % sorted(folders ^ expected[1])[:3]
    for name, size in files.items():
        if size != expected[0][name]:
            return '%s: %d bytes instead of %d' % (name, size, expected[0][name])
        if not same_file(os.path.join(source, name), os.path.join(output, name)):
            return '%s: content differs' % name
    return None


def split_environment(argv):
    """Leading NAME=VALUE words of argv, as the environment to run the rest
    in, as env(1) takes them."""
    environment = dict(os.environ)
    while argv[0] and '=' in argv[0]:
        name, value = argv[0].split('=', 1)
        environment[name] = value
        argv = argv[1:]
    return environment, argv


def run(argv, error_path):
    """Wall time and exit status of one run."""
    environment, argv = split_environment(argv)
    actions = [(os.POSIX_SPAWN_OPEN, 0, '/dev/null', os.O_RDONLY, 0),
               (os.POSIX_SPAWN_OPEN, 1, '/dev/null', os.O_WRONLY, 0),
               (os.POSIX_SPAWN_OPEN, 2, error_path, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o644)]
    start = time.perf_counter()
    pid = os.posix_spawn(argv[0], argv, environment, file_actions=actions)
    _, status = os.waitpid(pid, 0)
    return time.perf_counter() - start, os.waitstatus_to_exitcode(status)


def run_measuring_memory(argv, error_path):
    """Exit status and peak resident size (KiB) of one run. Through GNU time:
    a child forked from Python would report Python's own size, since Linux
    keeps the larger of the sizes before and after exec."""
    memory_path = error_path + '.rss'
    environment, argv = split_environment(argv)
    settings = [name + '=' + value for name, value in environment.items()
                if os.environ.get(name) != value]
    _, status = run(settings + ['/usr/bin/time', '-f', '%M', '-o', memory_path] + argv, error_path)
    try:
        with open(memory_path) as f:
            peak = int(f.read().split()[-1])
    except (OSError, ValueError, IndexError):
        peak = None
    return status, peak


def tools(vesk, with_zipfile):
    found = {
        'vesk': lambda a, d: [vesk, a, d],
        'vesk-1': lambda a, d: ['VESK_THREADS=1', vesk, a, d],
        'unzip': lambda a, d: [shutil.which('unzip'), '-qq', '-o', a, '-d', d],
        'bsdtar': lambda a, d: [shutil.which('bsdtar'), '-xf', a, '-C', d],
    }
    if with_zipfile:
        found['zipfile'] = lambda a, d: [sys.executable, '-m', 'zipfile', '-e', a, d]
    for name, command in list(found.items()) + [('GNU time', lambda a, d: ['/usr/bin/time'])]:
        if not os.access(split_environment(command('', ''))[1][0] or '', os.X_OK):
            raise SystemExit('endToEnd: %s not found (run bench/prepare.sh)' % name)
    return found


def warn_if_busy(when):
    load = os.getloadavg()[0]
    if load > 0.5:
        log('note: load average %.2f %s: other work may slow some runs' % (load, when))


def verdict(ok):
    return 'PASS' if ok else 'FAIL'


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument('--quick', action='store_true', help='small corpus, two rounds')
    parser.add_argument('--rounds', type=int, help='timed rounds (default 5, quick 2)')
    parser.add_argument('--keep', action='store_true',
                        help='keep the corpus in %s for the next run' % CACHE)
    parser.add_argument('--no-zipfile', action='store_true', help="leave out Python's zipfile")
    parser.add_argument('--vesk', default=os.path.join(ROOT, 'build/native/bin/vesk-extract'))
    options = parser.parse_args()

    mode = 'quick' if options.quick else 'full'
    sizes = MODES[mode]
    rounds = options.rounds or sizes['rounds']
    contenders = tools(os.path.abspath(options.vesk), not options.no_zipfile)
    names = list(contenders)
    cache = os.path.join(CACHE, mode)
    work = '/dev/shm/vesk-bench-run-%d' % os.getpid()
    os.makedirs(work)
    try:
        build_corpus(cache, sizes)
        archives = ['%s-%d' % (name, level) for name in CORPORA for level in LEVELS]
        for archive in archives:
            size = os.path.getsize(os.path.join(cache, 'archives', archive + '.zip'))
            log('archive: %-11s %8.1f MB' % (archive, size / 1e6))

        def extract(tool, archive, output, how=run):
            os.mkdir(output)
            path = os.path.join(cache, 'archives', archive + '.zip')
            error = os.path.join(work, 'stderr')
            result = how(contenders[tool](path, output), error)
            with open(error) as f:
                return result, f.read().strip()

        # Checked first, measuring memory: a tool that extracts wrongly on an
        # archive is not timed there.
        wrong = {}
        memory = {}
        expected = {name: tree(os.path.join(cache, 'source', name)) for name in CORPORA}
        for archive in archives:
            name = archive.split('-')[0]
            for tool in names:
                output = os.path.join(work, 'check')
                (status, memory[archive, tool]), error = extract(
                    tool, archive, output, run_measuring_memory)
                problem = ('exit %d %s' % (status, error[:200])) if status else compare(
                    expected[name], os.path.join(cache, 'source', name), output)
                shutil.rmtree(output)
                if problem:
                    wrong[archive, tool] = problem
                    log('check: %s on %s: WRONG: %s' % (tool, archive, problem))
        log('check: %d of %d extractions identical to the source' % (
            len(archives) * len(names) - len(wrong), len(archives) * len(names)))

        times = {key: [] for key in ((a, t) for a in archives for t in names)}
        warn_if_busy('before the rounds')
        started = time.monotonic()
        for round_index in range(rounds):
            for archive_index, archive in enumerate(archives):
                turn = (round_index + archive_index) % len(names)
                for tool in names[turn:] + names[:turn]:
                    if (archive, tool) in wrong:
                        continue
                    output = os.path.join(work, 'out')
                    (elapsed, status), error = extract(tool, archive, output)
                    shutil.rmtree(output)
                    if status:
                        wrong[archive, tool] = 'exit %d in round %d %s' % (status, round_index, error)
                        continue
                    times[archive, tool].append(elapsed)
            log('round %d of %d done (%.0f s)' % (round_index + 1, rounds,
                                                  time.monotonic() - started))
    finally:
        shutil.rmtree(work, ignore_errors=True)
        if not options.keep:
            shutil.rmtree(cache, ignore_errors=True)
            try:
                os.rmdir(CACHE)
            except OSError:
                pass

    # The best round: other work on a two-core machine only ever adds time.
    def best(archive, tool):
        if (archive, tool) in wrong or not times[archive, tool]:
            return None
        return min(times[archive, tool])

    def cell(value, width, form):
        return (form % value if value is not None else 'WRONG').rjust(width)

    warn_if_busy('after the rounds')
    log('')
    log('End to end: best wall time in seconds of %d rounds, output to tmpfs' % rounds)
    log('Goals: vesk/bsdtar <= 1.0 (stretch <= 0.8), vesk/unzip <= 0.5')
    log('%-11s' % 'archive' + ''.join(t.rjust(9) for t in names)
        + '  vesk/bsdtar goal stretch  vesk/unzip goal')
    goal = stretch = True
    for archive in archives:
        m = {tool: best(archive, tool) for tool in names}
        vs_bsdtar = m['vesk'] / m['bsdtar'] if m['vesk'] and m['bsdtar'] else None
        vs_unzip = m['vesk'] / m['unzip'] if m['vesk'] and m['unzip'] else None
        ok_bsdtar = vs_bsdtar is not None and vs_bsdtar <= 1.0
        ok_stretch = vs_bsdtar is not None and vs_bsdtar <= 0.8
        ok_unzip = vs_unzip is not None and vs_unzip <= 0.5
        goal = goal and ok_bsdtar and ok_unzip
        stretch = stretch and ok_stretch
        log('%-11s' % archive + ''.join(cell(m[t], 9, '%.3f') for t in names)
            + cell(vs_bsdtar, 13, '%.3f') + ' ' + verdict(ok_bsdtar)
            + ' ' + verdict(ok_stretch).rjust(7)
            + cell(vs_unzip, 12, '%.3f') + ' ' + verdict(ok_unzip))

    # Medians: a worker's time depends on how the threads meet, best and
    # worst alike.
    def median(archive, tool):
        if (archive, tool) in wrong or not times[archive, tool]:
            return None
        ordered = sorted(times[archive, tool])
        return ordered[len(ordered) // 2]

    log('')
    log('Workers: median wall time of %d rounds, vesk with %d workers against one and bsdtar'
        % (rounds, WORKERS))
    log('Goals: vesk/vesk-1 <= 0.65 and vesk/bsdtar <= 0.35 on %s; vesk/vesk-1 <= 1.05 on %s'
        % (', '.join(MANY_ENTRIES), SINGLE_ENTRY))
    workers_ok = True
    for archive in MANY_ENTRIES + (SINGLE_ENTRY,):
        m = {tool: median(archive, tool) for tool in ('vesk', 'vesk-1', 'bsdtar')}
        if None in m.values():
            workers_ok = False
            log('%-11s WRONG' % archive)
            continue
        alone, vs_bsdtar = m['vesk'] / m['vesk-1'], m['vesk'] / m['bsdtar']
        ok = alone <= 1.05 if archive == SINGLE_ENTRY else alone <= 0.65 and vs_bsdtar <= 0.35
        workers_ok = workers_ok and ok
        log('%-11s vesk %.3f  vesk-1 %.3f  bsdtar %.3f  vesk/vesk-1 %.3f  vesk/bsdtar %.3f  %s'
            % (archive, m['vesk'], m['vesk-1'], m['bsdtar'], alone, vs_bsdtar, verdict(ok)))
    summary('workers (%d): vesk/vesk-1 <= 0.65 and <= 0.35 bsdtar on %s, <= 1.05 on %s: %s'
            % (WORKERS, ', '.join(MANY_ENTRIES), SINGLE_ENTRY, verdict(workers_ok)))

    log('')
    log('Peak resident size in KiB (GNU time); goal for vesk < %d' % MEMORY_GOAL_KIB)
    log('%-11s' % 'archive' + ''.join(t.rjust(9) for t in names) + '  goal')
    worst = 0
    for archive in archives:
        peaks = {t: memory.get((archive, t)) for t in names}
        worst = max(worst, peaks['vesk'] or 0)
        log('%-11s' % archive + ''.join(cell(peaks[t], 9, '%d') for t in names)
            + '  ' + verdict(peaks['vesk'] is not None and peaks['vesk'] < MEMORY_GOAL_KIB))

    totals = {t: sum(best(a, t) or 0 for a in archives) for t in names}
    log('')
    log('total of best times: ' + ', '.join('%s %.2f s' % (t, s) for t, s in totals.items()))
    for (archive, tool), problem in sorted(wrong.items()):
        log('WRONG: %s on %s: %s' % (tool, archive, problem))

    summary('end to end (%s, %d rounds): vesk <= bsdtar and <= 0.5 unzip on every archive: %s;'
            ' stretch <= 0.8 bsdtar: %s' % (mode, rounds, verdict(goal), verdict(stretch)))
    ratios = [(a, best(a, 'vesk') / best(a, 'bsdtar')) for a in archives
              if best(a, 'vesk') and best(a, 'bsdtar')]
    if ratios:
        summary('  vesk/bsdtar from %.3f (%s) to %.3f (%s)' % (
            min(r for _, r in ratios), min(ratios, key=lambda x: x[1])[0],
            max(r for _, r in ratios), max(ratios, key=lambda x: x[1])[0]))
    summary('memory: vesk-extract peak %d KiB (goal < %d): %s' % (
        worst, MEMORY_GOAL_KIB, verdict(worst < MEMORY_GOAL_KIB)))
    if any(tool == 'vesk' for _, tool in wrong):
        summary('  vesk-extract output WRONG on: ' + ', '.join(
            a for a, t in sorted(wrong) if t == 'vesk'))


if __name__ == '__main__':
    main()
