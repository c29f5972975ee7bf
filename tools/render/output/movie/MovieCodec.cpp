#include "MovieCodec.h"

extern "C" {
#include <libavutil/opt.h>
}

#include <climits>
#include <stdexcept>

#include "FfmpegLog.h"
#include "MovieTags.h"
#include "ParameterSets.h"

namespace zelvan::render {
namespace {

// A level as its standard writes it: level_idc over `per` (10 in H.264, 30
// in H.265), "3.1" or "4".
std::string LevelText(int level, int per) {
  const int whole = level / per, tenths = (level % per) * 10 / per;
  return std::to_string(whole) + (tenths == 0 ? "" : "." + std::to_string(tenths));
}

}  // namespace

AVRational ExactRate(const Rational& fps, const std::string& shown) {
  AVRational rate{};
  if (fps.num <= 0 || fps.den <= 0 || !av_reduce(&rate.num, &rate.den, fps.num, fps.den, INT_MAX)) {
    throw std::runtime_error(shown + ": the frame rate " + fps.text() + " cannot be held exactly in a movie");
  }
  return rate;
}

ffmpeg::CodecPtr OpenMovieCodec(const MovieSettings& settings, bool global_header, const EncoderShape& shape,
                                const std::string& shown) {
  QuietLog();
  const MovieRecipe& recipe = RecipeOf(settings.kind);
  const AVCodec* encoder = avcodec_find_encoder_by_name(recipe.encoder);
  if (encoder == nullptr) {
    throw std::runtime_error(shown + ": cannot be encoded: FFmpeg's libraries here have no " + recipe.encoder +
                             " encoder. Fix: install FFmpeg's libraries with it, or write another movie format");
  }
  ffmpeg::CodecPtr codec(avcodec_alloc_context3(encoder));
  if (!codec) throw std::bad_alloc();
  const AVRational rate = ExactRate(settings.fps, shown);
  AVCodecContext& c = *codec;
  c.width = CodedSide(recipe, settings.width);
  c.height = CodedSide(recipe, settings.height);
  c.pix_fmt = PixelsFor(recipe, settings.depth);
  c.sample_aspect_ratio = AVRational{1, 1};
  c.framerate = rate;
  c.time_base = av_inv_q(rate);
  c.thread_type = shape.thread_type;
  c.thread_count = shape.thread_count;
  const Colour tags = MovieTags(recipe, settings.colour);
  c.color_range = tags.range;
  c.colorspace = tags.matrix;
  c.color_primaries = tags.primaries;
  c.color_trc = tags.transfer;
  if (global_header) c.flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  if (recipe.crf.highest > 0) av_opt_set_int(c.priv_data, "crf", settings.crf, 0);
  if (recipe.options != nullptr) recipe.options(c);
  const int opened = avcodec_open2(&c, encoder, nullptr);
  if (opened < 0) {
    const std::string log = TakeLastError();
    throw std::runtime_error(shown + ": cannot be encoded (opening the encoder: " + (log.empty() ? AvError(opened) : log) +
                             ")");
  }
  return codec;
}

bool DeclaresProfile(AVCodecID codec) { return codec == AV_CODEC_ID_H264 || codec == AV_CODEC_ID_HEVC; }

std::string DeclaredProfile(const AVCodecContext& codec) {
  if (!DeclaresProfile(codec.codec_id)) return "";
  const bool h264 = codec.codec_id == AV_CODEC_ID_H264;
  const auto size = static_cast<std::size_t>(std::max(codec.extradata_size, 0));
  const std::optional<ProfileLevel> p =
      h264 ? H264Profile(codec.extradata, size) : H265Profile(codec.extradata, size);
  if (!p) return "";
  const char* name = avcodec_profile_name(codec.codec_id, p->profile);
  return std::string(name != nullptr ? name : "profile " + std::to_string(p->profile)) + ", level " +
         LevelText(p->level, h264 ? 10 : 30);
}

}  // namespace zelvan::render
