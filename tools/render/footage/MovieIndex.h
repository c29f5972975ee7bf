// The frames of a movie's video stream, learnt by reading each of its
// packets once (no decoding, see MoviePackets): their presentation times,
// ascending, which are keyframes and where reading resumes for each; the
// samples the container's own index lists beyond the data of a cut file;
// the nominal rate and the frame each slot of it shows.
//
// The nominal rate is the stream's average rate when the presentation times
// follow it, else FFmpeg's guess of the rate the stream was made at (the one
// its own converter picks frames at): the stream is then of variable rate,
// and slot k shows the last frame whose time, rounded to the rate, is not
// after it. A stream without presentation times has its frames in decode
// order at FFmpeg's guess.
#pragma once

#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "Rational.h"

struct AVFormatContext;
struct AVPacket;

namespace zelvan::render {

struct MovieIndex {
  std::vector<int64_t> pts;
  std::vector<int64_t> keys;  // the keyframes among them by index, the first frame always
  // Where reading resumes for each keyframe, and how its packet is known.
  struct Place {
    int64_t resume = -1;  // a byte position at or before its packet, -1 when unknown
    int64_t dts = 0;      // its packet's decode time (else its presentation time)
  };
  std::vector<Place> key_places;
  bool timestamps = true;     // false: frames are counted from the start of the stream
  // Presentation times the container left out and the index filled in, by
  // the decode time of their packet (see MoviePackets).
  std::vector<std::pair<int64_t, int64_t>> filled;
  int64_t missing = 0;        // frames the index lists beyond the end of the data
  std::optional<Rational> fps;
  bool variable_rate = false;
  int64_t slots = 0;  // slots of the nominal rate the frames span
  int64_t total = 0;  // frames at the nominal rate, those the data lost included
  // For a variable-rate stream, the frame shown in each slot, and for a file
  // cut short, -1 where the cut lost a frame between the others (a B-frame
  // whose data lay after it); empty when slot k shows frame k.
  std::vector<int64_t> shown;

  // The frame slot k shows; -1 outside the slots or where the cut lost it.
  int64_t FrameIn(int64_t slot) const;
  // The last keyframe at or before frame i (0 without timestamps).
  int64_t KeyBefore(int64_t i) const;
  // Where reading resumes for keyframe `key` (a frame index); a resume of -1
  // when unknown.
  Place PlaceOf(int64_t key) const;
  // The presentation time filled in for the packet of decode time `dts`;
  // AV_NOPTS_VALUE when the container gave it its own, or none.
  int64_t FilledPts(int64_t dts) const;
  // The frame whose presentation time is nearest t.
  int64_t Nearest(int64_t t) const;
};

// Reads the packets of `stream` from where `fmt` stands to its end, through
// `packet`, and picks the rate when it found frames. Reading stops soon after
// kMaxFrames frames, as a longer movie is refused.
MovieIndex ReadIndex(AVFormatContext& fmt, int stream, AVPacket& packet);

}  // namespace zelvan::render
