#include "MovieDescription.h"

extern "C" {
#include <libavutil/pixdesc.h>
}

#include "EncoderShape.h"
#include "Limits.h"
#include "MovieCodec.h"
#include "WorkQueue.h"

namespace zelvan::render {

std::string MovieDescription(const MovieSettings& s, const std::string& profile) {
  const MovieRecipe& r = RecipeOf(s.kind);
  std::string d = std::string(r.codec_name) + (profile.empty() ? "" : " " + profile) + ", " +
                  av_get_pix_fmt_name(PixelsFor(r, s.depth)) + (r.alpha ? ", alpha" : ", no alpha");
  if (r.crf.highest > 0) d += ", crf " + std::to_string(s.crf);
  const int width = CodedSide(r, s.width), height = CodedSide(r, s.height);
  if (width != s.width || height != s.height) {
    d += ", padded to " + std::to_string(width) + "x" + std::to_string(height);
  }
  return d;
}

std::string EncoderProfile(const MovieSettings& settings, const std::string& shown) {
  const MovieRecipe& r = RecipeOf(settings.kind);
  const AVCodec* encoder = r.encoder == nullptr ? nullptr : avcodec_find_encoder_by_name(r.encoder);
  if (encoder == nullptr || !DeclaresProfile(encoder->id)) return "";
  // The threads do not change what the headers declare: the encoders that
  // declare a profile have none of FFmpeg's frame threads, whatever the size.
  const EncoderShape shape = ShapeEncoder(0, r.thread_frames, MachineCores(), kWaitingFramesBytes);
  const ffmpeg::CodecPtr codec = OpenMovieCodec(settings, true, shape, shown);
  return DeclaredProfile(*codec);
}

}  // namespace zelvan::render
