#!/usr/bin/env bash
# Builds the benchmarks (bench/, Google Benchmark) into build-bench/ and runs
# them: the parameter file reads and each step's own cost on the simulated
# station. Not part of the test run. Extra arguments go to the benchmark
# program (for example --benchmark_filter=Read --benchmark_repetitions=5).
# "bench.sh results" runs the results database's benchmarks instead, with a
# PostgreSQL server of their own (durable commits, as on a line server).
set -euo pipefail
cd "$(dirname "$0")/.."

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
