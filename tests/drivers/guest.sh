#!/bin/sh
# The bench machine after the switch to its root (the host's, under a tmpfs):
# brings it up as a technician's PC would be, with udev naming the adapter,
# then runs the scenarios and powers off. Everything it prints goes to the
# console, which the bench keeps as console.log.
exec </dev/null >/dev/hvc0 2>&1
export PATH=/usr/sbin:/usr/bin:/sbin:/bin SYSTEMD_PAGER=cat

for word in $(cat /proc/cmdline); do
    case "$word" in
        bench.dir=*) BENCH_DIR="${word#bench.dir=}" ;;
        bench.bin=*) BENCH_BIN="${word#bench.bin=}" ;;
    esac
done
export BENCH_DIR BENCH_BIN

off() {
    sync
    echo o >/proc/sysrq-trigger
    sleep 30
}
trap off EXIT

mount -t tmpfs -o mode=755 tmpfs /run
mkdir -p /dev/pts /dev/shm /run/lock
mount -t devpts -o gid=5,mode=620,ptmxmode=666 devpts /dev/pts
mount -t tmpfs -o mode=1777 tmpfs /dev/shm
chmod 1777 /run/lock
# The shared work directory, writable and uncached, at its path on the host.
mkdir -p "$BENCH_DIR"
mount -t 9p -o trans=virtio,version=9p2000.L,msize=512000,cache=none bench "$BENCH_DIR" \
    || { echo "bench: cannot mount the work directory"; exit 1; }

echo "bench: root up at $(cut -d' ' -f1 /proc/uptime) s"
/lib/systemd/systemd-udevd --daemon
echo "bench: udevd at $(cut -d' ' -f1 /proc/uptime) s"
# Only what names the serial ports; the adapter's events follow the modules.
udevadm trigger --action=add --subsystem-match=tty
modprobe xhci_pci
modprobe ftdi_sio
echo "bench: modules at $(cut -d' ' -f1 /proc/uptime) s"
udevadm settle --timeout=30
echo "bench: udev settled at $(cut -d' ' -f1 /proc/uptime) s"
ls -l /dev/ttyS0 /dev/ttyS1 /dev/ttyUSB0 /dev/serial/by-id/ 2>&1

export QT_QPA_PLATFORM=offscreen
export XDG_RUNTIME_DIR=/run/bench
mkdir -p -m 700 "$XDG_RUNTIME_DIR"
"$BENCH_BIN/driver-scenarios" -o "$BENCH_DIR/guest.txt,txt" -o -,txt "$@"
rc=$?
echo "$rc" >"$BENCH_DIR/guest.rc"
echo "bench: scenarios ended with $rc at $(cut -d' ' -f1 /proc/uptime) s"
