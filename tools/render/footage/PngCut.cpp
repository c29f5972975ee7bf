#include "PngCut.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>

namespace zelvan::render {
namespace {

constexpr unsigned char kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
// The closing chunk: no data, its type, its CRC.
constexpr unsigned char kEnd[12] = {0, 0, 0, 0, 'I', 'E', 'N', 'D', 0xae, 0x42, 0x60, 0x82};

// Reads n bytes at offset `at` of the source; false past its end.
class Bytes {
 public:
  explicit Bytes(const FootageSource& s) : s_(s) {
    if (s.in_memory) {
      size_ = s.size;
      return;
    }
    std::error_code ec;
    size_ = static_cast<std::size_t>(std::filesystem::file_size(s.name, ec));
    if (ec) size_ = 0;
    file_.reset(std::fopen(s.name.c_str(), "rb"));
    if (!file_) size_ = 0;
  }
  std::size_t size() const { return size_; }
  bool Read(std::size_t at, unsigned char* out, std::size_t n) {
    if (at > size_ || n > size_ - at) return false;
    if (s_.in_memory) {
      std::memcpy(out, s_.data + at, n);
      return true;
    }
    return std::fseek(file_.get(), static_cast<long>(at), SEEK_SET) == 0 && std::fread(out, 1, n, file_.get()) == n;
  }

 private:
  struct Close {
    void operator()(std::FILE* f) const { std::fclose(f); }
  };
  const FootageSource& s_;
  std::unique_ptr<std::FILE, Close> file_;
  std::size_t size_ = 0;
};

std::string ChunkName(const unsigned char* type) {
  const std::string t(reinterpret_cast<const char*>(type), 4);
  return t == "IDAT" ? "its image data (IDAT chunk)" : "its " + t + " chunk";
}

}  // namespace

std::optional<std::string> PngCut(const FootageSource& source) {
  Bytes bytes(source);
  unsigned char head[12];
  if (!bytes.Read(0, head, 8) || std::memcmp(head, kSignature, 8) != 0) return std::nullopt;
  // A file that ends with its closing chunk is whole; else its chunks tell.
  const std::size_t size = bytes.size();
  if (size >= 20 && bytes.Read(size - 12, head, 12) && std::memcmp(head, kEnd, 12) == 0) return std::nullopt;
  std::size_t at = 8;
  std::string last = "its signature";
  while (bytes.Read(at, head, 8)) {
    const uint32_t length = (uint32_t{head[0]} << 24) | (uint32_t{head[1]} << 16) | (uint32_t{head[2]} << 8) | head[3];
    last = ChunkName(head + 4);
    if (std::memcmp(head + 4, "IEND", 4) == 0) return std::nullopt;
    at += 12 + std::size_t{length};
  }
  return "it is cut short: its " + std::to_string(size) + " bytes end " + (at > size ? "inside " : "after ") + last +
         (at > size ? "" : ", without its closing IEND chunk");
}

}  // namespace zelvan::render
