#!/usr/bin/env bash
# Installs the Debian package into a fresh minimal Debian 12 tree (debootstrap)
# with `apt-get install ./file.deb`, then starts the menu entry's command there
# under a virtual X display and checks that the window comes up. Needs root and
# Debian's mirror; takes a few minutes. Usage: scripts/fresh-install-check.sh [DEB]
set -euo pipefail
cd "$(dirname "$0")/.."

deb="${1:-}"
if [ -z "$deb" ]; then
    cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
    cmake --build build -j"$(nproc)"
    (cd build && cpack -G DEB)
    deb="$(ls build/alarm-host-tester_*_amd64.deb | tail -n1)"
fi

command -v debootstrap >/dev/null || apt-get install -y debootstrap
root="$(mktemp -d /tmp/alarm-fresh.XXXXXX)"
cleanup() {
    umount "$root/proc" 2>/dev/null || true
    rm -rf "$root"
}
trap cleanup EXIT

debootstrap --variant=minbase bookworm "$root" http://deb.debian.org/debian
cp /etc/resolv.conf "$root/etc/"
mount -t proc proc "$root/proc"
cp "$deb" "$root/root/"

chroot "$root" /bin/bash -s "$(basename "$deb")" <<'EOF'
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq "/root/$1"
apt-get install -y -qq xvfb xauth x11-utils >/dev/null

entry=/usr/share/applications/alarm-host-tester.desktop
command="$(sed -n 's/^Exec=//p' "$entry")"
icon="$(sed -n 's/^Icon=//p' "$entry")"
command -v "$command"
ls /usr/share/icons/hicolor/*/apps/"$icon".* >/dev/null

cd /tmp
xvfb-run -a bash -c "
    $command & pid=\$!
    for _ in \$(seq 50); do
        if xwininfo -root -tree | grep -q '\"Qirvane'; then
            kill \$pid; echo 'window up after a fresh install'; exit 0
        fi
        sleep 0.1
    done
    kill \$pid; echo 'no window'; exit 1"
EOF
