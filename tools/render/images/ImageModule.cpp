// The module zelvan-images.so: the image library behind the table of
// ImageLibrary.h. Nothing here throws to the tool; failures come back as text.
#include <OpenImageIO/filesystem.h>
#include <OpenImageIO/imageio.h>

#include <exception>
#include <memory>

#include "ImageLibrary.h"

namespace zelvan::render::images {
namespace {

OIIO::TypeDesc TypeOf(Channel c) {
  switch (c) {
    case Channel::kUint8:
      return OIIO::TypeDesc::UINT8;
    case Channel::kUint16:
      return OIIO::TypeDesc::UINT16;
    case Channel::kFloat:
      break;
  }
  return OIIO::TypeDesc::FLOAT;
}

class LibraryImageIn final : public ImageIn {
 public:
  LibraryImageIn(std::unique_ptr<OIIO::Filesystem::IOMemReader> memory, std::unique_ptr<OIIO::ImageInput> in)
      : memory_(std::move(memory)), in_(std::move(in)) {}

  int Width() const override { return in_->spec().width; }
  int Height() const override { return in_->spec().height; }
  int Channels() const override { return in_->spec().nchannels; }
  std::string ColourSpace() const override {
    return std::string(in_->spec().get_string_attribute("oiio:ColorSpace"));
  }
  int BitsPerSample() const override {
    const OIIO::ImageSpec& spec = in_->spec();
    return spec.get_int_attribute("oiio:BitsPerSample", static_cast<int>(spec.format.size()) * 8);
  }
  int PicturesDeclared() const override { return in_->spec().get_int_attribute("oiio:subimages", 0); }
  bool Seek(int picture) override { return in_->seek_subimage(picture, 0); }
  bool Read(int picture, Channel type, void* out) override {
    return in_->read_image(picture, 0, 0, in_->spec().nchannels, TypeOf(type), out);
  }
  std::string Error() override { return in_->geterror(); }

 private:
  // Declared in this order so that the image closes before the bytes it
  // reads through go.
  std::unique_ptr<OIIO::Filesystem::IOMemReader> memory_;
  std::unique_ptr<OIIO::ImageInput> in_;
};

std::unique_ptr<ImageIn> Open(const std::string& name, const void* data, std::size_t size, std::string* error) {
  try {
    std::unique_ptr<OIIO::Filesystem::IOMemReader> memory;
    if (data != nullptr) memory = std::make_unique<OIIO::Filesystem::IOMemReader>(data, size);
    auto in = OIIO::ImageInput::open(name, nullptr, memory.get());
    if (!in) {
      *error = OIIO::geterror();
      return nullptr;
    }
    return std::make_unique<LibraryImageIn>(std::move(memory), std::move(in));
  } catch (const std::exception& e) {
    *error = e.what();
    return nullptr;
  }
}

// The library's writers go through this instead of their own file: the
// library ignores a failed write of some formats, the sink does not.
class SinkProxy final : public OIIO::Filesystem::IOProxy {
 public:
  SinkProxy(const std::string& shown, ByteSink& sink) : IOProxy(shown, Write), sink_(sink) {}
  const char* proxytype() const override { return "zelvan-checked"; }
  size_t write(const void* buf, size_t size) override {
    const size_t n = sink_.WriteAt(buf, size, static_cast<uint64_t>(m_pos));
    m_pos += static_cast<int64_t>(n);
    return n;
  }
  size_t pwrite(const void* buf, size_t size, int64_t offset) override {
    return sink_.WriteAt(buf, size, static_cast<uint64_t>(offset));
  }
  size_t size() const override { return static_cast<size_t>(sink_.Size()); }

 private:
  ByteSink& sink_;
};

bool Write(const std::string& shown, const ImageOut& image, ByteSink& sink, std::string* error) {
  try {
    OIIO::ImageSpec spec(image.width, image.height, image.channels, TypeOf(image.stored));
    for (const auto& [name, value] : image.attributes) {
      if (const int* i = std::get_if<int>(&value)) {
        spec.attribute(name, *i);
      } else {
        spec.attribute(name, std::get<std::string>(value));
      }
    }
    SinkProxy proxy(shown, sink);
    // The shown name picks the format and names the file in the library's
    // messages; the proxy does the writing.
    auto out = OIIO::ImageOutput::create(shown, &proxy);
    if (!out) {
      *error = "cannot be written (" + OIIO::geterror() + ")";
      return false;
    }
    if (out->open(shown, spec) && out->write_image(TypeOf(image.given), image.pixels) && out->close()) return true;
    *error = "cannot be encoded (" + out->geterror() + ")";
    return false;
  } catch (const std::exception& e) {
    *error = std::string("cannot be encoded (") + e.what() + ")";
    return false;
  }
}

constexpr ImageLibrary kLibrary{kImageLibraryVersion, &Open, &Write};

}  // namespace
}  // namespace zelvan::render::images

extern "C" __attribute__((visibility("default"))) const zelvan::render::images::ImageLibrary* zelvan_image_library() {
  return &zelvan::render::images::kLibrary;
}
