# Wraps the CMake presets. `make demo` and `make test` work on a fresh Debian 12:
# they run the set-up script first (it skips what is already installed).
JOBS ?= $(shell nproc)

.PHONY: all setup build demo test test-linux test-asan test-fuzz bench dist clean

all: build

setup:
	@bash tools/setup.sh

build: setup
	cmake --preset linux
	cmake --build --preset linux -j $(JOBS)

# Renders the built-in demo scene; the tool prints where each output went.
demo: build
	./build/linux/tools/zelvan-render scenes/demo.json --out build/demo

# Every test: the Linux build, the same under the sanitizers, and the fuzz
# target (its corpus as regression cases, then a short fuzzing run).
test: test-linux test-asan test-fuzz

test-linux: build
	ctest --preset linux

test-asan: setup
	cmake --preset linux-asan
	cmake --build --preset linux-asan -j $(JOBS)
	ctest --preset linux-asan

test-fuzz: setup
	cmake --preset linux-fuzz
	cmake --build --preset linux-fuzz -j $(JOBS)
	ctest --preset linux-fuzz

bench: setup
	cmake --preset linux-bench
	cmake --build --preset linux-bench -j $(JOBS)
	./build/linux-bench/tests/bench/zelvan-bench
	bash tools/bench/plugin_share.sh ./build/linux-bench/tests/bench/zelvan-bench
	bash tools/bench/render_vs_ffmpeg.sh ./build/linux-bench/tools/zelvan-render
	bash tools/bench/render_memory.sh ./build/linux-bench/tools/zelvan-render

# The Linux .so, the Windows .aex and the universal macOS bundle, checked, in
# dist/ with SHA256SUMS and HOST-INTERFACE.txt. HOST_SDK=/path/to/the/host/sdk
# builds them against the host's own interface headers.
dist: setup
	JOBS=$(JOBS) HOST_SDK="$(HOST_SDK)" bash tools/dist/make-dist.sh

clean:
	rm -rf build dist
