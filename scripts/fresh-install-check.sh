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
# Mount points at or below the tree, from the kernel's table.
mounts_below() {
    findmnt -rn -o TARGET | awk -v tree="$1" '$0 == tree || index($0, tree "/") == 1'
}
# Unmounts everything below the tree and removes it, never crossing into a
# file system still mounted there: the tree is left as it is if anything
# stays mounted.
remove_tree() {
    mounts_below "$1" | sort -r | while read -r target; do
        umount -R "$target" 2>/dev/null || true
    done
    if [ -n "$(mounts_below "$1")" ]; then
        echo "still mounted below $1, not removed:" >&2
        mounts_below "$1" >&2
        return 1
    fi
    rm -rf --one-file-system "$1"
}
trap 'remove_tree "$root"' EXIT

debootstrap --variant=minbase bookworm "$root" http://deb.debian.org/debian
cp /etc/resolv.conf "$root/etc/"
mount -t proc proc "$root/proc"
cp "$deb" "$root/root/"

chroot "$root" /bin/bash -s "$(basename "$deb")" <<'EOF'
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive HOME=/root
unset XDG_DATA_HOME
apt-get update -qq
apt-get install -y -qq "/root/$1"
apt-get install -y -qq xvfb xauth x11-utils >/dev/null

entry=/usr/share/applications/alarm-host-tester.desktop
# A key of one group of the menu entry.
key() { sed -n "/^\[$1\]\$/,/^\[/s/^$2=//p" "$entry"; }
command="$(key 'Desktop Entry' Exec)"
icon="$(key 'Desktop Entry' Icon)"
command -v "$command"
ls /usr/share/icons/hicolor/*/apps/"$icon".* >/dev/null

# Starts a command under a virtual display and waits for the window.
window_comes_up() {
    xvfb-run -a bash -c "
        $1 & pid=\$!
        for _ in \$(seq 50); do
            if xwininfo -root -tree | grep -q '\"Qirvane'; then
                kill \$pid; exit 0
            fi
            sleep 0.1
        done
        kill \$pid; exit 1"
}

cd /tmp
window_comes_up "$command" || { echo 'no window'; exit 1; }
echo 'window up after a fresh install'

# The menu's "记录通讯" action: the window, and a new trace file in the
# user's data folder.
window_comes_up "$(key 'Desktop Action trace' Exec)" || { echo 'no window from the trace action'; exit 1; }
ls "$HOME"/.local/share/alarm-host-tester/trace-*.txt ||
    { echo 'the trace action wrote no trace file'; exit 1; }
echo 'trace action writes its file'
EOF
