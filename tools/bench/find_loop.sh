#!/usr/bin/env bash
# zelvan-render --find-loop against FFmpeg's decode of the same clip, on the
# same machine in the same run. Decoding is the floor: the search reads
# every frame once through FFmpeg's libraries, so what it adds is the
# analysis (each frame shrunk to its small luma picture, the distances along
# the matrix's diagonals, the candidates), and its own start-up.
# - Time: 300 frames of a 1920x1080 8-bit H.264 clip (x264 defaults),
#   `ffmpeg -i clip.mp4 -f null -` against `zelvan-render --find-loop
#   --source clip.mp4` (a Cycle, every length from 0.5 s to the whole clip),
#   timed in turn ROUNDS times (default 3), taking turns to go first, with
#   the tool's start-up alone (`--version`: loading its shared libraries)
#   beside them; the least of each counts, in wall time and in processor
#   time (user and system, all threads), which a shared machine disturbs
#   less. Goal: the analysis at most 10 % of FFmpeg's time: the tool's
#   processor time less its start-up at most 1.1 x FFmpeg's.
# - Memory: ten minutes of the same clip (18000 frames, the 300 copied in a
#   loop), searched over every length with --out, peak resident memory
#   (GNU time -v). Goal: at most 300 MB.
set -euo pipefail
tool=${1:?usage: find_loop.sh path/to/zelvan-render [rounds]}
rounds=${2:-3}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

source "$(dirname "$0")/clip.sh"
source "$(dirname "$0")/timing.sh"
make_clip "$work/clip.mp4" 1920x1080 300
ffmpeg -nostdin -v error -stream_loop 59 -i "$work/clip.mp4" -c copy "$work/long.mp4" </dev/null

# Wall and processor seconds of one command: "WALL CPU".
clocked() {
  /usr/bin/time -f "%e %U %S" -o "$work/clock" "$@" >/dev/null 2>"$work/err" </dev/null || { cat "$work/err" >&2; exit 1; }
  awk '{ printf "%.3f %.3f", $1, $2 + $3 }' "$work/clock"
}
load_before=$(load)
ff="" zr="" up=""
run_ff() { ff+=" $(clocked ffmpeg -nostdin -v error -i "$work/clip.mp4" -f null -)"; }
run_zr() { zr+=" $(clocked "$tool" --find-loop --source "$work/clip.mp4" --quiet)"; }
for ((i = 0; i < rounds; ++i)); do
  if ((i % 2 == 0)); then run_ff; run_zr; else run_zr; run_ff; fi
  up+=" $(clocked "$tool" --version)"
done
load_after=$(load)
# The least wall time, and the least processor time, of "WALL CPU WALL CPU ...".
least() { echo $1 | tr ' ' '\n' | awk -v k="$2" 'NR % 2 == k' | best; }
fw=$(least "$ff" 1) fc=$(least "$ff" 0) zw=$(least "$zr" 1) zc=$(least "$zr" 0) sw=$(least "$up" 1) sc=$(least "$up" 0)
rm -rf "$work/out"
/usr/bin/time -v "$tool" --find-loop --source "$work/long.mp4" --quiet --out "$work/out" >/dev/null 2>"$work/err" </dev/null ||
  { cat "$work/err" >&2; exit 1; }
peak=$(awk -F': ' '/Maximum resident set size/ { printf "%d", $2 / 1024 }' "$work/err")
took=$(awk -F': ' '/Elapsed \(wall clock\)/ { print $2 }' "$work/err")
echo "find_loop: 300 frames 1920x1080 8-bit H.264, least of $rounds, $(nproc) cores," \
     "load average $load_before before, $load_after after; wall and processor seconds"
echo "  ffmpeg -f null:              $fw s, $fc s   (all: $ff )"
echo "  zelvan-render --find-loop:   $zw s, $zc s   (all: $zr )"
echo "  zelvan-render --version:     $sw s, $sc s   (all: $up )"
awk -v fw="$fw" -v fc="$fc" -v zw="$zw" -v zc="$zc" -v sw="$sw" -v sc="$sc" 'BEGIN {
  printf "  processor time less the start-up, to ffmpeg: %.2f (goal <= 1.1); with it %.2f\n", (zc - sc) / fc, zc / fc
  printf "  wall time to ffmpeg: %.2f; less the start-up %.2f\n", zw / fw, (zw - sw) / fw }'
echo "  ten minutes (18000 frames), peak resident memory: $peak MiB (goal <= 300 MB), in $took"
