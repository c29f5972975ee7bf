#include "MovieAudio.h"

extern "C" {
#include <libavformat/avformat.h>
}

#include <algorithm>
#include <new>

namespace zelvan::render {

bool ContainerTakesSound(const MovieContainer& container, AVCodecID codec) {
  const AVOutputFormat* format = container.muxer == nullptr ? nullptr : av_guess_format(container.muxer, nullptr, nullptr);
  return format != nullptr && avformat_query_codec(format, codec, FF_COMPLIANCE_NORMAL) == 1;
}

MovieAudio::MovieAudio(AVFormatContext& fmt, AudioPackets& source, const Rational& fps, int frames)
    : fmt_(fmt), source_(source), frame_(AVRational{static_cast<int>(fps.den), static_cast<int>(fps.num)}),
      frames_(frames), negative_((fmt.oformat->flags & AVFMT_TS_NEGATIVE) != 0), pending_(av_packet_alloc()) {
  if (!pending_) throw std::bad_alloc();
  stream_ = avformat_new_stream(&fmt, nullptr);
  if (stream_ == nullptr || avcodec_parameters_copy(stream_->codecpar, &source.parameters()) < 0) {
    throw std::bad_alloc();
  }
  stream_->codecpar->codec_tag = 0;  // the container's own tag for the codec
  stream_->time_base = source.time_base();
}

int MovieAudio::CopyUntil(int64_t frames) {
  const AVRational tb = source_.time_base();
  const int64_t until = av_rescale_q(std::min(frames, frames_), frame_, tb);
  AVPacket& p = *pending_;
  while (!ended_) {
    if (p.data == nullptr && !source_.Next(p)) {
      ended_ = true;
      break;
    }
    const int64_t at = (p.pts == AV_NOPTS_VALUE ? p.dts : p.pts) - source_.start();
    if (at >= until) break;
    if (at < 0 && !negative_) {
      av_packet_unref(&p);
      continue;
    }
    if (p.pts != AV_NOPTS_VALUE) p.pts -= source_.start();
    if (p.dts != AV_NOPTS_VALUE) p.dts -= source_.start();
    av_packet_rescale_ts(&p, tb, stream_->time_base);
    p.stream_index = stream_->index;
    p.pos = -1;
    // Takes the packet's data and leaves it blank.
    const int r = av_interleaved_write_frame(&fmt_, &p);
    if (r < 0) return r;
  }
  return 0;
}

}  // namespace zelvan::render
