#!/usr/bin/env python3
"""Mutation check of the fast test suite.

Reads the mutant list (tests/mutants.txt), copies the tree once to a scratch
directory and configures a build there, then plants each mutant on its own:
apply, rebuild the fast test targets, run `ctest -L fast` (stopping at the
first failure, with a time-out so a hung test counts as killed; a mutant
with "tests:" also runs those), restore.
Prints killed / survived per mutant and the score
killed / (non-equivalent, buildable). A mutant whose line is no longer in
its file stops the run before anything is built: the list must be brought
up to date first.

    python3 scripts/mutate.py                  # every mutant
    python3 scripts/mutate.py --file senders   # mutants whose file contains "senders"
    python3 scripts/mutate.py --only 3,7-9     # by number in the list
    python3 scripts/mutate.py --list           # show the list and whether each applies
    python3 scripts/mutate.py --check          # only verify that every line is found

Standard library only. The scratch directory is kept between runs, so a
second run rebuilds incrementally.
"""

import argparse
import filecmp
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
from dataclasses import dataclass, field

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SKIP_DIRS = {'.git', '.cache'}


@dataclass
class Mutant:
    number: int
    file: str
    line: str
    replacement: str
    after: str = ''
    equivalent: str = ''
    kind: str = ''
    # Tests beyond the fast ones that also run on this mutant (code that only
    # the real-port tests reach, such as the serial component's bursts).
    tests: str = ''
    status: str = ''
    seconds: float = 0.0
    detail: str = ''
    source_line: int = field(default=0)


def parse_list(path):
    """Blocks of `key: value` lines separated by blank lines; # starts a comment."""
    mutants = []
    block = {}

    def flush():
        if not block:
            return
        missing = {'file', 'line', 'with'} - block.keys()
        if missing:
            sys.exit(f'{path}: mutant {len(mutants) + 1} lacks {", ".join(sorted(missing))}')
        mutants.append(Mutant(number=len(mutants) + 1, file=block['file'], line=block['line'],
                              replacement=block['with'], after=block.get('after', ''),
                              equivalent=block.get('equivalent', ''),
                              kind=block.get('kind', ''), tests=block.get('tests', '')))
        block.clear()

    with open(path, encoding='utf-8') as stream:
        for number, raw in enumerate(stream, 1):
            text = raw.rstrip('\n')
            if not text.strip():
                flush()
                continue
            if text.lstrip().startswith('#'):
                continue
            key, sep, value = text.partition(':')
            key = key.strip()
            if not sep or key not in {'file', 'line', 'with', 'after', 'equivalent', 'kind', 'tests'}:
                sys.exit(f'{path}:{number}: expected "key: value", got {text!r}')
            if key in block:
                sys.exit(f'{path}:{number}: second "{key}" in one mutant (blank line missing?)')
            block[key] = value.strip()
    flush()
    return mutants


def locate(lines, mutant):
    """Index of the one line the mutant replaces, or an explanation why it is stale."""
    start = 0
    if mutant.after:
        anchors = [i for i, text in enumerate(lines) if text.strip() == mutant.after]
        if len(anchors) != 1:
            return None, f'"after" line found {len(anchors)} times'
        start = anchors[0] + 1
    hits = [i for i in range(start, len(lines)) if lines[i].strip() == mutant.line]
    if not hits:
        return None, 'line not found'
    if len(hits) > 1 and not mutant.after:
        return None, f'line found {len(hits)} times; add "after:"'
    return hits[0], ''


def mutated_text(original, mutant):
    if original is None:
        return None, 'file not found'
    lines = original.split('\n')
    index, why = locate(lines, mutant)
    if index is None:
        return None, why
    indent = lines[index][:len(lines[index]) - len(lines[index].lstrip())]
    lines[index] = indent + mutant.replacement
    mutant.source_line = index + 1
    return '\n'.join(lines), ''


def sync_tree(source, scratch, build_name):
    """Make scratch hold the source tree (not its builds); copy only what differs."""
    for directory, subdirs, files in os.walk(source):
        rel = os.path.relpath(directory, source)
        subdirs[:] = [d for d in subdirs if d not in SKIP_DIRS
                      and not (rel == '.' and (d.startswith('build') or d == build_name))]
        target_dir = os.path.join(scratch, rel)
        os.makedirs(target_dir, exist_ok=True)
        for name in files:
            src = os.path.join(directory, name)
            dst = os.path.join(target_dir, name)
            if not os.path.exists(dst) or not filecmp.cmp(src, dst, shallow=False):
                shutil.copy2(src, dst)
                os.utime(dst)  # newer than any object built from the old copy


def read_source(path):
    try:
        with open(path, encoding='utf-8') as stream:
            return stream.read()
    except FileNotFoundError:
        return None


def run(command, cwd, timeout=None, env=None):
    try:
        done = subprocess.run(command, cwd=cwd, env=env, timeout=timeout,
                              stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        return done.returncode, done.stdout
    except subprocess.TimeoutExpired as expired:
        out = expired.stdout or ''
        return None, out if isinstance(out, str) else out.decode(errors='replace')


def select(mutants, args):
    chosen = mutants
    if args.file:
        chosen = [m for m in chosen if args.file in m.file]
    if args.only:
        numbers = set()
        for part in args.only.split(','):
            low, _, high = part.partition('-')
            numbers.update(range(int(low), int(high or low) + 1))
        chosen = [m for m in chosen if m.number in numbers]
    return chosen


def main():
    parser = argparse.ArgumentParser(description='Mutation check of the fast test suite.')
    parser.add_argument('--mutants', default=os.path.join(ROOT, 'tests', 'mutants.txt'))
    # One per checkout: two runs from different trees in one scratch copy
    # would overwrite each other's sources mid-build.
    parser.add_argument('--scratch',
                        default=os.path.join(tempfile.gettempdir(),
                                             'alarm-mutate-' + os.path.basename(ROOT)),
                        help='scratch copy of the tree, kept between runs')
    parser.add_argument('--file', help='only mutants whose file path contains this text')
    parser.add_argument('--only', help='only these mutant numbers, e.g. 3,7-9')
    parser.add_argument('--check-equivalent', action='store_true',
                        help='plant the mutants marked equivalent too (they never count)')
    parser.add_argument('--timeout', type=int, default=120,
                        help='seconds the fast tests may take per mutant before it counts as killed')
    parser.add_argument('--jobs', type=int, default=2)
    parser.add_argument('--list', action='store_true', help='show the mutants and stop')
    parser.add_argument('--check', action='store_true',
                        help='verify that every mutant\'s line is found, build nothing')
    args = parser.parse_args()

    mutants = parse_list(args.mutants)
    chosen = select(mutants, args)
    stale = {}
    for m in chosen:
        _, why = mutated_text(read_source(os.path.join(ROOT, m.file)), m)
        if why:
            stale[m.number] = why
    if args.list:
        for m in chosen:
            flag = f'STALE ({stale[m.number]})' if m.number in stale else (
                'equivalent' if m.equivalent else '')
            print(f'{m.number:3} {m.file}:{m.source_line or "?"} {m.kind} {flag}')
            print(f'      - {m.line}\n      + {m.replacement}')
        return 0
    # A stale mutant would test nothing while the score still read as whole.
    for m in chosen:
        if m.number in stale:
            print(f'STALE {m.number} {m.file}: {stale[m.number]}: {m.line}', file=sys.stderr)
    if stale:
        sys.exit(f'{len(stale)} of {len(chosen)} mutants in {args.mutants} are stale: '
                 'bring their lines up to date')
    if args.check:
        print(f'{len(chosen)} mutants, every line found')
        return 0

    env = dict(os.environ, QT_QPA_PLATFORM='offscreen')
    build = os.path.join(args.scratch, 'build')
    began = time.monotonic()
    print(f'scratch copy in {args.scratch}', flush=True)
    sync_tree(ROOT, args.scratch, os.path.basename(build))
    configure = ['cmake', '-S', args.scratch, '-B', build, '-DCMAKE_BUILD_TYPE=',
                 '-DALARM_WERROR=OFF', '-DALARM_SANITIZE=OFF', '-DALARM_CORE_SHARED=ON',
                 '-DCMAKE_LINK_DEPENDS_NO_SHARED=ON']
    if shutil.which('ccache'):
        configure.append('-DCMAKE_CXX_COMPILER_LAUNCHER=ccache')
    code, out = run(configure, args.scratch, env=env)
    if code != 0:
        sys.exit(out + '\nconfigure failed')
    code, out = run(['ctest', '--test-dir', build, '-L', 'fast', '-N'], build, env=env)
    targets = [line.split(':', 1)[1].strip() for line in out.splitlines()
               if line.strip().startswith('Test') and '#' in line]
    if not targets:
        sys.exit('no test carries the label "fast"')
    # Checks that are no executable of their own (a script run by ctest) need no build.
    _, out = run(['cmake', '--build', build, '--target', 'help'], build, env=env)
    known = {line.split()[-1] for line in out.splitlines() if line.startswith('... ')}
    targets = [name for name in targets if name in known]
    extra = sorted({name for m in chosen for name in m.tests.split()})
    build_cmd = ['cmake', '--build', build, '-j', str(args.jobs), '--target', *targets, *extra]
    test_cmd = ['ctest', '--test-dir', build, '-L', 'fast', '--stop-on-failure',
                '-j', str(args.jobs), '--timeout', str(args.timeout), '--output-on-failure']

    def tests_for(names):
        return ['ctest', '--test-dir', build, '-R', '^(' + '|'.join(names) + ')$',
                '--stop-on-failure', '--timeout', str(args.timeout), '--output-on-failure']

    # The unmutated tree must build and pass, or every mutant would look killed.
    code, out = run(build_cmd, args.scratch, env=env)
    if code != 0:
        sys.exit(out + '\nthe unmutated tree does not build')
    baseline = time.monotonic()
    code, out = run(test_cmd, build, timeout=args.timeout, env=env)
    if code == 0 and extra:
        code, out = run(tests_for(extra), build, timeout=args.timeout * len(extra), env=env)
    if code != 0:
        sys.exit(out + '\nthe tests fail on the unmutated tree')
    print(f'{len(targets)} fast tests pass unmutated in {time.monotonic() - baseline:.1f} s; '
          f'setting up took {time.monotonic() - began:.0f} s', flush=True)

    for m in chosen:
        path = os.path.join(args.scratch, m.file)
        original = read_source(path)
        text, _ = mutated_text(original, m)
        if m.equivalent and not args.check_equivalent:
            m.status, m.detail = 'equivalent', m.equivalent
        else:
            started = time.monotonic()
            try:
                with open(path, 'w', encoding='utf-8') as stream:
                    stream.write(text)
                code, out = run(build_cmd, args.scratch, env=env)
                if code != 0:
                    m.status, m.detail = 'broken', 'does not compile'
                else:
                    code, out = run(test_cmd, build, timeout=args.timeout + 30, env=env)
                    if code == 0 and m.tests:
                        code, out = run(tests_for(m.tests.split()), build,
                                        timeout=args.timeout + 30, env=env)
                    if code == 0:
                        m.status = 'survived'
                    else:
                        m.status = 'killed'
                        failed = [line.split(':', 1)[-1].split()[0] for line in out.splitlines()
                                  if re.search(r'Test +#\d+:.*\*\*\*', line)]
                        m.detail = 'timed out' if code is None else ' '.join(failed[:1])
            finally:
                with open(path, 'w', encoding='utf-8') as stream:
                    stream.write(original)
            m.seconds = time.monotonic() - started
        label = m.status + (' (equivalent)' if m.equivalent and m.status != 'equivalent' else '')
        print(f'{m.number:3} {label:22} {m.file}:{m.source_line or "?"} {m.kind}  '
              f'{m.seconds:5.1f} s  {m.detail}', flush=True)
        if m.status == 'survived':
            print(f'      - {m.line}\n      + {m.replacement}'
                  + (f'\n      equivalent: {m.equivalent}' if m.equivalent else ''), flush=True)

    # Bring the scratch objects back to the unmutated sources for the next run.
    run(build_cmd, args.scratch, env=env)

    counted = [m for m in chosen if not m.equivalent and m.status in ('killed', 'survived')]
    killed = sum(m.status == 'killed' for m in counted)
    survivors = [m for m in counted if m.status == 'survived']
    broken = [m for m in chosen if m.status == 'broken']
    equivalent = [m for m in chosen if m.equivalent]
    total = time.monotonic() - began
    planted = [m for m in chosen if m.status in ('killed', 'survived')]
    per = sum(m.seconds for m in planted) / len(planted) if planted else 0.0
    score = 100.0 * killed / len(counted) if counted else 100.0
    print(f'\nscore {killed}/{len(counted)} = {score:.1f} % killed '
          f'({len(equivalent)} equivalent, {len(broken)} broken); '
          f'{total / 60:.1f} min in all, {per:.1f} s per mutant')
    for m in survivors:
        print(f'SURVIVED {m.number} {m.file}: {m.line}  ->  {m.replacement}')
    for m in broken:
        print(f'BROKEN {m.number} {m.file}: {m.line}  ->  {m.replacement}')
    return 1 if survivors or broken else 0


if __name__ == '__main__':
    sys.exit(main())
