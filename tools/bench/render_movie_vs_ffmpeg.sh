#!/usr/bin/env bash
# The render tool writing the loop as a movie against FFmpeg writing the same
# movie, on the same machine in the same run: 300 frames of a 1920x1080 8-bit
# H.264 clip (x264 defaults, B-frames) encoded again to H.264 at crf 18.
# FFmpeg: `ffmpeg -i clip.mp4 -c:v libx264 -crf 18 out.mp4`. zelvan-render:
# the same 300 frames through the plug-in (--play-once: frame k shows source
# frame k, each once) into `--out out.mp4` (crf 18 by default). The two are
# timed in turn, ROUNDS times (default 3), taking turns to go first; the best
# wall time of each counts.
# Goal: at most 1.2 x FFmpeg's time.
set -euo pipefail
tool=${1:?usage: render_movie_vs_ffmpeg.sh path/to/zelvan-render [rounds]}
rounds=${2:-3}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

source "$(dirname "$0")/clip.sh"
source "$(dirname "$0")/timing.sh"
make_clip "$work/clip.mp4" 1920x1080 300

load_before=$(load)
ff="" zr=""
# Each round swaps which of the two goes first, so that neither always meets
# the quieter or the busier moment of a shared machine.
run_ff() { ff+=" $(timed ffmpeg -nostdin -v error -i "$work/clip.mp4" -c:v libx264 -crf 18 "$work/out/out.mp4")"; }
run_zr() { zr+=" $(timed "$tool" --source "$work/clip.mp4" --play-once --quiet --out "$work/out/out.mp4")"; }
for ((i = 0; i < rounds; ++i)); do
  if ((i % 2 == 0)); then run_ff; run_zr; else run_zr; run_ff; fi
done
load_after=$(load)
f=$(echo $ff | best) r=$(echo $zr | best)
echo "render_movie_vs_ffmpeg: 300 frames 1920x1080 8-bit H.264 to H.264 crf 18, best of $rounds, $(nproc) cores," \
     "load average $load_before before, $load_after after"
echo "  ffmpeg:                 $f s   (all: $ff )"
echo "  zelvan-render --out .mp4: $r s   (all: $zr )"
awk -v f="$f" -v r="$r" 'BEGIN { printf "  ratio to ffmpeg: %.2f (goal <= 1.2)\n", r / f }'
