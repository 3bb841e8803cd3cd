#!/usr/bin/env bash
# Compiles every source of the program and of alarm-host-scan as a Windows
# build would, with MinGW-w64 against this machine's Qt headers: syntax
# only, warnings as errors, so nothing POSIX-only slips into the code
# Windows builds. The sources are those src/CMakeLists.txt chooses there:
# all but the *_linux, *_posix and *_unix files. Nothing is linked or run
# (there is no Qt for Windows here).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh g++-mingw-w64-x86-64-posix
compiler=x86_64-w64-mingw32-g++-posix
qt="/usr/include/$(gcc -print-multiarch)/qt6"

# Qt's headers as system headers: their own dllimport notes are not ours.
flags=(-std=c++17 -fsyntax-only -Wall -Wextra -Wpedantic -Werror -DALARM_VERSION='"0"'
       -Isrc -Itools/common -Itools/scan -isystem "$qt")
for module in QtCore QtGui QtWidgets QtSerialPort; do
    flags+=(-isystem "$qt/$module")
done

# One compiler a core; xargs runs them all and fails at the end if any did.
find src tools/scan -name '*.cpp' ! -name '*_linux.cpp' ! -name '*_posix.cpp' ! -name '*_unix.cpp' -print0 |
    sort -z | xargs -0 -n1 -P"$(nproc)" "$compiler" "${flags[@]}" ||
    { echo "windows-syntax-check: the sources above do not build for Windows" >&2; exit 1; }
