#!/usr/bin/env bash
# Installs every Debian package that building, running and testing need.
# Idempotent and non-interactive; works as root or through sudo.
set -euo pipefail

packages=(
  cmake ninja-build g++ ccache pkg-config
  libgtest-dev libgmock-dev googletest
  qt6-base-dev
  unixodbc unixodbc-dev libsqliteodbc odbc-postgresql sqlite3
  postgresql
  xvfb xauth
  g++-mingw-w64-x86-64-posix wine wine64 libodbc2
  clang-14 libclang-rt-14-dev clang-format clang-tidy
  dpkg-dev scdoc man-db lintian mmdebstrap unzip
  ansible ansible-core python3-pytest python3-jsonschema python3-venv
  python3-voluptuous python3-pycodestyle pylint yamllint
  openssh-server openssh-client rsync
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=()
if [ "$(id -u)" -ne 0 ]; then sudo=(sudo); fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
