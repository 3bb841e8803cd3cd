#!/bin/sh
# Installs the build into a scratch root, builds the .deb from that tree with
# CPack (so nothing is compiled here) and checks both: the five programs, the menu entry (valid, naming the
# installed program and icon, with its trace and report actions), every icon size, nothing else, the modes of
# files and directories, and the package's fields and dependencies. No network, nothing installed.
#
#   check-deb.sh BUILD_DIR WORK_DIR CMAKE CPACK
set -eu
# A builder's group-writable umask must not reach the package.
umask 002
build=$1
work=$2
cmake=$3
cpack=$4

if ! command -v dpkg-deb >/dev/null 2>&1; then
    echo "dpkg-deb not found: not a Debian system, nothing to check"
    exit 77
fi
if ! command -v desktop-file-validate >/dev/null 2>&1; then
    echo "FAIL: desktop-file-validate not found (package desktop-file-utils, scripts/install-deps.sh)"
    exit 1
fi

failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

rm -rf "$work"
mkdir -p "$work"
root=$work/root

# Every file the package should hold, below /usr.
sizes="16 32 48 64 128 256"
expected=$work/expected
{
    echo usr/bin/alarm-host-report
    echo usr/bin/alarm-host-report-open
    echo usr/bin/alarm-host-scan
    echo usr/bin/alarm-host-sim
    echo usr/bin/alarm-host-tester
    echo usr/share/applications/alarm-host-tester.desktop
    for size in $sizes; do
        echo "usr/share/icons/hicolor/${size}x${size}/apps/alarm-host-tester.png"
    done
    echo usr/share/icons/hicolor/scalable/apps/alarm-host-tester.svg
} | sort >"$expected"

# 1. The install rules.
DESTDIR=$root "$cmake" --install "$build" --prefix /usr --strip >"$work/install.log"
(cd "$root" && find . -type f | sed 's|^\./||' | sort) >"$work/installed"
if ! diff -u "$expected" "$work/installed"; then
    fail "cmake --install: files differ from the list above"
fi

for program in alarm-host-tester alarm-host-sim alarm-host-scan alarm-host-report alarm-host-report-open; do
    [ -x "$root/usr/bin/$program" ] || fail "$program is not executable"
done

desktop=$root/usr/share/applications/alarm-host-tester.desktop
if [ -f "$desktop" ]; then
    desktop-file-validate "$desktop" || fail "desktop-file-validate"
    # A key of the group "[${2:-Desktop Entry}]".
    key() { sed -n "/^\[${2:-Desktop Entry}\]\$/,/^\[/s/^$1=//p" "$desktop"; }
    [ "$(key Exec)" = alarm-host-tester ] || fail "Exec is '$(key Exec)'"
    [ -x "$root/usr/bin/$(key Exec)" ] || fail "Exec names no installed program"
    [ "$(key Icon)" = alarm-host-tester ] || fail "Icon is '$(key Icon)'"
    [ "$(key Terminal)" = false ] || fail "Terminal is '$(key Terminal)'"
    [ "$(key Type)" = Application ] || fail "Type is '$(key Type)'"
    caption='Qirvane智能报警主机测试软件'
    [ "$(key 'Name\[zh_CN\]')" = "$caption" ] || fail "Name[zh_CN] is not the window caption"
    [ -n "$(key GenericName)" ] || fail "no GenericName"
    [ -n "$(key Comment)" ] || fail "no Comment"
    # The launcher's context menu starts it with the trace in the user's
    # data folder (the tester reads @data as that folder).
    action='Desktop Action trace'
    [ "$(key Actions)" = 'trace;report;' ] || fail "Actions is '$(key Actions)'"
    [ "$(key Name "$action")" = '记录通讯' ] || fail "the trace action's Name is '$(key Name "$action")'"
    [ "$(key Exec "$action")" = 'env ALARM_HOST_TESTER_TRACE=@data alarm-host-tester' ] ||
        fail "the trace action's Exec is '$(key Exec "$action")'"
    # The report of the newest trace there, opened in the browser.
    action='Desktop Action report'
    [ "$(key Name "$action")" = '调试报告' ] || fail "the report action's Name is '$(key Name "$action")'"
    [ -x "$root/usr/bin/$(key Exec "$action")" ] || fail "the report action's Exec names no installed program"
fi

# Each PNG is square at the size of its directory (width and height are the
# big-endian words at bytes 16 and 20).
for size in $sizes; do
    png=$root/usr/share/icons/hicolor/${size}x${size}/apps/alarm-host-tester.png
    [ -f "$png" ] || continue
    dims=$(od -An -tu1 -j16 -N8 "$png" | awk '{ print $1*16777216+$2*65536+$3*256+$4 "x" $5*16777216+$6*65536+$7*256+$8 }')
    [ "$dims" = "${size}x${size}" ] || fail "icon ${size}x${size} is $dims"
done
svg=$root/usr/share/icons/hicolor/scalable/apps/alarm-host-tester.svg
if [ -f "$svg" ] && ! grep -q '<svg' "$svg"; then
    fail "scalable icon is no SVG"
fi

# 2. The package, with the settings of the build's CPackConfig.cmake, from
# the tree above instead of a build and install of its own, and made where
# nothing else makes one.
"$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$work/pkg" \
    -D CPACK_INSTALL_CMAKE_PROJECTS= -D "CPACK_INSTALLED_DIRECTORIES=$root;." \
    >"$work/cpack.log" 2>&1 || {
    cat "$work/cpack.log"
    fail "cpack"
    exit 1
}
set -- "$work"/pkg/*.deb
if [ "$#" -ne 1 ] || [ ! -f "$1" ]; then
    fail "cpack made $# packages"
    exit 1
fi
deb=$1
echo "package: $(basename "$deb")"
case $(basename "$deb") in
alarm-host-tester_*_*.deb) ;;
*) fail "package file name $(basename "$deb")" ;;
esac

dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { sub(/^\.\//, "", $6); print $6 }' | sort >"$work/contents"
if ! diff -u "$expected" "$work/contents"; then
    fail "dpkg-deb -c: files differ from the list above"
fi
if dpkg-deb -c "$deb" | awk '{ print $2 }' | grep -qv '^root/root$'; then
    fail "files not owned by root"
fi
# Directories and programs 0755, everything else 0644.
dpkg-deb -c "$deb" | awk '{
    path = $6; sub(/^\.\//, "", path)
    want = ($1 ~ /^d/ || path ~ /^usr\/bin\/./) ? "rwxr-xr-x" : "rw-r--r--"
    if (substr($1, 2) != want) print $1, path
}' >"$work/modes"
if [ -s "$work/modes" ]; then
    cat "$work/modes"
    fail "modes differ from 0755 for directories and programs, 0644 for the rest"
fi

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = alarm-host-tester ] || fail "Package is '$(field Package)'"
[ -n "$(field Version)" ] || fail "no Version"
[ -n "$(field Maintainer)" ] || fail "no Maintainer"
[ -n "$(field Section)" ] || fail "no Section"
[ -n "$(field Description)" ] || fail "no Description"
[ "$(field Architecture)" = "$(dpkg --print-architecture)" ] || fail "Architecture is '$(field Architecture)'"

depends=$(field Depends)
echo "Depends: $depends"
# One package name a line, versions dropped.
echo "$depends" | tr ',|' '\n\n' | sed 's/(.*)//; s/^ *//; s/ *$//' | sed '/^$/d' >"$work/depends"
for package in libqt6core6 libqt6gui6 libqt6widgets6 libqt6serialport6 qt6-qpa-plugins fonts-noto-cjk; do
    grep -qx "$package" "$work/depends" || fail "Depends lacks $package"
done

# The packed tools run (no build-tree library paths needed).
dpkg-deb -x "$deb" "$work/unpacked"
for program in alarm-host-sim alarm-host-scan alarm-host-report; do
    "$work/unpacked/usr/bin/$program" --help >/dev/null 2>&1 || fail "packed $program --help"
done

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed"
    exit 1
fi
echo "package checked: $(basename "$deb")"
