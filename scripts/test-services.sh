#!/usr/bin/env bash
# The services the tests need: a private PostgreSQL 15 server in DIR, reached
# only through a unix socket in DIR (no TCP), with the logins of the suite's
# server: "sa" (and "SA": the suite's server takes login names without regard
# to case, PostgreSQL does not) with a password, and "TarnwickMetabase" with an
# empty one. The database "QOMetabase" holds the Metabase tables and is a
# template: each test clones a database of its own from it.
#
# Usage: test-services.sh start DIR   prints KEY=VALUE lines for the tests
#        test-services.sh stop DIR
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
command=${1:?usage: test-services.sh start|stop DIR}
dir=$(realpath -m "${2:?usage: test-services.sh start|stop DIR}")
bin=/usr/lib/postgresql/15/bin
pgdata=$dir/pgdata
socket=$dir/socket
port=5439

# The server refuses to run as root: as root it runs as the postgres user.
if [ "$(id -u)" -eq 0 ]; then
  owner=postgres
  as_owner() { runuser -u postgres -- "$@"; }
else
  owner=$(id -un)
  as_owner() { "$@"; }
fi

stop_server() {
  if [ -f "$pgdata/postmaster.pid" ]; then
    as_owner "$bin/pg_ctl" -D "$pgdata" -m immediate -w stop >/dev/null 2>&1 || true
  fi
}

case "$command" in
  start)
    stop_server
    rm -rf "$dir"
    mkdir -p "$pgdata" "$socket"
    chmod 755 "$dir" "$socket"
    [ "$owner" = postgres ] && chown -R postgres: "$dir"

    as_owner "$bin/initdb" -D "$pgdata" -U "$owner" -E UTF8 --locale=C.UTF-8 \
      --no-sync --auth-local=peer --auth-host=reject >"$dir/initdb.log" 2>&1 ||
      { cat "$dir/initdb.log" >&2; exit 1; }
    cat > "$pgdata/pg_hba.conf" <<HBA
local all $owner peer
local all TarnwickMetabase trust
local all all scram-sha-256
HBA
    cat >> "$pgdata/postgresql.conf" <<CONF
listen_addresses = ''
port = $port
unix_socket_directories = '$socket'
fsync = off
synchronous_commit = off
full_page_writes = off
max_connections = 60
CONF
    as_owner "$bin/pg_ctl" -D "$pgdata" -l "$dir/server.log" -w -t 30 start >/dev/null ||
      { cat "$dir/server.log" >&2; exit 1; }

    password=sa-$(od -An -N8 -tx1 /dev/urandom | tr -d ' \n')
    psql=("$bin/psql" -X -q -v ON_ERROR_STOP=1 -h "$socket" -p "$port" -U "$owner")
    # The password goes through standard input, never through a process's arguments.
    as_owner "${psql[@]}" -d postgres <<SQL
CREATE ROLE sa LOGIN SUPERUSER PASSWORD '$password';
CREATE ROLE "SA" LOGIN SUPERUSER PASSWORD '$password';
CREATE ROLE "TarnwickMetabase" LOGIN;
CREATE DATABASE "QOMetabase";
SQL
    as_owner "${psql[@]}" -d QOMetabase < "$here/share/metabase-schema.sql"
    as_owner "${psql[@]}" -d QOMetabase <<SQL
GRANT ALL ON ALL TABLES IN SCHEMA public TO sa, "SA", "TarnwickMetabase";
ALTER DATABASE "QOMetabase" IS_TEMPLATE true;
SQL
    echo "QSI_PG_SOCKET_DIR=$socket"
    echo "QSI_PG_PORT=$port"
    echo "QSI_PG_SA_PASSWORD=$password"
    echo "QSI_PG_TEMPLATE=QOMetabase"
    ;;
  stop)
    stop_server
    rm -rf "$dir"
    ;;
  *)
    echo "usage: test-services.sh start|stop DIR" >&2
    exit 2
    ;;
esac
