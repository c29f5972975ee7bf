#include "ImageFiles.h"

#include <OpenImageIO/imageio.h>

#include <algorithm>
#include <stdexcept>

#include "DepthTable.h"
#include "ImageFile.h"
#include "PixelWorld.h"

namespace zelvan::render {

std::vector<float> WorldToRgba(const PF_EffectWorld& world) {
  std::vector<float> out(static_cast<std::size_t>(world.width) * static_cast<std::size_t>(world.height) * 4);
  std::size_t i = 0;
  for (A_long y = 0; y < world.height; ++y) {
    for (A_long x = 0; x < world.width; ++x) {
      const pixels::Color c = pixels::GetPixel(world, x, y);
      out[i++] = c.red;
      out[i++] = c.green;
      out[i++] = c.blue;
      out[i++] = c.alpha;
    }
  }
  return out;
}

void WriteImage(const std::string& file, int width, int height, const std::vector<float>& rgba, FrameFormat format) {
  images::ImageOut out;
  out.width = width;
  out.height = height;
  out.stored = ImageType(format);
  // Integer formats clamp to [0, 1]; the image library converts from float.
  out.given = images::Channel::kFloat;
  out.pixels = rgba.data();
  out.attributes = {{"Software", std::string("zelvan-render")}};
  if (format == FrameFormat::Exr) out.attributes.push_back({"compression", std::string("zip")});
  WriteImageFile(file, file, out);
}

std::vector<float> ReadImage(const std::string& file, int* width, int* height) {
  auto in = OIIO::ImageInput::open(file);
  if (!in) throw std::runtime_error(file + ": cannot be read (" + OIIO::geterror() + ")");
  const OIIO::ImageSpec& spec = in->spec();
  std::vector<float> raw(static_cast<std::size_t>(spec.width) * static_cast<std::size_t>(spec.height) *
                         static_cast<std::size_t>(spec.nchannels));
  if (!in->read_image(0, 0, 0, spec.nchannels, OIIO::TypeDesc::FLOAT, raw.data())) {
    throw std::runtime_error(file + ": cannot be decoded (" + in->geterror() + ")");
  }
  std::vector<float> rgba(static_cast<std::size_t>(spec.width) * static_cast<std::size_t>(spec.height) * 4, 1.0f);
  for (std::size_t i = 0; i < static_cast<std::size_t>(spec.width) * static_cast<std::size_t>(spec.height); ++i) {
    for (int c = 0; c < std::min(4, spec.nchannels); ++c) {
      rgba[i * 4 + static_cast<std::size_t>(c)] = raw[i * static_cast<std::size_t>(spec.nchannels) + static_cast<std::size_t>(c)];
    }
  }
  *width = spec.width;
  *height = spec.height;
  return rgba;
}

}  // namespace zelvan::render
