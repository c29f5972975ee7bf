// What each kind of movie is made of, one row a kind: its container (by the
// extension that names it), the name the container's option picks it by,
// whether it is the container's own kind for a render with alpha or without,
// FFmpeg's encoder, the codec as the summary names it, the pixels the encoder
// takes at each depth, whether it keeps alpha, whether its sides must be
// even, the matrix and range it converts to, its tag in the container, its
// quality scale, what its threads keep, where it plays and the encoder's
// options. The containers are rows of their own: the muxer, its flags and the
// option that picks one of their kinds. The encoder, its summary, --help, the
// command line's checks and the list of extensions read them from here.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
}

#include <optional>
#include <string>
#include <vector>

#include "MovieKind.h"

namespace zelvan::render {

struct MovieContainer {
  const char* extension;  // lower case, with the dot
  const char* muxer;      // FFmpeg's; null for a GIF, which giflib writes
  // The muxer's flags, or null: the colour tags in the container too, and an
  // .mp4's index before its data, so that a browser plays it as it loads.
  const char* movflags;
  const char* option;  // the option that picks one of its kinds, or null
};

// When a kind is its container's without the option: never, always, or as
// the render has alpha or has none.
enum class ByDefault { kNo, kAlways, kWithAlpha, kOpaque };

// The encoder's constant quality (crf): the default and the bounds it takes;
// all 0 for a kind without one.
struct CrfScale {
  int fallback = 0;
  int lowest = 0;
  int highest = 0;
  // Why the scale starts above 0, for the refusal of a lower value; or null.
  const char* below = nullptr;
};

struct MovieRecipe {
  MovieKind kind;
  const char* extension;  // its container's
  const char* choice;     // its value of the container's option, or null
  ByDefault by_default;
  const char* encoder;     // FFmpeg's; null for a GIF
  const char* codec_name;  // as the summary names it
  AVPixelFormat pixels_8;     // for an 8-bit render
  AVPixelFormat pixels_deep;  // for 16-bit and float renders
  // Alpha kept, straight (as the decoders give it); else pixels with alpha
  // below 1 show over black, which the run notes, naming `keep_alpha`.
  bool alpha;
  const char* keep_alpha;  // where a kind without alpha points for it
  // 4:2:0 in an encoder that takes even sizes only: an odd side gets one
  // black column or row.
  bool even_size;
  // Y'CbCr by BT.709's matrix in video levels, so tagged (MovieTags.h) in
  // the stream, each frame and the container; else RGB or a palette.
  bool bt709;
  const char* tag;  // the codec's tag in the container, or null for the muxer's own
  CrfScale crf;
  // What one of FFmpeg's frame threads keeps, in frames (EncoderShape.h);
  // 0 for an encoder without them.
  int thread_frames;
  const char* plays;  // where it plays: "plays anywhere: ...", "for editing ..."
  // The encoder's own options, once the frame's size is set; null for none.
  void (*options)(AVCodecContext& codec);

  bool has_crf() const { return crf.highest > 0; }
};

const MovieRecipe& RecipeOf(MovieKind kind);
const MovieContainer& ContainerOf(const MovieRecipe& recipe);
// Every container, and every kind, in their tables' order.
std::vector<const MovieContainer*> MovieContainers();
std::vector<const MovieRecipe*> MovieRecipes();
// A container's kinds, in the table's order.
std::vector<const MovieRecipe*> KindsIn(const MovieContainer& container);
// The extensions of the movies the tool writes, lower case with the dot
// (".mp4"), in the table's order.
std::vector<std::string> MovieExtensions();

// The container a path names by its extension, in any case; null for
// another name (a folder of frames) or a path that ends in "/".
const MovieContainer* MovieContainerOf(const std::string& path);
// The kind the container's option picks by `choice`; nothing for a value it
// does not take.
std::optional<MovieKind> ChosenKind(const MovieContainer& container, const std::string& choice);
// The kind a movie is: the one chosen, else the container's own for a render
// with alpha or without.
MovieKind KindFor(const MovieContainer& container, const std::optional<std::string>& choice, bool alpha);
// Whether that depends on the render's alpha.
bool KindFollowsAlpha(const MovieContainer& container, const std::optional<std::string>& choice);

// The pixels the encoder takes for a render of `depth` bits (8, 16, 32).
AVPixelFormat PixelsFor(const MovieRecipe& recipe, int depth);
// A side of the frame as the encoder codes it: one more when it must be even.
int CodedSide(const MovieRecipe& recipe, int side);

}  // namespace zelvan::render
