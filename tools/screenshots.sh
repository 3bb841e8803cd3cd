#!/bin/sh
# Pictures of the five pages of the window under a virtual X display, for a
# look by eye at fonts and layout: tools/screenshots.sh [build dir] [out dir]
set -e
build=${1:-build}
out=${2:-/tmp/shots}
mkdir -p "$out"
QT_QPA_PLATFORM=xcb ALARM_SCREENSHOT_DIR="$out" \
    xvfb-run -a -s "-screen 0 800x600x24" "$build/bin/tst_form1widgets" screenshots
ls "$out"/page*.png
