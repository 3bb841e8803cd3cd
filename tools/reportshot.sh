#!/bin/sh
# The picture of a report for the docs: the first page of the report of a
# real walk test against the simulator, as headless Chromium prints it
# (tests/tst_report_browser.cpp). Needs chromium-headless-shell and
# poppler-utils.
#
#   tools/reportshot.sh [build dir] [picture]
#
# Defaults: build/ and docs/screenshots/report.png of this tree.
set -e
top=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$top/build}
picture=${2:-$top/docs/screenshots/report.png}
cmake --build "$build" --target tst_report_browser alarm-host-report alarm-host-sim >/dev/null
QT_QPA_PLATFORM=offscreen ALARM_REPORT_PICTURE=$picture "$build/bin/tst_report_browser"
