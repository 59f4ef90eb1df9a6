#!/usr/bin/env python3
"""Measures which small faults in src/ the tests catch.

Each mutant is one small fault in one line of src/*.cpp|*.h: a flipped
comparison, a changed integer constant, a deleted call statement, && <-> ||,
or + <-> -. The tool rebuilds with it, runs the test program (and the qrvinfo
page test for src/qrvinfo mutants), and for a surviving mutant compares the
mutated tarvolt/qrvinfo with the unmutated ones on sample inputs, so that a
survivor that changes the output (a missing test) stands out.

Run from the repository root, with BUILD configured and built:
  python3 tools/mutation_check.py --count 60 --seed 1 \\
      [--paths src/writer src/ase] [--build build] [--jobs 2] [--report FILE]
  python3 tools/mutation_check.py --list --count 60 --seed 1   # only show the draw
The draw is fixed for a seed and a tree. Mutants that do not compile, or that
leave the binaries byte-identical (code not compiled in), are not scored and
are replaced by the next ones drawn. Every file is restored, also on Ctrl-C.
"""
import argparse, filecmp, glob, json, os, random, re, shutil, signal, subprocess, sys, tempfile, time
from pathlib import Path

FLIP = {'<': '>=', '>=': '<', '>': '<=', '<=': '>', '==': '!=', '!=': '==', '&&': '||', '||': '&&', '+': '-', '-': '+'}
OPERATORS = [  # name, pattern on the line with comments and literals blanked, replacement
    ('cmp', re.compile(r'(?<=\s)(<=|>=|==|!=|<|>)(?=\s)'), lambda t: FLIP[t]),
    ('const', re.compile(r"(?<![\w.'])(\d+)(?=[uUlL]*(?![\w.']))"), lambda t: str({0: 1, 1: 0}.get(int(t), int(t) + 1))),
    ('logic', re.compile(r'(?<=\s)(&&|\|\|)(?=\s)'), lambda t: FLIP[t]),
    ('arith', re.compile(r'(?<=\s)([+-])(?=\s)'), lambda t: FLIP[t]),
]
CALL = re.compile(r'^(?!(?:return|if|while|for|switch|case|else|do|delete|throw|goto|sizeof|new)\b)'
                  r'[A-Za-z_][\w:.\->\[\]]*\s*\(.*\);$')
LEXEMES = re.compile(r'//[^\n]*|/\*.*?\*/|"(?:\\.|[^"\\\n])*"|\'(?:\\.|[^\'\\\n])*\'', re.S)
BINARIES = ['tarvolt', 'qrvinfo', 'tests/tarvolt_tests']


def blank(source):
    """The source with comments and the insides of string and char literals as spaces; lines stay."""
    def spaces(m):
        t = m.group(0)
        quote = t[0] if t[0] in '"\'' else ''
        return quote + re.sub(r'[^\n]', ' ', t[len(quote):len(t) - len(quote)]) + quote
    return LEXEMES.sub(spaces, source)


def sites_in(path):
    """(path, line number, operator, occurrence, before, after) for one file."""
    result, continued, windows, last = [], False, [], ';'
    with open(path, encoding='utf-8') as f:
        source = f.read()
    for number, (line, code) in enumerate(zip(source.split('\n'), blank(source).split('\n')), 1):
        text = code.strip()
        if continued or text.startswith('#'):  # Windows-only code is not compiled here: no mutants there
            directive = (text[1:].split() or [''])[0] if not continued else ''
            continued, win = text.endswith('\\'), '_WIN32' in text
            if directive in ('if', 'ifdef', 'ifndef'):  # [in Windows-only code now, in it after #else]
                now = win and '!' not in text and directive != 'ifndef'
                windows.append([now, win and not now])
            elif directive in ('else', 'elif') and windows:
                windows[-1] = [windows[-1][1] and directive == 'else', False]
            elif directive == 'endif' and windows:
                windows.pop()
            continue
        if not text or 'static_assert' in text or any(w[0] for w in windows):
            continue
        for name, pattern, replace in OPERATORS:
            for occurrence, m in enumerate(pattern.finditer(code)):
                after = line[:m.start(1)] + replace(m.group(1)) + line[m.end(1):]
                result.append((path, number, name, occurrence, line, after))
        if CALL.match(text) and (last[-1] in ';{}):' or last.endswith('else')) and balanced(text):
            result.append((path, number, 'call', 0, line, line[:len(line) - len(line.lstrip())] + ';'))
        last = text
    return result


def balanced(text):
    depth = 0
    for i, c in enumerate(text):
        depth += {'(': 1, ')': -1}.get(c, 0)
        if depth < 0 or (depth == 0 and c == ')' and i != len(text) - 2):
            return False
    return depth == 0


def run(cmd, timeout, **kw):
    """(exit code or 'timeout', stdout, stderr); kills the whole process group on timeout."""
    p = subprocess.Popen(cmd, stdout=subprocess.PIPE, stderr=subprocess.PIPE, start_new_session=True, **kw)
    try:
        out, err = p.communicate(timeout=max(timeout, 1))
        return p.returncode, out, err
    except BaseException as e:  # also Ctrl-C: nothing is left running
        os.killpg(p.pid, signal.SIGKILL)
        if not isinstance(e, subprocess.TimeoutExpired):
            raise
        return ('timeout',) + p.communicate()


def inputs():
    found = glob.glob('samples/*') + glob.glob('tests/data/app/*') + glob.glob('fuzz/ase_seeds/*') + glob.glob('../shared/corpus/*')
    return sorted(os.path.abspath(p) for p in found if p.lower().endswith('.ase'))


def observe(cmd, files, work):
    """Runs cmd in a fresh copy of files; all it shows: exit code, stdout, stderr, the files left."""
    with tempfile.TemporaryDirectory(dir=work) as d, open(os.devnull) as null:
        for f in files:
            shutil.copy(f, d)
        rc, out, err = run(cmd, 120, cwd=d, stdin=null)
        left = {name: Path(d, name).read_bytes() for name in sorted(os.listdir(d))}
        return {'exit': rc, 'stdout': out, 'stderr': err, 'files': left}


def runs(program, packs):
    """(arguments, input files) for one program: tarvolt on every input, qrvinfo on the unmutated packs."""
    if program == 'tarvolt':
        return [(o + [os.path.basename(f)], [f]) for f in inputs() for o in ([], ['-o'], ['-o', '-l', '_LM'])]
    modes = [[], ['--json'], ['--obj', 'out.obj'], ['--html', 'out.html']]
    return [(m + [os.path.basename(p)], [p]) for p in packs for m in modes] + [([], []), (['--json'], []), (['--bogus', 'x.qrv'], [])]


def visible_change(build, base, changed, work, seen):
    """Which programs' channels differ between the mutated and the unmutated build, or ''."""
    if 'packs' not in seen:
        os.makedirs(os.path.join(work, 'packs'))
        for i, (args, files) in enumerate(runs('tarvolt', [])):
            for name, data in observe([os.path.join(base, 'tarvolt')] + args, files, work)['files'].items():
                if name.endswith('.qrv'):
                    Path(work, 'packs', '%03d_%s' % (i, name)).write_bytes(data)
        seen['packs'] = sorted(glob.glob(os.path.join(work, 'packs', '*.qrv')))
    diffs = set()
    for program in sorted(changed & {'tarvolt', 'qrvinfo'}):
        for args, files in runs(program, seen['packs']):
            key = (program, tuple(args + files))
            if key not in seen:
                seen[key] = observe([os.path.join(base, program)] + args, files, work)
            got = observe([os.path.join(build, program)] + args, files, work)
            diffs |= {'%s %s' % (program, k) for k in got if got[k] != seen[key][k]}
    return ', '.join(sorted(diffs))


def main():
    ap = argparse.ArgumentParser(description=__doc__.split('\n')[0])
    ap.add_argument('--count', type=int, default=60)
    ap.add_argument('--seed', type=int, default=1)
    ap.add_argument('--paths', nargs='+', default=['src'])
    ap.add_argument('--build', default='build')
    ap.add_argument('--jobs', type=int, default=2)
    ap.add_argument('--report')
    ap.add_argument('--timeout', type=int, default=1800, help='seconds for one mutant\'s build')
    ap.add_argument('--list', action='store_true', help='only print the drawn sites')
    a = ap.parse_args()
    t0, a.build, lines, counts, survivors, seen = time.time(), os.path.abspath(a.build), [], {}, [], {}
    files = sorted(p for d in a.paths for p in glob.glob(d + '/**/*', recursive=True) if p.endswith(('.cpp', '.h')))
    sites = [s for p in files for s in sites_in(p)]
    order = random.Random(a.seed).sample(sites, len(sites))

    def say(text):
        print(text, flush=True)
        lines.append(text)
        if a.report:
            with open(a.report, 'w') as f:
                f.write('\n'.join(lines) + '\n')
    say('%d candidate sites in %d files (%s); seed %d' % (len(sites), len(files), ', '.join(
        '%s %d' % (op, sum(s[2] == op for s in sites)) for op in ('cmp', 'const', 'call', 'logic', 'arith')), a.seed))
    if a.list:
        for s in order[:a.count]:
            say('%s:%d %s  %s  ->  %s' % (s[0], s[1], s[2], s[4].strip(), s[5].strip()))
        return 0
    signal.signal(signal.SIGTERM, lambda *_: sys.exit('terminated'))
    signal.signal(signal.SIGINT, signal.default_int_handler)  # even where started with SIGINT ignored
    build = ['cmake', '--build', a.build, '-j', str(a.jobs), '--target', 'tarvolt_tests', 'tarvolt', 'qrvinfo']
    env = dict(os.environ, CCACHE_BASEDIR=os.path.dirname(os.getcwd()))
    git_before = [subprocess.run(c, capture_output=True).stdout for c in (['git', 'status', '--porcelain'], ['git', 'diff'])]
    if run(build, 3600, env=env)[0] != 0:
        sys.exit('the unmutated tree does not build')
    shown = json.loads(subprocess.run(['ctest', '--show-only=json-v1'], cwd=a.build, capture_output=True).stdout or '{}')
    tests = shown.get('tests', [])
    dirs = [p['value'] for t in tests for p in t.get('properties', []) if p['name'] == 'WORKING_DIRECTORY']
    test_dir = dirs[0] if dirs else os.path.join(a.build, 'tests')  # where ctest would run the test program
    html = any('qrvinfo_html' in t['name'] for t in tests) and shutil.which('chromium') and shutil.which('python3')
    suite = [os.path.join(a.build, 'tests/tarvolt_tests'), '--gtest_fail_fast']
    started = time.time()
    if run(suite, 600, cwd=test_dir)[0] != 0:
        sys.exit('the tests fail on the unmutated tree')
    suite_timeout = max(120, 5 * (time.time() - started))  # the machine may be loaded
    work = tempfile.mkdtemp(prefix='mutation.')
    base, originals = os.path.join(work, 'base'), {}
    os.makedirs(base)
    for b in BINARIES:
        shutil.copy(os.path.join(a.build, b), base)
    try:
        for path, number, op, occurrence, before, after in order:
            if counts.get('scored', 0) >= a.count:
                break
            originals[path] = Path(path).read_bytes()
            text = originals[path].decode('utf-8').split('\n')
            text[number - 1] = after
            Path(path).write_bytes('\n'.join(text).encode('utf-8'))
            try:
                rc = run(build, a.timeout, env=env)[0]
                changed = {os.path.basename(b) for b in BINARIES if rc == 0 and not filecmp.cmp(
                    os.path.join(a.build, b), os.path.join(base, os.path.basename(b)), shallow=False)}
                if rc != 0:
                    outcome = 'uncompiled' + (' (build timeout)' if rc == 'timeout' else '')
                elif not changed:
                    outcome = 'equivalent'
                elif run(suite, suite_timeout, cwd=test_dir)[0] != 0:  # a hang is caught too
                    outcome = 'caught'
                elif html and path.startswith('src/qrvinfo') and run(
                        ['ctest', '-R', 'qrvinfo_html', '--output-on-failure'], 900, cwd=a.build)[0] != 0:
                    outcome = 'caught (page test)'
                else:
                    diff = visible_change(a.build, base, changed, work, seen)
                    outcome = 'survived, output changes (%s)' % diff if diff else 'survived, no visible change'
            finally:
                Path(path).write_bytes(originals.pop(path))
            kind = outcome.split(' (')[0]
            for key in {kind, kind.split(',')[0]} | ({'scored'} if kind.startswith(('caught', 'survived')) else set()):
                counts[key] = counts.get(key, 0) + 1
            say('%s:%d %s  %s  ->  %s  : %s' % (path, number, op, before.strip(), after.strip(), outcome))
            if kind.startswith('survived'):
                survivors.append(lines[-1])
    finally:
        for path, data in originals.items():
            Path(path).write_bytes(data)
        rebuilt = run(build, 3600, env=env)[0] == 0 and all(filecmp.cmp(
            os.path.join(a.build, b), os.path.join(base, os.path.basename(b)), shallow=False) for b in BINARIES)
        shutil.rmtree(work, ignore_errors=True)
        if git_before != [subprocess.run(c, capture_output=True).stdout for c in (['git', 'status', '--porcelain'], ['git', 'diff'])]:
            print('WARNING: the tree is not as it was found; see git status', file=sys.stderr)
    n, k = counts.get('scored', 0), counts.get('caught', 0)
    say('\nscored %d, caught %d (%.0f%%), survived with output change %d, survived without %d, uncompiled %d, equivalent %d' % (
        n, k, 100.0 * k / max(n, 1), counts.get('survived, output changes', 0), counts.get('survived, no visible change', 0),
        counts.get('uncompiled', 0), counts.get('equivalent', 0)))
    say('run took %.0f min; the rebuilt unmutated binaries are %s' % ((time.time() - t0) / 60, 'identical' if rebuilt else 'DIFFERENT'))
    if survivors:
        say('survivors:\n' + '\n'.join(survivors))
    return 0


if __name__ == '__main__':
    try:
        sys.exit(main())
    except KeyboardInterrupt:
        sys.exit('interrupted; the sources are restored')
