// The source's sound copied into the movie as it is, no decoding: a stream
// beside the pictures, its packets written as the pictures go, from the
// movie's time 0 (the source's first picture) to the end of its last frame.
// A packet that starts before the end is copied whole, so the sound ends
// within one of its packets of the pictures' end. Packets before time 0 (an
// encoder's priming) are kept where the container holds times below 0 (MP4
// and MOV hide them by an edit list); elsewhere they go, so that the
// pictures keep their exact times.
#pragma once

#include <cstdint>

#include "AudioPackets.h"
#include "FfmpegPtr.h"
#include "MovieRecipe.h"
#include "Rational.h"

namespace zelvan::render {

// Whether the container takes sound of that codec.
bool ContainerTakesSound(const MovieContainer& container, AVCodecID codec);

class MovieAudio {
 public:
  // Adds the sound's stream to `fmt`, before its header is written, for a
  // movie of `frames` frames at `fps`.
  MovieAudio(AVFormatContext& fmt, AudioPackets& source, const Rational& fps, int frames);
  MovieAudio(const MovieAudio&) = delete;
  MovieAudio& operator=(const MovieAudio&) = delete;

  // Writes the packets that start before the end of the first `frames`
  // frames (and of the movie); returns FFmpeg's error code, 0 when none.
  int CopyUntil(int64_t frames);

 private:
  AVFormatContext& fmt_;
  AudioPackets& source_;
  AVStream* stream_ = nullptr;
  AVRational frame_ = {};  // one frame, in seconds
  int64_t frames_ = 0;
  bool negative_ = false;  // the container holds times below 0
  ffmpeg::PacketPtr pending_;  // read, not yet written
  bool ended_ = false;
};

}  // namespace zelvan::render
