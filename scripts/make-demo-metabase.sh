#!/usr/bin/env bash
# The demo site's databases as ODBC data sources: DIR/odbc holds odbcinst.ini
# and odbc.ini (point ODBCSYSINI and ODBCINI at them) with SQLite files for
# the Metabase "QOMetabase" and for the database "QAlder" that the sample
# package's scripts name. The Metabase records the earlier release as
# installed on DEMOWEB01 (SQL Server DEMOSQL01), as the demo registry says.
# The SQLite driver takes any user and password.
# Usage: make-demo-metabase.sh DIR
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
dir=$(realpath -m "${1:?usage: make-demo-metabase.sh DIR}")
odbc=$dir/odbc
driver=/usr/lib/x86_64-linux-gnu/odbc/libsqlite3odbc.so

rm -rf "$odbc"
mkdir -p "$odbc"
cat > "$odbc/odbcinst.ini" <<INI
[SQLite3]
Description=SQLite 3 ODBC driver
Driver=$driver
INI
cat > "$odbc/odbc.ini" <<INI
[QOMetabase]
Driver=SQLite3
Database=$odbc/QOMetabase.sqlite
Timeout=5000

[QAlder]
Driver=SQLite3
Database=$odbc/QAlder.sqlite
Timeout=5000
INI

# The checksum the Metabase recorded when release 2.1.0.0 installed its page;
# the package author's tool computes it as the installer does (the built one,
# or the one $QSI_QSOLUTION names, such as an installed /usr/bin/qsolution).
installed='2026-01-15 09:00:00'
page_checksum=0
qsolution=${QSI_QSOLUTION:-${QSI_BUILD_DIR:-$here/build}/tools/qsolution}
if [ -x "$qsolution" ]; then
  page=$(mktemp)
  printf '<%%@ Language=VBScript %%>\r\n<html><body><h1>Q-Alder 2.1.0.0</h1></body></html>\r\n' > "$page"
  page_checksum=$("$qsolution" checksum "$page" | cut -d' ' -f1)
  rm -f "$page"
fi

{
  cat "$here/share/metabase-schema.sql"
  for section in WebServer DbServer; do
    echo "INSERT INTO SERVER VALUES ('DEMOWEB01','$section','$installed','2.1.0.0 ');"
    for module in Q-Alder Q-Common; do
      echo "INSERT INTO MODULE VALUES ('DEMOWEB01','$section','$module','$installed','2.1.0');"
    done
  done
  echo "INSERT INTO OBJECT VALUES ('DEMOWEB01','WebServer','Q-Alder','QO11\\Q-Alder\\default.asp','2.1.0.0','$page_checksum','$installed','0','0','0');"
  echo "INSERT INTO OBJECT VALUES ('DEMOWEB01','WebServer','Q-Alder','Components\\QAlder\\Bramble.dll','2.1.0.0','0','$installed','0','0','0');"
  echo "INSERT INTO INSTALLATIONHISTORY VALUES ('DEMOWEB01','WebServer','Q-Alder - ServicePack 0','$installed','0');"
  echo "INSERT INTO INSTALLATIONHISTORY VALUES ('DEMOSQL01','DbServer','Q-Alder - ServicePack 0','$installed','0');"
} | sqlite3 "$odbc/QOMetabase.sqlite"

sqlite3 "$odbc/QAlder.sqlite" <<'SQL'
CREATE TABLE SETTINGS (NAME VARCHAR(64) PRIMARY KEY, VALUE VARCHAR(255));
INSERT INTO SETTINGS VALUES ('SchemaVersion', '2.1.0.0');
SQL
