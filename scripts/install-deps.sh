#!/usr/bin/env bash
# Installs, as root on Debian 12, the packages the build, the tests and the
# demo need; does nothing when they are all there already.
set -euo pipefail

packages=(cmake g++ make qt6-base-dev qt6-serialport-dev qt6-qpa-plugins
          fonts-noto-cjk util-linux xvfb xauth clang libclang-rt-14-dev
          desktop-file-utils dpkg-dev)
if [ "$#" -gt 0 ]; then
    packages+=("$@")
fi

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$package")
    fi
done

if [ "${#missing[@]}" -eq 0 ]; then
    exit 0
fi
if [ "$(id -u)" -ne 0 ]; then
    echo "missing packages: ${missing[*]}; run this as root (or install them with sudo apt-get install)" >&2
    exit 1
fi
export DEBIAN_FRONTEND=noninteractive
# Debian's kernel is here only for the driver bench, which boots it with an
# initramfs of its own. A machine that boots no kernel from /boot (a
# container, CI) would spend some 50 s building Debian's initramfs for it.
if ! compgen -G '/boot/vmlinuz-*' >/dev/null; then
    export INITRD=No
fi
apt-get update
apt-get install -y --no-install-recommends "${missing[@]}"
