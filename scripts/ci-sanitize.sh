#!/usr/bin/env bash
# Builds everything (library code, the program, every test) with
# AddressSanitizer and UndefinedBehaviorSanitizer and runs the whole test
# suite under them. Any sanitizer report fails the run: the unit tests abort
# at the first one, and the end-to-end tests see the program's report on its
# standard error and its exit status 86.
#
# Optimised at -O1 with assertions on: about five minutes on two cores.
# Usage: scripts/ci-sanitize.sh   (BUILD=<dir> to build elsewhere)
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/ci-build-dir.sh build-sanitize
cmake -S . -B "$build" -G Ninja -DQUARROW_SANITIZE=ON -DQUARROW_TESTS=ON \
  -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g"
cmake --build "$build" -j "$jobs"

# A distinct exit status, so that a report in a run that was expected to fail
# with status 1 is not taken for that failure.
export ASAN_OPTIONS="exitcode=86:detect_stack_use_after_return=1:strict_string_checks=1:check_initialization_order=1"
export UBSAN_OPTIONS="exitcode=86:print_stacktrace=1:halt_on_error=1"
# Leak checking needs to stop the process's threads, which some containers
# forbid; it is then switched off rather than failing every test.
probe_output="$("$build/quarrow" -p 9 </dev/null 2>&1 || true)"
if grep -q "LeakSanitizer has encountered a fatal error" <<<"$probe_output"; then
  echo "LeakSanitizer cannot run here; leak checks are off."
  export ASAN_OPTIONS="$ASAN_OPTIONS:detect_leaks=0"
fi

time ctest --test-dir "$build" --output-on-failure -j "$jobs" --timeout 1200
