// A movie's sound, to be copied into the movie a run writes: its first audio
// stream, read packet by packet from the start through a container opened
// for it alone (the pictures' reader seeks on its own). The movie's time 0 is
// the video stream's first presentation time.
#pragma once

#include <memory>
#include <string>

#include "AudioPackets.h"
#include "MovieInput.h"

namespace zelvan::render {

class SourceAudio final : public AudioPackets {
 public:
  // Nothing when the file holds no sound (or is no movie FFmpeg opens).
  static std::unique_ptr<SourceAudio> Open(const std::string& path);

  // The codec as FFmpeg names it ("aac", "opus").
  std::string codec() const;
  const AVCodecParameters& parameters() const override;
  AVRational time_base() const override;
  int64_t start() const override { return start_; }
  bool Next(AVPacket& packet) override;

 private:
  SourceAudio() = default;

  std::string path_;
  MovieInput input_;
  AVStream* stream_ = nullptr;
  int64_t start_ = 0;
};

}  // namespace zelvan::render
