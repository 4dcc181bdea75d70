#!/usr/bin/env bash
# The hardening runs, part of scripts/test-all.sh:
#  1. the whole test suite built with AddressSanitizer and UndefinedBehaviorSanitizer
#     (build-asan/); any sanitizer report fails the run, even one in a test that passed;
#  2. the libFuzzer targets built with clang (build-fuzz/), each run for a bounded
#     time on a copy of its seed corpus (fuzz/corpus/<target>/), with the options
#     in fuzz/<target>.flags if there is one; any finding fails.
# VORN_FUZZ_SECONDS (default 60) is the fuzzing time of all targets together.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh test clang libclang-rt-14-dev

export ASAN_OPTIONS=detect_leaks=1:halt_on_error=1:strict_string_checks=1:detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
sanitizer_report='ERROR: (AddressSanitizer|LeakSanitizer)|runtime error:|WARNING: [A-Za-z]*Sanitizer'

echo "== test suite under AddressSanitizer and UndefinedBehaviorSanitizer"
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DVORN_SANITIZE=ON >/dev/null
cmake --build build-asan -j2
# The libraries the host and the tests load with dlopen keep no thread-local
# storage: glibc gives a dlopen'ed library's thread_locals a block of its
# own, and GCC 12's LeakSanitizer misreads such a block when it happens to
# start 16 bytes into a page. Its tracer then crashes at the process's end
# ("Tracer caught signal 11") and a run that passed exits 1, in one
# allocation layout out of a few hundred.
tls_libraries=$(for library in build-asan/bin/*.so; do
  if readelf -lW "$library" | grep -q '^ *TLS '; then echo "$library"; fi
done)
if [ -n "$tls_libraries" ]; then
  echo "thread-local storage in a library loaded with dlopen: $tls_libraries" >&2
  exit 1
fi
# Resident memory means nothing under AddressSanitizer, which keeps freed
# memory in quarantine: the flat-memory check of a long session runs in the
# plain build only. So do the browser checks, which drive pages in Chromium
# (twenty at once for the operator's screen); the page's server has its own
# tests in the suite that runs here.
log=build-asan/Testing/Temporary/LastTest.log
ctest --test-dir build-asan --output-on-failure -j2 -E '^HostLongSession\.|^browser_'
if grep -Eq "$sanitizer_report" "$log"; then
  grep -E -B2 -A20 "$sanitizer_report" "$log" | head -80
  echo "sanitizer report in the test suite" >&2
  exit 1
fi
grep -h '^failure sweep:' "$log" || true

echo "== bounded fuzz runs"
targets=()
for source in fuzz/*_fuzz.cpp; do
  targets+=("$(basename "$source" .cpp)")
done
cmake -S . -B build-fuzz -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVORN_SANITIZE=ON -DVORN_FUZZ=ON -DVORN_BUILD_TESTS=OFF \
  >/dev/null
cmake --build build-fuzz -j2 --target "${targets[@]}"

total=${VORN_FUZZ_SECONDS:-60}
each=$(( total / ${#targets[@]} ))
[ "$each" -ge 1 ] || each=1
work=$(mktemp -d /tmp/vorn-fuzz.XXXXXX)
trap 'rm -rf "$work"' EXIT
for target in "${targets[@]}"; do
  seeds=fuzz/corpus/${target%_fuzz}
  mkdir -p "$work/$target"
  log=$work/$target.log
  flags=()
  if [ -f "fuzz/$target.flags" ]; then read -r -a flags <"fuzz/$target.flags"; fi
  # New inputs go to the work folder; the seeds in the repository stay as they are.
  if ! build-fuzz/bin/"$target" -max_total_time="$each" -timeout=10 -rss_limit_mb=2048 \
      -print_final_stats=1 -artifact_prefix="$work/$target-" "${flags[@]}" \
      "$work/$target" "$seeds" >"$log" 2>&1 </dev/null; then
    tail -60 "$log"
    mkdir -p build-fuzz/findings
    cp "$work/$target"-* build-fuzz/findings/ 2>/dev/null || true
    echo "$target found a fault; its input is kept in build-fuzz/findings/" >&2
    exit 1
  fi
  if grep -Eq "$sanitizer_report" "$log"; then
    grep -E -A20 "$sanitizer_report" "$log" | head -60
    echo "$target: sanitizer report" >&2
    exit 1
  fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  echo "$target: ${runs:-?} inputs in ${each} s, no finding"
done
echo "hardening: clean"
