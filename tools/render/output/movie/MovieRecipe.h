// What each kind of movie is made of, one row a kind: the extension that
// names it, FFmpeg's container and encoder, the codec as the summary names
// it, the pixels the encoder takes at each depth, whether its sides must be
// even, the matrix and range it converts to, what its threads keep, and the
// encoder's options. The encoder, its summary, MovieKindOf and the list of
// extensions read it from here.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
}

#include "MovieEncoder.h"

namespace zelvan::render {

struct MovieRecipe {
  MovieKind kind;
  const char* extension;  // lower case, with the dot
  const char* muxer;
  const char* encoder;
  const char* codec_name;  // as the summary names it
  AVPixelFormat pixels_8;     // for an 8-bit render
  AVPixelFormat pixels_deep;  // for 16-bit and float renders
  // 4:2:0 takes even sizes only: an odd side gets one black column or row.
  bool even_size;
  // Y'CbCr by BT.709's matrix in video levels, so tagged (MovieTags.h) in
  // the stream, each frame and the container (movflags); else RGB.
  bool bt709;
  const char* movflags;  // the container's, or null
  // The quality is x264's crf from the settings: set, and named in the summary.
  bool crf;
  // What one of FFmpeg's frame threads keeps, in frames (EncoderShape.h);
  // 0 for an encoder without them.
  int thread_frames;
  // The encoder's own options, once the frame's size is set; null for none.
  void (*options)(AVCodecContext& codec);
};

const MovieRecipe& RecipeOf(MovieKind kind);

// The pixels the encoder takes for a render of `depth` bits (8, 16, 32).
AVPixelFormat PixelsFor(const MovieRecipe& recipe, int depth);
// A side of the frame as the encoder codes it: one more when it must be even.
int CodedSide(const MovieRecipe& recipe, int side);

}  // namespace zelvan::render
