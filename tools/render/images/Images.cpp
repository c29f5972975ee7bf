#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <mutex>
#include <stdexcept>
#include <string>

#include "ImageLibrary.h"

namespace zelvan::render::images {
namespace {

constexpr char kModuleName[] = "zelvan-images.so";

// The folder of the running program, with its final '/'; empty when unknown.
std::string ProgramFolder() {
  char path[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return {};
  const std::string program(path, static_cast<std::size_t>(n));
  return program.substr(0, program.rfind('/') + 1);
}

const ImageLibrary* Load(std::string* error) {
  // Beside the program first (the tool and its module are built together);
  // then where this build put it, for the tests' own programs.
  for (const std::string& path : {ProgramFolder() + kModuleName, std::string(ZELVAN_IMAGES_MODULE)}) {
    void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr) {
      const char* why = dlerror();
      if (error->empty()) *error = why != nullptr ? why : path + ": cannot be loaded";
      continue;
    }
    // Never closed: the library's pictures and threads live until the end.
    auto entry = reinterpret_cast<ImageLibraryEntry>(dlsym(module, kImageLibrarySymbol));
    const ImageLibrary* library = entry != nullptr ? entry() : nullptr;
    if (library != nullptr && library->version == kImageLibraryVersion) return library;
    *error = path + " is not this build's image module";
  }
  return nullptr;
}

}  // namespace

const ImageLibrary& Images() {
  static std::once_flag once;
  static const ImageLibrary* library = nullptr;
  static std::string error;
  std::call_once(once, [] { library = Load(&error); });
  if (library == nullptr) {
    throw std::runtime_error("the image module cannot be loaded (" + error + "); build it with the tool: " +
                             "cmake --build --preset linux --target zelvan-render");
  }
  return *library;
}

}  // namespace zelvan::render::images
