#!/usr/bin/env bash
# The test command: installs what is needed, builds with warnings as errors,
# starts the test services and runs every test.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
"$here/scripts/install-deps.sh"
"$here/scripts/build.sh"
build=${QSI_BUILD_DIR:-$here/build}

# Services the tests need (a private PostgreSQL server); their settings are
# exported for the tests, and they are stopped however the tests end.
if [ -x "$here/scripts/test-services.sh" ]; then
  services_env=$(mktemp)
  "$here/scripts/test-services.sh" start "$build/test-services" > "$services_env"
  trap '"$here/scripts/test-services.sh" stop "$build/test-services" >/dev/null 2>&1 || true; rm -f "$services_env"' EXIT
  set -a; . "$services_env"; set +a
fi

cd "$build"
ctest --output-on-failure -j "${QSI_JOBS:-2}"
