#include "MoviePackets.h"

extern "C" {
#include <libavformat/avformat.h>
}

#include <algorithm>
#include <cstddef>

#include "FfmpegLog.h"
#include "Limits.h"

namespace zelvan::render {
namespace {

// The presentation time of packet i, which has none: the decode time of the
// next later packet that is not a B-frame (one whose presentation time is not
// its decode time), or past the last one when none follows.
int64_t GeneratedPts(const std::vector<PacketInfo>& list, std::size_t i) {
  const int64_t dts = list[i].dts;
  int64_t last = dts;
  for (std::size_t j = i + 1; j < list.size(); ++j) {
    const PacketInfo& later = list[j];
    if (later.dts == AV_NOPTS_VALUE || later.dts <= dts) continue;
    if (later.pts != later.dts) return later.dts;
    last = later.dts;
  }
  return last + list[i].duration;
}

// Fills the presentation times the container left out, when it gave some
// and every packet a decode time; else the stream is untimed.
void FillTimes(MoviePackets& p) {
  const bool some = std::any_of(p.list.begin(), p.list.end(), [](const PacketInfo& k) { return k.pts != AV_NOPTS_VALUE; });
  const bool all = std::all_of(p.list.begin(), p.list.end(), [](const PacketInfo& k) { return k.pts != AV_NOPTS_VALUE; });
  if (all) return;
  const bool decode_times =
      std::all_of(p.list.begin(), p.list.end(), [](const PacketInfo& k) { return k.dts != AV_NOPTS_VALUE; });
  if (!some || !decode_times) {
    p.timed = false;
    return;
  }
  std::vector<int64_t> generated(p.list.size(), AV_NOPTS_VALUE);
  for (std::size_t i = 0; i < p.list.size(); ++i) {
    if (p.list[i].pts == AV_NOPTS_VALUE) generated[i] = GeneratedPts(p.list, i);
  }
  for (std::size_t i = 0; i < p.list.size(); ++i) {
    if (generated[i] == AV_NOPTS_VALUE) continue;
    p.list[i].pts = generated[i];
    p.filled.emplace_back(p.list[i].dts, generated[i]);
  }
  std::sort(p.filled.begin(), p.filled.end());
}

}  // namespace

MoviePackets ReadPackets(AVFormatContext& fmt, int stream, AVPacket& packet) {
  MoviePackets p;
  int64_t place_before = -1;
  while (av_read_frame(&fmt, &packet) >= 0) {
    if (packet.stream_index == stream) {
      ++p.read;
      // Packets an edit list cuts are decoded for their references only.
      if ((packet.flags & AV_PKT_FLAG_DISCARD) == 0) {
        const int64_t resume = place_before >= 0 ? place_before : packet.pos;
        p.list.push_back(PacketInfo{packet.pts, packet.dts, packet.pos, resume, packet.duration,
                                    (packet.flags & AV_PKT_FLAG_KEY) != 0});
      }
      if (packet.pos >= 0) place_before = packet.pos;
    }
    av_packet_unref(&packet);
    if (static_cast<int64_t>(p.list.size()) > kMaxFrames) break;  // refused by the caller; no need to read on
  }
  TakeLastError();
  FillTimes(p);
  return p;
}

}  // namespace zelvan::render
