// The encoder of a movie's kind, opened as its recipe says: the coded size,
// its pixels, a time base of one frame, its threads as shaped
// (EncoderShape.h), the colour tags (MovieTags.h), the quality and the
// kind's own options; and the profile and level it then
// declares in its headers (ParameterSets.h).
#pragma once

#include <string>

#include "EncoderShape.h"
#include "FfmpegPtr.h"
#include "MovieEncoder.h"

namespace zelvan::render {

// Throws std::runtime_error naming `shown` when FFmpeg's libraries lack the
// encoder or it cannot open. `global_header`: the headers go in the
// container (extradata), as an .mp4's do, instead of the stream.
ffmpeg::CodecPtr OpenMovieCodec(const MovieSettings& settings, bool global_header, const EncoderShape& shape,
                                const std::string& shown);

// Whether a codec declares a profile and level that its encoder picks (H.264, H.265).
bool DeclaresProfile(AVCodecID codec);
// "High, level 3.1" for H.264 and H.265 (from the headers, which a codec
// opened with global_header holds); empty for other codecs.
std::string DeclaredProfile(const AVCodecContext& codec);

// One tick a frame: frame k is at k, exactly, whatever the rate. Throws
// std::runtime_error naming `shown` for a rate FFmpeg cannot hold.
AVRational ExactRate(const Rational& fps, const std::string& shown);

}  // namespace zelvan::render
