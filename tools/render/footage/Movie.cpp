#include "Movie.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/pixdesc.h>
}

#include <cstdio>
#include <cstring>
#include <new>

#include "FfmpegLog.h"
#include "FfmpegPtr.h"
#include "FfmpegRational.h"
#include "FootageError.h"
#include "Limits.h"
#include "MovieColour.h"
#include "MovieConverter.h"
#include "MovieIndex.h"
#include "MovieInput.h"
#include "Orientation.h"
#include "PictureCache.h"
#include "UsageError.h"

namespace zelvan::render {

struct Movie::Impl {
  std::string path;
  MovieInput in;
  ffmpeg::CodecPtr codec;
  ffmpeg::PacketPtr packet;
  ffmpeg::FramePtr frame;
  int stream = -1;
  // Times may jump or wrap in the container (MPEG streams): a keyframe is
  // sought by its place in the file, not by its time.
  bool seek_by_place = false;
  FrameShape shape;
  std::optional<Rational> pixel_aspect;
  Colour colour;
  std::string description;
  std::vector<std::string> warnings;
  MovieIndex index;
  PictureCache cache;
  MovieConverter converter;

  // Where the decoder stands: the earliest frame it can still give without
  // a seek, whether it has been drained, and what it last complained about.
  int64_t next = 0;
  bool draining = false;
  bool drained = false;
  int64_t counted = 0;  // frames given since the start (no timestamps)
  // After a seek by place, the decode time of the keyframe's packet: the
  // packets before it are not the decoder's to see.
  int64_t awaited = AV_NOPTS_VALUE;
  std::string decode_error;
  int64_t asked = 0;  // the slot being read, for messages

  // The steps of opening, each throwing UsageError naming the file.
  const AVCodec* OpenDecoder();
  void LearnShape(AVStream& st);
  void LearnColour(const AVStream& st);
  void Describe(const AVCodec& decoder, const AVStream& st);

  void SeekTo(int64_t key_index);
  // The frame a decoded picture is, -1 when it cannot be told.
  int64_t IndexOf(const AVFrame& f);
  const AVFrame& Picture(int64_t k);
  // Decodes on until frame i comes out (stored and returned) or a later one
  // does or the stream ends (null).
  const AVFrame* DecodeUntil(int64_t i);
  // Reads the next packet and hands it to the decoder when it is the
  // stream's (with the presentation time the index filled in, if the
  // container left it out); at the end, drains the decoder instead.
  void Feed();
  [[noreturn]] void Fail(std::string cause) const { throw FootageError(path, asked, std::move(cause)); }
};

bool Movie::Recognise(const FootageSource& source) {
  if (EmptySource(source)) {
    throw UsageError(source.name, "is an empty file (0 bytes)",
                     "the copy or export that made it did not finish; copy or export the footage again");
  }
  MovieInput c;
  std::string error;
  if (!OpenMovieInput(source, c, &error)) {
    const AVInputFormat* format = ProbedMovieFormat(source);
    if (format == nullptr) return false;
    const bool mov = std::strstr(format->name, "mov") != nullptr;
    if (mov && error.find("moov atom not found") != std::string::npos) {
      throw UsageError(source.name, "is a damaged movie (no index): its index (the 'moov' box) is missing",
                       "the recording or copy stopped before the file was finished; copy or export it again, or "
                       "rebuild its index with a movie repair tool");
    }
    throw UsageError(source.name, "is a damaged movie (" + error + ")",
                     "copy or export it again, or re-encode what FFmpeg can still read of it, e.g. to H.264");
  }
  if (IsStillFormat(c.fmt->iformat->name)) return false;
  if (av_find_best_stream(c.fmt.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0) >= 0) return true;
  if (av_find_best_stream(c.fmt.get(), AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0) >= 0) {
    throw UsageError(source.name, "holds no video stream (audio only)",
                     "give a movie with pictures or an image sequence; this file holds only sound");
  }
  return false;
}

Movie::Movie(const FootageSource& source) : impl_(new Impl) {
  Impl& m = *impl_;
  m.path = source.name;
  std::string error;
  if (!OpenMovieInput(source, m.in, &error)) {
    throw UsageError(m.path, "cannot be read as a movie (" + error + ")", "check that the file is a movie");
  }
  const AVCodec* decoder = m.OpenDecoder();
  AVStream& st = *m.in.fmt->streams[m.stream];
  m.LearnShape(st);
  m.LearnColour(st);
  m.index = ReadIndex(*m.in.fmt, m.stream, *m.packet);
  const int flags = m.in.fmt->iformat->flags;
  m.seek_by_place = (flags & AVFMT_TS_DISCONT) != 0 && (flags & AVFMT_NO_BYTE_SEEK) == 0;
  if (m.index.pts.empty()) throw UsageError(m.path, "holds no video frames", "give a movie with at least one frame");
  if (m.index.total > kMaxFrames) {
    throw UsageError(m.path, "holds more than " + std::to_string(kMaxFrames) + " frames", "trim the movie first");
  }
  m.Describe(*decoder, st);
  m.SeekTo(0);
}

Movie::~Movie() = default;

const AVCodec* Movie::Impl::OpenDecoder() {
  const AVCodec* decoder = nullptr;
  stream = av_find_best_stream(in.fmt.get(), AVMEDIA_TYPE_VIDEO, -1, -1, &decoder, 0);
  if (stream < 0 || decoder == nullptr) {
    throw UsageError(path, stream < 0 ? "holds no video stream" : "holds video in a format FFmpeg cannot decode",
                     "give a movie with a video stream, e.g. H.264 in MP4");
  }
  const AVStream& st = *in.fmt->streams[stream];
  codec.reset(avcodec_alloc_context3(decoder));
  packet.reset(av_packet_alloc());
  frame.reset(av_frame_alloc());
  if (!codec || !packet || !frame) throw std::bad_alloc();
  if (avcodec_parameters_to_context(codec.get(), st.codecpar) < 0) {
    throw UsageError(path, "has video parameters FFmpeg cannot use", "re-encode the movie, e.g. to H.264");
  }
  codec->thread_count = 0;  // as many as the machine has
  codec->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
  if (const int r = avcodec_open2(codec.get(), decoder, nullptr); r < 0) {
    throw UsageError(path, "cannot be decoded (" + AvError(r) + ")", "re-encode the movie, e.g. to H.264");
  }
  return decoder;
}

// The size as stored and as shown, and the shape of a pixel.
void Movie::Impl::LearnShape(AVStream& st) {
  shape.stored_width = st.codecpar->width;
  shape.stored_height = st.codecpar->height;
  if (shape.stored_width <= 0 || shape.stored_height <= 0) {
    throw UsageError(path, "holds video of no pixels", "give a real movie");
  }
  if (shape.stored_width > kMaxSize || shape.stored_height > kMaxSize) {
    throw UsageError(path, "is larger than " + std::to_string(kMaxSize) + " pixels", "scale the footage down first");
  }
  std::string odd_angle;
  shape.orientation = OrientationOf(st, &odd_angle);
  if (!odd_angle.empty()) {
    warnings.push_back(path + ": its display rotation of " + odd_angle +
                       " degrees is not a quarter turn; its frames are shown as stored, unturned");
  }
  const AVRational sar = av_guess_sample_aspect_ratio(in.fmt.get(), &st, nullptr);
  if (sar.num > 0 && sar.den > 0 && sar.num != sar.den) {
    // A quarter turn turns the pixels too.
    const Rational aspect = Reduced(shape.orientation.swap ? AVRational{sar.den, sar.num} : sar);
    pixel_aspect = aspect;
    warnings.push_back(path + ": its pixels are not square (pixel aspect " + std::to_string(aspect.num) + ":" +
                       std::to_string(aspect.den) +
                       "); they are shown square, not resampled, so the picture looks " +
                       (aspect.value() > 1.0 ? "narrower" : "wider") +
                       " than in a player (report.json: source.pixel_aspect). To see it as a player does, "
                       "resample it first, e.g. ffmpeg -i IN -vf scale=iw*sar:ih,setsar=1 OUT");
  }
}

// The colour the stream declares, and the warning of one a render cannot show.
void Movie::Impl::LearnColour(const AVStream& st) {
  colour = ColourOf(*st.codecpar);
  if (std::string w = ColourWarning(path, colour); !w.empty()) warnings.push_back(std::move(w));
}

// The summary's "h264 yuv420p 8-bit", and the warning of a variable rate.
void Movie::Impl::Describe(const AVCodec& decoder, const AVStream& st) {
  const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(st.codecpar->format));
  description = std::string(decoder.name) + (d ? std::string(" ") + d->name : std::string()) +
                (d ? " " + std::to_string(d->comp[0].depth) + "-bit" : std::string());
  const int rotation = shape.orientation.rotation;
  if (rotation != 0) description += ", display rotation " + std::to_string(rotation);
  if (!index.timestamps) {
    warnings.push_back(path + ": its frames carry no presentation times (as " + std::string(in.fmt->iformat->name) +
                       " may store them); they are numbered in the order the decoder gives them, as FFmpeg numbers "
                       "them, and a frame before the last one read is decoded again from the start");
  }
  if (index.variable_rate) {
    warnings.push_back(path + ": its frame rate is variable (its frame times do not follow one rate); its frames "
                       "are picked by presentation time at its nominal " + index.fps->text() +
                       " fps, so some show twice and some not at all (report.json: source.variable_rate). For "
                       "every frame once, convert it to a constant rate first, e.g. ffmpeg -i IN -fps_mode cfr "
                       "-r " + index.fps->text() + " OUT");
  }
}

void Movie::Impl::SeekTo(int64_t key_index) {
  AVFormatContext* fmt = in.fmt.get();
  int r = 0;
  const MovieIndex::Place place = seek_by_place && key_index > 0 ? index.PlaceOf(key_index) : MovieIndex::Place{};
  awaited = AV_NOPTS_VALUE;
  if (place.resume >= 0) {
    r = av_seek_frame(fmt, stream, place.resume, AVSEEK_FLAG_BYTE);
    awaited = place.dts;
  } else if (index.timestamps && key_index > 0 && !seek_by_place) {
    r = av_seek_frame(fmt, stream, index.pts[static_cast<std::size_t>(key_index)], AVSEEK_FLAG_BACKWARD);
  } else {
    key_index = 0;
    r = seek_by_place ? -1 : av_seek_frame(fmt, stream, index.timestamps ? index.pts.front() : 0, AVSEEK_FLAG_BACKWARD);
    if (r < 0) r = av_seek_frame(fmt, -1, 0, AVSEEK_FLAG_BYTE);
    counted = 0;
  }
  if (r < 0) decode_error = "cannot seek: " + AvError(r);
  avcodec_flush_buffers(codec.get());
  next = key_index;
  draining = false;
  drained = false;
}

int64_t Movie::Impl::IndexOf(const AVFrame& f) {
  if (!index.timestamps) return counted++;
  // The presentation time of the frame's own packet, as the index lists it.
  const int64_t t = f.pts != AV_NOPTS_VALUE ? f.pts : f.best_effort_timestamp;
  if (t == AV_NOPTS_VALUE) return -1;
  return index.Nearest(t);
}

const AVFrame* Movie::Impl::DecodeUntil(int64_t i) {
  int errors = 0;  // in a row
  while (true) {
    const int r = avcodec_receive_frame(codec.get(), frame.get());
    if (r == 0) {
      errors = 0;
      const int64_t got_index = IndexOf(*frame);
      const AVFrame* got = nullptr;
      if (got_index >= 0) {
        next = got_index + 1;
        // Frames just before the one asked for are kept too, while there is
        // room: a loop running backwards asks for them next.
        if (got_index == i || (got_index < i && cache.backwards())) got = &cache.Store(got_index, *frame);
      }
      av_frame_unref(frame.get());
      if (got_index == i) return got;
      if (got_index > i) return nullptr;
      continue;
    }
    if (r == AVERROR_EOF) {
      drained = true;
      return nullptr;
    }
    if (r != AVERROR(EAGAIN)) {
      const std::string log = TakeLastError();
      decode_error = log.empty() ? AvError(r) : log;
      // A damaged packet fails alone: the frames held after it still come
      // out of a drained decoder, as in FFmpeg's own decode.
      if (draining && ++errors < 64) continue;
    }
    if (draining) {
      drained = true;
      return nullptr;
    }
    Feed();
  }
}

void Movie::Impl::Feed() {
  const int r = av_read_frame(in.fmt.get(), packet.get());
  if (r < 0) {
    // The end, or data that cannot be read: drain what the decoder holds.
    if (r != AVERROR_EOF) decode_error = AvError(r);
    avcodec_send_packet(codec.get(), nullptr);
    draining = true;
    return;
  }
  if (packet->stream_index == stream && awaited != AV_NOPTS_VALUE) {
    const int64_t t = packet->dts != AV_NOPTS_VALUE ? packet->dts : packet->pts;
    if (t == awaited) awaited = AV_NOPTS_VALUE;
  }
  if (packet->stream_index == stream && awaited == AV_NOPTS_VALUE) {
    if (packet->pts == AV_NOPTS_VALUE && packet->dts != AV_NOPTS_VALUE) packet->pts = index.FilledPts(packet->dts);
    const int s = avcodec_send_packet(codec.get(), packet.get());
    if (s < 0 && s != AVERROR(EAGAIN)) {
      const std::string log = TakeLastError();
      decode_error = log.empty() ? AvError(s) : log;
    }
  }
  av_packet_unref(packet.get());
}

const AVFrame& Movie::Impl::Picture(int64_t k) {
  const int64_t i = index.FrameIn(k);
  if (i < 0) {
    // Where the data ends: after the last slot a frame of it falls in.
    char end[64];
    std::snprintf(end, sizeof end, "its data ends after frame %lld, at %.2f s,", static_cast<long long>(index.slots - 1),
                  index.fps ? static_cast<double>(index.slots) / index.fps->value() : 0.0);
    const std::string where = std::string(end) + " of the " + std::to_string(index.total) + " frames its index lists";
    Fail(k >= index.slots ? "the file is cut short: " + where
                          : "its data was lost where the file is cut short (" + where + ")");
  }
  if (const AVFrame* held = cache.Ask(i)) return *held;
  decode_error.clear();
  // On from where the decoder stands when no keyframe lies between, or the
  // gap is short; else from the keyframe before the frame.
  int64_t start = index.KeyBefore(i);
  const bool forward = !drained && next <= i && (next >= start || i - next < 8);
  if (!forward) SeekTo(start);
  for (int attempt = 0;; ++attempt) {
    if (const AVFrame* got = DecodeUntil(i)) return *got;
    // A seek that landed past the frame, or a frame the decoder skipped:
    // once from one keyframe earlier, once from the very start; a seek by
    // place that never met its keyframe's packet: from the very start. A
    // stream that ended before the frame has nothing more to give.
    const bool missed = awaited != AV_NOPTS_VALUE;
    if ((next <= i && !missed) || attempt == 2) break;
    start = attempt == 0 && start > 0 && !missed ? index.KeyBefore(start - 1) : 0;
    SeekTo(start);
  }
  Fail(decode_error.empty() ? "the decoder gave no picture for it" : decode_error);
}

const std::string& Movie::path() const { return impl_->path; }
int Movie::width() const { return impl_->shape.width(); }
int Movie::height() const { return impl_->shape.height(); }
int64_t Movie::frames() const { return impl_->index.total; }
std::optional<Rational> Movie::fps() const { return impl_->index.fps; }
std::string Movie::description() const { return impl_->description; }
int Movie::rotation() const { return impl_->shape.orientation.rotation; }
std::optional<Rational> Movie::pixel_aspect() const { return impl_->pixel_aspect; }
const Colour& Movie::colour() const { return impl_->colour; }
bool Movie::variable_rate() const { return impl_->index.variable_rate; }
const std::vector<std::string>& Movie::warnings() const { return impl_->warnings; }
void Movie::SetCacheBudget(std::size_t bytes) { impl_->cache.SetBudget(bytes); }
std::size_t Movie::cached_pictures() const { return impl_->cache.pictures(); }
std::size_t Movie::cached_bytes() const { return impl_->cache.bytes(); }

const FrameShape& Movie::shape() const { return impl_->shape; }

const AVFrame& Movie::Decoded(int64_t k) {
  impl_->asked = k;
  return impl_->Picture(k);
}

void Movie::Paint(int64_t k, PF_EffectWorld& world) {
  Impl& m = *impl_;
  m.asked = k;
  const AVFrame& picture = m.Picture(k);
  if (const char* cause = m.converter.Paint(picture, m.shape, world)) m.Fail(cause);
}

}  // namespace zelvan::render
