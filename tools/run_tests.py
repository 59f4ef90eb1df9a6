#!/usr/bin/env python3
"""make test: every stage CI runs, each ending with one line that counts what
passed, failed and was skipped and why each skip happened, then one overall
line. Stages go on after one fails, so that the last lines tell the whole run.

    python3 tools/run_tests.py [STAGE...]      (default: every stage)

Stages: normal, scalar, sanitize (ctest suites; their tests are counted),
fuzz (both targets; the fuzzers' output goes to build-fuzz/fuzz.log),
package (the Debian package and Windows zip), windows (tools/windows_check.sh).
"""
import os
import re
import subprocess
import sys
import xml.etree.ElementTree as ET

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
MAKE = ['make', '--no-print-directory']


def run(command, log=None):
    """Exit code and the output, which goes to the terminal as it comes (or
    to log alone)."""
    out = open(log, 'w') if log else None
    process = subprocess.Popen(command, cwd=ROOT, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                               stdin=subprocess.DEVNULL, text=True, errors='replace')
    lines = []
    for line in process.stdout:
        lines.append(line)
        (out or sys.stdout).write(line)
        (out or sys.stdout).flush()
    if out:
        out.close()
    return process.wait(), ''.join(lines)


def skip_reason(case):
    """What a skipped test said: GoogleTest's line after ": Skipped", or the
    last line of a script that exited 77."""
    text = (case.findtext('system-out') or '').splitlines()
    for i, line in enumerate(text):
        if line.endswith(': Skipped') and i + 1 < len(text) and text[i + 1].strip():
            return text[i + 1].strip()
    said = [line.strip() for line in text if line.strip()]
    return said[-1] if said else 'no reason given'


def ctest_stage(target, junit):
    if os.path.exists(junit):
        os.remove(junit)
    code, _ = run(MAKE + [target])
    counts, reasons = [0, 0, 0], []
    if os.path.exists(junit):
        for case in ET.parse(junit).getroot().iter('testcase'):
            status = case.get('status')
            if status == 'run':
                counts[0] += 1
            elif status in ('notrun', 'disabled'):
                counts[2] += 1
                reasons.append('%s: %s' % (case.get('name'), skip_reason(case)))
            else:
                counts[1] += 1
    if code and not counts[1]:
        counts[1] = 1  # the build itself failed
    return counts, reasons


def fuzz_stage():
    log = os.path.join(ROOT, os.environ.get('FUZZ_BUILD', 'build-fuzz'), 'fuzz.log')
    os.makedirs(os.path.dirname(log), exist_ok=True)
    code, text = run(MAKE + ['fuzz'], log)
    runs = re.findall(r'Done (\d+) runs in (\d+) second', text)
    summary = ', '.join('%s runs in %s s' % run_ for run_ in runs)
    if code:
        print(''.join(text.splitlines(True)[-30:]))
        return [0, 1, 0], ['see %s' % log]
    print('fuzz: %s; the fuzzers said it all in %s' % (summary or 'no runs', log))
    return [1, 0, 0], []


def script_stage(target, skip_pattern):
    """One test: passed, failed, or skipped where the script said so."""
    code, text = run(MAKE + [target])
    if code:
        return [0, 1, 0], []
    skips = [line.strip() for line in text.splitlines() if re.search(skip_pattern, line)]
    whole = [line for line in skips if 'skipped' in line and 'not root' not in line]
    return ([0, 0, 1] if skips and len(skips) == len(whole) and not re.search('passed|installed,', text)
            else [1, 0, 0]), skips


STAGES = {
    'normal': ('the normal build', lambda: ctest_stage('check', os.path.join(ROOT, os.environ.get('BUILD', 'build'), 'ctest.xml'))),
    'scalar': ('the scalar build', lambda: ctest_stage('check-scalar', os.path.join(ROOT, 'build-scalar', 'ctest.xml'))),
    'sanitize': ('the sanitizer build',
                 lambda: ctest_stage('sanitize', os.path.join(ROOT, 'build-sanitize', 'ctest.xml'))),
    'fuzz': ('the fuzz runs', fuzz_stage),
    'package': ('the packages', lambda: script_stage('package-check', r'skipped|not installed')),
    'windows': ('the Windows checks', lambda: script_stage('windows-check', r'skipped|not installed')),
}


def main():
    names = sys.argv[1:] or list(STAGES)
    total, lines = [0, 0, 0], []
    for name in names:
        title, stage = STAGES[name]
        print('make test: %s ...' % title, flush=True)
        counts, reasons = stage()
        line = 'make test: %s: %d passed, %d failed, %d skipped' % ((title,) + tuple(counts))
        if reasons:
            line += ' (%s)' % '; '.join(reasons)
        print(line, flush=True)
        lines.append(line)
        total = [a + b for a, b in zip(total, counts)]
    print()
    print('\n'.join(lines))
    print('make test: %d passed, %d failed, %d skipped' % tuple(total))
    return 1 if total[1] else 0


if __name__ == '__main__':
    sys.exit(main())
