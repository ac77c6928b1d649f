# Thin wrapper around CMake + Ninja so that the README's commands do all the
# set-up on a fresh machine. Each target installs only what it needs
# (scripts/install-deps.sh) and builds only what it runs: the demo and the
# install build the program alone, the tests build everything.
BUILD ?= build
BUILD_TYPE ?= Release
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
DEMO_RANGE ?= 1000000000000 1000050000000
PREFIX ?= /usr/local
DESTDIR ?=

CONFIGURE = cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE)

.PHONY: all program build demo test install package bench clean windows windows-test arm64 arm64-test

all: build

# The program alone. A new build tree is configured without the tests (no
# GoogleTest or GMP needed); an existing one keeps its choice, and only the
# program's target is built either way.
program:
	@scripts/install-deps.sh run
	@[ -f $(BUILD)/build.ninja ] || $(CONFIGURE) -DQUARROW_TESTS=OFF
	cmake --build $(BUILD) -j $(JOBS) --target quarrow

# Everything, tests included (a tree configured without them is switched on).
build:
	@scripts/install-deps.sh test
	@grep -qs '^QUARROW_TESTS:BOOL=ON' $(BUILD)/CMakeCache.txt || $(CONFIGURE) -DQUARROW_TESTS=ON
	cmake --build $(BUILD) -j $(JOBS)

# Runs the program on the bundled sample data in a scratch directory, so the
# demo never touches the repository's own files.
demo: program
	scripts/demo.sh $(BUILD)/quarrow $(BUILD)/demo $(DEMO_RANGE)

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

# The program, its man page and the README under $(DESTDIR)$(PREFIX).
install: program
	DESTDIR="$(DESTDIR)" cmake --install $(BUILD) --prefix "$(PREFIX)"

# A .deb and a .tar.gz with a statically linked program in build-package/.
package:
	@scripts/install-deps.sh run
	cmake -S . -B build-package -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUARROW_TESTS=OFF -DQUARROW_STATIC=ON
	cmake --build build-package -j $(JOBS) --target quarrow
	cd build-package && cpack

bench:
	@scripts/install-deps.sh bench
	cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUARROW_BENCH=ON -DQUARROW_TESTS=OFF
	cmake --build build-bench -j $(JOBS)

# Release binaries for other machines, cross-built on Debian: each target
# installs its compiler, then builds one statically linked program.
WINDOWS_BUILD ?= build-windows
ARM64_BUILD ?= build-arm64
CROSS_CONFIGURE = cmake -G Ninja -DCMAKE_BUILD_TYPE=Release

windows:
	@scripts/install-cross-deps.sh windows
	$(CROSS_CONFIGURE) -S . -B $(WINDOWS_BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw64.cmake -DQUARROW_TESTS=OFF
	cmake --build $(WINDOWS_BUILD) -j $(JOBS) --target quarrow
	@echo "Windows x64 program: $(WINDOWS_BUILD)/quarrow.exe"

arm64:
	@scripts/install-cross-deps.sh arm64
	$(CROSS_CONFIGURE) -S . -B $(ARM64_BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-aarch64.cmake -DQUARROW_TESTS=OFF
	cmake --build $(ARM64_BUILD) -j $(JOBS) --target quarrow
	@echo "aarch64 Linux program: $(ARM64_BUILD)/quarrow"

# The same builds with their unit tests, run under Wine and qemu-aarch64.
# Under Wine one test is left out: it needs Linux's /dev/full.
WINDOWS_TEST_EXCLUDE ?= ^ReportFactor\.UnwritableFileStopsTheRunAndKeepsThePair$$
# Under qemu the threads tests are left out: qemu runs ARM's memory order on
# the host's stronger one, so there they prove nothing that x86-64 does not,
# and they take some twenty minutes of emulation.
ARM64_TEST_EXCLUDE ?= ^ParallelSieve\.
windows-test:
	@scripts/install-cross-deps.sh windows-test
	$(CROSS_CONFIGURE) -S . -B $(WINDOWS_BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw64.cmake -DQUARROW_TESTS=ON
	cmake --build $(WINDOWS_BUILD) -j $(JOBS)
	WINEPREFIX=$(abspath $(WINDOWS_BUILD))/wine-prefix scripts/wine-tests.sh \
	  ctest --test-dir $(WINDOWS_BUILD) --output-on-failure -j $(JOBS) -E '$(WINDOWS_TEST_EXCLUDE)' --repeat until-pass:2

arm64-test:
	@scripts/install-cross-deps.sh arm64-test
	$(CROSS_CONFIGURE) -S . -B $(ARM64_BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-aarch64.cmake -DQUARROW_TESTS=ON
	cmake --build $(ARM64_BUILD) -j $(JOBS)
	ctest --test-dir $(ARM64_BUILD) --output-on-failure -j $(JOBS) -E '$(ARM64_TEST_EXCLUDE)'

clean:
	rm -rf $(BUILD) build-bench build-package $(WINDOWS_BUILD) $(ARM64_BUILD)
