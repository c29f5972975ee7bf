// Coded sound to be copied as it is into a movie: the stream's parameters and
// time base, where the movie starts on its clock (the source's first picture),
// and its packets in order. The footage room reads them from the source, the
// movie encoder writes them beside the pictures.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
}

#include <cstdint>

namespace zelvan::render {

class AudioPackets {
 public:
  virtual ~AudioPackets() = default;
  virtual const AVCodecParameters& parameters() const = 0;
  virtual AVRational time_base() const = 0;
  // The time, in time_base, that is the movie's time 0.
  virtual int64_t start() const = 0;
  // The next packet into `packet` (its times in time_base); false at the end.
  // Throws std::runtime_error naming the file when it cannot be read.
  virtual bool Next(AVPacket& packet) = 0;
};

}  // namespace zelvan::render
