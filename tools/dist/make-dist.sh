#!/usr/bin/env bash
# Builds the three plug-in files (the Linux test build's .so, the Windows .aex,
# the universal macOS bundle), checks them, and writes them to dist/ with SHA256SUMS.
set -euo pipefail
cd "$(dirname "$0")/../.."
JOBS=${JOBS:-$(nproc)}

cmake --preset linux > /dev/null
cmake --build --preset linux -j "$JOBS" --target ZelvanClipCycle
for preset in windows-x64 macos; do
  cmake --preset "$preset" > /dev/null
  cmake --build --preset "$preset" -j "$JOBS"
done

rm -rf dist
mkdir -p dist/linux-x64 dist/windows-x64 dist/macos
cp build/linux/plugin/ZelvanClipCycle.so dist/linux-x64/
cp build/windows-x64/plugin/ZelvanClipCycle.aex dist/windows-x64/
cp -R build/macos/ZelvanClipCycle.plugin dist/macos/

# The shipped copies pass the same checks as the build tree's.
check="python3 tests/deliverables/check_deliverables.py"
$check linux dist/linux-x64/ZelvanClipCycle.so > /dev/null
$check windows dist/windows-x64/ZelvanClipCycle.aex > /dev/null
$check macos dist/macos/ZelvanClipCycle.plugin > /dev/null

sums=$(cd dist && find . -type f | sed 's|^\./||' | LC_ALL=C sort | xargs sha256sum)
printf '%s\n' "$sums" > dist/SHA256SUMS
cat dist/SHA256SUMS
