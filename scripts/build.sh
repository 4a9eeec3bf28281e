#!/usr/bin/env bash
# Configures and builds into build/ (or $QSI_BUILD_DIR) with warnings as errors,
# laid out for the Debian packages (prefix /usr) that `--target package` makes.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${QSI_BUILD_DIR:-$here/build}
cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=${QSI_BUILD_TYPE:-RelWithDebInfo} \
  -DQSI_WERROR=ON -DCMAKE_INSTALL_PREFIX=/usr "$@" >/dev/null
cmake --build "$build" -j "${QSI_JOBS:-2}"
