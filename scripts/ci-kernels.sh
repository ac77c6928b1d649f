#!/usr/bin/env bash
# Runs the golden and oracle tests once per kernel set this processor runs
# (QUARROW_KERNELS=avx512, avx2, scalar), so every set is proved against the
# recorded output and the independent oracle on its own, not only beside the
# others. Before each round the program itself, started with the same
# variable, must print that set's start-up line: a set that silently fell
# back to another could not pass. A set the processor lacks must be refused
# with its one-line error and exit 1.
#
# Reuses the tree of `make test` (build/) when it holds the tests, else
# builds one. About one to two minutes on two cores once built.
# Usage: scripts/ci-kernels.sh   (BUILD=<dir> for another tree)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build="${BUILD:-build}"
jobs="$(nproc 2>/dev/null || echo 2)"
if [ ! -x "$build/quarrow" ] || [ ! -f "$build/CTestTestfile.cmake" ]; then
  scripts/install-deps.sh test
  cmake -S . -B "$build" -G Ninja -DQUARROW_TESTS=ON -DCMAKE_BUILD_TYPE=Release
fi
cmake --build "$build" -j "$jobs"
program=$(realpath "$build/quarrow")

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# The start-up line a set gives, or the error line when it cannot run.
started_with() {
  local dir="$scratch/$1"
  mkdir -p "$dir"
  cp examples/Vesk.dat "$dir/Vesk.dat"
  (cd "$dir" && QUARROW_KERNELS=$1 "$program" -p 2 -f 1000000000 1000001000 </dev/null 2>&1) || true
}

ran=0
for set in avx512 avx2 scalar; do
  case "$set" in
    avx512) line="Using AVX-512 IFMA kernels" ;;
    avx2) line="Using AVX2 kernels" ;;
    scalar) line="Using scalar kernels" ;;
  esac
  out=$(started_with "$set")
  if ! grep -qxF "$line" <<<"$out"; then
    if grep -q "^Error: QUARROW_KERNELS=$set asks for the .* kernels, which this .* cannot run\. Exiting\.$" <<<"$out"; then
      echo "ci-kernels: $set: not on this processor (refused as it must be)"
      continue
    fi
    echo "ci-kernels: QUARROW_KERNELS=$set neither ran that set nor was refused:" >&2
    echo "$out" >&2
    exit 1
  fi
  echo "ci-kernels: $set: golden and oracle tests"
  QUARROW_KERNELS=$set ctest --test-dir "$build" --output-on-failure -j "$jobs" -R '^(GoldenOutputTest|SearchOracleTest)\.'
  ran=$((ran + 1))
done
# The scalar set runs everywhere, so at least one round always runs.
[ "$ran" -ge 1 ] || { echo "ci-kernels: no kernel set ran" >&2; exit 1; }
echo "ci-kernels: $ran kernel sets passed"
cd "$root"
