#!/bin/sh
# Pictures of the window for the README, taken from the real window under a
# virtual X display: the five pages, with lamps lit by a host answering on a
# fake port, and linkage running. Needs xvfb-run (packages xvfb, xauth).
#
#   tools/screenshots.sh [build dir] [out dir]
#
# Defaults: build/ and docs/screenshots/ of this tree.
set -e
top=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$top/build}
out=${2:-$top/docs/screenshots}
cmake --build "$build" --target alarm-pageshots >/dev/null
mkdir -p "$out"
# A fixed style, scale and font resolution, so the pictures do not depend on
# the desktop of whoever takes them.
QT_QPA_PLATFORM=xcb QT_STYLE_OVERRIDE=Fusion QT_SCALE_FACTOR=1 QT_FONT_DPI=96 \
    xvfb-run -a -s "-screen 0 800x600x24" "$build/bin/alarm-pageshots" "$out"
