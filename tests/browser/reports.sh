#!/usr/bin/env bash
# The report pages in the browser: a real station run recorded in a SQLite
# file, spread into a 200-unit line with marginal phones, the line page and
# a failing unit's page made by vorn-report, then checked in Chromium.
#   reports.sh BIN_DIR SOURCE_DIR
set -euo pipefail
bin=$1 src=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
"$bin/vorn-host" --fast --quiet --db template.sqlite --params "$src/examples/station.ini" "$src/examples/typical.plan" >/dev/null
"$bin/vorn_fill_units" template.sqlite 200 20 line.sqlite >/dev/null
"$bin/vorn-report" line --db line.sqlite -o line.html >/dev/null
"$bin/vorn-report" unit VRN0000020 --attempt 1 --db line.sqlite -o unit.html >/dev/null
VORN_REPORTS="$work" VORN_REPORT_SHOTS="${VORN_REPORT_SHOTS:-}" node --test "$src/tests/browser/reports.test.js"
