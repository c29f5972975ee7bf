// Where a footage file's bytes come from: the file itself, or bytes already in
// memory (read by the fuzz target), so that both take the same decode path.
#pragma once

#include <cstddef>
#include <string>
#include <utility>

namespace zelvan::render {

struct FootageSource {
  // The path; for bytes in memory a name for messages, whose extension tells
  // the image library which reader to try first.
  std::string name;
  bool in_memory = false;
  const unsigned char* data = nullptr;  // in memory: `size` bytes the caller keeps alive
  std::size_t size = 0;

  static FootageSource File(std::string path) { return FootageSource{std::move(path), false, nullptr, 0}; }
  static FootageSource Memory(std::string name, const unsigned char* bytes, std::size_t n) {
    return FootageSource{std::move(name), true, bytes, n};
  }
};

}  // namespace zelvan::render
