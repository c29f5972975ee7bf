#include "ImageFile.h"

#include <stdexcept>

#include "OutputFile.h"

namespace zelvan::render {
namespace {

// The library's writers write through this instead of their own file: the
// library ignores a failed write of some formats, the file does not.
class CheckedSink final : public images::ByteSink {
 public:
  explicit CheckedSink(OutputFile& file) : file_(file) {}
  std::size_t WriteAt(const void* data, std::size_t size, uint64_t offset) override {
    return file_.WriteAt(data, size, offset);
  }
  uint64_t Size() const override { return file_.size(); }

 private:
  OutputFile& file_;
};

}  // namespace

void WriteImageFile(const std::string& path, const std::string& shown, const images::ImageOut& image) {
  const images::ImageLibrary& library = images::Images();
  OutputFile file(path, shown);
  CheckedSink sink(file);
  std::string error;
  const bool encoded = library.write(shown, image, sink, &error);
  // A failed write is the cause whatever the encoder made of it.
  if (file.failed()) file.Close();
  if (!encoded) throw std::runtime_error(shown + ": " + error);
  file.Close();
}

}  // namespace zelvan::render
