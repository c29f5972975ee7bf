# The footage the bench scripts race on: FFmpeg's moving test picture as an
# 8-bit H.264 clip with x264's defaults (B-frames included), at 30 frames a
# second. Sourced; usage: make_clip OUT.mp4 WIDTHxHEIGHT FRAMES
make_clip() {
  ffmpeg -nostdin -v error -f lavfi -i "testsrc2=size=$2:rate=30" -frames:v "$3" -pix_fmt yuv420p -c:v libx264 \
    "$1" </dev/null
}
