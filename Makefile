# Two entry points: `make run` and `make test`. Both install what is missing first.

# Packages a build and a full test run need (Debian names).
PACKAGES := cmake g++ make pkg-config libgtest-dev libbenchmark-dev libx11-dev libxtst-dev \
            xvfb xauth xdotool x11-apps gputils gpsim
MAKEFLAGS += --no-print-directory
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
# Where `make` was called from: IM.txt lands there.
RUN_DIR := $(or $(PWD),$(CURDIR))

.PHONY: all deps build run test bench format clean

all: build

deps:
	@tools/ensure-packages $(PACKAGES)

build: deps
	@cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	@cmake --build build -j $(JOBS)

run: build
	@cd "$(RUN_DIR)" && "$(CURDIR)/build/ledwheel"

# Every test: the plain build, an address+undefined sanitizer build, and a
# thread sanitizer build of the window code, all under one private X server.
test: deps
	@tools/run-tests $(JOBS)

# The benchmarks (the window's need an X server: a private Xvfb), then the start-up harness.
bench: build
	@tools/with-xvfb bash -c 'for b in build/bench/*_bench; do echo "== $$b"; "$$b" || exit 1; done'
	@echo "== start-up to first prompt"; build/bench/startup_harness build/ledwheel 200

format:
	@clang-format -i $$(git ls-files '*.cc' '*.h')

clean:
	rm -rf build build-asan build-tsan
