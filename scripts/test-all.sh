#!/usr/bin/env bash
# Builds everything and runs every test: Linux, then the Windows build under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh test
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j2
ctest --test-dir build --output-on-failure -j2

# Sanitizer build of the suite and the bounded fuzz runs.
bash scripts/test-hardening.sh

# The 32-bit Windows build under Wine.
bash scripts/test-windows.sh
