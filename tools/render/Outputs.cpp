#include "Outputs.h"

#include <OpenImageIO/filesystem.h>
#include <OpenImageIO/imageio.h>

#include <algorithm>
#include <stdexcept>

#include "OutputFile.h"
#include "PixelWorld.h"

namespace zelvan::render {
namespace {

// The image library's writers go through this instead of their own file: the
// library ignores a failed write of some formats, the file does not.
class CheckedProxy : public OIIO::Filesystem::IOProxy {
 public:
  explicit CheckedProxy(OutputFile& file) : IOProxy(file.shown(), Write), file_(file) {}
  const char* proxytype() const override { return "zelvan-checked"; }
  size_t write(const void* buf, size_t size) override {
    const size_t n = file_.WriteAt(buf, size, static_cast<uint64_t>(m_pos));
    m_pos += static_cast<int64_t>(n);
    return n;
  }
  size_t pwrite(const void* buf, size_t size, int64_t offset) override {
    return file_.WriteAt(buf, size, static_cast<uint64_t>(offset));
  }
  size_t size() const override { return static_cast<size_t>(file_.size()); }

 private:
  OutputFile& file_;
};

}  // namespace

FrameFormat FormatFor(const std::string& name, int depth) {
  if (name == "png8") return FrameFormat::Png8;
  if (name == "png16") return FrameFormat::Png16;
  if (name == "exr") return FrameFormat::Exr;
  return depth == 8 ? FrameFormat::Png8 : depth == 16 ? FrameFormat::Png16 : FrameFormat::Exr;
}

const char* Extension(FrameFormat f) { return f == FrameFormat::Exr ? ".exr" : ".png"; }

std::size_t ChannelBytes(FrameFormat f) { return f == FrameFormat::Png8 ? 1 : f == FrameFormat::Png16 ? 2 : 4; }

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

void WriteImageFile(const std::string& path, const std::string& shown, const OIIO::ImageSpec& spec,
                    OIIO::TypeDesc type, const void* pixels) {
  OutputFile file(path, shown);
  CheckedProxy proxy(file);
  // The shown name, never the path: it picks the format and names the file in
  // the library's messages; the proxy does the writing.
  auto out = OIIO::ImageOutput::create(shown, &proxy);
  if (!out) throw std::runtime_error(shown + ": cannot be written (" + OIIO::geterror() + ")");
  const bool encoded = out->open(shown, spec) && out->write_image(type, pixels) && out->close();
  const std::string error = encoded ? std::string() : out->geterror();
  out.reset();
  // A failed write is the cause whatever the encoder made of it.
  if (file.failed()) file.Close();
  if (!encoded) throw std::runtime_error(shown + ": cannot be encoded (" + error + ")");
  file.Close();
}

void WriteImage(const std::string& file, int width, int height, const std::vector<float>& rgba, FrameFormat format) {
  const OIIO::TypeDesc type = format == FrameFormat::Png8    ? OIIO::TypeDesc::UINT8
                              : format == FrameFormat::Png16 ? OIIO::TypeDesc::UINT16
                                                             : OIIO::TypeDesc::FLOAT;
  OIIO::ImageSpec spec(width, height, 4, type);
  spec.attribute("Software", "zelvan-render");
  if (format == FrameFormat::Exr) spec.attribute("compression", "zip");
  // Integer formats clamp to [0, 1]; the image library converts from float.
  WriteImageFile(file, file, spec, OIIO::TypeDesc::FLOAT, rgba.data());
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
