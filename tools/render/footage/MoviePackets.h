// The packets of a movie's video stream, read once in decode order (no
// decoding): each one's presentation and decode times, whether it starts a
// keyframe, and where in the file it lies.
//
// Some containers store only some presentation times (an MPEG program stream
// times a packet only when a picture starts in it; AVI with B-frames times the
// B-frames alone): the others are filled in as FFmpeg's own generator of
// missing times fills them, because a frame that later ones are decoded
// before is shown when the next such frame is decoded. A stream that times no
// packet at all (H.264 in AVI) is left untimed: its frames can only be
// numbered in the order the decoder gives them.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

struct AVFormatContext;
struct AVPacket;

namespace zelvan::render {

struct PacketInfo {
  int64_t pts;       // presentation time, its own or filled in
  int64_t dts;       // decode time, none in some containers
  int64_t pos;       // byte position in the file, -1 when unknown
  // Where reading may start for this packet to come out as it does when
  // the file is read from its start: at the packet before it whose place is
  // known, since a demuxer's parser put at the packet's own place can split
  // what lies there differently (MPEG program streams); -1 when unknown.
  int64_t resume;
  int64_t duration;  // in the stream's time base, 0 when unknown
  bool key;
};

struct MoviePackets {
  std::vector<PacketInfo> list;  // decode order, without those an edit list cuts
  int64_t read = 0;              // every packet of the stream, the cut ones included
  bool timed = true;             // every packet in `list` has a presentation time
  // Presentation times filled in, by the decode time of their packet,
  // ascending: the decoder is handed them with the packets again.
  std::vector<std::pair<int64_t, int64_t>> filled;
};

// Reads the packets of `stream` from where `fmt` stands to its end, through
// `packet`. Reading stops soon after kMaxFrames packets, as a longer movie is
// refused.
MoviePackets ReadPackets(AVFormatContext& fmt, int stream, AVPacket& packet);

}  // namespace zelvan::render
