#include "FrameFormat.h"

#include <algorithm>

#include "OutputNames.h"

namespace zelvan::render {

FrameFormat FormatFor(const std::string& name, int depth) {
  if (const std::optional<FrameFormat> named = FormatNamed(name)) return *named;
  return FormatOf(DepthOfBits(depth).value_or(pixels::Depth::kFloat));
}

const char* Extension(FrameFormat f) { return f == FrameFormat::Exr ? ".exr" : ".png"; }

std::size_t ChannelBytes(FrameFormat f) {
  return WithFormat(f, [](auto row) { return sizeof(typename decltype(row)::FileChannel); });
}

std::string FrameName(int k, int frames, FrameFormat format) {
  const int digits = std::max(4, static_cast<int>(std::to_string(std::max(0, frames - 1)).size()));
  std::string n = std::to_string(k);
  return names::kFramePrefix + std::string(static_cast<std::size_t>(std::max(0, digits - static_cast<int>(n.size()))), '0') + n +
         Extension(format);
}

}  // namespace zelvan::render
