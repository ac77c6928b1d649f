#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ with clang, AddressSanitizer and
# UndefinedBehaviorSanitizer, and runs each for a bounded time on a copy of
# its seed corpus (the seeds in the repository are never modified). Any
# crash, sanitizer report, broken property, input slower than the timeout or
# memory beyond the limits fails the run; the input that caused it is left
# in <build>/artifacts/.
#
# Usage: scripts/ci-fuzz.sh [seconds per target, default 30]
#        (BUILD=<dir> to build elsewhere)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-30}"
scripts/install-deps.sh

need=()
for pkg in clang libclang-rt-14-dev; do
  dpkg -s "$pkg" >/dev/null 2>&1 || need+=("$pkg")
done
if [ ${#need[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  echo "Installing: ${need[*]}"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${need[@]}"
fi

build="${BUILD:-build-fuzz}"
jobs="$(nproc 2>/dev/null || echo 2)"
rm -rf "$build"
cmake -S . -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DQUARROW_FUZZ=ON -DQUARROW_TESTS=OFF \
  -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g"
cmake --build "$build" -j "$jobs"

export ASAN_OPTIONS="detect_leaks=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
mkdir -p "$build/artifacts"
failed=()
for target in data_loader status_file queue_file command_line prompts; do
  work="$build/corpus/$target"
  mkdir -p "$work"
  echo "=== ${target}_fuzz for ${seconds} s"
  # -timeout: no single input may take 20 s; -rss_limit_mb / -malloc_limit_mb:
  # no input may make the process grow past 1 GiB or ask for 256 MiB at once.
  if "$build/fuzz/${target}_fuzz" "$work" "fuzz/corpus/$target" \
      -max_total_time="$seconds" -timeout=20 -rss_limit_mb=1024 -malloc_limit_mb=256 \
      -max_len=16384 -print_final_stats=1 -artifact_prefix="$build/artifacts/${target}-" \
      >"$build/${target}.log" 2>&1; then
    grep -E "^Done|stat::number_of_executed_units|stat::peak_rss_mb" "$build/${target}.log" || true
  else
    tail -n 60 "$build/${target}.log"
    failed+=("$target")
  fi
done

if [ ${#failed[@]} -gt 0 ]; then
  echo "Fuzzing found problems in: ${failed[*]} (inputs in $build/artifacts/)"
  exit 1
fi
echo "All fuzz targets ran ${seconds} s each without a finding."
