#!/usr/bin/env bash
# A PostgreSQL server of the tests' own, in FOLDER: a fresh cluster on a Unix
# socket in FOLDER (no TCP port), trust authentication, user postgres. With
# VORN_PG_TCP=1 at start it also listens on a free loopback port, kept in
# FOLDER/port, for a client that reaches no Unix socket (libpq built for
# Windows, under Wine); url then gives the TCP address.
#   pg-test-server.sh start FOLDER            initdb (anew) and start
#   pg-test-server.sh restart FOLDER          start the cluster that is there
#   pg-test-server.sh stop FOLDER             stop it, if it runs
#   pg-test-server.sh stop-immediate FOLDER   stop it as a crash would
#   pg-test-server.sh freeze FOLDER           stop its processes (SIGSTOP): a
#                                             server that stalls, its sockets open
#   pg-test-server.sh thaw FOLDER             let them go on (SIGCONT)
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

# The server's processes: the postmaster (from its pid file) and its children.
server_pids() {
  local main
  main=$(head -1 "$folder/data/postmaster.pid" 2>/dev/null) || return 0
  [ -n "$main" ] || return 0
  echo "$main"
  ps -o pid= --ppid "$main" || true
}

running() { [ -f "$folder/data/postmaster.pid" ] && as_server "$bin/pg_ctl" -D "$folder/data" status >/dev/null 2>&1; }

launch() {
  local listen="-c listen_addresses=''"
  [ ! -f "$folder/port" ] || listen="-c listen_addresses='127.0.0.1' -c port=$(cat "$folder/port")"
  as_server "$bin/pg_ctl" -D "$folder/data" -l "$folder/server.log" -w -t 60 \
    -o "$listen -c unix_socket_directories='$folder' -c fsync=${VORN_PG_FSYNC:-off} -c max_connections=50" \
    start >/dev/null
}

# A loopback port nothing answers on now.
free_port() {
  local port tries
  for tries in 1 2 3 4 5 6 7 8 9 10; do
    port=$((20000 + RANDOM % 20000))
    if ! (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
      echo "$port"
      return 0
    fi
  done
  echo "pg-test-server: found no free loopback port" >&2
  return 1
}

case $command in
  start)
    if running; then as_server "$bin/pg_ctl" -D "$folder/data" -m immediate stop >/dev/null; fi
    rm -rf "$folder"
    mkdir -p "$folder"
    [ "$(id -u)" != 0 ] || chown postgres: "$folder"
    as_server "$bin/initdb" -D "$folder/data" -A trust -U postgres -E UTF8 --no-sync >"$folder/initdb.log"
    if [ "${VORN_PG_TCP:-0}" = 1 ]; then
      # Another server may take the port between the look and the start.
      for tries in 1 2 3; do
        free_port > "$folder/port"
        if launch; then break; fi
        [ "$tries" -lt 3 ] || exit 1
      done
    else
      launch
    fi
    ;;
  restart) launch ;;
  stop)
    if running; then as_server "$bin/pg_ctl" -D "$folder/data" -m fast -w stop >/dev/null; fi
    ;;
  stop-immediate) as_server "$bin/pg_ctl" -D "$folder/data" -m immediate -w stop >/dev/null ;;
  freeze)
    # The postmaster first, so that it starts no child that is not stopped.
    for pid in $(server_pids); do kill -STOP "$pid"; done
    ;;
  thaw)
    for pid in $(server_pids); do kill -CONT "$pid" 2>/dev/null || true; done
    ;;
  url)
    if [ -f "$folder/port" ]; then
      echo "postgresql://postgres@127.0.0.1:$(cat "$folder/port")/postgres"
    else
      echo "postgresql:///postgres?host=$folder&user=postgres"
    fi
    ;;
  *)
    echo "pg-test-server: unknown command $command" >&2
    exit 2
    ;;
esac
