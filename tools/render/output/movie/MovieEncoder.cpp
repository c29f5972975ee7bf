#include "MovieEncoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstring>
#include <filesystem>
#include <stdexcept>

#include "FfmpegLog.h"
#include "FfmpegPtr.h"
#include "FfmpegSeek.h"
#include "FrameWriter.h"
#include "OutputFile.h"
#include "WorkQueue.h"
#include "Yuv420.h"

namespace zelvan::render {
namespace {

using ffmpeg::FramePtr;

// What each kind is made of.
struct Recipe {
  const char* muxer;
  const char* encoder;
  const char* codec_name;  // as the summary says it
};
Recipe RecipeOf(MovieKind kind) {
  switch (kind) {
    case MovieKind::kMp4:
      return {"mp4", "libx264", "H.264"};
    case MovieKind::kMov:
      return {"mov", "prores_ks", "ProRes 4444"};
    case MovieKind::kMkv:
      break;
  }
  return {"matroska", "ffv1", "FFV1 lossless"};
}

// The muxer's writes go into the checked file, at the offsets it seeks to
// (it goes back to fill in sizes and indexes).
struct Sink {
  Sink(const std::string& path, const std::string& shown) : file(path, shown) {}
  OutputFile file;
  uint64_t pos = 0;
};

#if LIBAVFORMAT_VERSION_MAJOR >= 61
int WriteSink(void* opaque, const uint8_t* buf, int size) {
#else
int WriteSink(void* opaque, uint8_t* buf, int size) {
#endif
  auto& s = *static_cast<Sink*>(opaque);
  const std::size_t n = s.file.WriteAt(buf, static_cast<std::size_t>(size), s.pos);
  s.pos += n;
  // The file keeps the cause; the encoder reports it when the muxer fails.
  return n == static_cast<std::size_t>(size) ? size : AVERROR(EIO);
}

int64_t SeekSink(void* opaque, int64_t offset, int whence) {
  auto& s = *static_cast<Sink*>(opaque);
  // The muxer may seek past what it has written: a write there extends the file.
  auto pos = static_cast<int64_t>(s.pos);
  const int64_t r =
      ffmpeg::AnswerSeek(offset, whence, static_cast<int64_t>(s.file.size()), pos, ffmpeg::PastTheEnd::kAllowed);
  s.pos = static_cast<uint64_t>(pos);
  return r;
}

}  // namespace

std::optional<MovieKind> MovieKindOf(const std::string& path) {
  if (path.empty() || path.back() == '/') return std::nullopt;
  std::string ext = std::filesystem::path(path).extension().string();
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (ext == ".mp4") return MovieKind::kMp4;
  if (ext == ".mov") return MovieKind::kMov;
  if (ext == ".mkv") return MovieKind::kMkv;
  return std::nullopt;
}

struct MovieEncoder::Impl {
  Impl(const std::string& path, const std::string& shown_, const MovieSettings& s)
      : settings(s), shown(shown_), sink(path, shown_) {}

  // Throws for a failed FFmpeg call: the file's own cause when a write
  // failed, else FFmpeg's reason.
  void Check(int result, const char* what);
  // Hands a frame (null: the end) to the encoder and writes what comes out.
  void Send(const AVFrame* frame);

  MovieSettings settings;
  std::string shown;
  Sink sink;
  ffmpeg::IoPtr io;
  ffmpeg::OutputPtr fmt;
  ffmpeg::CodecPtr codec;
  AVStream* stream = nullptr;
  ffmpeg::PacketPtr packet;
  // Frames in the encoder's pixel format, filled in turn (see feed) and,
  // where they are made through libswscale, first the frame as CopyPixels
  // writes it (RGBA, 8 or 16 bits a channel).
  FramePtr coded[3];
  FramePtr picture;
  ffmpeg::SwsPtr sws;
  FrameFormat channels = FrameFormat::Png8;
  int64_t next = 0;
  std::optional<int> first_translucent;
  // The encoder is fed from a thread of its own: the next frame renders and
  // converts while it waits for one of its threads. At most two frames are
  // with it, so the third of `coded` is free to fill.
  WorkQueue feed{1, 1};
};

void MovieEncoder::Impl::Check(int result, const char* what) {
  if (result >= 0) return;
  if (sink.file.failed()) sink.file.Close();  // throws WriteError with the cause
  const std::string log = TakeLastError();
  throw std::runtime_error(shown + ": cannot be encoded (" + what + ": " + (log.empty() ? AvError(result) : log) + ")");
}

void MovieEncoder::Impl::Send(const AVFrame* frame) {
  Check(avcodec_send_frame(codec.get(), frame), "encoding a frame");
  while (true) {
    const int r = avcodec_receive_packet(codec.get(), packet.get());
    if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) return;
    Check(r, "encoding a frame");
    av_packet_rescale_ts(packet.get(), codec->time_base, stream->time_base);
    packet->stream_index = stream->index;
    Check(av_interleaved_write_frame(fmt.get(), packet.get()), "writing a frame");
  }
}

MovieEncoder::MovieEncoder(const std::string& path, const std::string& shown, const MovieSettings& settings)
    : impl_(std::make_unique<Impl>(path, shown, settings)) {
  QuietLog();
  Impl& m = *impl_;
  const Recipe recipe = RecipeOf(settings.kind);
  const bool mp4 = settings.kind == MovieKind::kMp4;
  const bool mkv = settings.kind == MovieKind::kMkv;
  // The others keep what a 16-bit or float render holds.
  m.channels = settings.depth == 8 ? FrameFormat::Png8 : FrameFormat::Png16;
  const AVPixelFormat pixels = mp4                               ? AV_PIX_FMT_YUV420P
                               : !mkv                            ? AV_PIX_FMT_YUVA444P10LE
                               : m.channels == FrameFormat::Png8 ? AV_PIX_FMT_BGRA
                                                                 : AV_PIX_FMT_RGBA64LE;
  // 4:2:0 needs even sizes.
  const int width = mp4 ? (settings.width + 1) / 2 * 2 : settings.width;
  const int height = mp4 ? (settings.height + 1) / 2 * 2 : settings.height;

  const AVCodec* encoder = avcodec_find_encoder_by_name(recipe.encoder);
  if (encoder == nullptr) {
    throw std::runtime_error(shown + ": cannot be encoded: FFmpeg's libraries here have no " + recipe.encoder +
                             " encoder. Fix: install FFmpeg's libraries with it, or write another movie format");
  }
  AVFormatContext* raw = nullptr;
  m.Check(avformat_alloc_output_context2(&raw, nullptr, recipe.muxer, nullptr), "opening the container");
  m.fmt.reset(raw);
  m.codec.reset(avcodec_alloc_context3(encoder));
  m.packet.reset(av_packet_alloc());
  if (!m.codec || !m.packet) throw std::bad_alloc();

  AVCodecContext& c = *m.codec;
  c.width = width;
  c.height = height;
  c.pix_fmt = pixels;
  c.sample_aspect_ratio = AVRational{1, 1};
  // One tick a frame: frame k is at k, exactly, whatever the rate.
  AVRational rate{};
  if (settings.fps.num <= 0 || settings.fps.den <= 0 ||
      !av_reduce(&rate.num, &rate.den, settings.fps.num, settings.fps.den, INT_MAX)) {
    throw std::runtime_error(shown + ": the frame rate " + settings.fps.text() + " cannot be held exactly in a movie");
  }
  c.framerate = rate;
  c.time_base = av_inv_q(rate);
  c.thread_count = 0;  // as many as the machine has
  c.thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
  if (!mkv) {
    c.color_range = AVCOL_RANGE_MPEG;
    c.colorspace = AVCOL_SPC_BT709;
    c.color_primaries = AVCOL_PRI_BT709;
    c.color_trc = AVCOL_TRC_BT709;
  }
  if ((m.fmt->oformat->flags & AVFMT_GLOBALHEADER) != 0) c.flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  if (mp4) {
    av_opt_set_int(c.priv_data, "crf", settings.crf, 0);
  } else if (!mkv) {
    av_opt_set(c.priv_data, "profile", "4444", 0);
  } else {
    // Version 3, every frame a keyframe, in slices (threads) with checksums.
    // FFmpeg's FFV1 garbles a frame cut into slices under 2 pixels a side,
    // and any version 3 frame (or any with checksums) 1 pixel wide or high:
    // a frame under 3 pixels a side is one slice, under 2 pixels version 1
    // without checksums (lossless all the same).
    const int side = std::min(width, height);
    c.level = side >= 2 ? 3 : 1;
    c.gop_size = 1;
    c.slices = side >= 3 ? 4 : 1;
    av_opt_set_int(c.priv_data, "slicecrc", c.level == 3 ? 1 : 0, 0);
  }
  m.Check(avcodec_open2(&c, encoder, nullptr), "opening the encoder");

  m.stream = avformat_new_stream(m.fmt.get(), nullptr);
  if (m.stream == nullptr) throw std::bad_alloc();
  m.stream->time_base = c.time_base;
  m.stream->avg_frame_rate = rate;
  m.stream->r_frame_rate = rate;
  m.Check(avcodec_parameters_from_context(m.stream->codecpar, &c), "setting up the stream");

  constexpr int kIoBuffer = 1 << 16;
  auto* buffer = static_cast<unsigned char*>(av_malloc(kIoBuffer));
  if (buffer == nullptr) throw std::bad_alloc();
  m.io.reset(avio_alloc_context(buffer, kIoBuffer, 1, &m.sink, nullptr, WriteSink, SeekSink));
  if (!m.io) {
    av_free(buffer);
    throw std::bad_alloc();
  }
  m.fmt->pb = m.io.get();
  AVDictionary* options = nullptr;
  // The colour tags in the container too: a ProRes decoder reports them from there.
  if (!mkv) av_dict_set(&options, "movflags", "+write_colr", 0);
  const int header = avformat_write_header(m.fmt.get(), &options);
  av_dict_free(&options);
  m.Check(header, "writing the header");

  auto frame = [&](AVPixelFormat format) {
    FramePtr f(av_frame_alloc());
    if (!f) throw std::bad_alloc();
    f->format = format;
    f->width = width;
    f->height = height;
    m.Check(av_frame_get_buffer(f.get(), 0), "allocating a frame");
    // Each frame carries its tags: some encoders (ProRes) write them from there.
    f->color_range = c.color_range;
    f->colorspace = c.colorspace;
    f->color_primaries = c.color_primaries;
    f->color_trc = c.color_trc;
    return f;
  };
  for (FramePtr& f : m.coded) f = frame(pixels);
  // H.264's planes are written straight from the world; the others through
  // RGBA, converted by libswscale unless the encoder takes that.
  const AVPixelFormat rgba = m.channels == FrameFormat::Png8 ? AV_PIX_FMT_RGBA : AV_PIX_FMT_RGBA64;
  if (!mp4 && rgba != pixels) {
    m.picture = frame(rgba);
    m.sws.reset(sws_getContext(width, height, rgba, width, height, pixels, SWS_BICUBIC, nullptr, nullptr, nullptr));
    if (!m.sws)
      throw std::runtime_error(shown + ": cannot be encoded (no conversion to " + recipe.codec_name + "'s pixels)");
    if (!mkv) {
      // Full-range RGB to BT.709 video levels, as the stream is tagged.
      const int* bt709 = sws_getCoefficients(SWS_CS_ITU709);
      sws_setColorspaceDetails(m.sws.get(), bt709, 1, bt709, 0, 0, 1 << 16, 1 << 16);
    }
  }
}

MovieEncoder::~MovieEncoder() = default;

void MovieEncoder::Add(const PF_EffectWorld& frame) {
  Impl& m = *impl_;
  if (frame.width != m.settings.width || frame.height != m.settings.height) {
    throw std::logic_error("a frame of another size than the movie's");
  }
  // The encoder may still hold the frame it was handed last.
  AVFrame& coded = *m.coded[m.next % 3];
  // Not through Check(): the feeding thread may be writing meanwhile.
  if (av_frame_make_writable(&coded) < 0) throw std::bad_alloc();
  bool translucent = false;
  if (m.settings.kind == MovieKind::kMp4) {
    translucent = WorldToYuv420(frame, coded.data, coded.linesize);
  } else if (m.sws) {
    translucent = CopyPixels(frame, m.channels, m.picture->data[0], m.picture->linesize[0]);
    sws_scale(m.sws.get(), m.picture->data, m.picture->linesize, 0, coded.height, coded.data, coded.linesize);
  } else {
    translucent = CopyPixels(frame, m.channels, coded.data[0], coded.linesize[0]);
  }
  if (translucent && !m.first_translucent) m.first_translucent = static_cast<int>(m.next);
  coded.pts = m.next++;
  m.feed.Submit([&m, &coded] { m.Send(&coded); });
}

void MovieEncoder::Finish() {
  Impl& m = *impl_;
  m.feed.Finish();
  m.Send(nullptr);
  m.Check(av_write_trailer(m.fmt.get()), "writing the index");
  avio_flush(m.io.get());
  m.Check(m.io->error, "writing");
  m.sink.file.Close();
}

std::optional<int> MovieEncoder::first_translucent() const { return impl_->first_translucent; }

std::string MovieEncoder::description() const {
  const Impl& m = *impl_;
  const Recipe recipe = RecipeOf(m.settings.kind);
  std::string d = std::string(recipe.codec_name) + " " + av_get_pix_fmt_name(m.codec->pix_fmt);
  if (m.settings.kind == MovieKind::kMp4) {
    d += ", crf " + std::to_string(m.settings.crf);
    if (m.codec->width != m.settings.width || m.codec->height != m.settings.height) {
      d += ", padded to " + std::to_string(m.codec->width) + "x" + std::to_string(m.codec->height);
    }
  }
  return d;
}

}  // namespace zelvan::render
