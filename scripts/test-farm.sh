#!/usr/bin/env bash
# The farm test: ansible-playbook rolls the sample package over a farm on
# this machine with the built installer (tests/farm/farm.py says what is
# checked). Starts an SSH server for the host reached over SSH and removes
# everything afterwards (QSI_KEEP_FARM=1 keeps the farm's folder). The shared
# databases are on the test PostgreSQL server when QSI_PG_* name it
# (scripts/test-services.sh), SQLite files otherwise.
# Usage: test-farm.sh [--setup-only]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${QSI_BUILD_DIR:-$here/build}
for program in "$build/src/qsolutioninstaller" "$build/tools/qsolution"; do
  [ -x "$program" ] || { echo "test-farm.sh: $program is missing: run scripts/build.sh" >&2; exit 1; }
done
work=$(mktemp -d /tmp/qsi-farm.XXXXXX)
cleanup() {
  "$here/scripts/test-sshd.sh" stop "$work/ssh" >/dev/null 2>&1 || true
  if [ -n "${QSI_KEEP_FARM:-}" ]; then echo "Farm kept in $work"; else rm -rf "$work"; fi
}
trap cleanup EXIT
export ANSIBLE_HOME=$work/ansible-home

# The SSH server, and so the sessions it starts, never see the test
# database's password: the test looks for it in every process.
ssh_settings=$(env -u QSI_PG_SA_PASSWORD "$here/scripts/test-sshd.sh" start "$work/ssh")
while IFS= read -r setting; do export "${setting?}"; done <<< "$ssh_settings"
echo "SSH server on $QSI_SSH_HOST:$QSI_SSH_PORT"

QSI_BUILD_DIR=$build /usr/bin/python3 "$here/tests/farm/farm.py" "$work/farm" "$@"
