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
# - The same 30 frames played once (--play-once) into each movie the tool
#   writes, against FFmpeg encoding the clip with the tool's encoder settings:
#   `ffmpeg -i uhd.mp4 -c:v prores_ks -profile:v 4444 -pix_fmt yuva444p10le
#   out.mov` (the tool with --prores 4444: the clip is opaque), FFV1 version 3
#   in 4 slices with checksums, every frame a keyframe, as BGRA into out.mkv,
#   x264 at crf 18 and x265 at crf 20 into out.mp4 with its index first, and
#   VP9 at crf 31 (bit rate 0, row threads) into out.webm.
#   Goal: at most 1.3 x FFmpeg's peak for each.
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
# Each measure's peaks, one a round, and the highest of them.
declare -A peaks
measure() { local name=$1; shift; peaks[$name]+=" $(peak "$@")"; }
most() { echo ${peaks[$1]} | tr ' ' '\n' | sort -n | tail -n 1; }

# FFmpeg's encoder settings for each movie the tool writes (MovieRecipe.cpp).
declare -A encode=(
  [mov]="-c:v prores_ks -profile:v 4444 -pix_fmt yuva444p10le"
  [mkv]="-c:v ffv1 -level 3 -g 1 -slices 4 -slicecrc 1 -pix_fmt bgra"
  [mp4]="-c:v libx264 -crf 18 -pix_fmt yuv420p -movflags +faststart"
  [h265]="-c:v libx265 -crf 20 -pix_fmt yuv420p -tag:v hvc1 -x265-params log-level=none -movflags +faststart"
  [webm]="-c:v libvpx-vp9 -crf 31 -b:v 0 -row-mt 1 -pix_fmt yuv420p"
)
declare -A codec=([mov]="ProRes 4444" [mkv]="FFV1" [mp4]="H.264 crf 18" [h265]="H.265 crf 20" [webm]="VP9 crf 31")
declare -A file=([mov]=out.mov [mkv]=out.mkv [mp4]=out.mp4 [h265]=out.mp4 [webm]=out.webm)
declare -A kind=([mov]="--prores 4444" [mkv]="" [mp4]="" [h265]="--codec h265" [webm]="")
movies=(mov mkv mp4 h265 webm)

hd=(--source "$work/hd.mp4" --frames 300 --type cycle --easing linear --waiting 0
    --set 'params.time={"rate": 36}' --quiet --out "$work/out")
uhd=(--source "$work/uhd.mp4" --frames 30 --depth 32 --type cycle --easing linear --waiting 0
     --set 'params.time={"rate": 360}' --quiet --out "$work/out")
for ((i = 0; i < rounds; ++i)); do
  measure hd-ffmpeg ffmpeg -nostdin -v error -i "$work/hd.mp4" -frames:v 300 "$work/out/frame_%04d.png"
  measure hd-tool "$tool" "${hd[@]}"
  measure uhd-ffmpeg ffmpeg -nostdin -v error -i "$work/uhd.mp4" -pix_fmt gbrapf32le "$work/out/frame_%04d.exr"
  measure uhd-tool "$tool" "${uhd[@]}"
  for m in "${movies[@]}"; do
    # shellcheck disable=SC2086  # the settings are words
    measure "$m-ffmpeg" ffmpeg -nostdin -v error -i "$work/uhd.mp4" ${encode[$m]} "$work/out/${file[$m]}"
    # shellcheck disable=SC2086  # the kind's option is words, or none
    measure "$m-tool" "$tool" --source "$work/uhd.mp4" --play-once --quiet --out "$work/out/${file[$m]}" ${kind[$m]}
  done
done
f=$(most hd-ffmpeg) r=$(most hd-tool) u=$(most uhd-ffmpeg) z=$(most uhd-tool)
echo "render_memory: peak resident memory, highest of $rounds, $(nproc) cores"
echo "  1920x1080 8-bit, 300 frames to PNG: ffmpeg $f MiB, zelvan-render $r MiB   (all: ${peaks[hd-ffmpeg]} / ${peaks[hd-tool]} )"
echo "  3840x2160 at 32-bit float, 30 frames to EXR: zelvan-render $z MiB, ffmpeg $u MiB   (all: ${peaks[uhd-tool]} / ${peaks[uhd-ffmpeg]} )"
awk -v f="$f" -v r="$r" -v z="$z" 'BEGIN {
  printf "  1080p 8-bit: %.2f x FFmpeg (goal <= 2.5); 4K float: %d MiB (goal <= 1024)\n", r / f, z }'
for m in "${movies[@]}"; do
  mf=$(most "$m-ffmpeg") mt=$(most "$m-tool")
  awk -v m="${file[$m]}" -v c="${codec[$m]}" -v f="$mf" -v t="$mt" -v all="${peaks[$m-ffmpeg]} / ${peaks[$m-tool]}" 'BEGIN {
    printf "  3840x2160 8-bit, 30 frames to %s (%s): ffmpeg %d MiB, zelvan-render %d MiB: %.2f x FFmpeg (goal <= 1.3)   (all: %s )\n",
      m, c, f, t, t / f, all }'
done
