#!/usr/bin/env bash
# A PostgreSQL server of the tests' own, in FOLDER: a fresh cluster on a Unix
# socket in FOLDER (no TCP port), trust authentication, user postgres.
#   pg-test-server.sh start FOLDER            initdb (anew) and start
#   pg-test-server.sh restart FOLDER          start the cluster that is there
#   pg-test-server.sh stop FOLDER             stop it, if it runs
#   pg-test-server.sh stop-immediate FOLDER   stop it as a crash would
#   pg-test-server.sh url FOLDER              its connection URI
# As root the server runs as the postgres user, as PostgreSQL insists.
set -euo pipefail
command=${1:?command}
folder=${2:?folder}

bin=/usr/lib/postgresql/15/bin
[ -x "$bin/pg_ctl" ] || bin=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -1)
if [ ! -x "$bin/pg_ctl" ]; then
  echo "pg-test-server: PostgreSQL is not installed (bash scripts/install-deps.sh installs it)" >&2
  exit 1
fi

as_server() {
  if [ "$(id -u)" = 0 ]; then
    id postgres >/dev/null 2>&1 || useradd --system --no-create-home postgres
    runuser -u postgres -- "$@"
  else
    "$@"
  fi
}

running() { [ -f "$folder/data/postmaster.pid" ] && as_server "$bin/pg_ctl" -D "$folder/data" status >/dev/null 2>&1; }

launch() {
  as_server "$bin/pg_ctl" -D "$folder/data" -l "$folder/server.log" -w -t 60 \
    -o "-c listen_addresses='' -c unix_socket_directories='$folder' -c fsync=${VORN_PG_FSYNC:-off} -c max_connections=50" \
    start >/dev/null
}

case $command in
  start)
    if running; then as_server "$bin/pg_ctl" -D "$folder/data" -m immediate stop >/dev/null; fi
    rm -rf "$folder"
    mkdir -p "$folder"
    [ "$(id -u)" != 0 ] || chown postgres: "$folder"
    as_server "$bin/initdb" -D "$folder/data" -A trust -U postgres -E UTF8 --no-sync >"$folder/initdb.log"
    launch
    ;;
  restart) launch ;;
  stop)
    if running; then as_server "$bin/pg_ctl" -D "$folder/data" -m fast -w stop >/dev/null; fi
    ;;
  stop-immediate) as_server "$bin/pg_ctl" -D "$folder/data" -m immediate -w stop >/dev/null ;;
  url) echo "postgresql:///postgres?host=$folder&user=postgres" ;;
  *)
    echo "pg-test-server: unknown command $command" >&2
    exit 2
    ;;
esac
