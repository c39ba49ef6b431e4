# Entry points: `make run` and `make test` on Linux; `make windows` and `make test-windows` for
# the Windows build. Each installs what is missing first.

# Debian packages: what the build needs, and what the test run needs on top (a private X server,
# a pointer driver, a window manager the desktop tests start, and the PIC assembler and
# simulator that check the generated firmware).
BUILD_PACKAGES := cmake g++ make pkg-config libgtest-dev libbenchmark-dev libx11-dev libxtst-dev libstb-dev libcli11-dev
TEST_PACKAGES := xvfb xdotool icewm gputils gpsim
# The Windows build: the MinGW-w64 cross compiler (posix threads), GoogleTest's sources and the
# header-only libraries; its tests run under Wine on a private Xvfb, driven by the Linux build's
# end-to-end tests.
WINDOWS_PACKAGES := cmake make g++-mingw-w64-x86-64-posix googletest libstb-dev libcli11-dev
WINDOWS_TEST_PACKAGES := $(BUILD_PACKAGES) wine wine64 xvfb xdotool
MAKEFLAGS += --no-print-directory
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
# Where `make` was called from: IM.txt lands there.
RUN_DIR := $(or $(PWD),$(CURDIR))

.PHONY: all deps test-deps build run test bench windows test-windows format clean

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

# ledwheel.exe for 64-bit Windows, linked statically: build-win/ledwheel.exe.
windows:
	@tools/ensure-packages $(WINDOWS_PACKAGES)
	@cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
	  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	@cmake --build build-win -j $(JOBS) --target ledwheel

# The Windows build's unit tests under Wine, then ledwheel.exe end to end under Wine and Xvfb.
test-windows:
	@tools/ensure-packages $(WINDOWS_PACKAGES) $(WINDOWS_TEST_PACKAGES)
	@tools/run-tests-windows $(JOBS)

format:
	@clang-format -i $$(git ls-files '*.cc' '*.h')

clean:
	rm -rf build build-asan build-tsan build-win
