#!/usr/bin/env bash
# Builds the library, the host runner and its tools (vorn-results,
# vorn-report) and runs the typical station run on the simulated station, in
# real time. Extra arguments go to vorn-host.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j2 --target vorn-host vorn-results vorn-report >/dev/null
exec build/bin/vorn-host --params examples/station.ini "$@" examples/typical.plan
