# Thin wrapper around CMake + Ninja so that the README's two commands do all
# the set-up on a fresh machine.
BUILD ?= build
BUILD_TYPE ?= Release
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
DEMO_RANGE ?= 1000000000000 1000050000000

.PHONY: all deps build demo test bench clean

all: build

deps:
	@scripts/install-deps.sh

$(BUILD)/build.ninja: | deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) -DQUARROW_TESTS=ON

build: $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

# Runs the program on the bundled sample data in a scratch directory, so the
# demo never touches the repository's own files.
demo: build
	rm -rf $(BUILD)/demo && mkdir -p $(BUILD)/demo
	cp examples/Vesk.dat $(BUILD)/demo/
	cd $(BUILD)/demo && ../quarrow -f $(DEMO_RANGE) < /dev/null
	@echo "--- fact.txt:"; cat $(BUILD)/demo/fact.txt 2>/dev/null || echo "(no factors in this range)"

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

bench: deps
	cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUARROW_BENCH=ON -DQUARROW_TESTS=OFF
	cmake --build build-bench -j $(JOBS)

clean:
	rm -rf $(BUILD) build-bench
