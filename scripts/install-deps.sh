#!/usr/bin/env bash
# Installs, from Debian's packages, whatever this machine lacks to build and
# test quarrow. Does nothing when everything is present.
set -euo pipefail
packages=(cmake ninja-build g++ make libgtest-dev libgmock-dev libbenchmark-dev libgmp-dev python3)
need=()
for pkg in "${packages[@]}"; do
  dpkg -s "$pkg" >/dev/null 2>&1 || need+=("$pkg")
done
[ ${#need[@]} -eq 0 ] && exit 0
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
echo "Installing: ${need[*]}"
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${need[@]}"
