#!/usr/bin/env python3
"""The driver bench: a virtual PC with a real 16550 UART and an FTDI USB
adapter, each wired to a host simulator on this machine, running the tester's
scenarios in the guest through the real 8250 and ftdi_sio drivers.

The guest is this machine's own root, read-only over 9p with a tmpfs on top,
booted on the Debian kernel under QEMU's TCG. Its console (hvc0) goes to
console.log in the work directory; a second virtio console (hvc1) carries the
guest's requests to the simulators (a command on standard input, stop or
continue the process). The work directory is shared with the guest writable
at the same path: the simulators' traces and outputs are read there, and the
guest leaves its test log and exit status there.

Exit status: that of the guest's scenario program; 77 when QEMU or a kernel
cannot be had here (the reason printed); 1 on a boot or bench failure.
"""

import argparse
import glob
import os
import re
import select
import shutil
import signal
import socket
import stat
import subprocess
import sys
import tempfile
import time

SKIP = 77
HERE = os.path.dirname(os.path.abspath(__file__))
# Loaded by the initramfs, in this order, to reach the console and the root.
EARLY_MODULES = ["virtio_ring", "virtio", "virtio_pci_modern_dev", "virtio_pci_legacy_dev",
                 "virtio_pci", "virtio_console", "netfs", "fscache", "9pnet", "9pnet_virtio",
                 "9p", "overlay"]
# What each simulator stands for: the host behind the PC's COM port and the
# one behind the USB adapter, told apart by model and address.
LINES = {
    "uart": ["--model", "8", "--address", "1"],
    "usb": ["--model", "16", "--address", "2"],
}
USB_SERIAL = "VMBENCH1"


def skip(work, reason):
    """CTest shows no output of a skipped test: the reason is also left in
    the work directory for the test command to print."""
    print(f"SKIP: {reason}", flush=True)
    os.makedirs(work, exist_ok=True)
    with open(os.path.join(work, "skipped"), "w") as f:
        f.write(f"driver_bench skipped: {reason}\n")
    sys.exit(SKIP)


def find_kernel():
    kernels = sorted(glob.glob("/boot/vmlinuz-*"))
    for kernel in reversed(kernels):
        version = os.path.basename(kernel)[len("vmlinuz-"):]
        modules = f"/lib/modules/{version}"
        if all(module_path(modules, m) for m in EARLY_MODULES):
            return kernel, modules
    return None, None


def module_path(modules, name):
    try:
        with open(f"{modules}/modules.dep") as f:
            for line in f:
                path = line.split(":")[0]
                if os.path.basename(path) == f"{name}.ko":
                    return os.path.join(modules, path)
    except OSError:
        pass
    return None


def cpio_newc(entries):
    """An initramfs archive of (name, mode, data) entries."""
    out = bytearray()
    for ino, (name, mode, data) in enumerate(entries + [("TRAILER!!!", 0, b"")], start=1):
        encoded = name.encode() + b"\0"
        fields = [ino, mode, 0, 0, 1, 0, len(data), 0, 0, 0, 0, len(encoded), 0]
        out += b"070701" + b"".join(b"%08X" % f for f in fields) + encoded
        out += b"\0" * (-len(out) % 4) + data
        out += b"\0" * (-len(out) % 4)
    return bytes(out)


def build_initramfs(path, modules):
    entries = [(d, stat.S_IFDIR | 0o755, b"") for d in ["bin", "dev", "proc", "sys", "modules"]]
    with open("/bin/busybox", "rb") as f:
        entries.append(("bin/busybox", stat.S_IFREG | 0o755, f.read()))
    with open(os.path.join(HERE, "initramfs-init"), "rb") as f:
        entries.append(("init", stat.S_IFREG | 0o755, f.read()))
    for name in EARLY_MODULES:
        with open(module_path(modules, name), "rb") as f:
            entries.append((f"modules/{name}.ko", stat.S_IFREG | 0o644, f.read()))
    with open(path, "wb") as f:
        f.write(cpio_newc(entries))


class Bench:
    def __init__(self, args):
        self.args = args
        self.work = args.work
        self.qemu = None
        self.sims = {}
        self.console = None
        self.control = None
        self.control_buffer = b""
        self.console_buffer = b""
        self.ptys = {}
        # Apart from the work directory: a socket's path has to be short.
        self.socket_dir = tempfile.mkdtemp(prefix="driver-bench-")
        self.socket = os.path.join(self.socket_dir, "control.sock")

    def log(self, text):
        print(f"[bench {time.monotonic() - self.started:6.1f}s] {text}", flush=True)

    def start_qemu(self, kernel, initrd):
        cmdline = " ".join([
            "console=hvc0", "panic=-1", "rdinit=/init", "loglevel=6",
            f"bench.init={HERE}/guest.sh", f"bench.dir={self.work}", f"bench.bin={self.args.bin}",
            f"bench.src={HERE}",
        ])
        command = [
            self.args.qemu, "-accel", "tcg", "-nodefaults", "-no-user-config", "-no-reboot",
            "-display", "none", "-vga", "none", "-nic", "none", "-serial", "none",
            "-m", "1536", "-smp", "2",
            "-kernel", kernel, "-initrd", initrd, "-append", cmdline,
            "-fsdev", "local,id=r,path=/,security_model=none,readonly=on,multidevs=remap",
            "-device", "virtio-9p-pci,fsdev=r,mount_tag=host",
            "-fsdev", f"local,id=b,path={self.work},security_model=none",
            "-device", "virtio-9p-pci,fsdev=b,mount_tag=bench",
            "-device", "virtio-serial-pci",
            "-chardev", "stdio,id=con,signal=off", "-device", "virtconsole,chardev=con",
            "-chardev", f"socket,id=ctl,path={self.socket},server=on,wait=off",
            "-device", "virtconsole,chardev=ctl",
            # The PC's own COM port: a 16550 at 0x3f8, the guest's ttyS0.
            "-chardev", "pty,id=s0", "-device", "isa-serial,chardev=s0",
            # The USB adapter, present whether or not a simulator holds its line.
            "-device", "qemu-xhci,id=xhci",
            "-chardev", "pty,id=u0",
            "-device", f"usb-serial,bus=xhci.0,chardev=u0,serial={USB_SERIAL},always-plugged=on",
        ]
        self.console = open(os.path.join(self.work, "console.log"), "wb")
        self.qemu = subprocess.Popen(command, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                     stderr=subprocess.STDOUT, start_new_session=True)

    def read_console(self, timeout):
        ready, _, _ = select.select([self.qemu.stdout], [], [], timeout)
        if not ready:
            return
        data = os.read(self.qemu.stdout.fileno(), 65536)
        if not data:
            return
        self.console.write(data)
        self.console.flush()
        self.console_buffer += data
        *lines, self.console_buffer = self.console_buffer.split(b"\n")
        for line in lines:
            match = re.search(rb"char device redirected to (\S+) \(label (\w+)\)", line)
            if match:
                self.ptys[match.group(2).decode()] = match.group(1).decode()
            if line.startswith(b"bench:") or line.startswith(b"bench-init:"):
                self.log("guest " + line.decode(errors="replace").strip())

    def start_simulators(self):
        for name, options in LINES.items():
            pty = self.ptys["s0" if name == "uart" else "u0"]
            out = open(os.path.join(self.work, f"{name}.out"), "wb")
            self.sims[name] = subprocess.Popen(
                [os.path.join(self.args.bin, "alarm-host-sim"), "--device", pty,
                 "--trace", os.path.join(self.work, f"{name}.trace")] + options,
                stdin=subprocess.PIPE, stdout=out, stderr=subprocess.STDOUT)
            self.log(f"{name} simulator on {pty}")

    def connect_control(self):
        deadline = time.monotonic() + 10
        while time.monotonic() < deadline:
            try:
                control = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
                control.connect(self.socket)
                self.control = control
                return
            except OSError:
                control.close()
                time.sleep(0.1)
        raise RuntimeError("QEMU's control socket did not come up")

    # A request from the guest: "<line> <command for the simulator>", or
    # "<line> stop" / "<line> cont" for its process. Answered "ok" or "error".
    def serve(self, request):
        name, _, command = request.partition(" ")
        sim = self.sims.get(name)
        if sim is None or sim.poll() is not None:
            return "error no simulator " + name
        if command == "stop":
            sim.send_signal(signal.SIGSTOP)
        elif command == "cont":
            sim.send_signal(signal.SIGCONT)
        else:
            sim.stdin.write(command.encode() + b"\n")
            sim.stdin.flush()
        return "ok"

    def read_control(self):
        data = self.control.recv(4096)
        if not data:
            return
        self.control_buffer += data
        *requests, self.control_buffer = self.control_buffer.split(b"\n")
        for request in requests:
            request = request.decode(errors="replace").strip()
            if request:
                self.control.sendall(self.serve(request).encode() + b"\n")

    def run(self):
        self.started = time.monotonic()
        kernel, modules = find_kernel()
        if kernel and not os.access(kernel, os.R_OK):
            skip(self.work, f"{kernel} is readable by root only: run the bench as root")
        if not kernel:
            skip(self.work, "no kernel in /boot with its virtio, 9p and overlay modules "
                 "(the test set-up installs linux-image-amd64)")
        os.makedirs(self.work)
        initrd = os.path.join(self.work, "initramfs.cpio")
        build_initramfs(initrd, modules)
        self.log(f"booting {kernel} under TCG")
        self.start_qemu(kernel, initrd)

        deadline = time.monotonic() + 20
        while len(self.ptys) < 2 and time.monotonic() < deadline and self.qemu.poll() is None:
            self.read_console(0.2)
        if len(self.ptys) < 2:
            self.read_console(0.5)
            raise RuntimeError("QEMU did not come up: see console.log")
        self.start_simulators()
        self.connect_control()

        deadline = time.monotonic() + self.args.timeout
        while self.qemu.poll() is None:
            if time.monotonic() > deadline:
                self.log(f"the guest did not finish within {self.args.timeout} s")
                return 1
            ready, _, _ = select.select([self.qemu.stdout, self.control], [], [], 1.0)
            if self.qemu.stdout in ready:
                self.read_console(0)
            if self.control in ready:
                self.read_control()
        while self.qemu.stdout in select.select([self.qemu.stdout], [], [], 0)[0]:
            data = os.read(self.qemu.stdout.fileno(), 65536)
            if not data:
                break
            self.console.write(data)
        self.log("guest powered off")
        return self.guest_result()

    def guest_result(self):
        log = os.path.join(self.work, "guest.txt")
        if os.path.exists(log):
            with open(log, errors="replace") as f:
                sys.stdout.write(f.read())
        try:
            with open(os.path.join(self.work, "guest.rc")) as f:
                rc = int(f.read().strip())
        except (OSError, ValueError):
            self.log("the guest left no result: see console.log")
            return 1
        report_timing(self.work)
        return rc

    def stop(self):
        for sim in self.sims.values():
            if sim.poll() is None:
                sim.send_signal(signal.SIGCONT)
                sim.terminate()
                try:
                    sim.wait(5)
                except subprocess.TimeoutExpired:
                    sim.kill()
        if self.qemu and self.qemu.poll() is None:
            os.killpg(self.qemu.pid, signal.SIGKILL)
            self.qemu.wait()
        shutil.rmtree(self.socket_dir, ignore_errors=True)


def read_trace(path):
    lines = []
    if not os.path.exists(path):
        return lines
    with open(path, errors="replace") as f:
        for line in f:
            fields = line.split("  ")[0].split()
            if len(fields) >= 2:
                lines.append((int(fields[0]), fields[1], " ".join(fields[2:])))
    return lines


def median(values):
    values = sorted(values)
    return values[len(values) // 2] if values else float("nan")


def percentile(values, p):
    values = sorted(values)
    return values[min(len(values) - 1, int(len(values) * p))] if values else float("nan")


def report_timing(work):
    """Frame timing through the real drivers: the tester's wire trace of each
    polling scenario (the guest's clock) and the simulators' turnaround (this
    machine's)."""
    print("frame timing (TCG slows the guest; figures, not checks), median / 95th percentile:")
    for name in LINES:
        wire = read_trace(os.path.join(work, f"wire-{name}.txt"))
        code = lambda entry: entry[2].split()[2:3]
        queries = [t for t, what, data in wire if what == "tx" and data.split()[2:3] == ["3F"]]
        cycle = [(b - a) / 1000 for a, b in zip(queries, queries[1:])]
        sent = [entry for entry in wire if entry[1] == "tx"]
        step = [(b[0] - a[0]) / 1000 for a, b in zip(sent, sent[1:])
                if code(a) == ["3F"] and code(b) == ["3B"]]
        reply = [(b[0] - a[0]) / 1000 for a, b in zip(wire, wire[1:])
                 if a[1] == "tx" and b[1] == "rx" and code(a) in (["3F"], ["3B"])]
        sim = read_trace(os.path.join(work, f"{name}.trace"))
        turn = [(b[0] - a[0]) / 1000 for a, b in zip(sim, sim[1:]) if a[1] == "rx" and b[1] == "tx"]
        print(f"  {name}: cycle (3F to 3F, nominal 110 ms) {median(cycle):.1f} / "
              f"{percentile(cycle, 0.95):.1f} ms over {len(cycle)}; 3F to 3B (nominal 20 ms) "
              f"{median(step):.1f} / {percentile(step, 0.95):.1f} ms; query to reply handed to "
              f"the window {median(reply):.1f} / {percentile(reply, 0.95):.1f} ms over {len(reply)}; "
              f"simulator turnaround {median(turn):.2f} ms")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--bin", required=True, help="the build tree's bin directory")
    parser.add_argument("--work", required=True, help="scratch directory (emptied first)")
    parser.add_argument("--timeout", type=int, default=240, help="seconds the guest may take")
    parser.add_argument("--qemu", default=shutil.which("qemu-system-x86_64"))
    args = parser.parse_args()
    args.work = os.path.abspath(args.work)
    shutil.rmtree(args.work, ignore_errors=True)
    if not args.qemu:
        skip(args.work, "qemu-system-x86_64 is not installed (the test set-up installs qemu-system-x86)")
    if not os.path.exists("/bin/busybox"):
        skip(args.work, "/bin/busybox is missing (the test set-up installs busybox-static)")
    args.bin = os.path.abspath(args.bin)
    bench = Bench(args)
    try:
        rc = bench.run()
    except RuntimeError as error:
        print(f"bench: {error}", flush=True)
        rc = 1
    finally:
        bench.stop()
    sys.exit(rc)


if __name__ == "__main__":
    main()
