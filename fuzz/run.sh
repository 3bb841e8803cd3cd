#!/usr/bin/env bash
# Builds the fuzz target with clang (once), replays every input kept in
# fuzz/crashes, then fuzzes for the given seconds (default 60) from the
# seeds in fuzz/corpus. New corpus entries and crash artifacts go to the
# build directory, never into the repository. Exits non-zero on a crash,
# leak or invariant violation. Extra arguments go to libFuzzer.
#
#   bash fuzz/run.sh [seconds] [libFuzzer options...]
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${1:-60}"
shift || true
build="${ALARM_FUZZ_BUILD:-build-fuzz}"

if [ ! -f "$build/CMakeCache.txt" ]; then
    CC=clang CXX=clang++ cmake -S . -B "$build" -DALARM_FUZZ=ON -DBUILD_TESTING=OFF \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo -DALARM_WERROR=ON
fi
cmake --build "$build" --target alarm_fuzz alarm_fuzz_report -j"$(nproc)"
fuzzer="$build/bin/alarm_fuzz"

export QT_QPA_PLATFORM=offscreen
# A smaller quarantine keeps each window's many small allocations from
# paging in hundreds of megabytes. Two frames of allocation stack: deeper
# ones run through Qt, built without frame pointers, and come out different
# every time, so the stack store would grow by some 20 KB per input. Replay
# a crash with ASAN_OPTIONS=malloc_context_size=30 for full stacks.
export ASAN_OPTIONS="abort_on_error=1:quarantine_size_mb=32:malloc_context_size=2:${ASAN_OPTIONS:-}"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:${UBSAN_OPTIONS:-}"
# Quoted within the value: the sanitizers split their options at blanks.
export LSAN_OPTIONS="suppressions='$PWD/fuzz/lsan.supp':${LSAN_OPTIONS:-}"

scratch="$build/fuzz-corpus"
artifacts="$build/fuzz-artifacts"
mkdir -p "$scratch" "$artifacts"

# Regression inputs first: each runs once and must pass.
mapfile -t kept < <(find fuzz/crashes -type f ! -name '.*' ! -name '*.md' | sort)
if [ "${#kept[@]}" -gt 0 ]; then
    echo "fuzz: replaying ${#kept[@]} regression input(s) from fuzz/crashes"
    "$fuzzer" -rss_limit_mb=2048 "${kept[@]}"
fi

echo "fuzz: fuzzing for ${seconds}s; new inputs in $scratch, crashes in $artifacts"
# Reaching linkage takes a hundred bytes or so: lengths up to the limit from
# the start rather than grown slowly.
"$fuzzer" -rss_limit_mb=2048 -timeout=60 -max_total_time="$seconds" -print_final_stats=1 \
    -max_len=1024 -len_control=0 -artifact_prefix="$artifacts/" "$@" "$scratch" fuzz/corpus

# The report's trace reader, a quarter of that time (10 s at least), from
# the traces in fuzz/report-corpus.
report_seconds=$((seconds / 4 > 10 ? seconds / 4 : 10))
mkdir -p "$scratch-report"
echo "fuzz: fuzzing the report's reader for ${report_seconds}s; new inputs in $scratch-report"
"$build/bin/alarm_fuzz_report" -rss_limit_mb=2048 -timeout=60 -max_total_time="$report_seconds" \
    -print_final_stats=1 -max_len=4096 -artifact_prefix="$artifacts/report-" "$@" "$scratch-report" fuzz/report-corpus
