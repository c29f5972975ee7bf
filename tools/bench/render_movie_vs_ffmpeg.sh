#!/usr/bin/env bash
# The render tool writing the loop as a movie against FFmpeg writing the same
# movie, on the same machine in the same run, one race a row below: an 8-bit
# H.264 clip at 1920x1080 (x264 defaults, B-frames) encoded again with the
# tool's settings for that kind (MovieRecipe.cpp). FFmpeg: `ffmpeg -i clip.mp4`
# with those settings; zelvan-render: the same frames through the plug-in
# (--play-once: frame k shows source frame k, each once) into `--out`. The
# two are timed in turn, ROUNDS times (default 3), taking turns to go first;
# the best wall time of each counts.
# Goals: at most 1.1 x FFmpeg's time for the .mp4 (H.264), 1.2 x for the
# others.
set -euo pipefail
tool=${1:?usage: render_movie_vs_ffmpeg.sh path/to/zelvan-render [rounds]}
rounds=${2:-3}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

source "$(dirname "$0")/clip.sh"
source "$(dirname "$0")/timing.sh"

# name | frames | goal | the tool's options | FFmpeg's encoder settings (the tool's, as FFmpeg's options)
races=(
  "H.264 crf 18 .mp4|300|1.1|--out OUT.mp4|-c:v libx264 -crf 18 -pix_fmt yuv420p -movflags +faststart OUT.mp4"
  "H.265 crf 20 .mp4|60|1.2|--out OUT.mp4 --codec h265|-c:v libx265 -crf 20 -pix_fmt yuv420p -tag:v hvc1 -x265-params log-level=none -movflags +faststart OUT.mp4"
  "VP9 crf 31 .webm|60|1.2|--out OUT.webm|-c:v libvpx-vp9 -crf 31 -b:v 0 -row-mt 1 -pix_fmt yuv420p OUT.webm"
)
only=${RACES:-}  # a word of the names to run alone: RACES=VP9

for race in "${races[@]}"; do
  IFS='|' read -r name frames goal tool_args ffmpeg_args <<<"$race"
  [[ -n $only && $name != *$only* ]] && continue
  clip=$work/clip-$frames.mp4
  [[ -f $clip ]] || make_clip "$clip" 1920x1080 "$frames"
  load_before=$(load)
  ff="" zr=""
  # Each round swaps which of the two goes first, so that neither always meets
  # the quieter or the busier moment of a shared machine.
  # shellcheck disable=SC2086  # the options are words; OUT is the file in $work/out
  run_ff() { ff+=" $(timed ffmpeg -nostdin -v error -i "$clip" ${ffmpeg_args//OUT/$work/out/out})"; }
  # shellcheck disable=SC2086
  run_zr() { zr+=" $(timed "$tool" --source "$clip" --play-once --quiet ${tool_args//OUT/$work/out/out})"; }
  for ((i = 0; i < rounds; ++i)); do
    if ((i % 2 == 0)); then run_ff; run_zr; else run_zr; run_ff; fi
  done
  load_after=$(load)
  f=$(echo $ff | best) r=$(echo $zr | best)
  echo "render_movie_vs_ffmpeg: $frames frames 1920x1080 8-bit H.264 to $name, best of $rounds, $(nproc) cores," \
       "load average $load_before before, $load_after after"
  echo "  ffmpeg:        $f s   (all: $ff )"
  echo "  zelvan-render: $r s   (all: $zr )"
  awk -v f="$f" -v r="$r" -v g="$goal" 'BEGIN { printf "  ratio to ffmpeg: %.2f (goal <= %s)\n", r / f, g }'
done
