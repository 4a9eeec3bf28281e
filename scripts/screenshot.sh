#!/usr/bin/env bash
# Takes a picture of the main window after the retrieve flow, in a real X
# window under Xvfb, and writes it to docs/main-window.png (or $1).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
out=$(realpath -m "${1:-$here/docs/main-window.png}")
"$here/scripts/install-deps.sh"
"$here/scripts/build.sh"
mkdir -p "$(dirname "$out")"
QT_QPA_PLATFORM=xcb QSI_SCREENSHOT=$out xvfb-run -a -s "-screen 0 1280x800x24" \
  "${QSI_BUILD_DIR:-$here/build}/tests/qt/test_qt" retrieveReportAndStartThroughTheButtons >/dev/null
echo "Wrote $out"
