#include "SourceAudio.h"

#include <stdexcept>

#include "FfmpegLog.h"

namespace zelvan::render {

std::unique_ptr<SourceAudio> SourceAudio::Open(const std::string& path) {
  std::unique_ptr<SourceAudio> audio(new SourceAudio());
  audio->path_ = path;
  if (!OpenMovieInput(FootageSource::File(path), audio->input_, nullptr)) return nullptr;
  AVFormatContext& fmt = *audio->input_.fmt;
  const int index = av_find_best_stream(&fmt, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
  const int video = av_find_best_stream(&fmt, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  if (index < 0) return nullptr;
  audio->stream_ = fmt.streams[index];
  for (unsigned i = 0; i < fmt.nb_streams; ++i) {
    if (static_cast<int>(i) != index) fmt.streams[i]->discard = AVDISCARD_ALL;
  }
  if (video >= 0 && fmt.streams[video]->start_time != AV_NOPTS_VALUE) {
    audio->start_ =
        av_rescale_q(fmt.streams[video]->start_time, fmt.streams[video]->time_base, audio->stream_->time_base);
  }
  return audio;
}

std::string SourceAudio::codec() const { return avcodec_get_name(stream_->codecpar->codec_id); }

const AVCodecParameters& SourceAudio::parameters() const { return *stream_->codecpar; }

AVRational SourceAudio::time_base() const { return stream_->time_base; }

bool SourceAudio::Next(AVPacket& packet) {
  while (true) {
    av_packet_unref(&packet);
    const int r = av_read_frame(input_.fmt.get(), &packet);
    if (r == AVERROR_EOF) return false;
    if (r < 0) throw std::runtime_error(path_ + ": its sound cannot be read (" + AvError(r) + ")");
    if (packet.stream_index == stream_->index) return true;
  }
}

}  // namespace zelvan::render
