#!/usr/bin/env bash
# The long runs, against the simulated host: the window with linkage on and
# inputs changing at random for the given minutes (default 10), reporting
# memory growth, frames and departures from the poll schedule; then a
# minute each of random bytes on the line while polling and while linkage
# runs. Exits non-zero when any of them failed or the tester crashed.
#
#     bash scripts/soak.sh [minutes]
set -euo pipefail
cd "$(dirname "$0")/.."

minutes="${1:-10}"
if ! [[ "$minutes" =~ ^[1-9][0-9]*$ ]]; then
    echo "usage: $0 [minutes]" >&2
    exit 2
fi

bash scripts/install-deps.sh
export QT_QPA_PLATFORM=offscreen
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$(nproc)" --target alarm-soak tst_e2e_faults

failed=0
echo "== ${minutes} min with linkage on"
status=0
build/bin/alarm-soak --seconds $((minutes * 60)) || status=$?
if [ "$status" -gt 128 ]; then
    echo "alarm-soak died by signal $((status - 128))"
fi
[ "$status" -eq 0 ] || failed=1

echo "== a minute of random bytes while polling, a minute while linkage runs"
status=0
ALARM_FLOOD_SECONDS=60 build/bin/tst_e2e_faults garbageWhilePolling garbageWhileLinkageRuns \
    || status=$?
if [ "$status" -gt 128 ]; then
    echo "tst_e2e_faults died by signal $((status - 128))"
fi
[ "$status" -eq 0 ] || failed=1

if [ "$failed" -ne 0 ]; then
    echo "soak: FAILED"
    exit 1
fi
echo "soak: passed"
