#!/usr/bin/env bash
# The plug-in's own share of a frame, counted in instructions so the figure
# holds on a noisy machine: callgrind runs the frame-versus-copy benchmark and
# this compares the instructions executed inside the plug-in binary itself
# (pre-render and render of a 1x1 world, without the simulated host's
# bookkeeping) with those of the host's unscaled 1920x1080 8-bit copy, run
# once per frame in the same loop. Goal: at most 1 %.
set -euo pipefail
bench=${1:?usage: plugin_share.sh path/to/zelvan-bench}
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
valgrind --tool=callgrind --callgrind-out-file="$out/cg" "$bench" \
  --benchmark_filter='BM_PluginFrameVsCopy' --benchmark_min_time=0.3 >/dev/null 2>"$out/log"
plugin=$(callgrind_annotate "$out/cg" 2>/dev/null | awk '/ZelvanClipCycle\.so\]/ {gsub(",", "", $1); s += $1} END {print s + 0}')
copy=$(callgrind_annotate --inclusive=yes "$out/cg" 2>/dev/null |
  awk '/zelvan::pixels::CopyWorld\(PF_EffectWorld const\*, PF_EffectWorld\*, PF_LRect const\*, PF_LRect const\*\) / && !done {gsub(",", "", $1); print $1; done = 1}')
awk -v p="$plugin" -v c="$copy" 'BEGIN {
  if (c == 0) { print "plugin_share: no copy instructions counted"; exit 1 }
  printf "plug-in instructions per frame / 1080p 8-bit copy instructions: %.3f %% (goal <= 1 %%)\n", 100 * p / c }'
