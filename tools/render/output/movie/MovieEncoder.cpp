#include "MovieEncoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <memory>
#include <stdexcept>

#include "EncoderFrames.h"
#include "EncoderShape.h"
#include "FfmpegLog.h"
#include "FfmpegPtr.h"
#include "FrameWriter.h"
#include "Limits.h"
#include "MovieAudio.h"
#include "MovieCodec.h"
#include "MovieDescription.h"
#include "MovieSink.h"
#include "OverBlack.h"
#include "PreviewGif.h"
#include "Translucent.h"
#include "WorkQueue.h"
#include "Yuv420.h"

namespace zelvan::render {

using ffmpeg::FramePtr;

namespace {

// Rows converted through RGBA at a time: the sizes match, so libswscale
// converts each row on its own and a band gives what the whole frame would,
// while the RGBA copy stays small (a whole 4K frame at 16 bits is 66 MB).
constexpr int kBandRows = 64;

}  // namespace

struct MovieEncoder::Impl {
  Impl(const std::string& path, const std::string& shown_, const MovieSettings& s)
      : settings(s), recipe(RecipeOf(s.kind)), shown(shown_), sink(path, shown_) {}

  // The constructor's steps, in order.
  void OpenContainer();
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
  // Hands a frame (null: the end) to the encoder and writes what comes out,
  // then the sound up to the end of the frames handed over.
  void Send(const AVFrame* frame);

  MovieSettings settings;
  const MovieRecipe& recipe;
  std::string shown;
  MovieSink sink;
  ffmpeg::OutputPtr fmt;
  ffmpeg::CodecPtr codec;
  AVStream* stream = nullptr;
  std::unique_ptr<MovieAudio> audio;
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
  std::string profile;  // as the encoder declares it
  // The encoder is fed from a thread of its own: the next frame renders and
  // converts while it waits for one of its threads.
  WorkQueue feed{1, 1};
};

// A GIF: the preview's writer at the frames' own size.
class MovieEncoder::Gif {
 public:
  Gif(const std::string& path, const std::string& shown, const MovieSettings& s)
      : settings_(s), gif_(path, shown, s.frames, s.fps.value(), s.width, s.height) {}
  void Add(const PF_EffectWorld& frame) {
    if (HasTranslucentPixel(frame) && !first_translucent_) first_translucent_ = next_;
    gif_.Add(next_++, frame);
  }
  void Finish() { gif_.Finish(); }
  std::optional<int> first_translucent() const { return first_translucent_; }
  std::string description() const { return MovieDescription(settings_, ""); }

 private:
  MovieSettings settings_;
  PreviewGif gif_;
  int next_ = 0;
  std::optional<int> first_translucent_;
};

void MovieEncoder::Impl::Check(int result, const char* what) {
  if (result >= 0) return;
  if (sink.file().failed()) sink.file().Close();  // throws WriteError with the cause
  const std::string log = TakeLastError();
  throw std::runtime_error(shown + ": cannot be encoded (" + what + ": " + (log.empty() ? AvError(result) : log) + ")");
}

void MovieEncoder::Impl::Send(const AVFrame* frame) {
  Check(avcodec_send_frame(codec.get(), frame), "encoding a frame");
  while (true) {
    const int r = avcodec_receive_packet(codec.get(), packet.get());
    if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) break;
    Check(r, "encoding a frame");
    av_packet_rescale_ts(packet.get(), codec->time_base, stream->time_base);
    packet->stream_index = stream->index;
    Check(av_interleaved_write_frame(fmt.get(), packet.get()), "writing a frame");
  }
  if (audio) Check(audio->CopyUntil(frame == nullptr ? settings.frames : frame->pts + 1), "copying the sound");
}

void MovieEncoder::Impl::OpenContainer() {
  AVFormatContext* raw = nullptr;
  Check(avformat_alloc_output_context2(&raw, nullptr, ContainerOf(recipe).muxer, nullptr), "opening the container");
  fmt.reset(raw);
  packet.reset(av_packet_alloc());
  if (!packet) throw std::bad_alloc();
}

void MovieEncoder::Impl::AddStream(AVRational rate) {
  stream = avformat_new_stream(fmt.get(), nullptr);
  if (stream == nullptr) throw std::bad_alloc();
  stream->time_base = codec->time_base;
  stream->avg_frame_rate = rate;
  stream->r_frame_rate = rate;
  Check(avcodec_parameters_from_context(stream->codecpar, codec.get()), "setting up the stream");
  if (recipe.tag != nullptr) {
    stream->codecpar->codec_tag = MKTAG(recipe.tag[0], recipe.tag[1], recipe.tag[2], recipe.tag[3]);
  }
  if (settings.audio != nullptr) {
    audio = std::make_unique<MovieAudio>(*fmt, *settings.audio, settings.fps, settings.frames);
  }
}

void MovieEncoder::Impl::WriteHeader() {
  sink.Attach(*fmt);
  AVDictionary* options = nullptr;
  const char* movflags = ContainerOf(recipe).movflags;
  if (movflags != nullptr) av_dict_set(&options, "movflags", movflags, 0);
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
    if (!recipe.alpha) {
      CompositeOverBlack(band->data[0], part.width, part.height, band->linesize[0], channels != FrameFormat::Png8);
    }
    sws_scale(sws.get(), band->data, band->linesize, y, part.height, coded.data, coded.linesize);
  }
  return translucent;
}

MovieEncoder::MovieEncoder(const std::string& path, const std::string& shown, const MovieSettings& settings) {
  if (RecipeOf(settings.kind).encoder == nullptr) {
    gif_ = std::make_unique<Gif>(path, shown, settings);
    return;
  }
  impl_ = std::make_unique<Impl>(path, shown, settings);
  QuietLog();
  Impl& m = *impl_;
  // The others keep what a 16-bit or float render holds.
  m.channels = settings.depth == 8 ? FrameFormat::Png8 : FrameFormat::Png16;
  m.OpenContainer();
  const MovieRecipe& recipe = m.recipe;
  m.frames.emplace(PixelsFor(recipe, settings.depth), CodedSide(recipe, settings.width),
                   CodedSide(recipe, settings.height), kWaitingFramesBytes);
  const EncoderShape shape =
      ShapeEncoder(m.frames->frame_bytes(), recipe.thread_frames, MachineCores(), kWaitingFramesBytes);
  m.codec = OpenMovieCodec(settings, (m.fmt->oformat->flags & AVFMT_GLOBALHEADER) != 0, shape, shown);
  m.profile = DeclaredProfile(*m.codec);
  m.AddStream(m.codec->framerate);
  m.WriteHeader();
  m.MakeFrames();
}

MovieEncoder::~MovieEncoder() = default;

void MovieEncoder::Add(const PF_EffectWorld& frame) {
  if (gif_) return gif_->Add(frame);
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
    const Padding padding = m.recipe.even_size ? Padding::kToEven : Padding::kNone;
    translucent = WorldToYuv420(frame, coded.data, coded.linesize, padding);
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
  if (gif_) return gif_->Finish();
  Impl& m = *impl_;
  m.feed.Finish();
  m.Send(nullptr);
  m.Check(av_write_trailer(m.fmt.get()), "writing the index");
  m.Check(m.sink.Flush(), "writing");
  m.sink.file().Close();
}

MovieKind MovieEncoder::kind() const { return gif_ ? MovieKind::kGif : impl_->settings.kind; }

std::optional<int> MovieEncoder::first_translucent() const {
  return gif_ ? gif_->first_translucent() : impl_->first_translucent;
}

std::string MovieEncoder::description() const {
  return gif_ ? gif_->description() : MovieDescription(impl_->settings, impl_->profile);
}

}  // namespace zelvan::render
