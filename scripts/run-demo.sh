#!/usr/bin/env bash
# Installs what is missing, builds, starts the host simulator on a
# pseudo-terminal with a demo scenario and the tester with COM1 mapped to it.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
# Only the two programs the demo runs; the tests build with the test command.
cmake --build build -j"$(nproc)" --target alarm-host-tester alarm-host-sim

sim_out="$(mktemp)"
build/bin/alarm-host-sim --scenario tools/sim/demo.scenario >"$sim_out" &
sim_pid=$!
trap 'kill "$sim_pid" 2>/dev/null || true; rm -f "$sim_out"' EXIT
for _ in $(seq 100); do
    [ -s "$sim_out" ] && break
    sleep 0.1
done
pty="$(head -n 1 "$sim_out")"

cat <<TEXT
Simulated alarm host (8 inputs, address 0) on $pty, mapped to COM1.
In the tester: select the tab "八路报警主机"; input 2 alarms at 2 s and input 5
at 6 s of every 10 s, and the lamps turn red.

To use a real host instead, plug in the USB-RS485 adapter (COM1 when it is
the only serial port) and start the tester from the menu or as
    build/bin/alarm-host-tester
(your user must be in the dialout group: sudo adduser \$USER dialout)
TEXT

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "No display found: running under a virtual X display (xvfb-run)." >&2
    ALARM_HOST_TESTER_COM1="$pty" xvfb-run -a -s "-screen 0 1024x768x24" build/bin/alarm-host-tester
else
    ALARM_HOST_TESTER_COM1="$pty" build/bin/alarm-host-tester
fi
