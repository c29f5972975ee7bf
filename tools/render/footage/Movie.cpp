#include "Movie.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/display.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <limits>
#include <list>
#include <map>
#include <numeric>
#include <vector>

#include "DeepChannels.h"
#include "FfmpegLog.h"
#include "FfmpegPtr.h"
#include "FfmpegSeek.h"
#include "FootageError.h"
#include "NearestSample.h"
#include "Limits.h"
#include "PixelWorld.h"
#include "UsageError.h"

namespace zelvan::render {
namespace {

using ffmpeg::FramePtr;
using FormatPtr = ffmpeg::InputPtr;

// Formats that FFmpeg reads as one picture: those go to the image library.
bool IsStillFormat(const char* name) {
  const std::string n = name == nullptr ? "" : name;
  return n == "image2" || n == "image2pipe" ||
         (n.size() > 5 && n.compare(n.size() - 5, 5, "_pipe") == 0);
}

// Bytes in memory, read and sought through FFmpeg's custom I/O.
struct MemoryFile {
  const unsigned char* data = nullptr;
  std::size_t size = 0;
  std::size_t pos = 0;
};

int ReadMemory(void* opaque, uint8_t* buf, int n) {
  auto& m = *static_cast<MemoryFile*>(opaque);
  const std::size_t take = std::min(m.size - m.pos, static_cast<std::size_t>(std::max(n, 0)));
  if (take == 0) return AVERROR_EOF;
  std::memcpy(buf, m.data + m.pos, take);
  m.pos += take;
  return static_cast<int>(take);
}

int64_t SeekMemory(void* opaque, int64_t offset, int whence) {
  auto& m = *static_cast<MemoryFile*>(opaque);
  // Nothing lies past the end of the bytes to read.
  auto pos = static_cast<int64_t>(m.pos);
  const int64_t r = ffmpeg::AnswerSeek(offset, whence, static_cast<int64_t>(m.size), pos, ffmpeg::PastTheEnd::kRefused);
  m.pos = static_cast<std::size_t>(pos);
  return r;
}

// An open container: the format context and, for bytes in memory, the I/O
// it reads through (which must outlive it).
struct Container {
  std::unique_ptr<MemoryFile> memory;
  ffmpeg::IoPtr io;
  FormatPtr fmt;
};

// Opens the container and reads its stream parameters; on failure returns
// false with FFmpeg's reason. Only the file itself is read: a playlist or a
// reference inside it opens no other file, and never the network.
bool OpenContainer(const FootageSource& source, Container& c, std::string* error) {
  QuietLog();
  AVFormatContext* raw = avformat_alloc_context();
  if (raw == nullptr) throw std::bad_alloc();
  std::string url = source.name;
  if (source.in_memory) {
    c.memory = std::make_unique<MemoryFile>(MemoryFile{source.data, source.size, 0});
    constexpr int kBuffer = 1 << 15;
    auto* buffer = static_cast<unsigned char*>(av_malloc(kBuffer));
    if (buffer == nullptr) {
      avformat_free_context(raw);
      throw std::bad_alloc();
    }
    c.io.reset(avio_alloc_context(buffer, kBuffer, 0, c.memory.get(), ReadMemory, nullptr, SeekMemory));
    if (!c.io) {
      av_free(buffer);
      avformat_free_context(raw);
      throw std::bad_alloc();
    }
    raw->pb = c.io.get();
    raw->flags |= AVFMT_FLAG_CUSTOM_IO;
  } else {
    // "file:" keeps a path with a colon in it a local file.
    url = "file:" + source.name;
  }
  AVDictionary* options = nullptr;
  av_dict_set(&options, "protocol_whitelist", source.in_memory ? "none" : "file", 0);
  const int r = avformat_open_input(&raw, url.c_str(), nullptr, &options);
  av_dict_free(&options);
  if (r < 0) {
    // avformat_open_input has freed the context; the custom I/O stays ours.
    if (error != nullptr) {
      const std::string log = TakeLastError();
      *error = log.empty() ? AvError(r) : log;
    }
    return false;
  }
  c.fmt.reset(raw);
  const int s = avformat_find_stream_info(c.fmt.get(), nullptr);
  if (s < 0) {
    if (error != nullptr) *error = AvError(s);
    c.fmt.reset();
    return false;
  }
  return true;
}

// The container FFmpeg's probe sees in the first bytes, when it is sure of
// it (null for anything else): a movie that then fails to open is damaged.
const AVInputFormat* ProbedMovieFormat(const FootageSource& source) {
  std::vector<unsigned char> head(4096 + AVPROBE_PADDING_SIZE, 0);
  std::size_t n = 0;
  if (source.in_memory) {
    n = std::min<std::size_t>(4096, source.size);
    if (n > 0) std::memcpy(head.data(), source.data, n);
  } else if (FILE* f = std::fopen(source.name.c_str(), "rb")) {
    n = std::fread(head.data(), 1, 4096, f);
    std::fclose(f);
  }
  AVProbeData probe{};
  probe.filename = "";  // by content alone: a wrong extension must not decide
  probe.buf = head.data();
  probe.buf_size = static_cast<int>(n);
  int score = 0;
  const AVInputFormat* format = av_probe_input_format3(&probe, 1, &score);
  if (format == nullptr || score <= AVPROBE_SCORE_EXTENSION || IsStillFormat(format->name)) return nullptr;
  return format;
}

bool EmptySource(const FootageSource& source) {
  if (source.in_memory) return source.size == 0;
  std::error_code ec;
  return std::filesystem::is_regular_file(source.name, ec) && std::filesystem::file_size(source.name, ec) == 0 && !ec;
}

bool ValidRate(AVRational r) { return Rational{r.num, r.den}.usable(); }

Rational Reduced(AVRational r) {
  const int64_t g = std::gcd<int64_t>(r.num, r.den);
  return Rational{r.num / g, r.den / g};
}

// How the stored frames are turned to be shown: the shown pixel (x, y) is
// the stored pixel (u, v) with (u, v) = (y, x) when swapped, then each
// mirrored when flipped. These are the turns and flips FFmpeg's converter
// applies by default for a display matrix.
struct Orientation {
  int degrees = 0;  // clockwise
  bool swap = false;
  bool flip_x = false;
  bool flip_y = false;
};

const int32_t* DisplayMatrix(const AVStream& st) {
#if LIBAVFORMAT_VERSION_INT >= AV_VERSION_INT(60, 15, 100)
  const AVPacketSideData* sd = av_packet_side_data_get(st.codecpar->coded_side_data, st.codecpar->nb_coded_side_data,
                                                       AV_PKT_DATA_DISPLAYMATRIX);
  return sd != nullptr && sd->size >= 9 * sizeof(int32_t) ? reinterpret_cast<const int32_t*>(sd->data) : nullptr;
#else
  std::size_t size = 0;
  const uint8_t* data = av_stream_get_side_data(&st, AV_PKT_DATA_DISPLAYMATRIX, &size);
  return data != nullptr && size >= 9 * sizeof(int32_t) ? reinterpret_cast<const int32_t*>(data) : nullptr;
#endif
}

Orientation OrientationOf(const int32_t* m, std::string* odd_angle) {
  if (m == nullptr) return {};
  // The clockwise angle, in [0, 360).
  double theta = -std::round(av_display_rotation_get(m));
  theta -= 360.0 * std::floor(theta / 360.0 + 0.9 / 360.0);
  if (std::fabs(theta - 90.0) < 1.0) return m[3] > 0 ? Orientation{90, true, false, false} : Orientation{90, true, false, true};
  if (std::fabs(theta - 180.0) < 1.0) return Orientation{180, false, m[0] < 0, m[4] < 0};
  if (std::fabs(theta - 270.0) < 1.0) return m[3] < 0 ? Orientation{270, true, true, true} : Orientation{270, true, true, false};
  if (std::fabs(theta) > 1.0) {
    *odd_angle = std::to_string(static_cast<int>(theta));
    return {};
  }
  return Orientation{0, false, false, m[4] < 0};
}

// Straight colour times alpha, as the image reader premultiplies image files
// (truncating), so that a movie and a picture of the same pixels agree.
inline uint32_t Premultiply(uint32_t c, uint32_t a, uint32_t max) { return c * a / max; }

// Copies the converted picture (RGBA, 8 or 16 bits a channel) into the world
// in the host's alpha-first order, turned as shown, scaled by nearest sample
// to the world's size, premultiplied when the picture has straight alpha.
template <typename In, bool kStraight, typename Pixel, typename Make>
void CopyShown(const AVFrame& rgb, const Orientation& o, int shown_w, int shown_h, PF_EffectWorld& w, Make make) {
  const auto px = static_cast<std::ptrdiff_t>(4 * sizeof(In));
  const std::ptrdiff_t line = rgb.linesize[0];
  const int sw = rgb.width, sh = rgb.height;
  constexpr uint32_t kMax = std::numeric_limits<In>::max();
  // Where in the stored picture the pixel shown at column x lies, from the
  // start of the stored row or column that holds the shown row.
  std::vector<std::ptrdiff_t> column(static_cast<std::size_t>(std::max<A_long>(w.width, 0)));
  for (A_long x = 0; x < w.width; ++x) {
    const auto u = static_cast<int>(NearestSample(x, shown_w, w.width));
    column[static_cast<std::size_t>(x)] = o.swap ? (o.flip_y ? sh - 1 - u : u) * line : (o.flip_x ? sw - 1 - u : u) * px;
  }
  auto* out = static_cast<unsigned char*>(static_cast<void*>(w.data));
  auto copy = [&](const In* s, Pixel& q) {
    const uint32_t a = s[3];
    if (kStraight) {
      q = make(a, Premultiply(s[0], a, kMax), Premultiply(s[1], a, kMax), Premultiply(s[2], a, kMax));
    } else {
      q = make(a, s[0], s[1], s[2]);
    }
  };
  // Upright and of the world's size (a clip played as it is): pixel x is
  // pixel x, a loop the compiler vectorises.
  const bool as_stored = !o.swap && !o.flip_x && !o.flip_y && w.width == sw && w.height == sh;
  for (A_long y = 0; y < w.height; ++y) {
    const auto v = static_cast<int>(NearestSample(y, shown_h, w.height));
    const uint8_t* base = rgb.data[0] + (o.swap ? (o.flip_x ? sw - 1 - v : v) * px : (o.flip_y ? sh - 1 - v : v) * line);
    auto* q = reinterpret_cast<Pixel*>(out + static_cast<std::ptrdiff_t>(y) * w.rowbytes);
    if (as_stored) {
      const In* s = reinterpret_cast<const In*>(base);
      for (A_long x = 0; x < w.width; ++x) copy(s + 4 * x, q[x]);
      continue;
    }
    for (A_long x = 0; x < w.width; ++x) {
      copy(reinterpret_cast<const In*>(base + column[static_cast<std::size_t>(x)]), q[x]);
    }
  }
}

template <typename In, typename Pixel, typename Make>
void CopyShown(bool straight, const AVFrame& rgb, const Orientation& o, int shown_w, int shown_h, PF_EffectWorld& w,
               Make make) {
  if (straight) {
    CopyShown<In, true, Pixel>(rgb, o, shown_w, shown_h, w, make);
  } else {
    CopyShown<In, false, Pixel>(rgb, o, shown_w, shown_h, w, make);
  }
}

}  // namespace

struct Movie::Impl {
  std::string path;
  Container in;
  ffmpeg::CodecPtr codec;
  ffmpeg::PacketPtr packet;
  FramePtr frame;
  FramePtr rgb;  // the converter's output: padded and aligned as FFmpeg's own frames
  ffmpeg::SwsPtr sws;
  int stream = -1;
  int stored_width = 0, stored_height = 0;
  int width = 0, height = 0;  // as shown
  Orientation orientation;
  std::optional<Rational> fps;
  std::optional<Rational> pixel_aspect;
  bool variable_rate = false;
  std::string description;
  std::vector<std::string> warnings;

  // The frames found, by presentation time ascending, and the indices of the
  // keyframes among them.
  std::vector<int64_t> pts;
  std::vector<int64_t> keys;
  bool timestamps = true;  // false: frames are counted from the start of the stream
  int64_t missing = 0;     // frames the index lists beyond the end of the data
  // For a variable-rate stream, the frame shown in each slot of the nominal
  // rate, and for a file cut short, -1 where the cut lost a frame between
  // the others (a B-frame whose data lay after it); empty when slot k shows
  // frame k.
  std::vector<int64_t> shown;
  int64_t slots = 0;
  int64_t total = 0;  // frames at the nominal rate, those the data lost included

  // Where the decoder stands: the earliest frame it can still give without
  // a seek, whether it has been drained, and what it last complained about.
  int64_t next = 0;
  bool draining = false;
  bool drained = false;
  int64_t counted = 0;  // frames given since the start (no timestamps)
  std::string decode_error;
  int64_t asked = 0;  // the slot being read, for messages

  // Decoded pictures by frame, the most recently used first, and their bytes.
  struct Cached {
    int64_t frame = -1;
    FramePtr picture;
    std::size_t bytes = 0;
  };
  std::list<Cached> cache;
  std::map<int64_t, std::list<Cached>::iterator> cached;
  std::size_t held = 0;
  std::size_t budget = kDefaultCacheBytes;
  bool backwards = false;  // a frame before the last one was asked for
  int64_t last_asked = -1;

  void Index();
  void PickRate(AVStream& st);
  // True when the cache has room for `bytes` more.
  bool Room(std::size_t bytes) const;
  int64_t KeyBefore(int64_t i) const;
  void SeekTo(int64_t key_index);
  int64_t IndexOf(const AVFrame& f);
  Cached* Find(int64_t i);
  // Takes the decoded picture of frame i into the cache.
  Cached& Store(int64_t i, AVFrame& f);
  const AVFrame& Picture(int64_t k);
  void Convert(const AVFrame& f, PF_EffectWorld& w);
  // Decodes on until frame i comes out (stored and returned) or a later one
  // does or the stream ends (null).
  Cached* DecodeUntil(int64_t i);
  [[noreturn]] void Fail(std::string cause) const { throw FootageError(path, asked, std::move(cause)); }
};

bool Movie::Recognise(const FootageSource& source) {
  if (EmptySource(source)) {
    throw UsageError(source.name, "is an empty file (0 bytes)",
                     "the copy or export that made it did not finish; copy or export the footage again");
  }
  Container c;
  std::string error;
  if (!OpenContainer(source, c, &error)) {
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
  const std::string& path = m.path;
  std::string error;
  if (!OpenContainer(source, m.in, &error)) {
    throw UsageError(path, "cannot be read as a movie (" + error + ")", "check that the file is a movie");
  }
  AVFormatContext* fmt = m.in.fmt.get();
  const AVCodec* decoder = nullptr;
  m.stream = av_find_best_stream(fmt, AVMEDIA_TYPE_VIDEO, -1, -1, &decoder, 0);
  if (m.stream < 0 || decoder == nullptr) {
    throw UsageError(path, m.stream < 0 ? "holds no video stream" : "holds video in a format FFmpeg cannot decode",
                     "give a movie with a video stream, e.g. H.264 in MP4");
  }
  AVStream& st = *fmt->streams[m.stream];
  m.codec.reset(avcodec_alloc_context3(decoder));
  m.packet.reset(av_packet_alloc());
  m.frame.reset(av_frame_alloc());
  if (!m.codec || !m.packet || !m.frame) throw std::bad_alloc();
  if (avcodec_parameters_to_context(m.codec.get(), st.codecpar) < 0) {
    throw UsageError(path, "has video parameters FFmpeg cannot use", "re-encode the movie, e.g. to H.264");
  }
  m.codec->thread_count = 0;  // as many as the machine has
  m.codec->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
  if (const int r = avcodec_open2(m.codec.get(), decoder, nullptr); r < 0) {
    throw UsageError(path, "cannot be decoded (" + AvError(r) + ")", "re-encode the movie, e.g. to H.264");
  }
  m.stored_width = st.codecpar->width;
  m.stored_height = st.codecpar->height;
  if (m.stored_width <= 0 || m.stored_height <= 0) throw UsageError(path, "holds video of no pixels", "give a real movie");
  if (m.stored_width > kMaxSize || m.stored_height > kMaxSize) {
    throw UsageError(path, "is larger than " + std::to_string(kMaxSize) + " pixels", "scale the footage down first");
  }
  std::string odd_angle;
  m.orientation = OrientationOf(DisplayMatrix(st), &odd_angle);
  m.width = m.orientation.swap ? m.stored_height : m.stored_width;
  m.height = m.orientation.swap ? m.stored_width : m.stored_height;
  if (!odd_angle.empty()) {
    m.warnings.push_back(path + ": its display rotation of " + odd_angle +
                         " degrees is not a quarter turn; its frames are shown as stored, unturned");
  }
  const AVRational sar = av_guess_sample_aspect_ratio(fmt, &st, nullptr);
  if (sar.num > 0 && sar.den > 0 && sar.num != sar.den) {
    // A quarter turn turns the pixels too.
    const Rational shape = Reduced(m.orientation.swap ? AVRational{sar.den, sar.num} : sar);
    m.pixel_aspect = shape;
    m.warnings.push_back(path + ": its pixels are not square (pixel aspect " + std::to_string(shape.num) + ":" +
                         std::to_string(shape.den) +
                         "); they are shown square, not resampled, so the picture looks " +
                         (shape.value() > 1.0 ? "narrower" : "wider") +
                         " than in a player (report.json: source.pixel_aspect). To see it as a player does, "
                         "resample it first, e.g. ffmpeg -i IN -vf scale=iw*sar:ih,setsar=1 OUT");
  }
  m.Index();
  if (m.pts.empty()) throw UsageError(path, "holds no video frames", "give a movie with at least one frame");
  m.PickRate(st);
  if (m.total > kMaxFrames) {
    throw UsageError(path, "holds more than " + std::to_string(kMaxFrames) + " frames", "trim the movie first");
  }
  const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(st.codecpar->format));
  m.description = std::string(decoder->name) + (d ? std::string(" ") + d->name : std::string()) +
                  (d ? " " + std::to_string(d->comp[0].depth) + "-bit" : std::string());
  if (m.orientation.degrees != 0) m.description += ", turned " + std::to_string(m.orientation.degrees) + " degrees";
  if (m.variable_rate) {
    m.warnings.push_back(path + ": its frame rate is variable (its frame times do not follow one rate); its frames "
                         "are picked by presentation time at its nominal " + m.fps->text() +
                         " fps, so some show twice and some not at all (report.json: source.variable_rate). For "
                         "every frame once, convert it to a constant rate first, e.g. ffmpeg -i IN -fps_mode "
                         "passthrough -r RATE OUT");
  }
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
  AVFormatContext* fmt = in.fmt.get();
  while ((r = av_read_frame(fmt, packet.get())) >= 0) {
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
    if (static_cast<int64_t>(found.size()) > kMaxFrames) break;  // refused below; no need to read on
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
  if (nb > packets) missing = std::min(nb - packets, kMaxFrames + 1);
}

// The nominal rate is the stream's average rate when the presentation times
// follow it, else FFmpeg's guess of the rate the stream was made at (the one
// its own converter picks frames at). Slot k of that rate shows the last
// frame whose time, rounded to the rate, is not after it.
void Movie::Impl::PickRate(AVStream& st) {
  const auto count = static_cast<int64_t>(pts.size());
  slots = count;
  const AVRational candidates[] = {st.avg_frame_rate, av_guess_frame_rate(in.fmt.get(), &st, nullptr), st.r_frame_rate};
  auto slot_of = [&](int64_t t, AVRational rate) -> int64_t {
    // Times too far apart to subtract lie past any frame limit.
    if (pts.front() < 0 && t > pts.front() + std::numeric_limits<int64_t>::max()) {
      return std::numeric_limits<int64_t>::max();
    }
    return av_rescale_q_rnd(t - pts.front(), st.time_base, av_inv_q(rate),
                            static_cast<AVRounding>(AV_ROUND_NEAR_INF | AV_ROUND_PASS_MINMAX));
  };
  // Frame i sits in slot i. In a file cut short the data may lack frames
  // between those it holds (B-frames stored after the cut), never more than
  // the index says it lacks.
  auto follows = [&](AVRational rate) {
    int64_t before = -1;
    for (int64_t i = 0; i < count; ++i) {
      const int64_t s = slot_of(pts[static_cast<std::size_t>(i)], rate);
      if (missing == 0 ? s != i : s <= before || s - i > missing) return false;
      before = s;
    }
    return true;
  };
  const bool timed = timestamps && st.time_base.num > 0 && st.time_base.den > 0;
  total = count + missing;
  for (const AVRational r : candidates) {
    if (!ValidRate(r)) continue;
    if (!timed || count < 2 || follows(r)) {
      fps = Reduced(r);
      const int64_t last = timed && count >= 2 ? slot_of(pts.back(), r) : count - 1;
      if (last + 1 > count) {
        // The slots of the frames the cut lost between the others stay empty.
        slots = last + 1;
        shown.assign(static_cast<std::size_t>(slots), -1);
        for (int64_t i = 0; i < count; ++i) shown[static_cast<std::size_t>(slot_of(pts[static_cast<std::size_t>(i)], r))] = i;
      }
      return;
    }
  }
  for (const AVRational r : {candidates[1], candidates[2], candidates[0]}) {
    if (!ValidRate(r)) continue;
    fps = Reduced(r);
    if (!timed) return;
    variable_rate = true;
    const int64_t last = slot_of(pts.back(), r);
    if (last < 0 || last >= kMaxFrames) {
      slots = total = kMaxFrames + 1;  // refused by the caller
      return;
    }
    slots = last + 1;
    total = slots + missing;
    shown.assign(static_cast<std::size_t>(slots), 0);
    int64_t i = 0;
    for (int64_t s = 0; s < slots; ++s) {
      while (i + 1 < count && slot_of(pts[static_cast<std::size_t>(i + 1)], r) <= s) ++i;
      shown[static_cast<std::size_t>(s)] = i;
    }
    return;
  }
}

bool Movie::Impl::Room(std::size_t bytes) const {
  if (cache.empty()) return true;
  return backwards && held + bytes <= budget;
}

int64_t Movie::Impl::KeyBefore(int64_t i) const {
  if (!timestamps) return 0;
  const auto it = std::upper_bound(keys.begin(), keys.end(), i);
  return it == keys.begin() ? 0 : *(it - 1);
}

void Movie::Impl::SeekTo(int64_t key_index) {
  AVFormatContext* fmt = in.fmt.get();
  int r = 0;
  if (timestamps && key_index > 0) {
    r = av_seek_frame(fmt, stream, pts[static_cast<std::size_t>(key_index)], AVSEEK_FLAG_BACKWARD);
  } else {
    key_index = 0;
    r = av_seek_frame(fmt, stream, timestamps ? pts.front() : 0, AVSEEK_FLAG_BACKWARD);
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
  if (!timestamps) return counted++;
  const int64_t t = f.best_effort_timestamp != AV_NOPTS_VALUE ? f.best_effort_timestamp : f.pts;
  if (t == AV_NOPTS_VALUE) return -1;
  const auto it = std::lower_bound(pts.begin(), pts.end(), t);
  if (it == pts.end()) return static_cast<int64_t>(pts.size()) - 1;
  if (it != pts.begin() && t - *(it - 1) < *it - t) return it - 1 - pts.begin();
  return it - pts.begin();
}

Movie::Impl::Cached* Movie::Impl::Find(int64_t i) {
  const auto it = cached.find(i);
  if (it == cached.end()) return nullptr;
  cache.splice(cache.begin(), cache, it->second);
  return &cache.front();
}

Movie::Impl::Cached& Movie::Impl::Store(int64_t i, AVFrame& f) {
  std::size_t bytes = 0;
  for (const AVBufferRef* b : f.buf) bytes += b != nullptr ? b->size : 0;
  if (Cached* have = Find(i)) {
    av_frame_unref(&f);
    return *have;
  }
  // The least recently used pictures make room.
  while (!Room(bytes)) {
    Cached& old = cache.back();
    held -= old.bytes;
    cached.erase(old.frame);
    cache.pop_back();
  }
  FramePtr picture(av_frame_alloc());
  if (!picture) throw std::bad_alloc();
  av_frame_move_ref(picture.get(), &f);
  cache.push_front(Cached{i, std::move(picture), bytes});
  cached[i] = cache.begin();
  held += bytes;
  return cache.front();
}

void Movie::Impl::Convert(const AVFrame& f, PF_EffectWorld& w) {
  const pixels::Depth depth = pixels::DepthOf(w);
  const bool deep = depth != pixels::Depth::k8;
  // RGBA, then turned to the host's alpha-first order: FFmpeg's own decode to
  // RGB takes that road, and its road to ARGB rounds differently.
  const AVPixelFormat out = deep ? AV_PIX_FMT_RGBA64 : AV_PIX_FMT_RGBA;
  if (f.width <= 0 || f.height <= 0) Fail("the decoder gave a picture of no pixels");
  sws.reset(sws_getCachedContext(sws.release(), f.width, f.height, static_cast<AVPixelFormat>(f.format), stored_width,
                                 stored_height, out, SWS_BICUBIC, nullptr, nullptr, nullptr));
  if (!sws) Fail("no conversion from its pixel format");
  // The matrix and range the frame declares, as FFmpeg's own scale filter takes them.
  const int space = f.colorspace == AVCOL_SPC_UNSPECIFIED || f.colorspace == AVCOL_SPC_RGB ? SWS_CS_DEFAULT : f.colorspace;
  sws_setColorspaceDetails(sws.get(), sws_getCoefficients(space), f.color_range == AVCOL_RANGE_JPEG ? 1 : 0,
                           sws_getCoefficients(SWS_CS_DEFAULT), 1, 0, 1 << 16, 1 << 16);
  // libswscale writes whole vectors past the end of a row: it converts into
  // a frame padded and aligned as FFmpeg allocates its own, never straight
  // into the world, whose rows are packed tight.
  if (!rgb || rgb->format != out) {
    rgb.reset(av_frame_alloc());
    if (!rgb) throw std::bad_alloc();
    rgb->format = out;
    rgb->width = stored_width;
    rgb->height = stored_height;
    if (av_frame_get_buffer(rgb.get(), 0) < 0) {
      rgb.reset();
      throw std::bad_alloc();
    }
  }
  const int rows = sws_scale(sws.get(), f.data, f.linesize, 0, f.height, rgb->data, rgb->linesize);
  if (rows <= 0) Fail("the picture could not be converted");
  const Orientation& o = orientation;
  // Movies with alpha carry it straight (ProRes 4444, QuickTime RLE, PNG).
  const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(f.format));
  const bool straight_alpha = d != nullptr && (d->flags & AV_PIX_FMT_FLAG_ALPHA) != 0;
  if (depth == pixels::Depth::k8) {
    CopyShown<uint8_t, PF_Pixel8>(straight_alpha, *rgb, o, width, height, w, [](uint32_t a, uint32_t r, uint32_t g, uint32_t b) {
      return PF_Pixel8{static_cast<A_u_char>(a), static_cast<A_u_char>(r), static_cast<A_u_char>(g),
                       static_cast<A_u_char>(b)};
    });
  } else if (depth == pixels::Depth::k16) {
    CopyShown<uint16_t, PF_Pixel16>(straight_alpha, *rgb, o, width, height, w, [](uint32_t a, uint32_t r, uint32_t g, uint32_t b) {
      return PF_Pixel16{To15(static_cast<uint16_t>(a)), To15(static_cast<uint16_t>(r)), To15(static_cast<uint16_t>(g)),
                        To15(static_cast<uint16_t>(b))};
    });
  } else {
    CopyShown<uint16_t, PF_PixelFloat>(straight_alpha, *rgb, o, width, height, w, [](uint32_t a, uint32_t r, uint32_t g, uint32_t b) {
      constexpr float s = 1.0f / 65535.0f;
      return PF_PixelFloat{static_cast<float>(a) * s, static_cast<float>(r) * s, static_cast<float>(g) * s,
                           static_cast<float>(b) * s};
    });
  }
}

Movie::Impl::Cached* Movie::Impl::DecodeUntil(int64_t i) {
  AVFormatContext* fmt = in.fmt.get();
  while (true) {
    const int r = avcodec_receive_frame(codec.get(), frame.get());
    if (r == 0) {
      const int64_t got_index = IndexOf(*frame);
      Cached* got = nullptr;
      if (got_index >= 0) {
        next = got_index + 1;
        // Frames just before the one asked for are kept too, while there is
        // room: a loop running backwards asks for them next.
        if (got_index == i || (got_index < i && backwards)) got = &Store(got_index, *frame);
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
    }
    if (draining) {
      drained = true;
      return nullptr;
    }
    const int rr = av_read_frame(fmt, packet.get());
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
int64_t Movie::frames() const { return impl_->total; }
std::optional<Rational> Movie::fps() const { return impl_->fps; }
std::string Movie::description() const { return impl_->description; }
int Movie::rotation() const { return impl_->orientation.degrees; }
std::optional<Rational> Movie::pixel_aspect() const { return impl_->pixel_aspect; }
bool Movie::variable_rate() const { return impl_->variable_rate; }
const std::vector<std::string>& Movie::warnings() const { return impl_->warnings; }
void Movie::SetCacheBudget(std::size_t bytes) { impl_->budget = bytes; }
std::size_t Movie::cached_pictures() const { return impl_->cache.size(); }
std::size_t Movie::cached_bytes() const { return impl_->held; }

void Movie::Paint(int64_t k, PF_EffectWorld& world) {
  Impl& m = *impl_;
  m.asked = k;
  m.Convert(m.Picture(k), world);
}

const AVFrame& Movie::Impl::Picture(int64_t k) {
  const int64_t i = k < 0 || k >= slots ? -1 : shown.empty() ? k : shown[static_cast<std::size_t>(k)];
  if (i < 0) {
    Fail("the file ends before it: its index lists " + std::to_string(total) + " frames, the data holds " +
         std::to_string(pts.size()) + "; the file is truncated or damaged");
  }
  if (Cached* c = Find(i)) return *c->picture;
  if (i < last_asked) backwards = true;
  last_asked = i;
  decode_error.clear();
  // On from where the decoder stands when no keyframe lies between, or the
  // gap is short; else from the keyframe before the frame.
  int64_t start = KeyBefore(i);
  const bool forward = !drained && next <= i && (next >= start || i - next < 8);
  if (!forward) SeekTo(start);
  for (int attempt = 0;; ++attempt) {
    if (Cached* c = DecodeUntil(i)) return *c->picture;
    // A seek that landed past the frame, or a frame the decoder skipped:
    // once from one keyframe earlier, once from the very start. A stream
    // that ended before the frame has nothing more to give.
    if (next <= i || attempt == 2) break;
    start = attempt == 0 && start > 0 ? KeyBefore(start - 1) : 0;
    SeekTo(start);
  }
  Fail(decode_error.empty() ? "the decoder gave no picture for it" : decode_error);
}

}  // namespace zelvan::render
