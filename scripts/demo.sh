#!/usr/bin/env bash
# The demo command: installs what is needed, builds, makes a demo site in
# demo/ and runs the installer on it. The console front-end is used unless a
# display is there (QSI_FRONTEND=console|qt chooses). When standard input is
# no terminal (CI, a pipe) the demo site is installed unattended, and the
# outcome and a summary of the run's result are printed.
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
if [ -t 0 ]; then
  "$demo/installer/qsolutioninstaller" || status=$?
  echo "Installer ended with status $status. Logs: $demo/inst/QOLog/"
  exit $status
fi
# The demo's data sources take any password; it goes in a private file.
(umask 077 && printf 'demo\n' > "$demo/sa-password")
"$demo/installer/qsolutioninstaller" --unattended --password-file "$demo/sa-password" \
  --result "$demo/result.json" </dev/null || status=$?
python3 - "$demo/result.json" <<'PY'
import json, sys
r = json.load(open(sys.argv[1]))
c = r["counts"]
print("Outcome: %s (exit status %d)" % (r["outcome"], r["exit_status"]))
if r["package"]:
    print("Package: %s %s (%s)" % (r["package"]["product"], r["package"]["version"], r["package"]["type"]))
print("Files: %d installed, %d failed, %d not installed" % (c["files_installed"], c["files_failed"], c["files_not_installed"]))
print("Components: %d registered, %d failed" % (c["components_registered"], c["components_failed"]))
print("Scripts: %d ran, %d failed, %d not run" % (c["scripts_ran"], c["scripts_failed"], c["scripts_not_run"]))
for e in r["errors"]:
    print("Error %s (%s): %s" % (e["number"], e["step"] or e["source"], e["description"]))
if r["logs"]:
    print("Logs: %s" % r["logs"]["folder"])
if r["undo"]:
    print("Undo: %s" % " ".join("'%s'" % a if " " in a else a for a in r["undo"]["command"]))
PY
echo "Result: $demo/result.json"
exit $status
