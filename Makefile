# Entry points: `make run` and `make test` on Linux; `make windows` and `make test-windows` for
# the Windows build. Each installs what is missing first.
# Also `make install` (PREFIX, DESTDIR) and `make package` (the Debian package).

# Debian packages: what the build needs, what making the Debian package needs, and what the test
# run needs on top (a private X server, a pointer driver, a window manager the desktop tests
# start, the PIC assembler and simulator that check the generated firmware, the second compiler
# and its fuzzing runtime, the manual page checkers, the package tools).
BUILD_PACKAGES := cmake g++ make pkg-config libgtest-dev libbenchmark-dev libx11-dev libxtst-dev \
  libstb-dev libcli11-dev libturbojpeg0-dev libspng-dev
PACKAGE_PACKAGES := dpkg-dev file binutils
TEST_PACKAGES := xvfb xdotool icewm gputils gpsim clang libclang-rt-14-dev groff-base mandoc \
  $(PACKAGE_PACKAGES)
# The Windows build: the MinGW-w64 cross compiler (posix threads), GoogleTest's sources and the
# header-only libraries; its tests run under Wine on a private Xvfb, driven by the Linux build's
# end-to-end tests.
WINDOWS_PACKAGES := cmake make g++-mingw-w64-x86-64-posix googletest libstb-dev libcli11-dev
# The benchmarks compare the picture import with a Pillow script.
BENCH_PACKAGES := python3-pil
WINDOWS_TEST_PACKAGES := $(BUILD_PACKAGES) wine wine64 xvfb xdotool
MAKEFLAGS += --no-print-directory
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
# Where `make` was called from: IM.txt lands there.
RUN_DIR := $(or $(PWD),$(CURDIR))
PREFIX ?= /usr/local
# Our own builds treat warnings as errors; a plain CMake build does not.
CONFIGURE := cmake -S . -DLEDWHEEL_WERROR=ON

.PHONY: all deps package-deps test-deps build run install package test bench windows \
  test-windows format clean

all: build

deps:
	@tools/ensure-packages $(BUILD_PACKAGES)

package-deps:
	@tools/ensure-packages $(BUILD_PACKAGES) $(PACKAGE_PACKAGES)

test-deps:
	@tools/ensure-packages $(BUILD_PACKAGES) $(TEST_PACKAGES)

build: deps
	@$(CONFIGURE) -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	@cmake --build build -j $(JOBS)

# Only the program itself: the first run does not wait for the tests to compile.
run: deps
	@$(CONFIGURE) -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	@cmake --build build -j $(JOBS) --target ledwheel
	@cd "$(RUN_DIR)" && "$(CURDIR)/build/ledwheel"

# The program, its manual page and the README under $(DESTDIR)$(PREFIX).
install: deps
	@$(CONFIGURE) -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	@cmake --build build -j $(JOBS) --target ledwheel
	@DESTDIR="$(DESTDIR)" cmake --install build --prefix "$(PREFIX)"

# build-release/ledwheel_<version>_amd64.deb, from the Release build the test run checks.
package: package-deps
	@$(CONFIGURE) -B build-release -DCMAKE_BUILD_TYPE=Release >/dev/null
	@cmake --build build-release -j $(JOBS) --target ledwheel
	@cd build-release && { cpack >cpack.log 2>&1 || { cat cpack.log; exit 1; }; }
	@sed -n 's|^CPack: - package: $(CURDIR)/\(.*\) generated\.$$|\1|p' build-release/cpack.log

# Every test: the plain build, an address+undefined sanitizer build, and a
# thread sanitizer build of the window code, all under one private X server.
test: test-deps
	@tools/run-tests $(JOBS)

# The benchmarks (the window's need an X server: a private Xvfb), then the start-up harness and
# the picture import against Pillow.
bench: test-deps build
	@tools/ensure-packages $(BENCH_PACKAGES)
	@tools/with-xvfb bash -c 'for b in build/bench/*_bench; do echo "== $$b"; "$$b" || exit 1; done'
	@echo "== start-up to first prompt"; build/bench/startup_harness build/ledwheel 200
	@echo "== picture import against Pillow"; bench/import_vs_pillow.py build

# ledwheel.exe for 64-bit Windows, linked statically: build-win/ledwheel.exe.
windows:
	@tools/ensure-packages $(WINDOWS_PACKAGES)
	@$(CONFIGURE) -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
	  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	@cmake --build build-win -j $(JOBS) --target ledwheel

# The Windows build's unit tests under Wine, then ledwheel.exe end to end under Wine and Xvfb.
test-windows:
	@tools/ensure-packages $(WINDOWS_PACKAGES) $(WINDOWS_TEST_PACKAGES)
	@tools/run-tests-windows $(JOBS)

format:
	@clang-format -i $$(git ls-files '*.cc' '*.h')

clean:
	rm -rf build build-asan build-tsan build-release build-clang build-win
