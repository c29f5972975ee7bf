#include "ImageFile.h"

#include <OpenImageIO/filesystem.h>

#include <stdexcept>

#include "OutputFile.h"

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

}  // namespace zelvan::render
