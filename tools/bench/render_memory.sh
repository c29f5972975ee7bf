#!/usr/bin/env bash
# Peak memory of the render tool (maximum resident set size, GNU time -v),
# with FFmpeg's on the same frames beside it:
# - 300 frames of a 1920x1080 8-bit H.264 clip (x264 defaults) to PNG, the run
#   of render_vs_ffmpeg.sh (a Cycle that plays the clip once), against
#   `ffmpeg -i clip.mp4 -frames:v 300 frame_%04d.png`. Goal: at most 2.5 x
#   FFmpeg's peak.
# - 30 frames of a 3840x2160 8-bit H.264 clip rendered at 32-bit float to EXR.
#   Goal: at most 1 GiB. FFmpeg writing the same frames as float EXR is shown
#   for reference.
# Each run is repeated ROUNDS times (default 2); the highest peak counts.
set -euo pipefail
tool=${1:?usage: render_memory.sh path/to/zelvan-render [rounds]}
rounds=${2:-2}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

source "$(dirname "$0")/clip.sh"
make_clip "$work/hd.mp4" 1920x1080 300
make_clip "$work/uhd.mp4" 3840x2160 30

# Peak resident MiB of one command, into a fresh output folder.
peak() {
  rm -rf "$work/out" && mkdir "$work/out"
  /usr/bin/time -v "$@" >/dev/null 2>"$work/err" </dev/null || { cat "$work/err" >&2; exit 1; }
  awk -F': ' '/Maximum resident set size/ { printf "%d", $2 / 1024 }' "$work/err"
}
most() { tr ' ' '\n' | sort -n | tail -n 1; }

hd=(--source "$work/hd.mp4" --frames 300 --type cycle --easing linear --waiting 0
    --set 'params.time={"rate": 36}' --quiet --out "$work/out")
uhd=(--source "$work/uhd.mp4" --frames 30 --depth 32 --type cycle --easing linear --waiting 0
     --set 'params.time={"rate": 360}' --quiet --out "$work/out")
ff="" zr="" uf="" uz=""
for ((i = 0; i < rounds; ++i)); do
  ff+=" $(peak ffmpeg -nostdin -v error -i "$work/hd.mp4" -frames:v 300 "$work/out/frame_%04d.png")"
  zr+=" $(peak "$tool" "${hd[@]}")"
  uf+=" $(peak ffmpeg -nostdin -v error -i "$work/uhd.mp4" -pix_fmt gbrapf32le "$work/out/frame_%04d.exr")"
  uz+=" $(peak "$tool" "${uhd[@]}")"
done
f=$(echo $ff | most) r=$(echo $zr | most) u=$(echo $uf | most) z=$(echo $uz | most)
echo "render_memory: peak resident memory, highest of $rounds, $(nproc) cores"
echo "  1920x1080 8-bit, 300 frames to PNG: ffmpeg $f MiB, zelvan-render $r MiB   (all: $ff / $zr )"
echo "  3840x2160 at 32-bit float, 30 frames to EXR: zelvan-render $z MiB, ffmpeg $u MiB   (all: $uz / $uf )"
awk -v f="$f" -v r="$r" -v z="$z" 'BEGIN {
  printf "  1080p 8-bit: %.2f x FFmpeg (goal <= 2.5); 4K float: %d MiB (goal <= 1024)\n", r / f, z }'
