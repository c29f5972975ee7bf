#include "MovieIndex.h"

extern "C" {
#include <libavformat/avformat.h>
}

#include <algorithm>
#include <cstddef>
#include <limits>

#include "FfmpegRational.h"
#include "Limits.h"
#include "MoviePackets.h"

namespace zelvan::render {
namespace {

// The slots of a rate that the stream's times fall in, from its first frame.
class Slots {
 public:
  Slots(const MovieIndex& m, AVRational time_base) : m_(m), time_base_(time_base) {}

  int64_t Of(int64_t t, AVRational rate) const {
    const int64_t first = m_.pts.front();
    // Times too far apart to subtract lie past any frame limit.
    if (first < 0 && t > first + std::numeric_limits<int64_t>::max()) return std::numeric_limits<int64_t>::max();
    return av_rescale_q_rnd(t - first, time_base_, av_inv_q(rate),
                            static_cast<AVRounding>(AV_ROUND_NEAR_INF | AV_ROUND_PASS_MINMAX));
  }
  int64_t OfFrame(int64_t i, AVRational rate) const { return Of(m_.pts[static_cast<std::size_t>(i)], rate); }

  // Frame i sits in slot i. In a file cut short the data may lack frames
  // between those it holds (B-frames stored after the cut), never more than
  // the index says it lacks.
  bool Follow(AVRational rate) const {
    int64_t before = -1;
    for (int64_t i = 0; i < static_cast<int64_t>(m_.pts.size()); ++i) {
      const int64_t s = OfFrame(i, rate);
      if (m_.missing == 0 ? s != i : s <= before || s - i > m_.missing) return false;
      before = s;
    }
    return true;
  }

 private:
  const MovieIndex& m_;
  AVRational time_base_;
};

// A rate the times follow: slot k shows frame k, but for the slots of the
// frames a cut lost between the others, which stay empty.
void FollowedRate(MovieIndex& m, AVRational rate, const Slots* timed) {
  const auto count = static_cast<int64_t>(m.pts.size());
  m.fps = Reduced(rate);
  const int64_t last = timed != nullptr && count >= 2 ? timed->OfFrame(count - 1, rate) : count - 1;
  if (last + 1 <= count) return;
  m.slots = last + 1;
  m.shown.assign(static_cast<std::size_t>(m.slots), -1);
  for (int64_t i = 0; i < count; ++i) m.shown[static_cast<std::size_t>(timed->OfFrame(i, rate))] = i;
}

// A rate the times do not follow: each slot shows the last frame whose slot
// is not after it.
void VariableRate(MovieIndex& m, AVRational rate, const Slots& slots) {
  const auto count = static_cast<int64_t>(m.pts.size());
  m.fps = Reduced(rate);
  m.variable_rate = true;
  const int64_t last = slots.OfFrame(count - 1, rate);
  if (last < 0 || last >= kMaxFrames) {
    m.slots = m.total = kMaxFrames + 1;  // refused by the caller
    return;
  }
  m.slots = last + 1;
  m.total = m.slots + m.missing;
  m.shown.assign(static_cast<std::size_t>(m.slots), 0);
  int64_t i = 0;
  for (int64_t s = 0; s < m.slots; ++s) {
    while (i + 1 < count && slots.OfFrame(i + 1, rate) <= s) ++i;
    m.shown[static_cast<std::size_t>(s)] = i;
  }
}

void PickRate(MovieIndex& m, AVFormatContext& fmt, AVStream& st) {
  const auto count = static_cast<int64_t>(m.pts.size());
  m.slots = count;
  m.total = count + m.missing;
  const AVRational candidates[] = {st.avg_frame_rate, av_guess_frame_rate(&fmt, &st, nullptr), st.r_frame_rate};
  const Slots slots(m, st.time_base);
  const bool timed = m.timestamps && st.time_base.num > 0 && st.time_base.den > 0;
  if (!timed) {
    // Frames numbered as decoded are shown at the rate FFmpeg's converter picks.
    for (const AVRational r : {candidates[1], candidates[0], candidates[2]}) {
      if (ValidRate(r)) {
        FollowedRate(m, r, nullptr);
        return;
      }
    }
    return;
  }
  for (const AVRational r : candidates) {
    if (ValidRate(r) && (count < 2 || slots.Follow(r))) {
      FollowedRate(m, r, &slots);
      return;
    }
  }
  for (const AVRational r : {candidates[1], candidates[2], candidates[0]}) {
    if (ValidRate(r)) {
      VariableRate(m, r, slots);
      return;
    }
  }
}

}  // namespace

MovieIndex ReadIndex(AVFormatContext& fmt, int stream, AVPacket& packet) {
  MovieIndex m;
  MoviePackets packets = ReadPackets(fmt, stream, packet);
  std::vector<PacketInfo>& found = packets.list;
  m.timestamps = packets.timed;
  if (m.timestamps) {
    std::stable_sort(found.begin(), found.end(), [](const PacketInfo& a, const PacketInfo& b) { return a.pts < b.pts; });
    found.erase(std::unique(found.begin(), found.end(),
                            [](const PacketInfo& a, const PacketInfo& b) { return a.pts == b.pts; }),
                found.end());
  }
  for (std::size_t i = 0; i < found.size(); ++i) {
    m.pts.push_back(found[i].pts);
    if (found[i].key) m.keys.push_back(static_cast<int64_t>(i));
    if (found[i].key) {
      const int64_t t = found[i].dts != AV_NOPTS_VALUE ? found[i].dts : found[i].pts;
      m.key_places.push_back(MovieIndex::Place{found[i].resume, t});
    }
  }
  if (m.keys.empty() || m.keys.front() != 0) {
    m.keys.insert(m.keys.begin(), 0);
    m.key_places.insert(m.key_places.begin(), MovieIndex::Place{});
  }
  m.filled = std::move(packets.filled);
  // An index that lists more samples than the data holds: the file ends early.
  AVStream& st = *fmt.streams[stream];
  const int64_t listed = avformat_index_get_entries_count(&st);
  if (listed > packets.read) m.missing = std::min(listed - packets.read, kMaxFrames + 1);
  if (!m.pts.empty()) PickRate(m, fmt, st);
  return m;
}

int64_t MovieIndex::FrameIn(int64_t slot) const {
  if (slot < 0 || slot >= slots) return -1;
  return shown.empty() ? slot : shown[static_cast<std::size_t>(slot)];
}

int64_t MovieIndex::KeyBefore(int64_t i) const {
  if (!timestamps) return 0;
  const auto it = std::upper_bound(keys.begin(), keys.end(), i);
  return it == keys.begin() ? 0 : *(it - 1);
}

MovieIndex::Place MovieIndex::PlaceOf(int64_t key) const {
  const auto it = std::lower_bound(keys.begin(), keys.end(), key);
  if (it == keys.end() || *it != key) return Place{};
  return key_places[static_cast<std::size_t>(it - keys.begin())];
}

int64_t MovieIndex::FilledPts(int64_t dts) const {
  const auto it = std::lower_bound(filled.begin(), filled.end(), std::make_pair(dts, int64_t{AV_NOPTS_VALUE}));
  return it != filled.end() && it->first == dts ? it->second : AV_NOPTS_VALUE;
}

int64_t MovieIndex::Nearest(int64_t t) const {
  const auto it = std::lower_bound(pts.begin(), pts.end(), t);
  if (it == pts.end()) return static_cast<int64_t>(pts.size()) - 1;
  if (it != pts.begin() && t - *(it - 1) < *it - t) return it - 1 - pts.begin();
  return it - pts.begin();
}

}  // namespace zelvan::render
