# Wraps the CMake presets. `make demo` and `make test` work on a fresh Debian 12:
# each target first runs the set-up script for itself (tools/setup.sh TARGET
# installs what that target needs and skips what is already there).
JOBS ?= $(shell nproc)
SETUPS := setup-demo setup-test setup-bench setup-dist

.PHONY: all setup $(SETUPS) build demo test test-linux test-asan test-fuzz bench dist clean

all: build

# Everything every target needs.
setup:
	@bash tools/setup.sh

$(SETUPS): setup-%:
	@bash tools/setup.sh $*

# The Linux tree with its tests.
build: setup-test
	cmake --preset linux
	cmake --build --preset linux -j $(JOBS)

# Renders the built-in demo scene; the tool prints where each output went.
# The demo needs the plug-in and the render tool alone: a tree it configures
# first has no tests (so none of their tools), one set up for them keeps them.
DEMO_TESTS = $(if $(shell grep -sx 'ZELVAN_BUILD_TESTS:BOOL=ON' build/linux/CMakeCache.txt),ON,OFF)
demo: setup-demo
	cmake --preset linux -DZELVAN_BUILD_TESTS=$(DEMO_TESTS) -DZELVAN_BUILD_TOOLS=ON
	cmake --build --preset linux -j $(JOBS) --target zelvan-render
	./build/linux/tools/zelvan-render scenes/demo.json --out build/demo

# Every test: the Linux build, the same under the sanitizers, and the fuzz
# target (its corpus as regression cases, then a short fuzzing run).
test: test-linux test-asan test-fuzz

test-linux: build
	ctest --preset linux

test-asan: setup-test
	cmake --preset linux-asan
	cmake --build --preset linux-asan -j $(JOBS)
	ctest --preset linux-asan

test-fuzz: setup-test
	cmake --preset linux-fuzz
	cmake --build --preset linux-fuzz -j $(JOBS)
	ctest --preset linux-fuzz

bench: setup-bench
	cmake --preset linux-bench
	cmake --build --preset linux-bench -j $(JOBS)
	./build/linux-bench/tests/bench/zelvan-bench
	bash tools/bench/plugin_share.sh ./build/linux-bench/tests/bench/zelvan-bench
	bash tools/bench/render_vs_ffmpeg.sh ./build/linux-bench/tools/zelvan-render
	bash tools/bench/render_movie_vs_ffmpeg.sh ./build/linux-bench/tools/zelvan-render
	bash tools/bench/render_memory.sh ./build/linux-bench/tools/zelvan-render
	bash tools/bench/find_loop.sh ./build/linux-bench/tools/zelvan-render

# The Linux .so, the Windows .aex and the universal macOS bundle, checked, in
# dist/ with SHA256SUMS and HOST-INTERFACE.txt. HOST_SDK=/path/to/the/host/sdk
# builds them against the host's own interface headers.
dist: setup-dist
	JOBS=$(JOBS) HOST_SDK="$(HOST_SDK)" bash tools/dist/make-dist.sh

clean:
	rm -rf build dist
