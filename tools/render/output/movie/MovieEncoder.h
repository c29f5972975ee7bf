// The rendered loop as one movie into a checked file: encoded by FFmpeg's
// libraries (a GIF by the preview's own writer), its container, codec and
// pixels as its kind's row of MovieRecipe.h says. A kind without alpha shows
// the render over black; the others keep it straight, as their decoders give
// it; an .mkv holds the bytes of the PNG frames of the same scene.
//
// Frame k has presentation time k at a time base of one frame, so a rate such
// as 30000/1001 stays exact where the container can hold it (Matroska counts
// milliseconds). The encoders run threaded (x264's frame threads, slices);
// the caller's thread converts each frame, and a thread of the encoder's own
// hands it over, so that the caller goes on while the encoder is busy. The
// frames converted and not yet let go by the encoder take at most the budget
// of frames waiting to be written (EncoderFrames.h); Add waits beyond it.
// Sound given with the settings is copied beside the pictures as they go,
// its packets from the movie's start to its end.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "AE_Effect.h"
#include "AudioPackets.h"
#include "Colour.h"
#include "MovieKind.h"
#include "MovieRecipe.h"
#include "Rational.h"

namespace zelvan::render {

struct MovieSettings {
  MovieKind kind = MovieKind::kH264;
  int width = 0;  // the frames' size
  int height = 0;
  int depth = 8;  // the render's: 8, 16 or 32 (float)
  Rational fps;
  int frames = 0;  // the movie's length: a GIF's delays, where copied sound ends
  int crf = 0;     // where the kind has a quality scale
  Colour colour = {};  // the frames' colour: the movie's primaries and transfer tags (MovieTags.h)
  AudioPackets* audio = nullptr;  // sound to copy, or none
};

class MovieEncoder {
 public:
  // Opens the encoder and writes the container's header into a new file at
  // `path`; `shown` names it in messages. Throws WriteError when the file
  // cannot be written, std::runtime_error when FFmpeg cannot encode.
  MovieEncoder(const std::string& path, const std::string& shown, const MovieSettings& settings);
  // Unfinished: the file is closed as it is (the caller removes it).
  ~MovieEncoder();
  MovieEncoder(const MovieEncoder&) = delete;
  MovieEncoder& operator=(const MovieEncoder&) = delete;

  // Converts the next frame, a world of the settings' size and depth, and
  // hands it to the encoder. Throws as the constructor does, also for an
  // earlier frame that failed to encode or to be written.
  void Add(const PF_EffectWorld& frame);
  // Drains the encoder, writes the container's index and closes the file,
  // synced to the device. Throws as the constructor does.
  void Finish();

  MovieKind kind() const;
  // The first frame with a pixel whose alpha is below 1, if any.
  std::optional<int> first_translucent() const;
  // "H.264 High, level 3.1, yuv420p, no alpha, crf 18", for the summary line.
  std::string description() const;

 private:
  struct Impl;
  class Gif;
  std::unique_ptr<Impl> impl_;  // through FFmpeg
  std::unique_ptr<Gif> gif_;    // or a GIF
};

}  // namespace zelvan::render
