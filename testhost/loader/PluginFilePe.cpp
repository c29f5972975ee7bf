// Windows: the property list is the PE resource PIPL / 16000 / US English, read
// with the library mapped as a data file (no code runs); the library is then
// loaded with LoadLibrary.
#include <windows.h>


#include "LoadError.h"
#include "PluginFile.h"

namespace zelvan::testhost::platform {
namespace {

constexpr WORD kPiPLId = 16000;
constexpr WORD kLanguage = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);  // 1033

std::wstring Wide(const std::string& utf8) {
  const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, nullptr, 0);
  std::wstring out(n > 0 ? size_t(n) : 0u, L'\0');
  if (n > 0) MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, out.data(), n);
  if (!out.empty()) out.pop_back();  // the terminating zero
  return out;
}

std::string LastError() {
  const DWORD code = GetLastError();
  char text[256] = {};
  FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text, sizeof text,
                 nullptr);
  std::string s(text);
  while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' ')) s.pop_back();
  return "error " + std::to_string(code) + (s.empty() ? "" : " (" + s + ")");
}

class Win32Library : public Library {
 public:
  explicit Win32Library(HMODULE module) : module_(module) {}
  ~Win32Library() override { FreeLibrary(module_); }
  Win32Library(const Win32Library&) = delete;
  Win32Library& operator=(const Win32Library&) = delete;

  void* Symbol(const std::string& name) const override {
    return reinterpret_cast<void*>(GetProcAddress(module_, name.c_str()));
  }

 private:
  HMODULE module_;
};

}  // namespace

std::vector<uint8_t> ReadPropertyListBytes(const std::string& path) {
  if (GetFileAttributesW(Wide(path).c_str()) == INVALID_FILE_ATTRIBUTES) {
    throw LoadError(path, "no such file or it cannot be read",
                    "build the plug-in (cmake --build --preset windows-x64) or pass the path of ZelvanClipCycle.aex");
  }
  // As an image resource only: nothing is relocated, imported or run.
  HMODULE data = LoadLibraryExW(Wide(path).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  if (data == nullptr) {
    throw LoadError(path, "the file is not a PE image: " + LastError(),
                    "pass the path of the built plug-in module, ZelvanClipCycle.aex");
  }
  std::vector<uint8_t> bytes;
  std::string missing;
  if (HRSRC info = FindResourceExW(data, L"PIPL", MAKEINTRESOURCEW(kPiPLId), kLanguage); info == nullptr) {
    missing = "it has no resource PIPL 16000 in US English";
  } else if (HGLOBAL loaded = LoadResource(data, info); loaded == nullptr) {
    missing = "its PIPL resource cannot be read: " + LastError();
  } else {
    const auto* p = static_cast<const uint8_t*>(LockResource(loaded));
    bytes.assign(p, p + SizeofResource(data, info));
  }
  FreeLibrary(data);
  if (!missing.empty()) {
    throw LoadError(path, missing, "build the plug-in with its resource script (the windows-x64 preset does)");
  }
  return bytes;
}

std::unique_ptr<Library> OpenLibrary(const std::string& path) {
  // The property list has been read by now; only then is the plug-in's code run.
  HMODULE module = LoadLibraryExW(Wide(path).c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  if (module == nullptr) {
    throw LoadError(path, "the loader refused it: " + LastError(),
                    "check that the plug-in was built for Windows x64 and imports only system DLLs");
  }
  return std::make_unique<Win32Library>(module);
}

const char* PluginFileKind() { return "PE dynamic library (.aex)"; }

}  // namespace zelvan::testhost::platform
