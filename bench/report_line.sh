#!/usr/bin/env bash
# Times `vorn-report line` over a line of UNITS units (default 100 000) in a
# SQLite file: one real station run, spread into the line by vorn_fill_units
# (every 20th unit marginal and retested), then the report made three times.
# The filled file is kept in build/bench-reports/ and reused when present.
#   bench/report_line.sh [UNITS]
set -euo pipefail
cd "$(dirname "$0")/.."
units=${1:-100000}
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j2 --target vorn-host vorn-report vorn_fill_units >/dev/null
work=build/bench-reports
mkdir -p "$work"
db="$work/line-$units.sqlite"
if [ ! -f "$db" ]; then
  rm -f "$work/template.sqlite"
  build/bin/vorn-host --fast --quiet --db "$work/template.sqlite" \
    --params examples/station.ini examples/typical.plan >/dev/null
  build/bin/vorn_fill_units "$work/template.sqlite" "$units" 20 "$db.part" >/dev/null
  mv "$db.part" "$db"
fi
echo "$(sqlite3 "$db" 'SELECT count(*) FROM unit') attempts, $(sqlite3 "$db" 'SELECT count(*) FROM run_result') results, $(du -h "$db" | cut -f1)"
for run in 1 2 3; do
  start=$(date +%s.%N)
  build/bin/vorn-report line --db "$db" -o "$work/line.html" >/dev/null
  end=$(date +%s.%N)
  echo "run $run: $(echo "$end - $start" | bc) s"
done
