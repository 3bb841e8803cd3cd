#!/usr/bin/env python3
"""The benchmark's one table, its target checks, and docs/benchmarks.md.

Reads the JSON lines bench/run.sh collected (one per run, from analyse.py),
prints the table and the checks, and with --doc writes the document. A
hand-written part of an existing document, below the HAND_WRITTEN marker,
is kept as it is.
"""

import argparse
import json
import os
import platform
import statistics
import subprocess

HAND_WRITTEN = '<!-- hand-written below: kept when bench/run.sh rewrites this file -->'

RUN_TITLES = {
    'p50': 'P = 50 ms, linkage off',
    'p500': 'P = 500 ms, linkage off',
    'linkage': 'P = 50 ms, linkage on, alarms',
}

# Targets, as the benchmark checks them.
STEP_P99_IDLE = 1.0
STEP_MAX_IDLE = 3.0
STEP_P99_BUSY = 2.0
ALARM_P99 = 21.5
CPU_P50 = 1.0
RSS_P50 = 60.0
WINDOW_S = 0.5


def cell(s, digits=2):
    if not s:
        return '—'
    return '%.*f / %.*f / %.*f' % (digits, s['median'], digits, s['p99'], digits, s['max'])


def machine():
    model, cpus = platform.processor() or '?', os.cpu_count()
    try:
        out = subprocess.run(['lscpu'], capture_output=True, text=True, check=True).stdout
        for line in out.splitlines():
            key, _, value = line.partition(':')
            if key.strip() == 'Model name':
                model = value.strip()
            elif key.strip() == 'CPU(s)':
                cpus = value.strip()
    except (OSError, subprocess.CalledProcessError):
        pass
    return model, cpus, platform.release()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('--results', required=True)
    parser.add_argument('--command', required=True)
    parser.add_argument('--date', required=True)
    parser.add_argument('--load', required=True)
    parser.add_argument('--load-end', default='?')
    parser.add_argument('--elapsed', type=int, default=0)
    parser.add_argument('--quick', type=int, default=0)
    parser.add_argument('--doc')
    args = parser.parse_args()

    runs, starts = [], {'idle': [], 'busy': []}
    with open(args.results) as f:
        for line in f:
            if not line.strip():
                continue
            d = json.loads(line)
            if d['name'] == 'startup':
                starts[d['load']].append(d)
            else:
                runs.append(d)

    header = ('| Run | Load | Cycles | 3F→3B (20) | 3B→3D (40) | 3D→3F or 3B→3F (P) '
              '| Cycle (P+60 / P+20) | Alarm → 3D (20) | CPU % of a core | Peak RSS MB '
              '| Start → window |')
    rule = '|' + '---|' * 11
    rows = [header, rule]
    checks = []

    def check(what, value, limit, unit=' ms'):
        ok = value is not None and value <= limit
        checks.append((ok, '%s: %s%s (target ≤ %s%s)' % (
            what, '—' if value is None else ('%.2f' % value), unit, limit, unit)))

    for r in runs:
        kind = r['name'].rsplit('-', 1)[0]
        s = r['steps']
        period_step = s.get('3D-3F') or s.get('3B-3F')
        start = r['startup_ms'].get('to_first_paint')
        rows.append('| %s | %s | %d | %s | %s | %s | %s | %s | %.2f | %.1f | %s |' % (
            RUN_TITLES.get(kind, kind), r['load'], r['cycles'],
            cell(s.get('3F-3B')), cell(s.get('3B-3D')), cell(period_step), cell(s.get('cycle')),
            ('%s (n=%d)' % (cell(r['alarm_new'], 1), r['alarm_new']['n'])) if r.get('alarm_new') else '—',
            r['cpu_percent'], r['vmhwm_mb'],
            '%.0f ms' % start if start is not None else '—'))

        label = '%s, %s' % (RUN_TITLES.get(kind, kind), r['load'])
        if not r.get('ok'):
            checks.append((False, '%s: run incomplete (%s)' % (label, r.get('problem', 'driver failed'))))
        for step, stats in s.items():
            if not stats:
                continue
            if r['load'] == 'idle':
                check('%s, %s p99 deviation' % (label, step), stats['p99'], STEP_P99_IDLE)
                check('%s, %s largest deviation' % (label, step), stats['max'], STEP_MAX_IDLE)
            else:
                check('%s, %s p99 deviation' % (label, step), stats['p99'], STEP_P99_BUSY)
        if r.get('alarm_new'):
            check('%s, alarm → output command p99' % label, r['alarm_new']['p99'], ALARM_P99)
        if kind == 'p50':
            check('%s, processor time' % label, r['cpu_percent'], CPU_P50, ' %')
            check('%s, peak resident memory' % label, r['vmhwm_mb'], RSS_P50, ' MB')
        if start is not None:
            check('%s, start → window painted (driver)' % label, start / 1000.0, WINDOW_S, ' s')

    for load in ('idle', 'busy'):
        xs = starts[load]
        probe = [x['exec_to_probe_done'] for x in xs if x.get('exec_to_probe_done') is not None]
        idle = [x['exec_to_idle'] for x in xs if x.get('exec_to_idle') is not None]
        if not xs:
            continue
        text = 'probe done %s, window up and idle %s (median / largest of %d starts)' % (
            ('%.0f / %.0f ms' % (statistics.median(probe), max(probe))) if probe else '—',
            ('%.0f / %.0f ms' % (statistics.median(idle), max(idle))) if idle else '—', len(xs))
        rows.append('| Start-up of alarm-host-tester itself (under strace) | %s | — | — | — | — | — | — | — | — | %s |'
                    % (load, text))
        check('alarm-host-tester, %s, start → window up (largest)' % load,
              max(idle) / 1000.0 if idle else None, WINDOW_S, ' s')

    table = '\n'.join(rows)
    met = sum(1 for ok, _ in checks if ok)
    check_lines = ['- %s %s' % ('met:   ' if ok else 'MISSED:', text) for ok, text in checks]

    print(table)
    print()
    print('Targets: %d of %d met' % (met, len(checks)))
    for line in check_lines:
        if line.startswith('- MISSED'):
            print(line)
    if args.quick:
        print('(quick run: too few cycles for the p99 and largest figures to mean much)')

    if not args.doc:
        return
    model, cpus, kernel = machine()
    kept = ''
    if os.path.exists(args.doc):
        with open(args.doc, encoding='utf-8') as f:
            old = f.read()
        if HAND_WRITTEN in old:
            kept = old.split(HAND_WRITTEN, 1)[1]
    details = []
    for r in runs:
        kind = r['name'].rsplit('-', 1)[0]
        parts = []
        for step, stats in r['steps'].items():
            if stats:
                parts.append('%s median %.2f ms (%.2f … %.2f, n=%d)' % (
                    step, stats['median_interval'], stats['min_interval'], stats['max_interval'], stats['n']))
        line = '- %s, %s: %s' % (RUN_TITLES.get(kind, kind), r['load'], '; '.join(parts))
        if r.get('alarm_any'):
            a = r['alarm_any']
            line += ('; alarm → 3D over every alarmed reply %.2f / %.2f / %.2f ms (n=%d), '
                     'resets pressed %d, output masks sent %s' % (
                         a['median'], a['p99'], a['max'], a['n'], r['resets'],
                         ', '.join(r.get('alarm_masks', []))))
        line += '; window %.1f s' % r['window_s']
        details.append(line)

    doc = f"""# Benchmarks

Timing of the poll cycle and of linkage, processor time, memory and start-up
of the tester against the simulated host. Generated by `bench/run.sh`; the
part below the marker at the end is written by hand.

- Machine: {model}, {cpus} cores (`lscpu`), Linux {kernel}
- Date: {args.date}
- Command: `{args.command}`
- Load average (1, 5, 15 min) at start: {args.load}; at the end: {args.load_end}
- Duration of the whole run: {args.elapsed // 60} min {args.elapsed % 60} s

## How it is measured

- The tester: `bench/driver` builds the real window on the real desktop
  platform (precise interval timers, the real serial component, real message
  boxes, the single-instance lock in a temp dir of its own) exactly as
  `main()` does, then makes the operator's choices on the widgets from code:
  the poll period in the list, the 8-channel page, or linkage set up for
  input 2 → output 5 without filter time and started with the start button.
  In the linkage runs it presses reset once an input reply shows the alarm
  gone. `QT_QPA_PLATFORM=offscreen`, `ALARM_HOST_TESTER_COM1` = the
  simulator's pseudo-terminal.
- Frame times: the simulator's trace (`CLOCK_MONOTONIC` µs per frame). A
  step is the time between the first bytes of two frames the tester wrote
  (`rx` lines); a step counts only inside a complete cycle of the expected
  frame order. Each cell is median / p99 / largest of |interval − nominal|
  in ms.
- Alarm → 3D: from the simulator's `tx` of the 3F reply that first carries
  the alarm to the `rx` of the output command the tester writes; median /
  p99 / largest of the interval itself (nominal 20 ms). On a pseudo-terminal
  a reply arrives the moment it is written; the 6.25 ms that six bytes take
  at 9600 baud on a real line do not exist here, so the tx time stamp is
  taken as the end of the reply. On a real line add the line time.
- Alarm scenario: input 2 in alarm for 100 ms every 500 ms.
- Processor time: `getrusage` of the tester process over the measured window
  (after 1 s of warm-up), as a percentage of one core; peak resident memory:
  `VmHWM` at the end.
- Start → window: per run, from the shell's clock just before `exec` to the
  window's first paint (the driver runs the same start-up code as `main()`).
  The shipped `alarm-host-tester` is also started as is, under `strace -f
  -ttt --seccomp-bpf`: from its `execve` to the probe closing the port, and to
  the first time its event loop waits (window shown, start-up done).
- Busy: one `sh -c 'while :; do :; done'` pinned to the last core with
  `taskset`, for all the busy runs; the tester and simulator are not pinned.

## Results

{table}

## Targets

{met} of {len(checks)} met.

""" + '\n'.join(check_lines) + """

## Measured intervals

""" + '\n'.join(details) + '\n\n' + HAND_WRITTEN + (kept if kept else '\n')
    os.makedirs(os.path.dirname(args.doc), exist_ok=True)
    with open(args.doc, 'w', encoding='utf-8') as f:
        f.write(doc)
    print('written to %s' % args.doc)


if __name__ == '__main__':
    main()
