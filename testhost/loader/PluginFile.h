// What loading a plug-in needs from the operating system, kept behind one
// small interface so that each platform supplies its own file format and
// library loader (ELF and dlopen here; PE resources and LoadLibrary on Windows).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace zelvan::testhost::platform {

// The raw property-list bytes of the plug-in file, read without running it.
// Throws LoadError: missing file, not a plug-in binary, no property list.
std::vector<uint8_t> ReadPropertyListBytes(const std::string& path);

// A loaded dynamic library; unloaded when destroyed.
class Library {
 public:
  virtual ~Library() = default;
  // The exported function of that name, or null.
  virtual void* Symbol(const std::string& name) const = 0;
};

// Throws LoadError when the library cannot be loaded.
std::unique_ptr<Library> OpenLibrary(const std::string& path);

// What a plug-in file is called on this platform, for messages.
const char* PluginFileKind();

}  // namespace zelvan::testhost::platform
