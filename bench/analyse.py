#!/usr/bin/env python3
"""Timing figures of one benchmark run, from the host simulator's trace.

Trace lines: <CLOCK_MONOTONIC us> <what> <bytes in hex>. "rx" is a frame the
simulator took from the line (a frame the tester wrote), "tx" a reply it
wrote. Command codes: 3F input query, 3B output query, 3D output command.

On a pseudo-terminal a reply reaches the tester as soon as it is written;
there is no 6.25 ms of line time for six bytes at 9600 baud. So the end of
a reply is taken as its tx time stamp, and every figure here is the
tester's own scheduling, without line time.

  analyse.py run --trace T --report R --period P [--linkage] --min-cycles N
      prints one JSON object with the run's figures
  analyse.py startup --strace S
      prints one JSON object with the start-up figures of the real program
"""

import argparse
import json
import math
import re
import sys

INPUT_QUERY, OUTPUT_QUERY, OUTPUT_COMMAND = 0x3F, 0x3B, 0x3D


def read_report(path):
    report = {}
    with open(path) as f:
        for line in f:
            key, _, value = line.strip().partition(' ')
            if key:
                report[key] = int(value)
    return report


def read_trace(path, start, end):
    """(time us, what, frame bytes) in [start, end]."""
    frames = []
    with open(path) as f:
        for line in f:
            parts = line.split()
            if len(parts) < 2:
                continue
            t = int(parts[0])
            if t < start or t > end:
                continue
            frames.append((t, parts[1], bytes(int(b, 16) for b in parts[2:])))
    return frames


def code(frame):
    return frame[2] if len(frame) >= 3 else None


def stats(values, nominal=None):
    """Median, p99 (nearest rank) and largest of |value - nominal|, in ms;
    of the values themselves without a nominal."""
    if not values:
        return None
    xs = sorted(abs(v - nominal) if nominal is not None else v for v in values)
    n = len(xs)
    p99 = xs[max(0, math.ceil(0.99 * n) - 1)]
    med = xs[n // 2] if n % 2 else (xs[n // 2 - 1] + xs[n // 2]) / 2
    signed = sorted(values)
    return {
        'n': n,
        'median': round(med, 3),
        'p99': round(p99, 3),
        'max': round(xs[-1], 3),
        # the interval itself, to show which way the deviations go
        'median_interval': round(signed[n // 2], 3),
        'min_interval': round(signed[0], 3),
        'max_interval': round(signed[-1], 3),
    }


def analyse_run(args):
    report = read_report(args.report)
    frames = read_trace(args.trace, report['measure_from_us'], report['measure_to_us'])
    rx = [(t, code(b), b) for t, what, b in frames if what == 'rx']
    P = args.period
    out = {'period': P, 'linkage': args.linkage, 'failed': report.get('failed', 1)}
    ms = lambda a, b: (b - a) / 1000.0

    steps = {}
    if not args.linkage:
        # 3F -20-> 3B -20-> lamps -20-> 3D -P-> 3F
        a_b, b_d, d_f, cyc = [], [], [], []
        for i in range(len(rx) - 3):
            c = [rx[i + k][1] for k in range(4)]
            if c == [INPUT_QUERY, OUTPUT_QUERY, OUTPUT_COMMAND, INPUT_QUERY]:
                t = [rx[i + k][0] for k in range(4)]
                a_b.append(ms(t[0], t[1]))
                b_d.append(ms(t[1], t[2]))
                d_f.append(ms(t[2], t[3]))
                cyc.append(ms(t[0], t[3]))
        steps['3F-3B'] = stats(a_b, 20)
        steps['3B-3D'] = stats(b_d, 40)
        steps['3D-3F'] = stats(d_f, P)
        steps['cycle'] = stats(cyc, P + 60)
        out['nominal_cycle_ms'] = P + 60
    else:
        # Quiet cycles: 3F -20-> 3B -P-> 3F. An alarm breaks in after the
        # 3F reply: 20 ms later the output command, 30 ms later 3F again.
        a_b, b_f, cyc = [], [], []
        for i in range(len(rx) - 2):
            c = [rx[i + k][1] for k in range(3)]
            if c == [INPUT_QUERY, OUTPUT_QUERY, INPUT_QUERY]:
                t = [rx[i + k][0] for k in range(3)]
                a_b.append(ms(t[0], t[1]))
                b_f.append(ms(t[1], t[2]))
                cyc.append(ms(t[0], t[2]))
        steps['3F-3B'] = stats(a_b, 20)
        steps['3B-3F'] = stats(b_f, P)
        steps['cycle'] = stats(cyc, P + 20)
        out['nominal_cycle_ms'] = P + 20

        # Alarm to output command: from the reply to 3F carrying the alarm
        # to the next output command the tester writes.
        new_alarm, any_alarm, masks, resumed = [], [], set(), []
        command_at = None
        previous_inputs = None
        pending = None  # (time, new?)
        for t, what, b in frames:
            if what == 'tx' and code(b) == INPUT_QUERY and len(b) >= 5:
                inputs = b[3] | (b[4] << 8)
                if inputs and pending is None:
                    pending = (t, previous_inputs == 0)
                previous_inputs = inputs
            elif what == 'rx' and code(b) == OUTPUT_COMMAND:
                if pending is not None:
                    latency = ms(pending[0], t)
                    any_alarm.append(latency)
                    if pending[1]:
                        new_alarm.append(latency)
                    masks.add(b[3])
                    pending = None
                    command_at = t
            elif what == 'rx' and code(b) == INPUT_QUERY and command_at is not None:
                resumed.append(ms(command_at, t))
                command_at = None
        steps['3D-3F after alarm'] = stats(resumed, 30)
        out['alarm_new'] = stats(new_alarm)
        out['alarm_any'] = stats(any_alarm)
        out['alarm_masks'] = sorted('%02X' % m for m in masks)

    out['steps'] = steps
    out['cycles'] = steps['cycle']['n'] if steps.get('cycle') else 0
    window_s = (report['measure_to_us'] - report['measure_from_us']) / 1e6
    out['window_s'] = round(window_s, 3)
    out['cpu_percent'] = round(100.0 * report['cpu_us'] / 1e6 / window_s, 3) if window_s > 0 else None
    out['vmhwm_mb'] = round(report['vmhwm_kb'] / 1024.0, 1)
    out['resets'] = report.get('resets', 0)
    # Start-up of the driver, which builds the window exactly as main() does.
    launched = report['launched_us']
    out['startup_ms'] = {
        'exec_to_main': round(ms(launched, report['main_us']), 1),
        'to_probe_done': round(ms(launched, report['probed_us']), 1),
        'to_show': round(ms(launched, report['shown_us']), 1),
        'to_first_paint': round(ms(launched, report['painted_us']), 1) if report['painted_us'] else None,
    }
    out['ok'] = (out['failed'] == 0 and out['cycles'] >= args.min_cycles)
    if out['cycles'] < args.min_cycles:
        out['problem'] = 'only %d whole cycles, wanted %d' % (out['cycles'], args.min_cycles)
    json.dump(out, sys.stdout)
    print()


STRACE_LINE = re.compile(r'^(\d+)\s+(\d+\.\d+)\s+(\w+)\((.*)$')


def analyse_startup(args):
    """Real program under strace -f -ttt: from its execve to the probe's
    close of the port device, and to the first time its event loop waits
    for something (poll with a timeout other than 0): start-up done, window
    shown, nothing left to do until the operator acts."""
    exec_t = probe_open = probe_close = idle = None
    port_fd = None
    with open(args.strace) as f:
        for line in f:
            m = STRACE_LINE.match(line)
            if not m:
                continue
            t, call, rest = float(m.group(2)), m.group(3), m.group(4)
            if call == 'execve' and exec_t is None:
                exec_t = t
            elif call == 'openat' and args.device in rest and probe_open is None:
                fd = rest.rsplit('=', 1)[-1].strip()
                if fd.isdigit():
                    probe_open, port_fd = t, fd
            elif call == 'close' and port_fd is not None and probe_close is None \
                    and rest.startswith(port_fd + ')'):
                probe_close = t
            elif call in ('poll', 'ppoll') and probe_close is not None and idle is None:
                timeout = rest.rsplit(',', 1)[-1].split(')')[0].strip()
                if timeout not in ('0', '{tv_sec=0, tv_nsec=0}'):
                    idle = t
    ms = lambda a, b: round((b - a) * 1000.0, 1) if a is not None and b is not None else None
    json.dump({
        'exec_to_probe_open': ms(exec_t, probe_open),
        'exec_to_probe_done': ms(exec_t, probe_close),
        'exec_to_idle': ms(exec_t, idle),
    }, sys.stdout)
    print()


def main():
    parser = argparse.ArgumentParser()
    sub = parser.add_subparsers(dest='what', required=True)
    run = sub.add_parser('run')
    run.add_argument('--trace', required=True)
    run.add_argument('--report', required=True)
    run.add_argument('--period', type=int, required=True)
    run.add_argument('--linkage', action='store_true')
    run.add_argument('--min-cycles', type=int, default=0)
    start = sub.add_parser('startup')
    start.add_argument('--strace', required=True)
    start.add_argument('--device', required=True)
    args = parser.parse_args()
    if args.what == 'run':
        analyse_run(args)
    else:
        analyse_startup(args)


if __name__ == '__main__':
    main()
