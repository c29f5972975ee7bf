#!/usr/bin/env bash
# Builds the three plug-in files (the Linux .so, the Windows .aex, the
# universal macOS bundle), checks them, and writes them to dist/ with
# SHA256SUMS and HOST-INTERFACE.txt, which says what they were built against.
#
# HOST_SDK=/path/to/the/host/sdk builds them against the host's own interface
# headers, in build trees of their own (build/host-sdk/); without it they are
# built against host/, our stand-in, in the presets' trees. The Linux plug-in
# comes from a tree of its own without the tests (linux-plugin), so that this
# needs none of their tools.
set -euo pipefail
JOBS=${JOBS:-$(nproc)}
HOST_SDK=${HOST_SDK:-}
# A relative path means one from where make was run.
if [ -n "$HOST_SDK" ]; then HOST_SDK=$(realpath -m -- "$HOST_SDK"); fi
cd "$(dirname "$0")/../.."

if [ -n "$HOST_SDK" ]; then
  tree() { echo "build/host-sdk/$1"; }
else
  tree() { echo "build/$1"; }
fi
for preset in linux-plugin windows-x64 macos; do
  # An empty HOST_SDK clears one a tree may have been given by hand.
  cmake --preset "$preset" -B "$(tree "$preset")" -DHOST_SDK="$HOST_SDK" > /dev/null
done
cmake --build "$(tree linux-plugin)" -j "$JOBS" --target ZelvanClipCycle
cmake --build "$(tree windows-x64)" -j "$JOBS"
cmake --build "$(tree macos)" -j "$JOBS"

# Assembled aside and moved into place once complete and checked, so a
# failure leaves the last dist/ as it was.
stage=build/dist.partial
rm -rf "$stage"
mkdir -p "$stage/linux-x64" "$stage/windows-x64" "$stage/macos"
cp "$(tree linux-plugin)/plugin/ZelvanClipCycle.so" "$stage/linux-x64/"
cp "$(tree windows-x64)/plugin/ZelvanClipCycle.aex" "$stage/windows-x64/"
cp -R "$(tree macos)/ZelvanClipCycle.plugin" "$stage/macos/"

# The shipped copies pass the same checks as the build tree's, run by the
# project's Python (tools/setup.sh makes it).
check() {
  local log
  if ! log=$(build/venv/bin/python3 tests/deliverables/check_deliverables.py "$@"); then
    printf '%s\n' "$log" >&2
    echo "make-dist: the check of $2 failed; dist/ is left as it was" >&2
    exit 1
  fi
}
check linux "$stage/linux-x64/ZelvanClipCycle.so"
check windows "$stage/windows-x64/ZelvanClipCycle.aex"
check macos "$stage/macos/ZelvanClipCycle.plugin"

if [ -n "$HOST_SDK" ]; then
  info="Built against the host's own interface headers: HOST_SDK=$HOST_SDK.
These binaries are laid out for the real host."
else
  info="Built against host/, this project's stand-in for the host's interface headers.
These binaries are laid out for the simulated host and the checks, not for the
real host: build with 'make dist HOST_SDK=/path/to/the/host/sdk' for it."
fi
printf '%s\n' "$info" > "$stage/HOST-INTERFACE.txt"

sums=$(cd "$stage" && find . -type f | sed 's|^\./||' | LC_ALL=C sort | xargs sha256sum)
printf '%s\n' "$sums" > "$stage/SHA256SUMS"
rm -rf dist
mv "$stage" dist
cat dist/SHA256SUMS
echo
cat dist/HOST-INTERFACE.txt
