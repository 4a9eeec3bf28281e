#!/usr/bin/env bash
# The Windows leg of the test command: cross-builds the program and its tests
# with mingw-w64 into build-win/ (or $QSI_WIN_BUILD_DIR) and runs the tests
# under Wine, in a fresh prefix in a temporary folder, on a virtual screen.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${QSI_WIN_BUILD_DIR:-$here/build-win}
wine=${QSI_WINE:-/usr/lib/wine/wine64}
wineserver=${QSI_WINESERVER:-/usr/lib/wine/wineserver}

# Inside the virtual screen: start the Wine server for the prefix first (each
# test would otherwise wait about 3 s for one), then run the tests. Windows
# are left unmanaged: without a window manager Wine waits 2 s for one at
# every window that closes.
if [ "${1:-}" = "--run-tests" ]; then
  "$wineserver" -p >/dev/null 2>&1
  "$wine" wineboot --init >/dev/null 2>&1
  "$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
  cd "$build"
  exec ctest --output-on-failure -j "${QSI_JOBS:-2}"
fi

"$here/scripts/install-deps.sh"
cmake -S "$here" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE="${QSI_BUILD_TYPE:-Debug}" -DQSI_WERROR=ON -DQSI_BUILD_QT=OFF \
  -DQSI_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j "${QSI_JOBS:-2}"

scratch=$(mktemp -d "${TMPDIR:-/tmp}/qsi-wine.XXXXXX")
export WINEPREFIX=$scratch/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# Wine's ODBC bridge hands the calls to this machine's driver manager, which
# reads the data sources of the tests from here.
export ODBCSYSINI=$scratch/odbc ODBCINI=$scratch/odbc/odbc.ini
mkdir -p "$WINEPREFIX" "$ODBCSYSINI"
trap '"$wineserver" -k 2>/dev/null || true; "$wineserver" -w 2>/dev/null || true; rm -rf "$scratch"' EXIT

echo "== Tests of the Windows build under Wine"
xvfb-run -a -s "-screen 0 1280x1024x24" "$here/scripts/test-windows.sh" --run-tests
