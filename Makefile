# Two entry points: `make run` and `make test`. Both install what is missing first.

# Debian packages: what the build needs, and what the test run needs on top (a private X server,
# a pointer driver, a window manager the desktop tests start, and the PIC assembler and
# simulator that check the generated firmware).
BUILD_PACKAGES := cmake g++ make pkg-config libgtest-dev libbenchmark-dev libx11-dev libxtst-dev libstb-dev libcli11-dev
TEST_PACKAGES := xvfb xdotool icewm gputils gpsim
MAKEFLAGS += --no-print-directory
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
# Where `make` was called from: IM.txt lands there.
RUN_DIR := $(or $(PWD),$(CURDIR))

.PHONY: all deps test-deps build run test bench format clean

all: build

deps:
	@tools/ensure-packages $(BUILD_PACKAGES)

test-deps:
	@tools/ensure-packages $(BUILD_PACKAGES) $(TEST_PACKAGES)

build: deps
	@cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	@cmake --build build -j $(JOBS)

# Only the program itself: the first run does not wait for the tests to compile.
run: deps
	@cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	@cmake --build build -j $(JOBS) --target ledwheel
	@cd "$(RUN_DIR)" && "$(CURDIR)/build/ledwheel"

# Every test: the plain build, an address+undefined sanitizer build, and a
# thread sanitizer build of the window code, all under one private X server.
test: test-deps
	@tools/run-tests $(JOBS)

# The benchmarks (the window's need an X server: a private Xvfb), then the start-up harness.
bench: test-deps build
	@tools/with-xvfb bash -c 'for b in build/bench/*_bench; do echo "== $$b"; "$$b" || exit 1; done'
	@echo "== start-up to first prompt"; build/bench/startup_harness build/ledwheel 200

format:
	@clang-format -i $$(git ls-files '*.cc' '*.h')

clean:
	rm -rf build build-asan build-tsan
