#!/usr/bin/env bash
# Builds the library, the host runner and its tools (vorn-results,
# vorn-report) and runs the typical station run on the simulated station, in
# real time. Extra arguments go to vorn-host.
set -euo pipefail
cd "$(dirname "$0")/.."

echo "station-run: checking the build's Debian packages"
bash scripts/install-deps.sh build
fresh=yes
[ -f build/bin/vorn-host ] && fresh=no
if [ "$fresh" = yes ]; then
  echo "station-run: building the station: the library, the simulated equipment, vorn-host and its tools"
  echo "             (about 3 minutes on 2 cores, the first time)"
fi
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
# The build's progress on one line; its messages in full only when it fails.
log=build/station-run-build.log
cmake --build build -j2 --target vorn-host vorn-results vorn-report >"$log" 2>&1 &
pid=$!
while kill -0 "$pid" 2>/dev/null; do
  percent=$(grep -o '^\[ *[0-9]*%\]' "$log" | tail -n 1 | tr -dc '0-9' || true)
  printf '\rstation-run: building %3s%%' "${percent:-0}"
  sleep 1
done
if ! wait "$pid"; then
  printf '\n'
  tail -n 40 "$log"
  echo "station-run: the build failed; its whole log is $log" >&2
  exit 1
fi
printf '\rstation-run: built                \n'
echo "station-run: the typical run of examples/typical.plan on the simulated station, about 15 s"
exec build/bin/vorn-host --params examples/station.ini "$@" examples/typical.plan
