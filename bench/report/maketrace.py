#!/usr/bin/env python3
"""Writes a tester's wire trace of a long session, for the report benchmark.

    maketrace.py FILE [--hours H]

The 8-channel host at address 0 polled at P = 50 ms, linkage off: every
cycle an input query, its reply, an output status query, its reply and an
output command, each reception with its verdict line, as the tester writes
them. An input alarms for 20 s every 10 minutes, an output is switched on
and off every 15 minutes, one reply in 500 is missing and one in 2000 has a
bad checksum; the port is closed and opened again every 6 hours.
"""
import argparse


def frame(code, p1=0, p2=0, bad=False):
    b = [0xE0, 0, code, p1, p2]
    b.append((sum(b) + (1 if bad else 0)) & 0xFF)
    return " ".join("%02X" % x for x in b)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("file")
    parser.add_argument("--hours", type=float, default=24)
    args = parser.parse_args()
    cycle_us = 110_000
    cycles = int(args.hours * 3600e6 / cycle_us)
    t = 1_000_000_000
    q3f, q3b = frame(0x3F), frame(0x3B)
    with open(args.file, "w", buffering=1 << 20) as out:
        w = out.write
        w("%d begin  time=2026-12-08T08:00:00.000+08:00 version=alarm-host-tester-1.0.0\n" % t)
        w("%d open  COM1 /dev/ttyUSB0\n" % (t + 100))
        w("%d poll-start  address=0 inputs=8 period_ms=50\n" % (t + 200))
        mask = 0
        replies = 0
        for n in range(cycles):
            now = t + 1000 + n * cycle_us
            minute = (n * cycle_us) // 60_000_000
            seconds = (n * cycle_us) // 1_000_000 % 600
            inputs = (1 << (minute // 10 % 8)) if seconds < 20 else 0
            if n % 196_363 == 196_362:
                w("%d poll-stop\n%d close  COM1 /dev/ttyUSB0\n" % (now, now + 10))
                w("%d open  COM1 /dev/ttyUSB0\n%d poll-start  address=0 inputs=8 period_ms=50\n" % (now + 20, now + 30))
            for code, query, value, meaning in ((0x3F, q3f, inputs, "inputs in alarm"), (0x3B, q3b, mask, "outputs")):
                w("%d tx %s  %s query, address 0\n" % (now, query, "input status" if code == 0x3F else "output status"))
                replies += 1
                if replies % 500 == 0:
                    now += 20_000
                    continue
                bad = replies % 2000 == 1001
                reply = frame(code, value, 0, bad)
                w("%d rx %s  %s\n" % (now + 10_200, reply, meaning))
                w("%d %s %s  %s\n" % (now + 10_210, "bad-checksum" if bad else "filed", reply, meaning))
                now += 20_000
            if (n * cycle_us) % 900_000_000 < cycle_us:
                mask ^= 1 << ((n * cycle_us) // 900_000_000 % 8)
            w("%d tx %s  output command, address 0\n" % (now + 20_000, frame(0x3D, mask)))


if __name__ == "__main__":
    main()
