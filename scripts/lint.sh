#!/usr/bin/env bash
# The repository's habits, checked: every C++ file as .clang-format lays it
# out, and the program's and the tool's sources clean of the checks that
# .clang-tidy turns on. Reads the compilation database of a configured build
# (build/ or $QSI_BUILD_DIR). Fails on the first finding, naming it.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${QSI_BUILD_DIR:-$here/build}
cd "$here"

echo "== Layout (clang-format)"
# Every C++ file we write, whether or not the checkout is a git one.
find src tests tools bench \( -name '*.cpp' -o -name '*.h' \) -print0 |
  xargs -0 clang-format --dry-run -Werror

echo "== Checks (clang-tidy)"
# The build is GCC's: its warning options that clang does not know are not
# findings. Generated Qt sources are not ours.
log=$(mktemp)
trap 'rm -f "$log"' EXIT
run-clang-tidy-14 -p "$build" -quiet -j "${QSI_JOBS:-2}" \
  -extra-arg=-Wno-unknown-warning-option "^$here/(src|tools)/" >"$log" 2>&1 || true
if grep -E "(warning|error): " "$log" | grep -v "^$build/" | sort -u | grep .; then
  echo "clang-tidy findings above; fix them or say in .clang-tidy why a check is off." >&2
  exit 1
fi
