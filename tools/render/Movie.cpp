#include "Movie.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cstdarg>
#include <cstring>
#include <mutex>
#include <numeric>
#include <vector>

#include "DeepChannels.h"
#include "FootageError.h"

namespace zelvan::render {
namespace {

struct FormatCloser {
  void operator()(AVFormatContext* f) const { avformat_close_input(&f); }
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
using FormatPtr = std::unique_ptr<AVFormatContext, FormatCloser>;

std::string AvError(int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(code, text, sizeof text);
  return text;
}

// FFmpeg's own log would interleave with ours; its last error line is kept
// instead, to explain a failure in our message.
std::mutex g_log_mutex;
std::string g_last_log;

void KeepLastError(void* avcl, int level, const char* fmt, va_list args) {
  if (level > AV_LOG_ERROR) return;
  char line[512];
  int prefix = 0;
  va_list copy;
  va_copy(copy, args);
  av_log_format_line(avcl, level, fmt, copy, line, sizeof line, &prefix);
  va_end(copy);
  std::string text(line);
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  const std::lock_guard<std::mutex> lock(g_log_mutex);
  g_last_log = text;
}

void QuietLog() {
  static std::once_flag once;
  std::call_once(once, [] { av_log_set_callback(KeepLastError); });
}

std::string TakeLastError() {
  const std::lock_guard<std::mutex> lock(g_log_mutex);
  std::string text;
  text.swap(g_last_log);
  return text;
}

// Formats that FFmpeg reads as one picture: those go to the image library.
bool IsStillFormat(const char* name) {
  const std::string n = name == nullptr ? "" : name;
  return n == "image2" || n == "image2pipe" ||
         (n.size() > 5 && n.compare(n.size() - 5, 5, "_pipe") == 0);
}

FormatPtr OpenFormat(const std::string& path, std::string* error) {
  QuietLog();
  AVFormatContext* raw = nullptr;
  const int r = avformat_open_input(&raw, path.c_str(), nullptr, nullptr);
  if (r < 0) {
    if (error != nullptr) *error = AvError(r);
    return nullptr;
  }
  FormatPtr fmt(raw);
  const int s = avformat_find_stream_info(fmt.get(), nullptr);
  if (s < 0) {
    if (error != nullptr) *error = AvError(s);
    return nullptr;
  }
  return fmt;
}

}  // namespace

struct Movie::Impl {
  std::string path;
  FormatPtr fmt;
  std::unique_ptr<AVCodecContext, CodecFreer> codec;
  std::unique_ptr<AVPacket, PacketFreer> packet;
  std::unique_ptr<AVFrame, FrameFreer> frame;
  std::unique_ptr<SwsContext, SwsFreer> sws;
  int stream = -1;
  int width = 0, height = 0;
  std::optional<Rational> fps;
  std::string description;

  // The frames found, by presentation time ascending, and the indices of the
  // keyframes among them.
  std::vector<int64_t> pts;
  std::vector<int64_t> keys;
  bool timestamps = true;  // false: frames are counted from the start of the stream
  int64_t missing = 0;     // frames the index lists beyond the end of the data
  int64_t listed = 0;

  // Where the decoder stands: the earliest frame it can still give without
  // a seek, whether it has been drained, and what it last complained about.
  int64_t next = 0;
  bool draining = false;
  bool drained = false;
  int64_t counted = 0;  // frames given since the start (no timestamps)
  std::string decode_error;

  struct Cached {
    int64_t frame = -1;
    pixels::Depth depth = pixels::Depth::k8;
    uint64_t used = 0;
    std::unique_ptr<pixels::PixelWorld> world;
  };
  std::vector<Cached> cache;
  std::size_t capacity = 2;
  uint64_t tick = 0;
  std::vector<uint16_t> wide;  // RGBA, 16 bits a channel, for deep targets

  void Index();
  int64_t KeyBefore(int64_t k) const;
  void SeekTo(int64_t key_index);
  int64_t IndexOf(const AVFrame& f);
  Cached* Find(int64_t k, pixels::Depth depth);
  Cached& Store(int64_t k, const AVFrame& f, pixels::Depth depth);
  // Decodes on until frame k comes out (stored and returned) or a later one
  // does or the stream ends (null).
  Cached* DecodeUntil(int64_t k, pixels::Depth depth);
  [[noreturn]] void Fail(int64_t k, std::string cause) const { throw FootageError(path, k, std::move(cause)); }
};

bool Movie::IsMovie(const std::string& path) {
  FormatPtr fmt = OpenFormat(path, nullptr);
  if (!fmt || IsStillFormat(fmt->iformat->name)) return false;
  return av_find_best_stream(fmt.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0) >= 0;
}

Movie::Movie(const std::string& path) : impl_(new Impl) {
  Impl& m = *impl_;
  m.path = path;
  std::string error;
  m.fmt = OpenFormat(path, &error);
  if (!m.fmt) throw UsageError(path, "cannot be read as a movie (" + error + ")", "check that the file is a movie");
  const AVCodec* decoder = nullptr;
  m.stream = av_find_best_stream(m.fmt.get(), AVMEDIA_TYPE_VIDEO, -1, -1, &decoder, 0);
  if (m.stream < 0 || decoder == nullptr) {
    throw UsageError(path, m.stream < 0 ? "holds no video stream" : "holds video in a format FFmpeg cannot decode",
                     "give a movie with a video stream, e.g. H.264 in MP4");
  }
  AVStream* st = m.fmt->streams[m.stream];
  m.codec.reset(avcodec_alloc_context3(decoder));
  m.packet.reset(av_packet_alloc());
  m.frame.reset(av_frame_alloc());
  if (!m.codec || !m.packet || !m.frame) throw std::bad_alloc();
  if (avcodec_parameters_to_context(m.codec.get(), st->codecpar) < 0) {
    throw UsageError(path, "has video parameters FFmpeg cannot use", "re-encode the movie, e.g. to H.264");
  }
  m.codec->thread_count = 0;  // as many as the machine has
  m.codec->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
  if (const int r = avcodec_open2(m.codec.get(), decoder, nullptr); r < 0) {
    throw UsageError(path, "cannot be decoded (" + AvError(r) + ")", "re-encode the movie, e.g. to H.264");
  }
  m.width = st->codecpar->width;
  m.height = st->codecpar->height;
  if (m.width <= 0 || m.height <= 0) throw UsageError(path, "holds video of no pixels", "give a real movie");
  if (m.width > kMaxSize || m.height > kMaxSize) {
    throw UsageError(path, "is larger than " + std::to_string(kMaxSize) + " pixels", "scale the footage down first");
  }
  for (const AVRational r : {st->avg_frame_rate, st->r_frame_rate}) {
    if (r.num > 0 && r.den > 0 && r.num <= 1000000 && r.den <= 100000 && av_q2d(r) <= 1000.0) {
      const int64_t g = std::gcd<int64_t>(r.num, r.den);
      m.fps = Rational{r.num / g, r.den / g};
      break;
    }
  }
  m.Index();
  if (m.pts.empty()) throw UsageError(path, "holds no video frames", "give a movie with at least one frame");
  if (static_cast<int64_t>(m.pts.size()) + m.missing > kMaxFrames) {
    throw UsageError(path, "holds more than " + std::to_string(kMaxFrames) + " frames", "trim the movie first");
  }
  const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(st->codecpar->format));
  m.description = std::string(decoder->name) + (d ? std::string(" ") + d->name : std::string()) +
                  (d ? " " + std::to_string(d->comp[0].depth) + "-bit" : std::string());
  const std::size_t bytes = static_cast<std::size_t>(m.width) * static_cast<std::size_t>(m.height) * 4;
  // About 200 MB of 8-bit frames, at least a few: enough for a turn of a
  // pingpong and the frames of a keyframe interval walked backwards.
  m.capacity = std::clamp<std::size_t>((std::size_t{200} << 20) / std::max<std::size_t>(bytes, 1), 4, 48);
  m.SeekTo(0);
}

Movie::~Movie() = default;

void Movie::Impl::Index() {
  struct Found {
    int64_t pts;
    bool key;
  };
  std::vector<Found> found;
  int64_t packets = 0;
  int r = 0;
  while ((r = av_read_frame(fmt.get(), packet.get())) >= 0) {
    if (packet->stream_index == stream) {
      ++packets;
      // Packets an edit list cuts are decoded for their references only.
      if ((packet->flags & AV_PKT_FLAG_DISCARD) == 0) {
        const int64_t t = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
        if (t == AV_NOPTS_VALUE) timestamps = false;
        found.push_back(Found{t, (packet->flags & AV_PKT_FLAG_KEY) != 0});
      }
    }
    av_packet_unref(packet.get());
  }
  TakeLastError();
  if (timestamps) {
    std::stable_sort(found.begin(), found.end(), [](const Found& a, const Found& b) { return a.pts < b.pts; });
    found.erase(std::unique(found.begin(), found.end(), [](const Found& a, const Found& b) { return a.pts == b.pts; }),
                found.end());
  }
  for (std::size_t i = 0; i < found.size(); ++i) {
    pts.push_back(found[i].pts);
    if (found[i].key) keys.push_back(static_cast<int64_t>(i));
  }
  if (keys.empty() || keys.front() != 0) keys.insert(keys.begin(), 0);
  // An index that lists more samples than the data holds: the file ends early.
  const int64_t nb = fmt->streams[stream]->nb_frames;
  if (nb > packets) missing = nb - packets;
  listed = static_cast<int64_t>(pts.size()) + missing;
}

int64_t Movie::Impl::KeyBefore(int64_t k) const {
  if (!timestamps) return 0;
  const auto it = std::upper_bound(keys.begin(), keys.end(), k);
  return it == keys.begin() ? 0 : *(it - 1);
}

void Movie::Impl::SeekTo(int64_t key_index) {
  int r = 0;
  if (timestamps && key_index > 0) {
    r = av_seek_frame(fmt.get(), stream, pts[static_cast<std::size_t>(key_index)], AVSEEK_FLAG_BACKWARD);
  } else {
    key_index = 0;
    r = av_seek_frame(fmt.get(), stream, timestamps ? pts.front() : 0, AVSEEK_FLAG_BACKWARD);
    if (r < 0) r = av_seek_frame(fmt.get(), -1, 0, AVSEEK_FLAG_BYTE);
    counted = 0;
  }
  if (r < 0) decode_error = "cannot seek: " + AvError(r);
  avcodec_flush_buffers(codec.get());
  next = key_index;
  draining = false;
  drained = false;
}

int64_t Movie::Impl::IndexOf(const AVFrame& f) {
  if (!timestamps) return counted++;
  const int64_t t = f.best_effort_timestamp != AV_NOPTS_VALUE ? f.best_effort_timestamp : f.pts;
  if (t == AV_NOPTS_VALUE) return -1;
  const auto it = std::lower_bound(pts.begin(), pts.end(), t);
  if (it == pts.end()) return static_cast<int64_t>(pts.size()) - 1;
  if (it != pts.begin() && t - *(it - 1) < *it - t) return it - 1 - pts.begin();
  return it - pts.begin();
}

Movie::Impl::Cached* Movie::Impl::Find(int64_t k, pixels::Depth depth) {
  for (Cached& c : cache) {
    if (c.frame == k && c.depth == depth) {
      c.used = ++tick;
      return &c;
    }
  }
  return nullptr;
}

Movie::Impl::Cached& Movie::Impl::Store(int64_t k, const AVFrame& f, pixels::Depth depth) {
  Cached* slot = Find(k, depth);
  if (slot == nullptr) {
    if (cache.size() < capacity) {
      cache.emplace_back();
      slot = &cache.back();
    } else {
      slot = &*std::min_element(cache.begin(), cache.end(), [](const Cached& a, const Cached& b) { return a.used < b.used; });
    }
    if (!slot->world || slot->depth != depth) slot->world = std::make_unique<pixels::PixelWorld>(width, height, depth);
    slot->frame = k;
    slot->depth = depth;
    slot->used = ++tick;
  }
  const bool deep = depth != pixels::Depth::k8;
  // RGBA, then turned to the host's alpha-first order: FFmpeg's own decode to
  // RGB takes that road, and its road to ARGB rounds differently.
  const AVPixelFormat out = deep ? AV_PIX_FMT_RGBA64 : AV_PIX_FMT_RGBA;
  sws.reset(sws_getCachedContext(sws.release(), f.width, f.height, static_cast<AVPixelFormat>(f.format), width, height,
                                 out, SWS_BICUBIC, nullptr, nullptr, nullptr));
  if (!sws) Fail(k, "no conversion from its pixel format");
  // The matrix and range the frame declares, as FFmpeg's own scale filter takes them.
  const int space = f.colorspace == AVCOL_SPC_UNSPECIFIED || f.colorspace == AVCOL_SPC_RGB ? SWS_CS_DEFAULT : f.colorspace;
  sws_setColorspaceDetails(sws.get(), sws_getCoefficients(space), f.color_range == AVCOL_RANGE_JPEG ? 1 : 0,
                           sws_getCoefficients(SWS_CS_DEFAULT), 1, 0, 1 << 16, 1 << 16);
  pixels::PixelWorld& w = *slot->world;
  if (!deep) {
    uint8_t* dst[4] = {w.row(0), nullptr, nullptr, nullptr};
    const int stride[4] = {static_cast<int>(w.rowbytes()), 0, 0, 0};
    sws_scale(sws.get(), f.data, f.linesize, 0, f.height, dst, stride);
    for (A_long y = 0; y < height; ++y) {
      unsigned char* p = w.row(y);
      for (A_long x = 0; x < width; ++x, p += 4) {
        const unsigned char a = p[3];
        p[3] = p[2];
        p[2] = p[1];
        p[1] = p[0];
        p[0] = a;
      }
    }
    return *slot;
  }
  const std::size_t row = static_cast<std::size_t>(width) * 4;
  wide.resize(row * static_cast<std::size_t>(height));
  uint8_t* dst[4] = {reinterpret_cast<uint8_t*>(wide.data()), nullptr, nullptr, nullptr};
  const int stride[4] = {static_cast<int>(row * sizeof(uint16_t)), 0, 0, 0};
  sws_scale(sws.get(), f.data, f.linesize, 0, f.height, dst, stride);
  for (A_long y = 0; y < height; ++y) {
    const uint16_t* p = &wide[static_cast<std::size_t>(y) * row];
    if (depth == pixels::Depth::k16) {
      auto* q = reinterpret_cast<PF_Pixel16*>(w.row(y));
      for (A_long x = 0; x < width; ++x, p += 4) q[x] = PF_Pixel16{To15(p[3]), To15(p[0]), To15(p[1]), To15(p[2])};
    } else {
      auto* q = reinterpret_cast<PF_PixelFloat*>(w.row(y));
      constexpr float s = 1.0f / 65535.0f;
      for (A_long x = 0; x < width; ++x, p += 4) q[x] = PF_PixelFloat{p[3] * s, p[0] * s, p[1] * s, p[2] * s};
    }
  }
  return *slot;
}

Movie::Impl::Cached* Movie::Impl::DecodeUntil(int64_t k, pixels::Depth depth) {
  // Frames just before the one asked for are kept too: a loop running
  // backwards asks for them next.
  const int64_t keep_from = k - static_cast<int64_t>(capacity) + 1;
  while (true) {
    const int r = avcodec_receive_frame(codec.get(), frame.get());
    if (r == 0) {
      const int64_t i = IndexOf(*frame);
      Cached* got = nullptr;
      if (i >= 0) {
        next = i + 1;
        if (i >= keep_from && i <= k) got = &Store(i, *frame, depth);
      }
      av_frame_unref(frame.get());
      if (i == k) return got;
      if (i > k) return nullptr;
      continue;
    }
    if (r == AVERROR_EOF) {
      drained = true;
      return nullptr;
    }
    if (r != AVERROR(EAGAIN)) {
      const std::string log = TakeLastError();
      decode_error = log.empty() ? AvError(r) : log;
    }
    if (draining) {
      drained = true;
      return nullptr;
    }
    const int rr = av_read_frame(fmt.get(), packet.get());
    if (rr < 0) {
      // The end, or data that cannot be read: drain what the decoder holds.
      if (rr != AVERROR_EOF) decode_error = AvError(rr);
      avcodec_send_packet(codec.get(), nullptr);
      draining = true;
      continue;
    }
    if (packet->stream_index == stream) {
      const int s = avcodec_send_packet(codec.get(), packet.get());
      if (s < 0 && s != AVERROR(EAGAIN)) {
        const std::string log = TakeLastError();
        decode_error = log.empty() ? AvError(s) : log;
      }
    }
    av_packet_unref(packet.get());
  }
}

const std::string& Movie::path() const { return impl_->path; }
int Movie::width() const { return impl_->width; }
int Movie::height() const { return impl_->height; }
int64_t Movie::frames() const { return impl_->listed; }
std::optional<Rational> Movie::fps() const { return impl_->fps; }
std::string Movie::description() const { return impl_->description; }

const pixels::PixelWorld& Movie::Frame(int64_t k, pixels::Depth depth) {
  Impl& m = *impl_;
  if (Impl::Cached* c = m.Find(k, depth)) return *c->world;
  const auto found = static_cast<int64_t>(m.pts.size());
  if (k < 0 || k >= found) {
    m.Fail(k, "the file ends before it: its index lists " + std::to_string(m.listed) + " frames, the data holds " +
                  std::to_string(found) + "; the file is truncated or damaged");
  }
  m.decode_error.clear();
  // On from where the decoder stands when no keyframe lies between, or the
  // gap is short; else from the keyframe before the frame.
  int64_t start = m.KeyBefore(k);
  const bool forward = !m.drained && m.next <= k && (m.next >= start || k - m.next < 8);
  if (!forward) m.SeekTo(start);
  for (int attempt = 0;; ++attempt) {
    if (Impl::Cached* c = m.DecodeUntil(k, depth)) return *c->world;
    // A seek that landed past the frame, or a frame the decoder skipped:
    // once from one keyframe earlier, once from the very start. A stream
    // that ended before the frame has nothing more to give.
    if (m.next <= k || attempt == 2) break;
    start = attempt == 0 && start > 0 ? m.KeyBefore(start - 1) : 0;
    m.SeekTo(start);
  }
  m.Fail(k, m.decode_error.empty() ? "the decoder gave no picture for it" : m.decode_error);
}

}  // namespace zelvan::render
