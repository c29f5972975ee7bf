// The image library (PNG, EXR, TIFF, JPEG, ...) as the tool uses it: one
// table of functions that the module zelvan-images.so exports. The tool
// loads the module on the first image it reads or writes, not when it
// starts: with its dependencies the library adds about 0.3 s and 100 MB to
// every run, and a movie made from a movie needs none of it. Only plain types
// cross: the module throws nothing, and says why it failed in `error`.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <variant>
#include <vector>

namespace zelvan::render::images {

// The channel types pictures are read as and files are written from.
enum class Channel { kUint8, kUint16, kFloat };

// Where an encoded file goes: the tool's own checked file.
class ByteSink {
 public:
  // Bytes written at `offset`; fewer than `size` on a failure.
  virtual std::size_t WriteAt(const void* data, std::size_t size, uint64_t offset) = 0;
  virtual uint64_t Size() const = 0;

 protected:
  ~ByteSink() = default;
};

// An image file open for reading.
class ImageIn {
 public:
  virtual ~ImageIn() = default;
  // Of the picture sought last (the first, at the start).
  virtual int Width() const = 0;
  virtual int Height() const = 0;
  virtual int Channels() const = 0;
  virtual std::string ColourSpace() const = 0;  // as the library names it; empty when it says none
  virtual int BitsPerSample() const = 0;
  // The pictures the file says it holds; 0 when it does not say.
  virtual int PicturesDeclared() const = 0;
  // False when the file has no such picture.
  virtual bool Seek(int picture) = 0;
  // Every channel of the picture as `type`, interleaved, rows packed; false
  // with Error() saying why.
  virtual bool Read(int picture, Channel type, void* out) = 0;
  virtual std::string Error() = 0;
};

// A file to encode: pixels of `given`, stored as `stored`; the shown name's
// extension picks the format.
struct ImageOut {
  int width = 0, height = 0, channels = 4;
  Channel stored = Channel::kUint8;
  Channel given = Channel::kUint8;
  const void* pixels = nullptr;
  std::vector<std::pair<std::string, std::variant<int, std::string>>> attributes;
};

struct ImageLibrary {
  // The table's layout; the tool refuses a module built with another.
  int version;
  // Opens a file by name, or bytes in memory (`data` not null) named `name`;
  // null with `error` set when the library cannot read it.
  std::unique_ptr<ImageIn> (*open)(const std::string& name, const void* data, std::size_t size, std::string* error);
  // Encodes `image` into `sink`; false with `error` set.
  bool (*write)(const std::string& shown, const ImageOut& image, ByteSink& sink, std::string* error);
};
constexpr int kImageLibraryVersion = 1;

// The module's one exported symbol, a function returning its table.
constexpr char kImageLibrarySymbol[] = "zelvan_image_library";
using ImageLibraryEntry = const ImageLibrary* (*)();

// The library, loaded on the first call from beside the running program (or
// from where this build made it). Throws std::runtime_error, with the cause
// and the fix, when the module cannot be loaded.
const ImageLibrary& Images();

}  // namespace zelvan::render::images
