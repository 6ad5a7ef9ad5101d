#!/usr/bin/env bash
# Builds the bus layer for 64-bit Windows (scripts/build.sh mingw) and runs
# its tests under Wine, with the fake vendor libraries installed in the Wine
# prefix's system folder as ni4882.dll and visa64.dll, where the back ends
# look for NI-488.2 and VISA.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh mingw
scripts/build.sh mingw

export WINEPREFIX="$PWD/build-mingw/wine" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
[ -f "$WINEPREFIX/system.reg" ] || wineboot --init >/dev/null 2>&1
system="$WINEPREFIX/drive_c/windows/system32"
cp build-mingw/tests/libfakegpib.dll "$system/ni4882.dll"
cp build-mingw/tests/libfakegpib.dll "$system/visa64.dll"
wine build-mingw/tests/vireon_bus_tests.exe --gtest_brief=1
wineserver --wait
