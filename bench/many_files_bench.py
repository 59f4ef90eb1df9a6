#!/usr/bin/env python3
"""Converts a tree of many ASE files the way a studio's build does, and says
how many files and MB a second each way manages.

    python3 bench/many_files_bench.py [--files 1000] [--build build] [--corpus DIR]

Makes a tree of at least --files files (copies of the repository's fixtures
and, where present, the corpus files tarvolt converts, each under a name of
its own), installs the build into a scratch prefix, then times a clean build
of examples/asset_pipeline over that tree (tarvolt -o -l _LM and qrvinfo per
file) with Ninja and Make at -j1 and -j2, and a plain shell loop doing the
same one file after another.
"""
import argparse
import glob
import os
import shutil
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def quiet(command, **kwargs):
    subprocess.run(command, check=True, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, **kwargs)


def converts(tarvolt, path, work):
    shutil.copy(path, os.path.join(work, 'probe.ase'))
    return subprocess.run([tarvolt, 'probe.ase'], cwd=work, stdin=subprocess.DEVNULL,
                          stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode == 0


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('--files', type=int, default=1000)
    parser.add_argument('--build', default=os.path.join(ROOT, 'build'))
    parser.add_argument('--corpus', default=os.environ.get('TARVOLT_CORPUS', os.path.join(ROOT, '..', 'shared', 'corpus')))
    args = parser.parse_args()
    work = tempfile.mkdtemp(prefix='tarvolt-many-')
    prefix = os.path.join(work, 'prefix')
    quiet(['cmake', '--install', args.build, '--prefix', prefix])
    tarvolt, qrvinfo = os.path.join(prefix, 'bin', 'tarvolt'), os.path.join(prefix, 'bin', 'qrvinfo')

    sources = sorted(glob.glob(os.path.join(ROOT, 'samples', '*.ase')) +
                     glob.glob(os.path.join(ROOT, 'tests', 'data', 'app', '*.ase')) +
                     glob.glob(os.path.join(ROOT, 'examples', 'asset_pipeline', 'assets', '*.ase')) +
                     glob.glob(os.path.join(args.corpus, '*.ase')) + glob.glob(os.path.join(args.corpus, '*.ASE')))
    sources = [s for s in sources if converts(tarvolt, s, work)]
    tree = os.path.join(work, 'assets')
    os.makedirs(tree)
    count = 0
    while count < args.files:
        for source in sources:
            shutil.copy(source, os.path.join(tree, 'f%05d.ase' % count))
            count += 1
    megabytes = sum(os.path.getsize(os.path.join(tree, f)) for f in os.listdir(tree)) / 1e6
    print('%d files, %.1f MB, from %d distinct files' % (count, megabytes, len(sources)))
    print('%-24s %8s %10s %8s' % ('how', 'wall s', 'files/s', 'MB/s'))

    def report(name, seconds):
        print('%-24s %8.2f %10.0f %8.1f' % (name, seconds, count / seconds, megabytes / seconds), flush=True)

    for generator, tool in (('Ninja', 'ninja'), ('Unix Makefiles', 'make')):
        if not shutil.which(tool):
            print('%s is not installed: its rows are left out' % tool)
            continue
        for jobs in (1, 2):
            build = os.path.join(work, 'build-%s-%d' % (tool, jobs))
            quiet(['cmake', '-S', os.path.join(ROOT, 'examples', 'asset_pipeline'), '-B', build, '-G', generator,
                   '-DCMAKE_PREFIX_PATH=' + prefix, '-DTARVOLT_ASSETS=' + tree])
            start = time.perf_counter()
            quiet(['cmake', '--build', build, '-j', str(jobs)])
            report('%s -j%d' % (tool, jobs), time.perf_counter() - start)

    out = os.path.join(work, 'loop')
    os.makedirs(out)
    loop = ('for f in "$0"/*.ase; do n=${f##*/}; "$1" -o -l _LM --output "$2/${n%.ase}.qrv" "$f" && '
            '"$3" "$2/${n%.ase}.qrv" || exit 1; done')
    start = time.perf_counter()
    quiet(['sh', '-c', loop, tree, tarvolt, out, qrvinfo], cwd=out)
    report('shell loop', time.perf_counter() - start)
    shutil.rmtree(work)


if __name__ == '__main__':
    sys.exit(main())
