// The rendered loop as one movie, encoded by FFmpeg's libraries into a
// checked file: the container, the codec and its pixels follow the file's
// extension, as MovieRecipe.h lists them. An .mp4 has no alpha: it shows
// composited over black; a .mov keeps it straight as FFmpeg's decoders give
// it; an .mkv holds the bytes of the PNG frames of the same scene.
//
// Frame k has presentation time k at a time base of one frame, so a rate such
// as 30000/1001 stays exact where the container can hold it (Matroska counts
// milliseconds). The encoders run threaded (x264's frame threads, slices);
// the caller's thread converts each frame, and a thread of the encoder's own
// hands it over, so that the caller goes on while the encoder is busy. The
// frames converted and not yet let go by the encoder take at most the budget
// of frames waiting to be written (EncoderFrames.h); Add waits beyond it.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "AE_Effect.h"
#include "Colour.h"
#include "Rational.h"

namespace zelvan::render {

enum class MovieKind { kMp4, kMov, kMkv };

// The kind a path names by its extension, in any case; nothing for another
// name (a folder of frames) or a path that ends in "/".
std::optional<MovieKind> MovieKindOf(const std::string& path);
// The extensions of the movies the tool writes, lower case with the dot
// (".mp4"), in the recipe table's order.
std::vector<std::string> MovieExtensions();

// x264's quality scale: 0 lossless to 51; 18 looks the same as the frames.
constexpr int kDefaultCrf = 18;
constexpr int kMaxCrf = 51;

struct MovieSettings {
  MovieKind kind = MovieKind::kMp4;
  int width = 0;  // the frames' size
  int height = 0;
  int depth = 8;  // the render's: 8, 16 or 32 (float)
  Rational fps;
  int crf = kDefaultCrf;  // .mp4 only
  Colour colour = {};  // the frames' colour: the movie's primaries and transfer tags (MovieTags.h)
};

// "H.264 yuv420p, crf 18, padded to 66x36": the codec, its pixels, the
// quality where it has one and the size where coding changes it, for the
// summary line and a dry run.
std::string MovieDescription(const MovieSettings& settings);

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

  // The first frame with a pixel whose alpha is below 1, if any.
  std::optional<int> first_translucent() const;
  // "H.264 yuv420p, crf 18", for the summary line.
  std::string description() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace zelvan::render
