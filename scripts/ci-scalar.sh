#!/usr/bin/env bash
# Builds the program and every test with the scalar kernels alone
# (QUARROW_SCALAR_ONLY, what non-x86 targets always get) and runs the whole
# suite, so the fallback that processors without the eight-lane kernels run
# is tested on its own. The program must then hold no AVX-512 or AVX2 instruction
# and no call of the compiler's processor check.
#
# About seven to ten minutes on two cores (four to seven to build, three for the suite).
# Usage: scripts/ci-scalar.sh   (BUILD=<dir> to build elsewhere)
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/ci-build-dir.sh build-scalar
cmake -S . -B "$build" -G Ninja -DQUARROW_SCALAR_ONLY=ON -DQUARROW_TESTS=ON -DCMAKE_BUILD_TYPE=Release
cmake --build "$build" -j "$jobs"

if objdump -d --no-show-raw-insn "$build/quarrow" | grep -q '%zmm'; then
  echo "ci-scalar: the scalar-only program holds AVX-512 instructions" >&2
  exit 1
fi
if objdump -d --no-show-raw-insn "$build/quarrow" | grep -q '%ymm'; then
  echo "ci-scalar: the scalar-only program holds AVX2 instructions" >&2
  exit 1
fi
if nm "$build/quarrow" | grep -q '__cpu_model\|__cpu_indicator_init'; then
  echo "ci-scalar: the scalar-only program calls the processor check" >&2
  exit 1
fi

time ctest --test-dir "$build" --output-on-failure -j "$jobs"
