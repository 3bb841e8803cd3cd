#!/usr/bin/env bash
# Timing benchmark of the tester against the host simulator.
#
#   bench/run.sh [--quick] [--no-doc] [--wait-idle] [--xvfb] [--only RUN] [--seconds S]
#
# Builds in release mode (build-bench/), then runs the tester's real window
# on its real desktop platform (bench/driver) against alarm-host-sim on a
# pseudo-terminal, and reads the simulator's frame trace:
#   - poll period 50 ms, linkage off
#   - poll period 500 ms, linkage off
#   - poll period 50 ms, linkage on, input 2 -> output 5, no filter time,
#     an alarm on input 2 for 100 ms every 500 ms, reset after each
# each once on an idle machine and once with a busy loop on the other core.
# The start-up of the shipped program itself is timed under strace.
#
# Prints one table and writes it with the machine, date and command to
# docs/benchmarks.md (not with --no-doc or --quick). --quick runs a few
# seconds each, for trying changes out.
# --wait-idle first waits (up to 15 min) for the 1-minute load to drop
# below 0.7, since other work on the machine skews every figure.
# --xvfb runs the tester on the X platform under a virtual X display
# (xvfb-run) instead of offscreen; --only RUN runs just the runs whose name
# begins with RUN (p50-idle, p500, linkage-busy, ...) and no start-ups;
# --seconds S measures each run for S seconds. All three imply --no-doc.
set -euo pipefail
export LC_ALL=C

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD="$ROOT/build-bench"
QUICK=0
WRITE_DOC=1
WAIT_IDLE=0
XVFB=0
ONLY=""
RUN_SECONDS=""
COMMAND_LINE="bench/run.sh $*"
while [ "$#" -gt 0 ]; do
    case "$1" in
        --quick) QUICK=1; WRITE_DOC=0 ;;
        --no-doc) WRITE_DOC=0 ;;
        --wait-idle) WAIT_IDLE=1 ;;
        --xvfb) XVFB=1; WRITE_DOC=0 ;;
        --only) ONLY=${2:?--only needs a run name}; WRITE_DOC=0; shift ;;
        --seconds) RUN_SECONDS=${2:?--seconds needs a number}; WRITE_DOC=0; shift ;;
        -h|--help) sed -n '2,24p' "${BASH_SOURCE[0]}" | sed 's/^# \{0,1\}//'; exit 0 ;;
        *) echo "run.sh: unknown option $1" >&2; exit 2 ;;
    esac
    shift
done

log() { echo "[bench] $*" >&2; }

# --- Build ------------------------------------------------------------------

log "building (Release) in $BUILD"
cmake -S "$ROOT" -B "$BUILD" -DCMAKE_BUILD_TYPE=Release -DALARM_BENCH=ON >/dev/null
# Only what the benchmark runs; the test suites are not needed here.
cmake --build "$BUILD" -j2 --target alarm-host-tester alarm-host-sim alarm-host-bench-driver >/dev/null
TESTER="$BUILD/bin/alarm-host-tester"
SIM="$BUILD/bin/alarm-host-sim"
DRIVER="$BUILD/bin/alarm-host-bench-driver"
PYTHON=$(command -v python3)

# --- Child processes, always cleaned up ---------------------------------------

WORK=$(mktemp -d "${TMPDIR:-/tmp}/alarm-bench.XXXXXX")
SIM_PID=""
LOAD_PID=""
stop_pid() {
    local pid=$1
    [ -n "$pid" ] || return 0
    kill -TERM "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
}
cleanup() {
    stop_pid "$SIM_PID"; SIM_PID=""
    stop_pid "$LOAD_PID"; LOAD_PID=""
    if [ "${KEEP_WORK:-0}" = 1 ]; then log "work files kept in $WORK"; else rm -rf "$WORK"; fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

LAST_CPU=$(( $(nproc) - 1 ))
start_load() {
    # One busy shell loop on the last core; the tester and the simulator
    # are left where the scheduler puts them.
    if command -v taskset >/dev/null && [ "$LAST_CPU" -gt 0 ]; then
        taskset -c "$LAST_CPU" sh -c 'while :; do :; done' &
    else
        sh -c 'while :; do :; done' &
    fi
    LOAD_PID=$!
    sleep 1
}
stop_load() { stop_pid "$LOAD_PID"; LOAD_PID=""; }

# Starts the simulator in $1 (with scenario $2 if given); sets SIM_PID, PTY.
start_sim() {
    local dir=$1 scenario=${2:-}
    local args=(--trace "$dir/trace.txt")
    [ -n "$scenario" ] && args+=(--scenario "$scenario")
    "$SIM" "${args[@]}" </dev/null >"$dir/sim.out" 2>"$dir/sim.err" &
    SIM_PID=$!
    for _ in $(seq 100); do
        [ -s "$dir/sim.out" ] && break
        sleep 0.05
    done
    PTY=$(head -n 1 "$dir/sim.out")
    [ -c "$PTY" ] || { log "simulator gave no pseudo-terminal: $(cat "$dir/sim.err")"; exit 1; }
}

# A run of its own temp dir, so the single-instance lock is its own too.
fresh_tmp() {
    mkdir -p -m 700 "$1/tmp"
    echo "$1/tmp"
}

# --- Runs -------------------------------------------------------------------

# Cycles wanted per run, and the seconds that takes with some margin.
if [ "$QUICK" = 1 ]; then
    MIN_CYCLES_50=60;  SECONDS_50=8
    MIN_CYCLES_500=12; SECONDS_500=8
    MIN_CYCLES_LNK=60; SECONDS_LNK=10
    STARTS=2
else
    MIN_CYCLES_50=1000;  SECONDS_50=113     # 110 ms a cycle
    MIN_CYCLES_500=1000; SECONDS_500=563    # 560 ms a cycle
    MIN_CYCLES_LNK=1000; SECONDS_LNK=115    # about 9.5 quiet cycles a second
    STARTS=5
fi
if [ -n "$RUN_SECONDS" ]; then
    SECONDS_50=$RUN_SECONDS; SECONDS_500=$RUN_SECONDS; SECONDS_LNK=$RUN_SECONDS
    MIN_CYCLES_50=1; MIN_CYCLES_500=1; MIN_CYCLES_LNK=1
fi

# Alarm on input 2 for 100 ms every 500 ms, from 3 s on (linkage has been
# started by then; its input check must see no alarm).
write_alarm_scenario() {
    local file=$1 seconds=$2
    {
        echo "# input 2 alarms for 100 ms every 500 ms"
        local t=3000
        local end=$(( (seconds + 10) * 1000 ))
        while [ "$t" -lt "$end" ]; do
            echo "at $t ms input 2 alarm"
            echo "at $(( t + 100 )) ms input 2 clear"
            t=$(( t + 500 ))
        done
    } >"$file"
}

RESULTS="$WORK/results.jsonl"
: >"$RESULTS"

# run_one NAME LOAD PERIOD LINKAGE SECONDS MIN_CYCLES
run_one() {
    local name=$1 load=$2 period=$3 linkage=$4 seconds=$5 min_cycles=$6
    [[ "$name" == "$ONLY"* ]] || return 0
    local dir="$WORK/$name"
    mkdir -p "$dir"
    local scenario=""
    if [ "$linkage" = 1 ]; then
        scenario="$dir/alarms.scenario"
        write_alarm_scenario "$scenario" "$seconds"
    fi
    log "run $name: period $period ms, linkage $linkage, ${seconds} s, load $load"
    start_sim "$dir" "$scenario"
    local tmp
    tmp=$(fresh_tmp "$dir")
    local extra=()
    [ "$linkage" = 1 ] && extra+=(--linkage)
    local display=()
    [ "$XVFB" = 1 ] && display=(xvfb-run -a -s "-screen 0 1024x768x24")
    local status=0
    (
        export TMPDIR="$tmp" XDG_RUNTIME_DIR="$tmp" QT_QPA_PLATFORM=offscreen
        [ "$XVFB" = 1 ] && export QT_QPA_PLATFORM=xcb
        export ALARM_HOST_TESTER_COM1="$PTY"
        export BENCH_LAUNCH_REALTIME_US="${EPOCHREALTIME/./}"
        exec "${display[@]}" "$DRIVER" --period "$period" "${extra[@]}" --warmup 1 --seconds "$seconds" \
            --report "$dir/report.txt"
    ) >"$dir/driver.out" 2>"$dir/driver.err" || status=$?
    stop_pid "$SIM_PID"; SIM_PID=""
    if [ "$status" != 0 ] || [ ! -s "$dir/report.txt" ]; then
        log "run $name failed (status $status): $(tail -n 3 "$dir/driver.err")"
    fi
    local args=(run --trace "$dir/trace.txt" --report "$dir/report.txt" --period "$period"
                --min-cycles "$min_cycles")
    [ "$linkage" = 1 ] && args+=(--linkage)
    "$PYTHON" "$ROOT/bench/analyse.py" "${args[@]}" |
        "$PYTHON" -c 'import json,sys; d=json.load(sys.stdin); d.update(name=sys.argv[1], load=sys.argv[2]); print(json.dumps(d))' \
            "$name" "$load" >>"$RESULTS"
}

# The shipped program, started as a user would (no command line), under
# strace: time from its exec to the probe closing the port again, and to
# its event loop first waiting idle with the window up.
startup_runs() {
    local load=$1
    local i
    for i in $(seq "$STARTS"); do
        local dir="$WORK/start-$load-$i"
        mkdir -p "$dir"
        start_sim "$dir"
        local tmp
        tmp=$(fresh_tmp "$dir")
        TMPDIR="$tmp" XDG_RUNTIME_DIR="$tmp" QT_QPA_PLATFORM=offscreen ALARM_HOST_TESTER_COM1="$PTY" \
            timeout -s TERM 2 strace -f -ttt --seccomp-bpf -e trace=execve,openat,close,poll,ppoll \
            -o "$dir/strace.txt" "$TESTER" >"$dir/tester.out" 2>&1 || true
        stop_pid "$SIM_PID"; SIM_PID=""
        "$PYTHON" "$ROOT/bench/analyse.py" startup --strace "$dir/strace.txt" --device "$PTY" |
            "$PYTHON" -c 'import json,sys; d=json.load(sys.stdin); d.update(name="startup", load=sys.argv[1]); print(json.dumps(d))' \
                "$load" >>"$RESULTS"
    done
}

if [ "$WAIT_IDLE" = 1 ]; then
    for _ in $(seq 30); do
        load1=$(cut -d ' ' -f 1 /proc/loadavg)
        if awk -v l="$load1" 'BEGIN { exit !(l < 0.7) }'; then break; fi
        log "1-minute load $load1, waiting for it to drop below 0.7"
        sleep 30
    done
fi
LOAD_AT_START=$(cut -d ' ' -f 1-3 /proc/loadavg)
STARTED=$(date '+%Y-%m-%d %H:%M %Z')
BEGIN_S=$(date +%s)
log "load average at start: $LOAD_AT_START"

for load in idle busy; do
    wanted=0
    for run in p50 p500 linkage; do [[ "$run-$load" == "$ONLY"* ]] && wanted=1; done
    [ "$wanted" = 1 ] || continue
    [ "$load" = busy ] && start_load
    [ -z "$ONLY" ] && startup_runs "$load"
    run_one "p50-$load" "$load" 50 0 "$SECONDS_50" "$MIN_CYCLES_50"
    run_one "p500-$load" "$load" 500 0 "$SECONDS_500" "$MIN_CYCLES_500"
    run_one "linkage-$load" "$load" 50 1 "$SECONDS_LNK" "$MIN_CYCLES_LNK"
    [ "$load" = busy ] && stop_load
done
ELAPSED_S=$(( $(date +%s) - BEGIN_S ))
LOAD_AT_END=$(cut -d ' ' -f 1-3 /proc/loadavg)

DOC_ARGS=()
[ "$WRITE_DOC" = 1 ] && DOC_ARGS+=(--doc "$ROOT/docs/benchmarks.md")
"$PYTHON" "$ROOT/bench/table.py" --results "$RESULTS" \
    --command "$COMMAND_LINE" --date "$STARTED" --load "$LOAD_AT_START" --load-end "$LOAD_AT_END" \
    --elapsed "$ELAPSED_S" --quick "$QUICK" "${DOC_ARGS[@]}"
