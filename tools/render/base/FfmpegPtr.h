// Owners of FFmpeg's objects, each freed by the call FFmpeg pairs with its
// allocation, so that every path out of a reader or an encoder gives them back.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

#include <memory>

namespace zelvan::render::ffmpeg {

// An input opened by avformat_open_input.
struct InputCloser {
  void operator()(AVFormatContext* f) const { avformat_close_input(&f); }
};
// An output made by avformat_alloc_output_context2.
struct OutputFreer {
  void operator()(AVFormatContext* f) const { avformat_free_context(f); }
};
// A custom I/O context owns its buffer, which FFmpeg may have replaced.
struct IoFreer {
  void operator()(AVIOContext* io) const {
    av_freep(&io->buffer);
    avio_context_free(&io);
  }
};
struct CodecFreer {
  void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct PacketFreer {
  void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct FrameFreer {
  void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct SwsFreer {
  void operator()(SwsContext* s) const { sws_freeContext(s); }
};

using InputPtr = std::unique_ptr<AVFormatContext, InputCloser>;
using OutputPtr = std::unique_ptr<AVFormatContext, OutputFreer>;
using IoPtr = std::unique_ptr<AVIOContext, IoFreer>;
using CodecPtr = std::unique_ptr<AVCodecContext, CodecFreer>;
using PacketPtr = std::unique_ptr<AVPacket, PacketFreer>;
using FramePtr = std::unique_ptr<AVFrame, FrameFreer>;
using SwsPtr = std::unique_ptr<SwsContext, SwsFreer>;

}  // namespace zelvan::render::ffmpeg
