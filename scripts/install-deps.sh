#!/usr/bin/env bash
# Installs, from Debian's packages, what this machine lacks for the given
# targets, and nothing more; does nothing when everything is present.
#
# Usage: scripts/install-deps.sh [target...]    (default: test)
#   run      build and run the program: cmake, ninja, g++, make
#   test     run, plus GoogleTest and GMP (GMP only as a test oracle)
#   bench    run, plus Google Benchmark (`make bench` builds without the tests)
#   package  run, plus groff (the man page check); the packages themselves are made by cpack
set -euo pipefail
[ $# -eq 0 ] && set -- test
packages=(cmake ninja-build g++ make)
for target in "$@"; do
  case "$target" in
    run) ;;
    test) packages+=(libgtest-dev libgmock-dev libgmp-dev python3) ;;
    bench) packages+=(libbenchmark-dev) ;;
    package) packages+=(groff-base) ;;
    *) echo "install-deps.sh: unknown target '$target' (run, test, bench or package)"; exit 1 ;;
  esac
done
# A library installed for a second architecture too (the aarch64 cross
# build's libgmp-dev:arm64) makes its bare name ambiguous to dpkg, which then
# answers "not installed"; the name with this machine's architecture is not.
arch=$(dpkg --print-architecture)
need=()
for pkg in "${packages[@]}"; do
  dpkg -s "$pkg" >/dev/null 2>&1 || dpkg -s "$pkg:$arch" >/dev/null 2>&1 || need+=("$pkg")
done
[ ${#need[@]} -eq 0 ] && exit 0
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
echo "Installing: ${need[*]}"
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${need[@]}"
