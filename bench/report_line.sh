#!/usr/bin/env bash
# Times `vorn-report line` over lines of UNITS units (default 10 000, 100 000
# and 1 000 000), in a SQLite file and in a database of a PostgreSQL server
# of its own: one real station run, spread into each line by vorn_fill_units
# (a unit every 40 s, every 20th unit marginal and retested), then the report
# made three times. The server's line is the file's rows, copied table by
# table (COPY takes millions of rows a minute; rows one statement an attempt
# would take an hour for a million units). Prints each line's bytes per
# attempt, and the report's wall and CPU time and resident memory. The
# filled lines are kept in build/bench-reports/ and reused; the server is
# stopped at the end.
#   bench/report_line.sh [UNITS...]
set -euo pipefail
cd "$(dirname "$0")/.."
sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(10000 100000 1000000)
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j2 --target vorn-host vorn-report vorn-results vorn_fill_units >/dev/null
work=$PWD/build/bench-reports
mkdir -p "$work"
if [ ! -f "$work/template.sqlite" ]; then
  build/bin/vorn-host --fast --quiet --db "$work/template.sqlite.part" \
    --params examples/station.ini examples/typical.plan >/dev/null || true
  mv "$work/template.sqlite.part" "$work/template.sqlite"
fi

pg=$work/pg
script=$PWD/scripts/pg-test-server.sh
if [ -f "$pg/data/PG_VERSION" ]; then bash "$script" restart "$pg"; else bash "$script" start "$pg"; fi
trap 'bash "$script" stop "$pg"' EXIT
server=$(bash "$script" url "$pg")
psql_() { psql "$server" -qAtX "$@"; }

# The file's rows into the server's tables, which vorn-results makes. The
# rows are the file's, already whole: their references are not checked again
# row by row, and the indexes that are no key are built once after them.
copy_to_server() {
  build/bin/vorn-results --db "$2" summary >/dev/null
  local table columns indexes name definition
  indexes=$(psql "$2" -qAtX -c "SELECT indexname || ';' || indexdef FROM pg_indexes WHERE schemaname = 'public'
    AND indexname NOT IN (SELECT conname FROM pg_constraint)")
  while IFS=';' read -r name _; do
    [ -z "$name" ] || psql "$2" -qAtX -c "DROP INDEX $name"
  done <<<"$indexes"
  for table in station session plan_step measurement unit run_step run_result rollup_scope station_hour \
               day_measurement day_step day_slowest; do
    columns=$(sqlite3 "$1" "SELECT group_concat(name, ', ') FROM pragma_table_info('$table')")
    sqlite3 -csv -cmd '.nullvalue <null>' "$1" "SELECT $columns FROM $table" |
      psql "$2" -qAtX -c "SET session_replication_role = replica" \
        -c "\\copy $table ($columns) FROM STDIN WITH (FORMAT csv, NULL '<null>')"
  done
  while IFS=';' read -r name definition; do
    [ -z "$name" ] || psql "$2" -qAtX -c "$definition"
  done <<<"$indexes"
  for table in station session unit plan_step measurement rollup_scope; do
    psql "$2" -qAtX -c "SELECT setval(pg_get_serial_sequence('$table', 'id'), (SELECT max(id) FROM $table))" \
      >/dev/null 2>&1 || true
  done
  psql "$2" -qAtX -c 'VACUUM ANALYZE'
}

report() {  # report DB: three runs, wall seconds and resident kB
  for run in 1 2 3; do
    /usr/bin/time -f "  run $run: %e s wall, %U + %S s CPU, %M kB resident" \
      build/bin/vorn-report line --db "$1" -o "$work/line.html" >/dev/null
  done
}

for units in "${sizes[@]}"; do
  db=$work/line-$units.sqlite
  if [ ! -f "$db" ]; then
    rm -f "$db.part"*
    echo "filling $db"
    /usr/bin/time -f "  filled in %e s" build/bin/vorn_fill_units "$work/template.sqlite" "$units" 20 "$db.part" >/dev/null
    sqlite3 "$db.part" 'PRAGMA wal_checkpoint(TRUNCATE)' >/dev/null
    mv "$db.part" "$db"
  fi
  attempts=$(sqlite3 "$db" 'SELECT count(*) FROM unit')
  bytes=$(sqlite3 "$db" 'SELECT (page_count - freelist_count) * page_size FROM pragma_page_count, pragma_freelist_count, pragma_page_size')
  echo "SQLite, $units units: $attempts attempts, $((bytes / attempts)) bytes an attempt"
  report "$db"

  name=line_$units
  target=${server/\/postgres\?/\/$name?}
  if [ "$(psql_ -c "SELECT count(*) FROM pg_database WHERE datname = '$name'")" = 0 ]; then
    echo "copying $db to $name"
    # Under its own name until whole: a copy cut short is made again.
    psql_ -c "DROP DATABASE IF EXISTS ${name}_part" -c "CREATE DATABASE ${name}_part"
    start=$(date +%s)
    copy_to_server "$db" "${server/\/postgres\?/\/${name}_part?}"
    psql_ -c "ALTER DATABASE ${name}_part RENAME TO $name"
    echo "  copied in $(( $(date +%s) - start )) s"
  fi
  attempts=$(psql "$target" -qAtX -c 'SELECT count(*) FROM unit')
  bytes=$(psql "$target" -qAtX -c "SELECT sum(pg_total_relation_size(c.oid)) FROM pg_class c JOIN pg_namespace n ON n.oid = c.relnamespace WHERE n.nspname = 'public' AND c.relkind = 'r'")
  echo "PostgreSQL, $units units: $attempts attempts, $((bytes / attempts)) bytes an attempt"
  report "$target"
done
