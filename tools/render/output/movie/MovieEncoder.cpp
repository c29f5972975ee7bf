#include "MovieEncoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstring>
#include <memory>
#include <stdexcept>

#include "EncoderFrames.h"
#include "EncoderShape.h"
#include "FfmpegLog.h"
#include "FfmpegPtr.h"
#include "FfmpegSeek.h"
#include "FrameWriter.h"
#include "Limits.h"
#include "MovieRecipe.h"
#include "MovieTags.h"
#include "OutputFile.h"
#include "WorkQueue.h"
#include "Yuv420.h"

namespace zelvan::render {
namespace {

using ffmpeg::FramePtr;

// Rows converted through RGBA at a time: the sizes match, so libswscale
// converts each row on its own and a band gives what the whole frame would,
// while the RGBA copy stays small (a whole 4K frame at 16 bits is 66 MB).
constexpr int kBandRows = 64;

// One tick a frame: frame k is at k, exactly, whatever the rate.
AVRational ExactRate(const Rational& fps, const std::string& shown) {
  AVRational rate{};
  if (fps.num <= 0 || fps.den <= 0 || !av_reduce(&rate.num, &rate.den, fps.num, fps.den, INT_MAX)) {
    throw std::runtime_error(shown + ": the frame rate " + fps.text() + " cannot be held exactly in a movie");
  }
  return rate;
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

struct MovieEncoder::Impl {
  Impl(const std::string& path, const std::string& shown_, const MovieSettings& s)
      : settings(s), recipe(RecipeOf(s.kind)), shown(shown_), sink(path, shown_) {}

  // The constructor's steps, in order.
  const AVCodec* FindEncoder() const;
  void OpenEncoder(const AVCodec* encoder, AVRational rate);
  void AddStream(AVRational rate);
  void WriteHeader();
  void MakeFrames();
  // Each frame carries its tags: some encoders (ProRes) write them from there.
  void Tag(AVFrame& f) const;
  // The world into `coded` through `band`, a band of rows at a time; true
  // when some pixel is translucent.
  bool ConvertInBands(const PF_EffectWorld& world, AVFrame& coded);

  // Throws for a failed FFmpeg call: the file's own cause when a write
  // failed, else FFmpeg's reason.
  void Check(int result, const char* what);
  // Hands a frame (null: the end) to the encoder and writes what comes out.
  void Send(const AVFrame* frame);

  MovieSettings settings;
  const MovieRecipe& recipe;
  std::string shown;
  Sink sink;
  ffmpeg::IoPtr io;
  ffmpeg::OutputPtr fmt;
  ffmpeg::CodecPtr codec;
  AVStream* stream = nullptr;
  ffmpeg::PacketPtr packet;
  // Frames in the encoder's pixel format, as many as the budget of frames
  // waiting to be written holds and, where they are made through
  // libswscale, first a band of the frame's rows as CopyPixels writes them
  // (RGBA, 8 or 16 bits a channel).
  std::optional<EncoderFrames> frames;
  FramePtr band;
  ffmpeg::SwsPtr sws;
  FrameFormat channels = FrameFormat::Png8;
  bool planes_from_world = false;  // 4:2:0, written by WorldToYuv420
  int64_t next = 0;
  std::optional<int> first_translucent;
  // The encoder is fed from a thread of its own: the next frame renders and
  // converts while it waits for one of its threads.
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

const AVCodec* MovieEncoder::Impl::FindEncoder() const {
  const AVCodec* encoder = avcodec_find_encoder_by_name(recipe.encoder);
  if (encoder == nullptr) {
    throw std::runtime_error(shown + ": cannot be encoded: FFmpeg's libraries here have no " + recipe.encoder +
                             " encoder. Fix: install FFmpeg's libraries with it, or write another movie format");
  }
  return encoder;
}

void MovieEncoder::Impl::OpenEncoder(const AVCodec* encoder, AVRational rate) {
  AVFormatContext* raw = nullptr;
  Check(avformat_alloc_output_context2(&raw, nullptr, recipe.muxer, nullptr), "opening the container");
  fmt.reset(raw);
  codec.reset(avcodec_alloc_context3(encoder));
  packet.reset(av_packet_alloc());
  if (!codec || !packet) throw std::bad_alloc();

  AVCodecContext& c = *codec;
  c.width = CodedSide(recipe, settings.width);
  c.height = CodedSide(recipe, settings.height);
  c.pix_fmt = PixelsFor(recipe, settings.depth);
  c.sample_aspect_ratio = AVRational{1, 1};
  c.framerate = rate;
  c.time_base = av_inv_q(rate);
  frames.emplace(c.pix_fmt, c.width, c.height, kWaitingFramesBytes);
  const EncoderShape shape =
      ShapeEncoder(frames->frame_bytes(), recipe.thread_frames, MachineCores(), kWaitingFramesBytes);
  c.thread_type = shape.thread_type;
  c.thread_count = shape.thread_count;
  const Colour tags = MovieTags(recipe, settings.colour);
  c.color_range = tags.range;
  c.colorspace = tags.matrix;
  c.color_primaries = tags.primaries;
  c.color_trc = tags.transfer;
  if ((fmt->oformat->flags & AVFMT_GLOBALHEADER) != 0) c.flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  if (recipe.crf) av_opt_set_int(c.priv_data, "crf", settings.crf, 0);
  if (recipe.options != nullptr) recipe.options(c);
  Check(avcodec_open2(&c, encoder, nullptr), "opening the encoder");
}

void MovieEncoder::Impl::AddStream(AVRational rate) {
  stream = avformat_new_stream(fmt.get(), nullptr);
  if (stream == nullptr) throw std::bad_alloc();
  stream->time_base = codec->time_base;
  stream->avg_frame_rate = rate;
  stream->r_frame_rate = rate;
  Check(avcodec_parameters_from_context(stream->codecpar, codec.get()), "setting up the stream");
}

void MovieEncoder::Impl::WriteHeader() {
  constexpr int kIoBuffer = 1 << 16;
  auto* buffer = static_cast<unsigned char*>(av_malloc(kIoBuffer));
  if (buffer == nullptr) throw std::bad_alloc();
  io.reset(avio_alloc_context(buffer, kIoBuffer, 1, &sink, nullptr, WriteSink, SeekSink));
  if (!io) {
    av_free(buffer);
    throw std::bad_alloc();
  }
  fmt->pb = io.get();
  AVDictionary* options = nullptr;
  if (recipe.movflags != nullptr) av_dict_set(&options, "movflags", recipe.movflags, 0);
  const int header = avformat_write_header(fmt.get(), &options);
  av_dict_free(&options);
  Check(header, "writing the header");
}

void MovieEncoder::Impl::Tag(AVFrame& f) const {
  f.color_range = codec->color_range;
  f.colorspace = codec->colorspace;
  f.color_primaries = codec->color_primaries;
  f.color_trc = codec->color_trc;
}

void MovieEncoder::Impl::MakeFrames() {
  const AVPixelFormat pixels = codec->pix_fmt;
  // 4:2:0 planes are written straight from the world; the others through
  // RGBA, converted by libswscale unless the encoder takes that.
  planes_from_world = pixels == AV_PIX_FMT_YUV420P;
  const AVPixelFormat rgba = channels == FrameFormat::Png8 ? AV_PIX_FMT_RGBA : AV_PIX_FMT_RGBA64;
  if (planes_from_world || rgba == pixels) return;
  const int width = codec->width, height = codec->height;
  band.reset(av_frame_alloc());
  if (!band) throw std::bad_alloc();
  band->format = rgba;
  band->width = width;
  band->height = std::min(height, kBandRows);
  Check(av_frame_get_buffer(band.get(), 0), "allocating a frame");
  sws.reset(sws_getContext(width, height, rgba, width, height, pixels, SWS_BICUBIC, nullptr, nullptr, nullptr));
  if (!sws) throw std::runtime_error(shown + ": cannot be encoded (no conversion to " + recipe.codec_name + "'s pixels)");
  if (recipe.bt709) {
    // Full-range RGB to BT.709 video levels, as the stream is tagged.
    const int* bt709 = sws_getCoefficients(SWS_CS_ITU709);
    sws_setColorspaceDetails(sws.get(), bt709, 1, bt709, 0, 0, 1 << 16, 1 << 16);
  }
}

bool MovieEncoder::Impl::ConvertInBands(const PF_EffectWorld& world, AVFrame& coded) {
  bool translucent = false;
  auto* const rows = static_cast<unsigned char*>(world.data);
  for (int y = 0; y < world.height; y += band->height) {
    PF_EffectWorld part = world;
    part.height = std::min(band->height, world.height - y);
    part.data = rows + static_cast<std::ptrdiff_t>(y) * world.rowbytes;
    translucent = CopyPixels(part, channels, band->data[0], band->linesize[0]) || translucent;
    sws_scale(sws.get(), band->data, band->linesize, y, part.height, coded.data, coded.linesize);
  }
  return translucent;
}

MovieEncoder::MovieEncoder(const std::string& path, const std::string& shown, const MovieSettings& settings)
    : impl_(std::make_unique<Impl>(path, shown, settings)) {
  QuietLog();
  Impl& m = *impl_;
  // The others keep what a 16-bit or float render holds.
  m.channels = settings.depth == 8 ? FrameFormat::Png8 : FrameFormat::Png16;
  const AVCodec* encoder = m.FindEncoder();
  const AVRational rate = ExactRate(settings.fps, shown);
  m.OpenEncoder(encoder, rate);
  m.AddStream(rate);
  m.WriteHeader();
  m.MakeFrames();
}

MovieEncoder::~MovieEncoder() = default;

void MovieEncoder::Add(const PF_EffectWorld& frame) {
  Impl& m = *impl_;
  if (frame.width != m.settings.width || frame.height != m.settings.height) {
    throw std::logic_error("a frame of another size than the movie's");
  }
  // Waits while the frames the budget holds are with the encoder.
  std::shared_ptr<AVFrame> taken(m.frames->Take().release(), ffmpeg::FrameFreer{});
  AVFrame& coded = *taken;
  m.Tag(coded);
  bool translucent = false;
  if (m.planes_from_world) {
    translucent = WorldToYuv420(frame, coded.data, coded.linesize);
  } else if (m.sws) {
    translucent = m.ConvertInBands(frame, coded);
  } else {
    translucent = CopyPixels(frame, m.channels, coded.data[0], coded.linesize[0]);
  }
  if (translucent && !m.first_translucent) m.first_translucent = static_cast<int>(m.next);
  coded.pts = m.next++;
  // The job holds its own reference: a frame goes back only once both the
  // job and the encoder are done with it.
  m.feed.Submit([&m, taken] { m.Send(taken.get()); });
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

std::string MovieEncoder::description() const { return MovieDescription(impl_->settings); }

}  // namespace zelvan::render
