#!/usr/bin/env bash
# The report pages in the browser, from a real session: 200 units with
# marginal phones on the simulated station, each failing one retested once,
# recorded in a SQLite file. The line page is made by the command the session
# summary prints (its partial day summed from the rows); the same page over
# every unit, read from the rollups, must come out the same. A failing unit's
# page is made for a serial the database names, then both pages are checked
# in Chromium.
#   reports.sh BIN_DIR SOURCE_DIR
set -euo pipefail
bin=$1 src=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
"$bin/vorn-host" --fast --quiet --units 200 --retest 1 --operator 'Ann Smith' --scenario marginal-phones --db line.sqlite \
  --params "$src/examples/station.ini" "$src/examples/typical.plan" >session.txt 2>/dev/null || status=$?
# Marginal phones fail: exit status 1, did not pass; anything else is a fault.
if [ "${status:-0}" -ne 1 ]; then echo "vorn-host ended with status ${status:-0}" >&2; exit 1; fi
command=$(sed -n 's/^Line report: //p' session.txt)
case "$command" in
  "$bin/vorn-report line --db line.sqlite --station "*" --since "*" --until "*" -o line-report.html") ;;
  *) echo "the session summary names no line report command: '$command'" >&2; exit 1 ;;
esac
# Pasted as it is: the tool is named where it is.
eval "$command" >/dev/null
"$bin/vorn-report" line --db line.sqlite -o every.html >/dev/null
scope='s|<p>[^<;]*; |<p>|; s|line-report-units/|UNITS/|g; s|every-units/|UNITS/|g'
if ! diff <(sed "$scope" line-report.html) <(sed "$scope" every.html) >/dev/null; then
  echo "the line of every unit differs from the same line through the session's filter" >&2
  exit 1
fi
read -r serial attempt < <(sqlite3 -separator ' ' line.sqlite "SELECT u.serial, u.attempt FROM unit u
  JOIN result r ON r.unit_uuid = u.uuid WHERE r.passed = 0 AND r.name LIKE '%Switching Spectrum'
  ORDER BY u.started LIMIT 1")
"$bin/vorn-report" unit "$serial" --attempt "$attempt" --db line.sqlite -o unit.html >/dev/null
VORN_REPORTS="$work" VORN_REPORT_SERIAL="$serial" VORN_REPORT_ATTEMPT="$attempt" \
  VORN_REPORT_SHOTS="${VORN_REPORT_SHOTS:-}" node --test "$src/tests/browser/reports.test.js"
