#!/usr/bin/env bash
# Makes a demo site in DIR (default: demo/): the suite's registry file, its
# installation folder with an earlier release installed (one page customized
# since), and the installer with the sample package beside it.
# Usage: make-demo-site.sh [DIR] [INSTALLER_EXE]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
dir=$(realpath -m "${1:-$here/demo}")
exe=${2:-$here/build/src/qsolutioninstaller}

rm -rf "$dir"
mkdir -p "$dir/installer/bin" "$dir/inst/QO11/Q-Alder" "$dir/inst/Components/QAlder" "$dir/windows/java"
cp "$exe" "$dir/installer/qsolutioninstaller"
cp -r "$here/share/sample-package/Solution" "$dir/installer/Solution"

# The earlier release, as installed; default.asp was changed on the server
# since (the Metabase keeps the checksum of the page as it was installed).
printf '<%%@ Language=VBScript %%>\r\n<html><body><h1>Q-Alder 2.1.0.0 - our own banner</h1></body></html>\r\n' \
  > "$dir/inst/QO11/Q-Alder/default.asp"
printf 'MZ sample Bramble component 2.1.0.0' > "$dir/inst/Components/QAlder/Bramble.dll"

# Stand-ins for the service commands: they say what they would do.
mkdir -p "$dir/bin"
for cmd in net mtxstop; do
  printf '#!/bin/sh\necho "%s $*" >> "%s/services.log"\n' "$cmd" "$dir" > "$dir/bin/$cmd"
done
printf '#!/bin/sh\necho "stop.exe $*" >> "%s/services.log"\n' "$dir" > "$dir/installer/bin/stop.exe"
chmod +x "$dir/bin/net" "$dir/bin/mtxstop" "$dir/installer/bin/stop.exe"

inst=$dir/inst
cat > "$dir/registry.reg" <<REG
Windows Registry Editor Version 5.00

[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Corvane Q-Orchard]
"InstallDir"="$inst/bin"
"InstMainDir"="$inst"
"IISVirtId"="1"
"MemScriptCode"="QODEMO"

[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Corvane Q-Orchard\\ConfigTypes\\WebServerConfig]
"Hostname"="DEMOWEB01"

[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Corvane Q-Orchard\\ConfigTypes\\WebServerConfig\\SQL Server]
"Server"="DEMOSQL01"

[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Corvane Q-Orchard\\ConfigTypes\\WebServerConfig\\Modules\\Q-Alder]
"Installed"="1"
"AppVersion"="2.1.0.0"

[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Corvane Q-Orchard\\ConfigTypes\\WebServerConfig\\Modules\\Q-Common]
"Installed"="1"
"AppVersion"="2.1.0.0"

[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Corvane Q-Orchard\\ConfigTypes\\DbServerConfig\\Modules\\Q-Alder]
"AppVersion"="2.1.0"

[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Corvane Q-Orchard\\ConfigTypes\\DbServerConfig\\Modules\\Q-Common]
"AppVersion"="2.1.0"
REG
sed -i 's/$/\r/' "$dir/registry.reg"

# The Metabase and the suite's databases as ODBC data sources of the demo.
if [ -x "$here/scripts/make-demo-metabase.sh" ]; then
  "$here/scripts/make-demo-metabase.sh" "$dir"
fi
echo "Demo site made in $dir"
