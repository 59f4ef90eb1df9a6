#!/usr/bin/env python3
"""Times tarvolt against a general importer and against cat, on one large file.

    python3 bench/convert_bench.py [--runs 5] [--tarvolt build/tarvolt] [--file F]
                                   [--against OTHER_TARVOLT]

Generates bench/out/big.ase (20 objects x 20,000 triangles) unless --file is
given, then runs each command --runs times under /usr/bin/time -v, round by
round, and prints the median wall time, peak RSS, throughput and the ratios.
With --against, a second build's plain conversion runs in the same rounds,
alternated with the first, and its ratio to the first is printed.
"""
import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)


def measure(command, cwd):
    """Wall seconds and peak RSS in KiB of one run under /usr/bin/time -v. The
    wall time is taken around it here: time prints hundredths only. Each run
    starts with nothing of earlier runs still to be written to disk, as when a
    user converts one file after another: otherwise replacing a pack waits
    for the disk to finish writing the one a run before wrote."""
    os.sync()
    start = time.perf_counter()
    result = subprocess.run(['/usr/bin/time', '-v'] + command, cwd=cwd, stdin=subprocess.DEVNULL,
                            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    wall = time.perf_counter() - start
    rss = None
    for line in result.stderr.splitlines():
        line = line.strip()
        if line.startswith('Maximum resident set size'):
            rss = int(line.rsplit(' ', 1)[1])
    if result.returncode != 0 or rss is None:
        sys.exit('failed: %s\n%s' % (' '.join(command), result.stderr[-2000:]))
    return wall, rss


def ensure_assimp():
    if shutil.which('assimp'):
        return True
    print('installing assimp-utils ...', file=sys.stderr)
    subprocess.run(['apt-get', 'install', '-y', '-qq', 'assimp-utils'],
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                   env=dict(os.environ, DEBIAN_FRONTEND='noninteractive'))
    return shutil.which('assimp') is not None


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('--runs', type=int, default=5)
    parser.add_argument('--tarvolt', default=os.path.join(ROOT, 'build', 'tarvolt'))
    parser.add_argument('--file')
    parser.add_argument('--against')
    args = parser.parse_args()

    path = args.file
    if not path:
        path = os.path.join(HERE, 'out', 'big.ase')
        if not os.path.exists(path):
            os.makedirs(os.path.dirname(path), exist_ok=True)
            subprocess.run([sys.executable, os.path.join(HERE, 'gen_ase.py'), '--objects', '20',
                            '--triangles', '20000', '--output', path], check=True)
    path = os.path.abspath(path)
    size_mb = os.path.getsize(path) / 1e6
    tarvolt = os.path.abspath(args.tarvolt)

    work = tempfile.mkdtemp(prefix='tarvolt-bench-')
    shutil.copy(path, os.path.join(work, 'big.ase'))
    # Every run but the first replaces the pack a run before wrote; the "new
    # pack" row removes it first, which shows what replacing
    # costs in the file system (it flushes the new file on the rename).
    commands = [('tarvolt', [tarvolt, 'big.ase']),
                ('tarvolt -o', [tarvolt, '-o', 'big.ase']),
                ('tarvolt new pack', ['sh', '-c', 'rm -f big.qrv && exec "$0" big.ase', tarvolt])]
    if args.against:
        commands.insert(1, ('against', [os.path.abspath(args.against), 'big.ase']))
    if ensure_assimp():
        commands.append(('assimp info -r', ['assimp', 'info', 'big.ase', '-r']))
    else:
        print('assimp not available: its row is left out', file=sys.stderr)
    commands.append(('cat', ['sh', '-c', 'cat big.ase > /dev/null']))

    subprocess.run(['cat', os.path.join(work, 'big.ase')], stdout=subprocess.DEVNULL)  # warm cache
    medians = {}
    print('file: %s, %.1f MB, %d runs each (median)' % (path, size_mb, args.runs))
    print('%-18s %10s %10s %12s' % ('command', 'wall s', 'MB/s', 'peak RSS MB'))
    # Round by round, so that a machine that slows down for a while slows
    # every row alike.
    runs = {name: [] for name, _ in commands}
    for _ in range(args.runs):
        for name, command in commands:
            runs[name].append(measure(command, work))
    for name, _ in commands:
        wall = statistics.median(r[0] for r in runs[name])
        rss = statistics.median(r[1] for r in runs[name]) / 1024
        medians[name] = wall
        print('%-18s %10.3f %10.0f %12.1f' % (name, wall, size_mb / wall if wall else 0, rss))
    shutil.rmtree(work)

    plain = medians['tarvolt']
    print()
    if 'assimp info -r' in medians:
        print('tarvolt / assimp    = %.3f  (assimp / tarvolt = %.1fx)' %
              (plain / medians['assimp info -r'], medians['assimp info -r'] / plain))
    print('tarvolt / cat       = %.1f' % (plain / medians['cat'] if medians['cat'] else 0))
    print('tarvolt -o / tarvolt = %.2f' % (medians['tarvolt -o'] / plain))
    if args.against:
        print('against / tarvolt   = %.3f' % (medians['against'] / plain))
    if 'assimp info -r' in medians:
        fresh = medians['tarvolt new pack']
        print('new pack / assimp   = %.3f  (assimp / new pack = %.1fx)' %
              (fresh / medians['assimp info -r'], medians['assimp info -r'] / fresh))


if __name__ == '__main__':
    main()
