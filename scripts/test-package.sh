#!/usr/bin/env bash
# The packages tried as a user meets them (run by scripts/test.sh):
# - lintian on the Debian packages: no error and no warning left unexplained;
# - a clean Debian 12 root, made by mmdebstrap from Debian's packages: apt
#   installs qsolution-installer there, its dependencies coming from its
#   control file alone; --version, then the demo installation through the
#   console; then qsolution-installer-gui and its window; both are purged and
#   no file of theirs may be left;
# - the Windows zip unpacked, and the sample installation run from the
#   unpacked folder under Wine.
# The root's base is cached in $QSI_ROOT_CACHE (default
# /var/cache/qsolutioninstaller-tests) with apt's downloads, so that a second
# run downloads nothing new; remove the folder to start afresh.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cache=${QSI_ROOT_CACHE:-/var/cache/qsolutioninstaller-tests}
suite=bookworm
wine=${QSI_WINE:-/usr/lib/wine/wine64}
wineserver=${QSI_WINESERVER:-/usr/lib/wine/wineserver}
# A whole run of the demo through the console: retrieve, the password, the
# three boxes, start, the closing box.
answers='1\nsecret\n\n\n\n2\n\n'

fail() {
  echo "test-package.sh: $*" >&2
  exit 1
}

# As root, in a mount namespace of its own, holding the cache's lock: the
# steps in the clean root. Mounts go away with the namespace, however the
# steps end.
if [ "${1:-}" = "--in-root" ]; then
  version=$2 scratch=$3 src=$4
  root=$scratch/root packages=$scratch/root/packages work=$scratch/work
  in_root() { chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root "$@"; }
  # apt's talk goes to a log, shown when it fails.
  apt_get() {
    in_root env DEBIAN_FRONTEND=noninteractive apt-get -qq -y "$@" >> "$work/apt.log" 2>&1 ||
      { cat "$work/apt.log"; fail "apt-get $* failed"; }
  }

  # The root's base: minbase with apt, made once and kept. The mirror may be
  # a snapshot, whose Release files are past the date they name.
  base=$cache/$suite-minbase.tar
  if [ ! -f "$base" ]; then
    echo "== mmdebstrap: a minimal $suite root, kept in $cache"
    rm -f "$base.part"
    mmdebstrap --quiet --variant=minbase --mode=root --format=tar \
      --aptopt='Acquire::Check-Valid-Until "false"' "$suite" "$base.part" \
      "deb http://deb.debian.org/debian $suite main" \
      "deb http://deb.debian.org/debian $suite-updates main" \
      "deb http://deb.debian.org/debian-security $suite-security main"
    mv "$base.part" "$base"
  fi
  mkdir -p "$root" "$work" "$cache/archives/partial" "$cache/lists/partial"
  tar -C "$root" -xf "$base"
  mkdir -p "$packages" "$root/src/scripts"
  cp "$src"/*.deb "$packages/"
  chmod 0755 "$packages"
  chmod 0644 "$packages"/*.deb
  cp -r "$here/share" "$root/src/"
  cp "$here/scripts/make-demo-site.sh" "$here/scripts/make-demo-metabase.sh" "$root/src/scripts/"
  mount -t proc proc "$root/proc"
  mount -t devpts -o newinstance devpts "$root/dev/pts"
  # No service starts in the root: the packages' helpers ask this first.
  printf '#!/bin/sh\nexit 101\n' > "$root/usr/sbin/policy-rc.d"
  chmod 0755 "$root/usr/sbin/policy-rc.d"
  mount --bind "$cache/archives" "$root/var/cache/apt/archives"
  mount --bind "$cache/lists" "$root/var/lib/apt/lists"
  cp /etc/resolv.conf "$root/etc/resolv.conf"
  apt_get update

  # What the packages bring that the root did not have: all of it must go
  # again with the purge.
  : > "$work/brought"
  for deb in "$packages"/*.deb; do
    dpkg-deb --fsys-tarfile "$deb" | tar -t | sed 's#^\./#/#; s#/$##' | while read -r path; do
      [ -z "$path" ] || [ -e "$root$path" ] || echo "$path" >> "$work/brought"
    done
  done

  console=$(ls "$packages"/qsolution-installer_*.deb)
  gui=$(ls "$packages"/qsolution-installer-gui_*.deb)
  echo "== apt installs ${console##*/} into the clean root"
  apt_get install --no-install-recommends "/packages/${console##*/}"
  in_root dpkg -L qsolution-installer
  graphical=$(in_root dpkg-query -W -f '${Package}\n' | grep -E '^lib(qt6|x11|xcb|gl|egl|wayland)' || true)
  [ -z "$graphical" ] || fail "the console package brought graphical libraries: $graphical"
  for program in qsolutioninstaller qsolution; do
    shown=$(in_root "$program" --version)
    echo "$shown"
    [ "$shown" = "$program $version" ] || fail "$program --version: '$shown'"
  done

  echo "== The demo installation in the clean root, through the console"
  # The demo's own tools: its Metabase is a SQLite file behind the ODBC driver.
  apt_get install --no-install-recommends sqlite3 libsqliteodbc
  make_site() {
    in_root env QSI_QSOLUTION=/usr/bin/qsolution bash /src/scripts/make-demo-site.sh /demo \
      /usr/bin/qsolutioninstaller >/dev/null
  }
  make_site
  demo_env=(QSI_REGISTRY=/demo/registry.reg WINDIR=/demo/windows ODBCSYSINI=/demo/odbc
    ODBCINI=/demo/odbc/odbc.ini PATH=/demo/bin:/usr/bin:/bin)
  status=0
  printf "$answers" | in_root env "${demo_env[@]}" QSI_FRONTEND=console \
    /demo/installer/qsolutioninstaller > "$work/demo.out" 2> "$work/demo.err" || status=$?
  grep -A6 'The setup program has finished' "$work/demo.out" || true
  echo "Exit status of the demo installation in the root: $status"
  [ "$status" -eq 0 ] || { cat "$work/demo.out" "$work/demo.err"; fail "the demo installation ended with $status"; }
  cmp "$root/src/share/sample-package/Solution/Web/Q-Alder/default.asp" \
    "$root/demo/inst/QO11/Q-Alder/default.asp" || fail "the package's page was not installed"
  ls "$root"/demo/inst/QOCustomized/*/QO11/Q-Alder/default.asp >/dev/null ||
    fail "the customized page was not saved"

  echo "== ${gui##*/}: the window, loaded by the installed program"
  apt_get install --no-install-recommends "/packages/${gui##*/}"
  make_site
  status=0
  in_root env "${demo_env[@]}" QSI_FRONTEND=qt QT_QPA_PLATFORM=offscreen \
    timeout --preserve-status -k 10 5 /demo/installer/qsolutioninstaller </dev/null \
    > "$work/window.out" 2> "$work/window.err" || status=$?
  # The window reads the package (its log tells), waits, and ends at SIGTERM
  # with status 2; the console would have shown its menu on standard output.
  if [ "$status" -ne 2 ] || [ -s "$work/window.out" ] || grep -q 'cannot be loaded' "$work/window.err" ||
    ! ls "$root"/demo/inst/QOLog/*/'Gathering Solution Information.txt' >/dev/null 2>&1; then
    cat "$work/window.out" "$work/window.err"
    fail "the window did not come up (status $status)"
  fi
  echo "The window came up and ended at SIGTERM with status $status."

  echo "== Purge"
  apt_get purge qsolution-installer-gui qsolution-installer
  left=$(while read -r path; do [ ! -e "$root$path" ] && [ ! -L "$root$path" ] || echo "$path"; done < "$work/brought")
  [ -z "$left" ] || fail "the purge left: $left"
  echo "The purge left none of the $(wc -l < "$work/brought") files and folders the packages brought."
  apt_get autoclean  # the kept downloads: only what the archive still has
  exit 0
fi

start=$SECONDS
as_root=()
if [ "$(id -u)" -ne 0 ]; then as_root=(sudo); fi
scratch=$(mktemp -d "${TMPDIR:-/tmp}/qsi-package.XXXXXX")
trap '"$wineserver" -k 2>/dev/null || true; "$wineserver" -w 2>/dev/null || true; "${as_root[@]}" rm -rf "$scratch"' EXIT
made=$("$here/scripts/package.sh")
mapfile -t made <<< "$made"
console=${made[0]} gui=${made[1]} zip=${made[2]}
version=$(dpkg-deb -f "$console" Version)
head -n 3 "$here/README.md" | grep -qiF "version $version" ||
  fail "README.md does not give version $version in its first lines"

echo "== lintian"
status=0
lintian --fail-on error,warning --display-info --show-overrides "$console" "$gui" \
  > "$scratch/lintian.txt" 2>&1 || status=$?
grep -v 'running with root privileges' "$scratch/lintian.txt" || true
[ "$status" -eq 0 ] || fail "lintian found errors or warnings"

mkdir -p "$scratch/debs"
cp "$console" "$gui" "$scratch/debs/"

# Runs take turns with the cache, so that none sees another's half-made root
# or apt's locks on the downloads.
"${as_root[@]}" mkdir -p "$cache"
"${as_root[@]}" env QSI_ROOT_CACHE="$cache" flock -w 1800 "$cache/lock" \
  unshare --mount --propagation private "$0" --in-root "$version" "$scratch" "$scratch/debs"
echo "== The packages and the clean root took $((SECONDS - start)) s"

echo "== The Windows zip under Wine: ${zip##*/}"
unzip -q "$zip" -d "$scratch/zip"
folder=$scratch/zip/qsolutioninstaller-$version-win64
for file in qsolutioninstaller.exe qsolution.exe README.md LICENSE; do
  [ -f "$folder/$file" ] || fail "the zip holds no $file"
done
# The demo site with the Windows program: its registry names Windows paths
# (drive Z: is this machine's root), its data sources are this machine's,
# reached through Wine's ODBC bridge.
site=$scratch/site
"$here/scripts/make-demo-site.sh" "$site" "$folder/qsolutioninstaller.exe" >/dev/null
cp -r "$site/installer/Solution" "$folder/Solution"
inst=$site/inst
windows_inst="Z:${inst//\//\\\\}"
registry=$(< "$site/registry.reg")
registry=${registry//"$inst/bin"/"$windows_inst\\\\bin"}
printf '%s\n' "${registry//"$inst"/"$windows_inst"}" > "$scratch/windows.reg"
export WINEPREFIX=$scratch/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export ODBCSYSINI=$site/odbc ODBCINI=$site/odbc/odbc.ini
mkdir -p "$WINEPREFIX"
"$wineserver" -p >/dev/null 2>&1
"$wine" wineboot --init >/dev/null 2>&1
"$wine" regedit /S "$scratch/windows.reg" >/dev/null 2>&1
status=0
(cd "$folder" && printf "$answers" | QSI_FRONTEND=console "$wine" "$folder/qsolutioninstaller.exe") \
  > "$scratch/wine.out" 2> "$scratch/wine.err" || status=$?
tr -d '\r' < "$scratch/wine.out" | grep -A6 'The setup program has finished' || true
echo "Exit status of the sample installation under Wine: $status"
[ "$status" -eq 0 ] || { cat "$scratch/wine.out" "$scratch/wine.err"; fail "the installation under Wine ended with $status"; }
cmp "$folder/Solution/Web/Q-Alder/default.asp" "$inst/QO11/Q-Alder/default.asp" ||
  fail "the package's page was not installed under Wine"
ls "$inst"/QOCustomized/*/QO11/Q-Alder/default.asp >/dev/null ||
  fail "the customized page was not saved under Wine"

echo "== The packages passed in $((SECONDS - start)) s"
