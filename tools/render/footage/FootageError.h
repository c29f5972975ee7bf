// A footage frame that cannot be read: the file and the frame are named, so
// that the message tells the user which picture of which file failed.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>

namespace zelvan::render {

class FootageError : public std::runtime_error {
 public:
  FootageError(std::string file, int64_t frame, std::string cause)
      : std::runtime_error(file + ": frame " + std::to_string(frame) + " cannot be read (" + cause + ")"),
        file_(std::move(file)),
        frame_(frame) {}
  const std::string& file() const { return file_; }
  int64_t frame() const { return frame_; }

 private:
  std::string file_;
  int64_t frame_;
};

}  // namespace zelvan::render
