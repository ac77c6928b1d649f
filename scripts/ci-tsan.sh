#!/usr/bin/env bash
# Builds the library code and the unit tests of app/ with ThreadSanitizer
# and runs the tests that start sieving threads (the parallel sieve: workers
# searching while the writer reports, saves and removes found n). Any data
# race fails the run. The end-to-end thread tests run the program for
# minutes already and stay out of this build; they run in the plain one.
#
# About four minutes on two cores (under two to build, two and a half for the tests).
# Usage: scripts/ci-tsan.sh   (BUILD=<dir> to build elsewhere)
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/ci-build-dir.sh build-tsan
cmake -S . -B "$build" -G Ninja -DQUARROW_TESTS=ON -DCMAKE_BUILD_TYPE=Debug \
  -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g -fsanitize=thread -fno-omit-frame-pointer" \
  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=thread"
cmake --build "$build" -j "$jobs" --target app_tests

export TSAN_OPTIONS="halt_on_error=1:exitcode=86:second_deadlock_stack=1"
time "$build/tests/app/app_tests" --gtest_filter='ParallelSieve*:RangeDriver*'
