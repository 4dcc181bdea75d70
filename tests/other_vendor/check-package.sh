#!/usr/bin/env bash
# The station package under Wine, as a station gets it: unzipped into an
# empty folder beside the other-vendor DLLs, nothing else of the build there.
#   - a session of 20 units from a serials file, with the parameter file by
#     its bare name, records 20 attempts in results.sqlite; the line report
#     command it prints, pasted into cmd.exe, writes the page;
#   - vorn-results.exe exports the 20 rows, and the Linux vorn-results reads
#     the same file the same; vorn-results.exe reads a file the Linux host
#     wrote as the Linux tool does;
#   - a paced session sends to a PostgreSQL server of this script's own
#     (loopback TCP), stopped and started again while it runs: every unit
#     arrives once and nothing is left in the spool;
#   - two sockets, a worker process each, share a serials file;
#   - the golden unit's calibration rewrites the loss table, and the health
#     gate refuses a production session after a failed verification;
#   - sslmode=require, and an empty plan argument, are refused before
#     anything runs (no TLS in this build).
# Its station has no golden unit: the sessions start with --no-health-check.
# The pages in Chromium are tests/browser/station-package.test.js, on WORK.
#   check-package.sh ZIP OTHER-VENDOR-DIR LINUX-BIN-DIR WORK
set -euo pipefail
zip=$(realpath "$1") vendor=$(realpath "$2") linux=$(realpath "$3") work=$4
root="$(cd "$(dirname "$0")/../.." && pwd)"
wine_run="$root/scripts/wine-run.sh"
export VORN_WINE_TIMEOUT=${VORN_WINE_TIMEOUT:-180}
fail() { echo "station package: $*" >&2; exit 1; }
rows() { tr -d '\r' | tail -n +2 | grep -c . || true; }

rm -rf "$work"
mkdir -p "$work"
work=$(realpath "$work")
cd "$work"
unzip -q "$zip"
expected="AllData.dll STATION.txt Vorn_CMU200.dll examples/station.ini examples/typical.plan vorn-host.exe vorn-report.exe vorn-results.exe"
[ "$(find . -type f | sed 's|^\./||' | LC_ALL=C sort | xargs)" = "$expected" ] ||
  fail "the zip holds $(find . -type f | xargs), not $expected"
for dll in rscmu200_32.dll rscmuk2g_32.dll DWDIO.DLL VISA32.dll; do cp "$vendor/$dll" .; done
cp examples/station.ini "$root/tests/other_vendor/quick.plan" "$root/tests/other_vendor/paced.plan" .
for i in $(seq 1 20); do printf 'PK-%04d\n' "$i"; done > serials.txt
for i in $(seq 1 20); do printf 'PG-%04d\n' "$i"; done > server-serials.txt

# 20 units into results.sqlite; station.ini by its bare name, which the
# library must read from here, not from the Windows folder.
"$wine_run" vorn-host.exe --quiet --no-health-check --station "line 3" --serials serials.txt --params station.ini quick.plan \
  > session.txt 2> session.err || { cat session.txt session.err; fail "the session did not pass"; }
grep -q '^Session: 20 units: 20 PASS' session.txt || fail "the session's summary: $(grep Session: session.txt)"
command=$(sed -n 's/^Line report: //p' session.txt | tr -d '\r')
case "$command" in '.\vorn-report.exe line --db results.sqlite --station "line 3" --since '*) ;;
  *) fail "the session printed no line report command for cmd.exe: '$command'" ;; esac
printf '@%s\r\n' "$command" > line-report.bat
"$wine_run" cmd /c line-report.bat > report.txt 2>&1 || { cat report.txt; fail "the printed line report command failed"; }
[ -s line-report.html ] || fail "the line report command wrote no line-report.html"

"$wine_run" vorn-results.exe export --csv > windows.csv 2> export.err || { cat export.err; fail "vorn-results.exe export failed"; }
[ "$(rows < windows.csv)" = 20 ] || fail "vorn-results.exe export --csv gave $(rows < windows.csv) rows, not 20"
"$linux/vorn-results" export --csv > linux.csv || fail "the Linux vorn-results cannot read the station's file"
diff <(tr -d '\r' < windows.csv) linux.csv > /dev/null || fail "the Linux vorn-results reads the station's file otherwise"
[ "$(cut -d, -f4 linux.csv | tail -n +2 | LC_ALL=C sort | xargs)" = "$(xargs < serials.txt)" ] ||
  fail "the recorded serials are not the serials file's"

# The other way round: a file of the Linux host (simulated, on the virtual clock).
"$linux/vorn-host" --fast --quiet --units 20 --db from-linux.sqlite --params station.ini examples/typical.plan \
  > linux.txt 2>&1 || { cat linux.txt; fail "the Linux session did not pass"; }
"$linux/vorn-results" --db from-linux.sqlite export --csv > from-linux.csv
"$wine_run" vorn-results.exe --db from-linux.sqlite export --csv > from-linux-windows.csv ||
  fail "vorn-results.exe cannot read the Linux host's file"
diff <(tr -d '\r' < from-linux-windows.csv) from-linux.csv > /dev/null ||
  fail "vorn-results.exe reads the Linux host's file otherwise"
echo "station package: 20 units recorded, the line report written; the file read alike by both tools, both ways"

# The rollups: folded when the session ended. A station stopped before its
# fold leaves its attempts waiting (made here in a copy of the file: the
# rollups emptied, every attempt named): vorn-results.exe counts them from
# their rows alike, and the next session folds them with its own.
rolled() { sqlite3 "$1" 'SELECT (SELECT count(*) FROM rollup_pending), (SELECT sum(units) FROM station_hour)'; }
all_line() { "$wine_run" vorn-results.exe --db "$1" summary | tr -d '\r' | sed -n 's/^all: //p'; }
[ "$(rolled results.sqlite)" = "0|20" ] || fail "the session left its rollups unfolded: $(rolled results.sqlite)"
all=$(all_line results.sqlite)
case "$all" in "20 units: 20 PASS"*) ;; *) fail "vorn-results.exe summary: '$all'" ;; esac
sqlite3 results.sqlite '.backup stopped.sqlite'
sqlite3 stopped.sqlite 'DELETE FROM station_hour; DELETE FROM day_measurement; DELETE FROM day_step;
  DELETE FROM day_slowest; INSERT INTO rollup_pending SELECT id FROM unit'
[ "$(all_line stopped.sqlite)" = "$all" ] ||
  fail "the waiting attempts were counted otherwise: '$(all_line stopped.sqlite)', not '$all'"
echo PK-0021 > one-serial.txt
"$wine_run" vorn-host.exe --quiet --no-health-check --station "line 3" --db stopped.sqlite --serials one-serial.txt \
  --params station.ini quick.plan > one.txt 2>&1 || { cat one.txt; fail "the session after the stopped one did not pass"; }
[ "$(rolled stopped.sqlite)" = "0|21" ] ||
  fail "the waiting attempts were not folded with the next session's: $(rolled stopped.sqlite) (waiting|units)"
echo "station package: the rollups folded at the session's end, and a stopped station's waiting attempts counted and folded"

# Two sockets, each a worker vorn-host.exe with its own parameter file and
# its own copies of the DLLs: 8 units between them into one file, each once.
cp station.ini left.ini
cp station.ini right.ini
printf 'left left.ini\nright right.ini\n' > sockets.txt
for i in $(seq 1 8); do printf 'SK-%04d\n' "$i"; done > socket-serials.txt
"$wine_run" vorn-host.exe --quiet --no-health-check --station "line 3" --sockets sockets.txt --serials socket-serials.txt \
  --db sockets.sqlite quick.plan > sockets.txt.out 2> sockets.err ||
  { cat sockets.txt.out sockets.err; fail "the session of two sockets did not pass"; }
"$linux/vorn-results" --db sockets.sqlite export --csv > sockets.csv
[ "$(cut -d, -f4 sockets.csv | tail -n +2 | LC_ALL=C sort | xargs)" = "$(xargs < socket-serials.txt)" ] ||
  fail "the two sockets recorded $(rows < sockets.csv) attempts, not each of the 8 units once"
[ "$(sqlite3 sockets.sqlite 'SELECT DISTINCT socket FROM unit ORDER BY socket' | xargs)" = "left right" ] ||
  fail "the units were not shared by both sockets: $(sqlite3 sockets.sqlite 'SELECT serial, socket FROM unit')"
echo "station package: two sockets under Wine, 8 units between them, each once"

# The golden unit's calibration on this station, with a tolerance its
# readings (0.4 dB above the references) break: every [Attenuation] value is
# rewritten in place through Windows' file replacement, the old file kept
# beside it. This equipment's stand-in reads the same whatever the loss
# table, so the verification after it fails, and the health gate then
# refuses a production session before anything runs. Its records go to a
# file of their own: results.sqlite is the line's 20 units.
cp "$root/examples/calibration.plan" .
cp station.ini golden-station.ini
sed 's/^Tolerance=.*/Tolerance=0.2/' "$root/examples/golden-unit.ini" > golden-unit.ini
"$wine_run" vorn-host.exe --quiet --station golden --db golden.sqlite --calibrate golden-unit.ini \
  --params golden-station.ini calibration.plan > calibrate.txt 2> calibrate.err &&
  fail "the calibration's verification passed on readings it cannot move"
grep -q '^Verification FAIL' calibrate.txt || fail "the calibration ended otherwise: $(cat calibrate.txt calibrate.err)"
backups=(golden-station.ini.*.bak)
[ -f "${backups[0]}" ] && cmp -s "${backups[0]}" station.ini || fail "no backup of the parameter file beside it"
changed=$(diff <(tr -d '\r' < station.ini) <(tr -d '\r' < golden-station.ini) | grep -c '^>' || true)
others=$(diff <(tr -d '\r' < station.ini) <(tr -d '\r' < golden-station.ini) | grep '^>' | grep -vc '_CH=' || true)
[ "$changed" = 12 ] && [ "$others" = 0 ] ||
  fail "the calibration changed $changed lines, $others of them not a loss value: $(cat calibrate.txt calibrate.err)"
"$wine_run" vorn-host.exe --quiet --station golden --db golden.sqlite --serials serials.txt \
  --params golden-station.ini quick.plan \
  > gated.txt 2> gated.err && fail "a production session started after a failed verification"
grep -q 'the last verification of station golden failed' gated.err || fail "the health gate: $(cat gated.err)"
grep -q 'PK-0001' gated.txt && fail "the health gate refused after a unit ran"
echo "station package: the calibration rewrote the loss table in place with its backup; the gate held"

# No TLS here: refused before anything runs, and no spool made.
"$wine_run" vorn-host.exe --no-health-check --db 'postgresql://postgres@127.0.0.1:9/postgres?sslmode=require' --serials serials.txt \
  --params station.ini quick.plan > tls.txt 2> tls.err && fail "sslmode=require was not refused"
[ "$(grep -c 'sslmode=require (in the address).*built without TLS' tls.err)" = 1 ] || fail "sslmode=require: $(cat tls.err)"
[ ! -e results-spool.sqlite ] && ! grep -q 'PK-0001' tls.txt || fail "sslmode=require was refused after a start"
# An empty plan argument (a batch file's unset variable) is no plan.
status=0
"$wine_run" vorn-host.exe --no-health-check --params station.ini "" > empty.txt 2> empty.err || status=$?
[ "$status" = 2 ] && grep -q 'no plan file given' empty.err || fail "an empty plan argument: status $status, $(cat empty.err)"

# A server of this script's own on a loopback port (Wine's libpq reaches no
# Unix socket), stopped once five units are on it and started again 5 s later.
pg="$work/pg"
VORN_PG_TCP=1 bash "$root/scripts/pg-test-server.sh" start "$pg"
trap 'bash "$root/scripts/pg-test-server.sh" stop "$pg"' EXIT
url=$(bash "$root/scripts/pg-test-server.sh" url "$pg")
on_server() { "$linux/vorn-results" --db "$url" export --csv 2>/dev/null | rows; }
"$wine_run" vorn-host.exe --quiet --no-health-check --db "$url" --station "line 3" --serials server-serials.txt --params station.ini \
  paced.plan > server.txt 2> server.err &
host=$!
for _ in $(seq 1 120); do
  [ "$(on_server)" -ge 5 ] && break
  kill -0 $host 2>/dev/null || break
  sleep 0.5
done
[ "$(on_server)" -ge 5 ] || { cat server.txt server.err; fail "no five units reached the server"; }
bash "$root/scripts/pg-test-server.sh" stop "$pg"
sleep 5
bash "$root/scripts/pg-test-server.sh" restart "$pg"
wait $host || { cat server.txt server.err; fail "the session on the server did not pass"; }
grep -q 'results server: .*units are kept in results-spool.sqlite' server.err || fail "the server's outage fell outside the session"
"$linux/vorn-results" --db "$url" export --csv > server.csv
[ "$(cut -d, -f4 server.csv | tail -n +2 | LC_ALL=C sort | xargs)" = "$(xargs < server-serials.txt)" ] ||
  fail "the server holds $(rows < server.csv) attempts, not each of the 20 units once"
"$wine_run" vorn-results.exe --db "$url" forward > forward.txt || fail "vorn-results.exe forward failed"
grep -q '^forwarded 0 units; 0 wait' forward.txt || fail "units were left in the spool: $(cat forward.txt)"
bash "$root/scripts/pg-test-server.sh" stop "$pg"
trap - EXIT
echo "station package: 20 units sent to a PostgreSQL server stopped and started mid-session, each once"
