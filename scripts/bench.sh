#!/usr/bin/env bash
# Builds the benchmarks (bench/, Google Benchmark) into build-bench/ and runs
# them: the parameter file reads and each step's own cost on the simulated
# station. Not part of the test run. Extra arguments go to the benchmark
# program (for example --benchmark_filter=Read --benchmark_repetitions=5).
# "bench.sh results" runs the results database's benchmarks instead, with a
# PostgreSQL server of their own (durable commits, as on a line server).
# "bench.sh wine" times Windows' own profile reader under Wine instead, the
# anchor of the key read figures, in the Windows build of
# scripts/test-windows.sh.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "${1:-}" = wine ]; then
  if [ $# -ne 1 ]; then
    echo "bench.sh wine: takes no other arguments" >&2
    exit 2
  fi
  if [ ! -f build-win/CMakeCache.txt ] || [ ! -f build-win/wine/system.reg ]; then
    echo "bench.sh wine: no Windows build with its Wine prefix: run bash scripts/test-windows.sh once" >&2
    exit 2
  fi
  cmake --build build-win -j2 --target windows_profile_bench
  folder=$(mktemp -d /tmp/vorn-wine-bench.XXXXXX)
  trap 'rm -rf "$folder"' EXIT
  scripts/wine-run.sh build-win/bin/windows_profile_bench.exe "Z:${folder//\//\\}\\"
  exit
fi

bash scripts/install-deps.sh test libbenchmark-dev
cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DVORN_BENCH=ON -DVORN_BUILD_TESTS=OFF >/dev/null
if [ "${1:-}" = results ]; then
  shift
  bash scripts/install-deps.sh
  cmake --build build-bench -j2 --target vorn_results_bench
  folder=/tmp/vorn-pg-bench-$$
  script=$PWD/scripts/pg-test-server.sh
  trap 'bash "$script" stop "$folder"; rm -rf "$folder"' EXIT
  VORN_PG_FSYNC=on bash scripts/pg-test-server.sh start "$folder"
  VORN_PG_URL=$(bash scripts/pg-test-server.sh url "$folder")
  export VORN_PG_URL
  cd build-bench
  bin/vorn_results_bench "$@"
  exit
fi
cmake --build build-bench -j2 --target vorn_bench
exec build-bench/bin/vorn_bench "$@"
