#!/usr/bin/env python3
"""Writes the seed inputs of fuzz/corpus: operator sessions in the step
language of fuzz_form1.cpp that reach polling on both host pages, the
linkage start's input check, linkage with and without the filter, lock,
port and write failures and typed parameters. Run from anywhere:

    python3 fuzz/make_corpus.py
"""

from pathlib import Path

RECEIVE, ADVANCE, PAGE, CLICK, CHOOSE, TYPE, FAULT, BOX, REPLY, EMPTY = range(10)

# Click targets, in the harness's order.
CHECK1 = 0  # .. 7
CHECK5 = 8  # .. 15
COMMAND7 = 16  # [0], [1]
COMMAND8 = 18
COMMAND2 = 20
COMMAND1, COMMAND3, COMMAND4, COMMAND6 = 22, 23, 24, 25
CHECK2 = 26  # .. 33
CHECK3, CHECK4 = 34, 35
UPDOWN1_UP, UPDOWN1_DOWN, UPDOWN2_UP, UPDOWN2_DOWN, UPDOWN3_UP, UPDOWN3_DOWN = range(36, 42)

COMBO1, COMBO2, COMBO3, COMBO4, COMBO5 = range(5)
INVALID, IN_USE, REFUSED, OTHER = 1, 2, 3, 4


def advance_ms(t):
    """What advance byte t stands for, as advanceMs() in the harness."""
    if t < 64:
        return t
    if t < 128:
        return (t - 63) * 20
    if t < 192:
        return (t - 127) * 250
    return (t - 191) * 2000


def time_byte(ms):
    """The advance byte for the longest time not beyond ms, and that time."""
    return max(((t, advance_ms(t)) for t in range(256) if advance_ms(t) <= ms),
               key=lambda pair: pair[1])


def advance(ms):
    out = []
    while ms > 0:
        byte, took = time_byte(ms)
        out += [ADVANCE, byte]
        ms -= took
    return out


def click(*targets):
    return [b for t in targets for b in (CLICK, t)]


def reply(in1=0, in2=0, output=False):
    return [REPLY, 1 if output else 0, in1, in2]


def page(p):
    return [PAGE, p]


def choose(combo, entry):
    return [CHOOSE, combo, entry]


def type_word(combo, index):
    return [TYPE, combo, index]


def box(ms):
    return [BOX, time_byte(ms)[0]]


def fail_open(port, what):
    return [FAULT, port - 1, what]


def fail_writes(what):
    return [FAULT, 8, what]


CLEAR_FAULTS = [FAULT, 9, 0]


def polled(cycles, in1=0, in2=0, out=0, cycle=110):
    """Poll cycles answered, starting 5 ms after an input query: its reply,
    20 ms on the output query's reply, then on to 5 ms after the next input
    query. A cycle is 110 ms at the 50 ms poll period, 70 ms in linkage."""
    steps = []
    for _ in range(cycles):
        steps += reply(in1, in2) + advance(20) + reply(out, output=True) + advance(cycle - 20)
    return steps


def linked(cycles, in1=0, in2=0):
    return polled(cycles, in1, in2, cycle=70)


def linkage_prepared(host=0, links=((0, 0),), filter_tenths=0, reset_steps=0):
    s = []
    if host == 1:
        s += page(4) + choose(COMBO4, 1)
    else:
        s += page(4)
    s += click(CHECK3)
    for channel, output in links:
        s += choose(COMBO5, channel) + click(CHECK2 + output, COMMAND3)
    s += click(*[UPDOWN1_UP] * filter_tenths)
    if reset_steps:
        s += click(CHECK4) + click(*[UPDOWN2_UP] * reset_steps)
    return s


def started(quiet=True):
    """Start: the input query goes out 30 ms later and the host answers it;
    once quiet, polling resumes with an input query 50 ms after that. Ends
    5 ms after it, ready for linked()."""
    steps = click(COMMAND1) + advance(35) + reply(0 if quiet else 0x04)
    return steps + advance(55) if quiet else steps


SEEDS = {
    "polling8": page(0) + advance(35) + polled(3, in1=0x05, out=0x81)
    + click(CHECK1 + 2, CHECK1 + 7) + polled(3, in1=0x05, out=0x84)
    + page(3) + choose(COMBO3, 2) + choose(COMBO2, 5) + page(0) + advance(35) + polled(4),
    "polling16": page(4) + choose(COMBO4, 1) + page(1) + advance(35)
    + polled(3, in1=0x11, in2=0x80, out=0x03) + click(CHECK5, CHECK5 + 7)
    + polled(3, in2=0x01) + page(0) + advance(35) + polled(2),
    "inputcheck_alarm": linkage_prepared(links=((0, 1),)) + started(quiet=False)
    + advance(200) + started(quiet=True) + linked(4, in1=0x01),
    "linkage_nofilter": linkage_prepared(links=((2, 0), (2, 3))) + click(COMMAND6)
    + started() + linked(2) + linked(3, in1=0x04) + click(COMMAND7) + advance(100)
    + click(COMMAND8) + click(COMMAND7) + advance(55) + linked(2) + click(COMMAND8)
    + advance(200) + click(COMMAND2),
    "linkage_filter": linkage_prepared(links=((1, 5),), filter_tenths=3, reset_steps=1)
    + started() + linked(3) + linked(6, in1=0x02) + advance(2500) + click(COMMAND2),
    "linkage16_lock": linkage_prepared(host=1, links=((10, 6), (0, 1)))
    + started() + linked(2) + linked(3, in2=0x04) + click(COMMAND7 + 1)
    + advance(500) + click(COMMAND2 + 1) + click(COMMAND7 + 1) + advance(55)
    + linked(2) + click(COMMAND2 + 1) + advance(100),
    "probe_failures": box(60) + sum((fail_open(p, INVALID) for p in range(1, 9)), [])
    + page(4) + page(3) + advance(400) + page(4) + page(3) + advance(400),
    "write_failures": page(0) + advance(35) + polled(2) + fail_writes(OTHER) + advance(100)
    + CLEAR_FAULTS + page(3) + fail_open(1, REFUSED) + page(0) + CLEAR_FAULTS + page(3)
    + fail_open(2, IN_USE) + box(100) + choose(COMBO1, 1) + advance(200),
    "typed_params": page(3) + type_word(COMBO3, 7) + type_word(COMBO2, 12)
    + type_word(COMBO1, 4) + page(4) + page(3) + type_word(COMBO3, 17)
    + type_word(COMBO2, 9) + page(0) + advance(35) + polled(2) + page(4)
    + type_word(COMBO5, 22) + click(CHECK3, CHECK2 + 4, COMMAND3, COMMAND1) + advance(35)
    + reply(),
}


def main():
    corpus = Path(__file__).resolve().parent / "corpus"
    corpus.mkdir(exist_ok=True)
    for name, steps in SEEDS.items():
        assert all(0 <= b <= 255 for b in steps), name
        (corpus / name).write_bytes(bytes(steps))
        print(f"{name}: {len(steps)} bytes")


if __name__ == "__main__":
    main()
