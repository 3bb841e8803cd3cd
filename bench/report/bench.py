#!/usr/bin/env python3
"""Time and memory of alarm-host-report on a day's trace at P = 50 ms.

    bench.py REPORT_PROGRAM [--hours H] [--most-mib M]

Writes the trace with maketrace.py into a scratch folder, runs the report
as the menu does (summary and page), as machines do (--json) and with all
three views and the frame list (--json -o --csv), and prints one line per
run: seconds of wall clock and the peak resident memory. Fails (exit 1)
when a run fails or needs more than M MiB (default 100); the time is for
reading, not for judging, since the machine may be busy.
"""
import argparse
import os
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))


def measure(command):
    """Seconds and peak resident KiB of one run of `command`."""
    started = time.monotonic()
    with open(os.devnull, "wb") as sink:
        process = subprocess.Popen(command, stdout=sink)
        _, status, usage = os.wait4(process.pid, 0)
    process.returncode = os.waitstatus_to_exitcode(status)
    return process.returncode, time.monotonic() - started, usage.ru_maxrss


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("program")
    parser.add_argument("--hours", type=float, default=24)
    parser.add_argument("--most-mib", type=float, default=100)
    args = parser.parse_args()
    with tempfile.TemporaryDirectory() as scratch:
        trace = os.path.join(scratch, "trace-20261208-080000.txt")
        subprocess.run([sys.executable, os.path.join(HERE, "maketrace.py"), trace, "--hours", str(args.hours)],
                       check=True)
        with open(trace, "rb") as f:
            lines = sum(chunk.count(b"\n") for chunk in iter(lambda: f.read(1 << 20), b""))
        size = os.path.getsize(trace)
        print("trace: %.0f h, %d lines, %.0f MiB" % (args.hours, lines, size / 2**20))
        runs = [
            ("summary and page", [args.program, trace]),
            ("--json", [args.program, "--json", trace]),
            ("--json -o --csv", [args.program, "--json", "-o", os.path.join(scratch, "r.html"),
                                 "--csv", os.path.join(scratch, "r.csv"), trace]),
        ]
        failed = False
        for name, command in runs:
            status, seconds, kib = measure(command)
            print("%-18s %6.2f s %7.1f MiB%s" % (name, seconds, kib / 1024, "" if status == 0 else
                                                  "  exit status %d" % status))
            if status != 0 or kib / 1024 > args.most_mib:
                failed = True
        return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
