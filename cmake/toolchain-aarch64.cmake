# 64-bit ARM Linux from Debian: the aarch64 cross compiler. Tests configured
# with this file run under qemu-aarch64 with the cross sysroot.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)

set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)

# Debian's multiarch packages (libgmp-dev:arm64 for the test oracle) live
# under /usr/lib/aarch64-linux-gnu, the cross runtime under /usr/aarch64-linux-gnu.
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)
set(CMAKE_FIND_ROOT_PATH /usr/aarch64-linux-gnu /usr)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The program is linked statically so that it runs on any aarch64 Linux; the
# tests are not (a static glibc warns about GoogleTest's network calls) and
# find their shared libraries through qemu's -L prefix, falling back to the
# multiarch directories.
set(QUARROW_STATIC ON CACHE BOOL "Link quarrow statically")

find_program(QUARROW_QEMU NAMES qemu-aarch64 qemu-aarch64-static NO_CMAKE_FIND_ROOT_PATH)
if(QUARROW_QEMU)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${QUARROW_QEMU} -L /usr/aarch64-linux-gnu)
endif()
