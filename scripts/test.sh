#!/usr/bin/env bash
# The test command: installs what is needed, builds with warnings as errors,
# starts the test services and runs every test; then builds again with the
# address and undefined-behaviour sanitizers and runs every test once more,
# and runs each fuzz target over its corpus; then the Windows build's tests
# under Wine, and the packages' trial (scripts/test-package.sh).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
"$here/scripts/install-deps.sh"
# No folder of src/ includes one of a layer above it.
"$here/scripts/check-layers.py"
build=${QSI_BUILD_DIR:-$here/build}
sanitized=${QSI_SANITIZE_BUILD_DIR:-$here/build-sanitize}
QSI_BUILD_DIR=$build "$here/scripts/build.sh"
QSI_BUILD_DIR=$sanitized QSI_BUILD_TYPE=Debug "$here/scripts/build.sh" \
  -DQSI_SANITIZE=ON -DQSI_BUILD_BENCH=OFF

# Services the tests need (a private PostgreSQL server); their settings are
# exported for the tests, and they are stopped however the tests end.
# The server's folder lies below /tmp, which its own user can reach wherever
# this checkout is.
if [ -x "$here/scripts/test-services.sh" ]; then
  services_env=$(mktemp)
  services_dir=$(mktemp -d /tmp/qsi-services.XXXXXX)
  "$here/scripts/test-services.sh" start "$services_dir" > "$services_env"
  trap '"$here/scripts/test-services.sh" stop "$services_dir" >/dev/null 2>&1 || true; rm -rf "$services_env" "$services_dir"' EXIT
  set -a; . "$services_env"; set +a
fi

echo "== Tests"
(cd "$build" && ctest --output-on-failure -j "${QSI_JOBS:-2}")

echo "== Tests with the address and undefined-behaviour sanitizers"
export LSAN_OPTIONS=suppressions=$here/tests/lsan.supp
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export QSI_CHILD_ASAN_OPTIONS=detect_leaks=0
(cd "$sanitized" && ctest --output-on-failure -j "${QSI_JOBS:-2}")

echo "== Fuzz targets over their corpus"
"$here/scripts/fuzz.sh" --once

# The Windows build, cross-compiled and tested under Wine.
"$here/scripts/test-windows.sh"

# The packages, installed into a clean Debian root and unpacked under Wine.
QSI_BUILD_DIR=$build "$here/scripts/test-package.sh"
