#!/usr/bin/env bash
# The demo command: installs what is needed, builds, makes a demo site in
# demo/ and runs the installer on it. The console front-end is used unless a
# display is there (QSI_FRONTEND=console|qt chooses).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
"$here/scripts/install-deps.sh"
"$here/scripts/build.sh"
"$here/scripts/make-demo-site.sh" "$here/demo"
demo=$here/demo
export QSI_REGISTRY=$demo/registry.reg
export WINDIR=$demo/windows
export ODBCSYSINI=$demo/odbc ODBCINI=$demo/odbc/odbc.ini
export PATH=$demo/bin:$PATH  # stand-ins for net and mtxstop
status=0
"$demo/installer/qsolutioninstaller" || status=$?
echo "Installer ended with status $status. Logs: $demo/inst/QOLog/"
exit $status
