#!/usr/bin/env bash
# Installs what is missing, builds with warnings as errors and runs every
# test, the driver bench among them; then the portable variant (what other
# systems build) and the suites whose code differs there; then builds again
# with clang's address and undefined-behaviour sanitizers and runs the whole
# suite under them; last, half a minute of fuzzing from that same tree.
# Tiers and times: docs/testing.md.
set -euo pipefail
cd "$(dirname "$0")/.."

# The format check needs clang-format, the driver bench (tests/drivers) boots
# a virtual PC on the next four, the report's benchmark is Python, and its
# page is printed by headless Chromium and read back with poppler's tools;
# the Windows syntax check needs MinGW-w64; the run command needs none of
# them. One install here saves the package lists' second download.
bash scripts/install-deps.sh clang-format qemu-system-x86 linux-image-amd64 busybox-static udev python3 \
    chromium-headless-shell poppler-utils g++-mingw-w64-x86-64-posix
export QT_QPA_PLATFORM=offscreen
jobs="$(nproc)"

# Code not formatted as .clang-format says fails here, before any build;
# so does a mutant whose line the code no longer has.
git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run --Werror
python3 scripts/mutate.py --check
# The suites' ctest summaries, for the one closing line at the end; what
# runs in the background writes to the other file, shown when it is waited
# for (a failure there fails the run).
results="$(mktemp)"
background_log="$(mktemp)"
trap 'kill $(jobs -p) 2>/dev/null || true; rm -f "$results" "$background_log"' EXIT
finish_background() {
    local status=0
    wait "$1" || status=$?
    cat "$background_log"
    return "$status"
}

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DALARM_WERROR=ON -DALARM_UNITY=ON
cmake --build build -j"$jobs"

# Precise QTimers and plain QSerialPort instead of timerfds and the serial
# driver's ioctls, so the code other systems build cannot rot unseen: the
# program and the suites whose code differs between the builds (label
# portable), with warnings as errors, unoptimised and without debug
# information, which only slow the compiler (the main tree builds what
# ships). Then every source Windows builds, compiled for Windows, syntax only
# (MinGW-w64). Both at the lowest priority while the main suites run: those
# wait on real time more than they compute, and a process at nice 19 gives
# way the moment one of theirs wakes. Beside the driver bench or a second
# suite at normal priority their millisecond margins failed.
(
    renice -n 19 -p "$BASHPID" >/dev/null
    cmake -S . -B build-portable -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG= -DALARM_WERROR=ON \
        -DALARM_PORTABLE=ON -DALARM_UNITY=ON
    cmake --build build-portable -j"$jobs" --target alarm-host-tester alarm-host-scan portable_tests
    bash scripts/windows-syntax-check.sh
) >"$background_log" 2>&1 &
portable=$!
ctest --test-dir build -j"$jobs" --output-on-failure --timeout 600 -E '^driver_bench$' | tee -a "$results"
finish_background "$portable"

# The driver bench keeps a core busy with its emulated PC: it runs beside the
# sanitizer build, which has no margins to miss, and before any other suite.
ctest --test-dir build --output-on-failure --timeout 600 -R '^driver_bench$' >"$background_log" 2>&1 &
bench=$!

# One clang tree for the sanitizers and the fuzz targets, which need clang's
# -fsanitize=fuzzer: its layers carry the fuzzer's coverage too, which the
# suite does not mind. Line tables are all the sanitizers' reports need, and
# cheaper to make than full debug information.
CC=clang CXX=clang++ cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=Debug \
    -DCMAKE_CXX_FLAGS_DEBUG=-gline-tables-only -DALARM_WERROR=ON -DALARM_SANITIZE=ON -DALARM_FUZZ=ON \
    -DALARM_UNITY=ON
cmake --build build-sanitize -j"$jobs"

finish_background "$bench"
tee -a "$results" <"$background_log" >/dev/null
# CTest shows nothing of a skipped test: why the driver bench did not run.
cat build/tests/drivers/bench/skipped 2>/dev/null || true

ALARM_FLOOD_SECONDS=3 \
    ctest --test-dir build-portable -j"$jobs" --output-on-failure --timeout 600 -L portable | tee -a "$results"

# The driver bench ran above, and the report's benchmark, whose memory the
# sanitizers multiply. The floods run 3 s here too: the fuzzer feeds the
# window far more random bytes under the same sanitizers.
echo "build-sanitize: skipping driver_bench and report_bench"
ALARM_FLOOD_SECONDS=3 \
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --test-dir build-sanitize -j"$jobs" --output-on-failure --timeout 900 \
    -E '^(driver_bench|report_bench)$' | tee -a "$results"

# The fuzz targets' kept crash inputs, then 30 s of fuzzing the window and
# 10 s the report's reader: from the seeds, the window's fuzzer finds nine
# tenths of a minute's new coverage in that time (docs/testing.md).
ALARM_FUZZ_BUILD=build-sanitize bash fuzz/run.sh 30

# Every test of the three suites passed or was skipped (a failure stops the
# script above), and the fuzz run counts as one more.
passed="$(awk '/tests passed, 0 tests failed out of/ { n += $NF } END { print n + 0 }' "$results")"
skipped="$(grep -c '(Skipped)' "$results" || true)"
echo "$((passed - skipped + 1)) passed, 0 failed, $skipped skipped"
