#!/usr/bin/env bash
# Installs what the build and the tests need on a fresh Debian 12.
# Idempotent: packages already present are skipped, and nothing is fetched
# when everything is there. Uses sudo when not run as root.
set -euo pipefail

# Debian packages, one per line with what needs it.
APT_PACKAGES=(
  cmake                 # build
  ninja-build           # build
  g++                   # Linux build
  make                  # top-level wrapper
  pkg-config            # finding libraries
  libgtest-dev          # tests
  libgmock-dev          # tests
  libbenchmark-dev      # benchmarks
  libopenimageio-dev    # zelvan-render: reading footage, writing PNG, EXR and GIF
  nlohmann-json3-dev    # zelvan-render: scenes and report.json
  libavformat-dev       # zelvan-render: reading movies
  libavcodec-dev        # zelvan-render: decoding movies
  libavutil-dev         # zelvan-render: FFmpeg's common code
  libgif-dev            # zelvan-render: the GIF preview
  ffmpeg                # render tool tests and benchmark: making clips, FFmpeg's own decode
  openimageio-tools     # benchmarks: the image library's CMake config names its tools
  libswscale-dev        # benchmarks: the scaled-copy comparison
  clang-14              # fuzzing (libFuzzer)
  libclang-rt-14-dev    # fuzzing and sanitizer runtimes
  valgrind              # memcheck test of the render tool and the session
  time                  # benchmarks: peak memory (GNU time -v)
  g++-mingw-w64-x86-64-posix  # Windows x64 plug-in (cross)
  binutils-mingw-w64-x86-64   # Windows x64 plug-in: windres, nm
  lld-14                # macOS plug-in: ld64.lld links the bundle
  llvm-14               # macOS bundle: llvm-lipo; deliverable checks: llvm-nm, llvm-objdump
  wine64                # deliverable checks: running the Windows simulated host
  g++-aarch64-linux-gnu # arm64 conformance session (cross)
  qemu-user             # arm64 conformance session: qemu-aarch64 runs it
)

# Python packages from PyPI, pinned.
# They go to the python3 on the PATH, which the build and the checks run.
PIP_PACKAGES=(
  ziglang==0.13.0       # macOS plug-in: zig's clang, libc++ and macOS headers
  pefile==2024.8.26     # deliverable checks: reading the .aex
  lief==0.16.7          # deliverable checks: reading the universal Mach-O
)

if [ "$(id -u)" -eq 0 ]; then SUDO=""; else SUDO="sudo"; fi

missing=()
for pkg in "${APT_PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$pkg")
  fi
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing Debian packages: ${missing[*]}"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

for spec in "${PIP_PACKAGES[@]}"; do
  name=${spec%%==*}
  want=${spec#*==}
  # pip show fails for a package not installed yet: that is "have nothing".
  have=$( (python3 -m pip show "$name" 2>/dev/null || true) | awk '/^Version:/ {print $2}')
  if [ "$have" != "$want" ]; then
    echo "setup: installing $spec from PyPI"
    python3 -m pip install --quiet --disable-pip-version-check "$spec"
  fi
done
