#!/bin/sh
# Renders the icon's PNG sizes from alarm-host-tester.svg (needs rsvg-convert,
# Debian package librsvg2-bin). Run it after changing the drawing and commit
# the PNGs with it: the build and the package take them as they are.
set -e
cd "$(dirname "$0")"
for size in 16 32 48 64 128 256; do
    mkdir -p "$size"
    rsvg-convert -w "$size" -h "$size" alarm-host-tester.svg -o "$size/alarm-host-tester.png"
done
