#!/usr/bin/env bash
# Installs, from Debian's packages, what the cross builds need; does nothing
# for what is already there. Arguments: any of
#   windows       MinGW-w64 (posix threads) to build quarrow.exe
#   windows-test  and GoogleTest's sources and Wine to run its tests
#   arm64         the aarch64 cross compiler to build the ARM binary
#   arm64-test    and GoogleTest's sources, qemu-user and GMP for arm64
set -euo pipefail
packages=(cmake ninja-build make)
arm64_packages=()
for set in "$@"; do
  case "$set" in
    windows) packages+=(g++-mingw-w64-x86-64-posix) ;;
    windows-test) packages+=(g++-mingw-w64-x86-64-posix googletest wine64) ;;
    arm64) packages+=(g++-aarch64-linux-gnu) ;;
    arm64-test) packages+=(g++-aarch64-linux-gnu googletest qemu-user); arm64_packages+=(libgmp-dev:arm64) ;;
    *) echo "unknown package set: $set" >&2; exit 2 ;;
  esac
done
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
need=()
for pkg in "${packages[@]}" "${arm64_packages[@]}"; do
  dpkg -s "$pkg" >/dev/null 2>&1 || need+=("$pkg")
done
[ ${#need[@]} -eq 0 ] && exit 0
# GMP for arm64 comes from Debian's multiarch archive.
if [ ${#arm64_packages[@]} -gt 0 ] && ! dpkg --print-foreign-architectures | grep -qx arm64; then
  $SUDO dpkg --add-architecture arm64
fi
echo "Installing: ${need[*]}"
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${need[@]}"
