#!/usr/bin/env bash
# The render tool against FFmpeg on the same machine in the same run: 300
# frames of a 1920x1080 8-bit H.264 clip (x264 defaults, B-frames) to PNG.
# FFmpeg: `ffmpeg -i clip.mp4 -frames:v 300 frame_%04d.png`. zelvan-render:
# the same 300 frames through the plug-in (--play-once: frame k shows source
# frame k, each once), with the previews and with --no-previews. The three
# are timed in turn, ROUNDS times (default 3); the best wall time of each
# counts. Goal: at most 1.5 x FFmpeg's time, 1.2 x without previews.
set -euo pipefail
tool=${1:?usage: render_vs_ffmpeg.sh path/to/zelvan-render [rounds]}
rounds=${2:-3}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

source "$(dirname "$0")/clip.sh"
source "$(dirname "$0")/timing.sh"
make_clip "$work/clip.mp4" 1920x1080 300

scene=(--source "$work/clip.mp4" --play-once --quiet --out "$work/out")
load_before=$(load)
ff="" zr="" zn=""
for ((i = 0; i < rounds; ++i)); do
  ff+=" $(timed ffmpeg -nostdin -v error -i "$work/clip.mp4" -frames:v 300 "$work/out/frame_%04d.png")"
  zr+=" $(timed "$tool" "${scene[@]}")"
  zn+=" $(timed "$tool" "${scene[@]}" --no-previews)"
done
load_after=$(load)
f=$(echo $ff | best) r=$(echo $zr | best) n=$(echo $zn | best)
echo "render_vs_ffmpeg: 300 frames 1920x1080 8-bit H.264 to PNG, best of $rounds, $(nproc) cores," \
     "load average $load_before before, $load_after after"
echo "  ffmpeg:                      $f s   (all: $ff )"
echo "  zelvan-render:               $r s   (all: $zr )"
echo "  zelvan-render --no-previews: $n s   (all: $zn )"
awk -v f="$f" -v r="$r" -v n="$n" 'BEGIN {
  printf "  ratio to ffmpeg: %.2f with previews (goal <= 1.5), %.2f without (goal <= 1.2)\n", r / f, n / f }'
