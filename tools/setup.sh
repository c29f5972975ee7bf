#!/usr/bin/env bash
# Installs what a make target needs on Debian 12, and nothing more:
#
#   bash tools/setup.sh [TARGET...]     TARGET: demo, test, bench, dist (default: all four)
#
# Debian packages come from apt (as root directly, otherwise through sudo). The
# pinned PyPI packages go into the project's own Python environment, build/venv,
# made with Debian's python3; the system's Python is never changed. Idempotent:
# what is present is skipped, and nothing is fetched when everything is there.
set -euo pipefail
cd "$(dirname "$0")/.."

# What each make target needs: a package, the targets, what it is for.
APT_NEEDS=$(cat << 'EOF'
cmake                      | demo test bench dist | the build
ninja-build                | demo test bench dist | the build
g++                        | demo test bench dist | the Linux build
make                       | demo test bench dist | the top-level wrapper
pkg-config                 | demo test bench      | finding libraries
libopenimageio-dev         | demo test bench      | zelvan-render: reading footage, writing PNG, EXR and GIF
nlohmann-json3-dev         | demo test bench      | zelvan-render: scenes and report.json
libavformat-dev            | demo test bench      | zelvan-render: reading movies
libavcodec-dev             | demo test bench      | zelvan-render: decoding movies
libavutil-dev              | demo test bench      | zelvan-render: FFmpeg's common code
libswscale-dev             | demo test bench      | zelvan-render: movie frames to RGB; benchmarks: the scaled copy
libgif-dev                 | demo test bench      | zelvan-render: the GIF preview
python3                    | test dist            | the project's Python: the host variant, the deliverable checks, zig
python3-venv               | test dist            | the project's Python environment, build/venv
libgtest-dev               | test                 | tests
libgmock-dev               | test                 | tests
ffmpeg                     | test bench           | render tool tests and benchmark: making clips, FFmpeg's own decode
valgrind                   | test bench           | memcheck tests; benchmarks: the plug-in's share (callgrind)
libbenchmark-dev           | bench                | benchmarks
openimageio-tools          | bench                | benchmarks: the image library's CMake config names its tools
time                       | bench                | benchmarks: peak memory (GNU time -v)
clang-14                   | test                 | fuzzing (libFuzzer)
libclang-rt-14-dev         | test                 | fuzzing and sanitizer runtimes
g++-mingw-w64-x86-64-posix | test dist            | Windows x64 plug-in (cross)
binutils-mingw-w64-x86-64  | test dist            | Windows x64 plug-in: windres, nm
lld-14                     | test dist            | macOS plug-in: ld64.lld links the bundle
llvm-14                    | test dist            | macOS bundle: llvm-lipo; deliverable checks: llvm-nm, llvm-objdump
wine64                     | test                 | running the Windows conformance session
g++-aarch64-linux-gnu      | test                 | arm64 conformance session (cross)
qemu-user                  | test                 | arm64 conformance session: qemu-aarch64 runs it
EOF
)
# Pinned PyPI packages, installed into the project's Python environment.
PIP_NEEDS=$(cat << 'EOF'
ziglang==0.13.0            | test dist            | macOS plug-in: zig's clang, libc++ and macOS headers
pefile==2024.8.26          | test dist            | deliverable checks: reading the .aex
lief==0.16.7               | test dist            | deliverable checks: reading the universal Mach-O
EOF
)
# The project's Python environment, made with Debian's python3 for the targets
# that need python3-venv; CMake runs it (cmake/ZelvanPython.cmake).
VENV=build/venv

usage() {
  sed -n '2,9p' "$0" | sed 's/^# \{0,1\}//'
}
fail() {
  printf 'setup: %s\n' "$@" >&2
  exit 1
}

targets=()
for arg in "$@"; do
  case "$arg" in
    demo | test | bench | dist) targets+=("$arg") ;;
    -h | --help) usage; exit 0 ;;
    *) usage >&2; fail "unknown target '$arg': give demo, test, bench or dist" ;;
  esac
done
[ ${#targets[@]} -gt 0 ] || targets=(demo test bench dist)
# What to run once a failure is fixed.
again="bash tools/setup.sh"
[ ${#targets[@]} -ne 1 ] || again="make ${targets[0]}"

# The packages of a table that one of the targets needs.
needed() {
  awk -F'|' -v want=" ${targets[*]} " '
    { n = split($2, t, " "); for (i = 1; i <= n; i++) if (index(want, " " t[i] " ")) { gsub(/ /, "", $1); print $1; break } }' <<< "$1"
}
# Debian packages: as root, apt runs directly; otherwise through sudo.
install_debian_packages() {
  local pkg missing=() install_cmd why sudo=()
  for pkg in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$pkg" 2> /dev/null | grep -q "install ok installed"; then
      missing+=("$pkg")
    fi
  done
  [ ${#missing[@]} -gt 0 ] || return 0
  install_cmd="apt-get update && apt-get install -y --no-install-recommends ${missing[*]}"
  if [ "$(id -u)" -ne 0 ]; then
    # sudo -v asks for the password, if sudo wants one, before apt runs.
    if command -v sudo > /dev/null && sudo -v; then
      sudo=(sudo)
    else
      why="sudo is not installed"
      command -v sudo > /dev/null && why="sudo does not let $(id -un) run it"
      fail "these Debian packages are missing: ${missing[*]}" \
        "Installing them needs root, and $why. Ask an administrator to run, as root:" \
        "  $install_cmd" \
        "then run '$again' again."
    fi
  fi
  echo "setup: installing Debian packages for ${targets[*]}: ${missing[*]}"
  "${sudo[@]}" apt-get update -qq ||
    fail "'apt-get update' failed (its message is above): check the network and the apt sources" \
      "(/etc/apt/sources.list.d/), then run '$again' again."
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" ||
    fail "'apt-get install' failed (its message is above): fix its cause and run '$again' again," \
      "or install the packages by hand: $install_cmd"
}

# The project's Python environment, made by Debian's python3 (never the
# system's Python itself, nor another python3 on the PATH).
make_venv() {
  if [ -e "$VENV" ] && ! "$VENV/bin/python3" -c 'import sys; sys.exit(sys.base_prefix != "/usr")' 2> /dev/null; then
    echo "setup: $VENV is not run by Debian's python3 (or no longer runs): making it again"
    rm -rf "$VENV"
  fi
  [ -e "$VENV" ] && return 0
  echo "setup: making the project's Python environment, $VENV"
  mkdir -p "$(dirname "$VENV")"
  if ! /usr/bin/python3 -m venv "$VENV"; then
    rm -rf "$VENV"
    fail "'/usr/bin/python3 -m venv $VENV' failed (its message is above): it needs Debian's python3-venv" \
      "(apt-get install python3-venv); then run '$again' again."
  fi
}

# Pinned PyPI packages into the environment: those not there at that version.
install_pip_packages() {
  local missing
  mapfile -t missing < <("$VENV/bin/python3" - "$@" << 'EOF'
import importlib.metadata
import sys
for spec in sys.argv[1:]:
    name, version = spec.split("==")
    try:
        have = importlib.metadata.version(name)
    except importlib.metadata.PackageNotFoundError:
        have = None
    if have != version:
        print(spec)
EOF
  )
  [ ${#missing[@]} -gt 0 ] || return 0
  echo "setup: installing from PyPI into $VENV: ${missing[*]}"
  "$VENV/bin/python3" -m pip install --quiet --disable-pip-version-check "${missing[@]}" ||
    fail "'pip install ${missing[*]}' into $VENV failed (its message is above): check the network and" \
      "pip's configuration (/etc/pip.conf, PIP_INDEX_URL), then run '$again' again."
}

mapfile -t apt_packages < <(needed "$APT_NEEDS")
mapfile -t pip_packages < <(needed "$PIP_NEEDS")
install_debian_packages "${apt_packages[@]}"
case " ${apt_packages[*]} " in
  *" python3-venv "*) make_venv ;;
esac
if [ ${#pip_packages[@]} -gt 0 ]; then
  install_pip_packages "${pip_packages[@]}"
fi
