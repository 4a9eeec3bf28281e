#!/usr/bin/env bash
# Makes the programs' packages: the Debian packages qsolution-installer and
# qsolution-installer-gui from build/ (or $QSI_BUILD_DIR), and the Windows zip
# from a Release cross build in build-win-package/ (or $QSI_WIN_PACKAGE_DIR).
# Prints the paths of the three files made, one a line; the builds talk on
# standard error.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${QSI_BUILD_DIR:-$here/build}
win=${QSI_WIN_PACKAGE_DIR:-$here/build-win-package}

{
  "$here/scripts/install-deps.sh"
  QSI_BUILD_DIR=$build "$here/scripts/build.sh"
  cmake --build "$build" --target package
  cmake -S "$here" -B "$win" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-w64-x86_64.cmake" -DQSI_WERROR=ON \
    -DQSI_BUILD_QT=OFF -DQSI_BUILD_BENCH=OFF -DQSI_BUILD_TESTS=OFF >/dev/null
  cmake --build "$win" -j "${QSI_JOBS:-2}" --target package
} >&2

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
arch=$(dpkg --print-architecture)
for file in "$build/qsolution-installer_${version}_$arch.deb" \
  "$build/qsolution-installer-gui_${version}_$arch.deb" \
  "$win/qsolutioninstaller-$version-win64.zip"; do
  [ -f "$file" ] || { echo "package.sh: $file was not made" >&2; exit 1; }
  echo "$file"
done
