#!/usr/bin/env bash
# Writes the footage fuzz target's seed corpus: tiny clips and images made
# with the ffmpeg program and oiiotool (openimageio-tools), each behind one
# byte that picks, for the target, the name the bytes go by (bits 0-2: mp4,
# mov, mkv, avi, png, tif, exr, jpg), the depth (bits 3-4: 8, 16, float),
# half-size painting (bit 5), no cache (bit 6) and a walk back to the start
# (bit 7). Run it to remake tests/fuzz/footage_corpus; the files are committed,
# beside the inputs the fuzzer once failed on (display-matrix-without-angle:
# a rotation matrix that scales a side to nothing), which it leaves alone.
set -euo pipefail
out=${1:-"$(dirname "$0")/footage_corpus"}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$out"

src() { echo "testsrc2=size=${1}:rate=25"; }
ff() { ffmpeg -v error -y -f lavfi -i "$@" </dev/null; }
# seed NAME PICK FILE: the pick byte, then the file's bytes.
seed() {
  { printf "\\x$(printf %02x "$2")"; cat "$3"; } >"$out/$1"
}

ff "$(src 16x16)" -frames:v 4 -pix_fmt yuv420p -c:v libx264 -bf 2 -g 2 "$work/h264.mp4"
seed h264-bframes-back.mp4 $((0 | 0x80)) "$work/h264.mp4"
ffmpeg -v error -y -i "$work/h264.mp4" -c copy -metadata:s:v rotate=90 "$work/turned.mp4"
seed h264-turned-16bit-half.mp4 $((0 | 1 << 3 | 0x20)) "$work/turned.mp4"
ff "$(src 16x16)" -frames:v 5 -vf "select='not(eq(n\\,2))',setsar=2" -vsync vfr -pix_fmt yuv420p -c:v libx264 "$work/vfr.mp4"
seed h264-variable-rate-sar.mp4 $((0 | 0x40 | 0x80)) "$work/vfr.mp4"
alpha="$(src 12x8),format=rgba,geq=r='r(X,Y)':g='g(X,Y)':b='b(X,Y)':a='X*20'"
ff "$alpha" -frames:v 2 -c:v prores_ks -profile:v 4444 -pix_fmt yuva444p10le "$work/prores.mov"
seed prores4444-float.mov $((1 | 2 << 3)) "$work/prores.mov"
ff "$alpha" -frames:v 2 -c:v qtrle -pix_fmt argb "$work/qtrle.mov"
seed qtrle.mov 1 "$work/qtrle.mov"
ff "$alpha" -frames:v 2 -c:v png -pix_fmt rgba "$work/png.mov"
seed png-in-mov-16bit.mov $((1 | 1 << 3)) "$work/png.mov"
ff "$(src 18x10),scale=17:9,format=yuv420p" -frames:v 3 -c:v ffv1 "$work/ffv1.mkv"
seed ffv1-odd-width-back.mkv $((2 | 0x80)) "$work/ffv1.mkv"
ff "$(src 16x8)" -frames:v 2 -c:v libvpx-vp9 -deadline realtime -pix_fmt yuv420p10le "$work/vp9.mkv"
seed vp9-10bit-16bit.mkv $((2 | 1 << 3)) "$work/vp9.mkv"
ff "$(src 18x8)" -frames:v 2 -c:v mjpeg -pix_fmt yuvj422p "$work/mjpeg.avi"
seed mjpeg-422.avi 3 "$work/mjpeg.avi"
ff "sine=frequency=440" -t 0.05 -c:a aac "$work/audio.m4a"
seed audio-only.m4a 0 "$work/audio.m4a"
head -c "$(($(stat -c %s "$work/h264.mp4") / 2))" "$work/h264.mp4" >"$work/cut.mp4"
seed cut-before-index.mp4 0 "$work/cut.mp4"
: >"$work/empty"
seed empty 0 "$work/empty"

ff "$alpha" -frames:v 1 "$work/rgba.png"
seed rgba.png 4 "$work/rgba.png"
ff "$alpha" -frames:v 1 -pix_fmt rgba64be "$work/rgba16.png"
seed rgba16-float.png $((4 | 2 << 3)) "$work/rgba16.png"
oiiotool "$work/rgba.png" "$work/rgba16.png" --siappend -o "$work/pages.tif"
seed two-pages.tif $((5 | 1 << 3)) "$work/pages.tif"
oiiotool "$work/rgba.png" -d half --compression zip -o "$work/half.exr"
seed half-float.exr $((6 | 2 << 3)) "$work/half.exr"
ff "$(src 16x8)" -frames:v 1 "$work/still.jpg"
seed still.jpg 7 "$work/still.jpg"
ls -l "$out"
