#!/usr/bin/env bash
# Builds the benchmarks (bench/, Google Benchmark) into build-bench/ and runs
# them: the parameter file reads and each step's own cost on the simulated
# station. Not part of the test run. Extra arguments go to the benchmark
# program (for example --benchmark_filter=Read --benchmark_repetitions=5).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh libbenchmark-dev
cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DVORN_BENCH=ON -DVORN_BUILD_TESTS=OFF >/dev/null
cmake --build build-bench -j2 --target vorn_bench
exec build-bench/bin/vorn_bench "$@"
