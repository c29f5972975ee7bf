// Linux: the property list lives in a named ELF section, and the library is
// loaded with dlopen.
#include <dlfcn.h>
#include <elf.h>

#include <cstring>
#include <fstream>
#include <iterator>

#include "LoadError.h"
#include "PluginFile.h"

namespace zelvan::testhost::platform {
namespace {

constexpr const char kSectionName[] = ".zelvan_pipl";

// The machine this host runs on, as an ELF header names it.
#if defined(__x86_64__)
constexpr uint16_t kHostMachine = EM_X86_64;
#elif defined(__aarch64__)
constexpr uint16_t kHostMachine = EM_AARCH64;
#else
#error "the simulated host knows the ELF machine of x86-64 and arm64 only"
#endif

std::string MachineName(uint16_t machine) {
  switch (machine) {
    case EM_X86_64:
      return "x86-64";
    case EM_AARCH64:
      return "arm64 (aarch64)";
    case EM_386:
      return "x86 (32-bit)";
    case EM_ARM:
      return "arm (32-bit)";
    default:
      return "ELF machine " + std::to_string(machine);
  }
}

std::vector<uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    throw LoadError(path, "no such file or it cannot be read",
                    "build the plug-in (cmake --build --preset linux) or pass the path of ZelvanClipCycle.so");
  }
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

template <class T>
T At(const std::vector<uint8_t>& file, uint64_t offset, const std::string& path) {
  if (offset > file.size() || file.size() - offset < sizeof(T)) {
    throw LoadError(path, "the ELF headers point past the end of the file", "rebuild the plug-in; the file is damaged");
  }
  T value;
  std::memcpy(&value, file.data() + offset, sizeof(T));
  return value;
}

// Ehdr and Shdr are the 32- or 64-bit ELF header types.
template <class Ehdr, class Shdr>
std::vector<uint8_t> FindSection(const std::vector<uint8_t>& file, const std::string& path) {
  const auto header = At<Ehdr>(file, 0, path);
  if (header.e_type != ET_DYN) {
    throw LoadError(path, "the file is an ELF binary but not a shared object",
                    "pass the plug-in module (ZelvanClipCycle.so), not an executable or object file");
  }
  // The loader could not map it anyway; say why before any code is run.
  if (header.e_machine != kHostMachine) {
    throw LoadError(path,
                    "the plug-in is built for " + MachineName(header.e_machine) + ", this host runs on " +
                        MachineName(kHostMachine),
                    "build the plug-in for this machine (the linux preset natively, linux-aarch64 for arm64)");
  }
  if (header.e_shentsize != sizeof(Shdr) || header.e_shoff == 0) {
    throw LoadError(path, "the file has no usable section table", "rebuild the plug-in without stripping sections");
  }
  uint64_t count = header.e_shnum;
  uint64_t names_index = header.e_shstrndx;
  const auto first = At<Shdr>(file, header.e_shoff, path);
  if (count == 0) count = first.sh_size;  // more sections than the header field holds
  if (names_index == SHN_XINDEX) names_index = first.sh_link;
  if (names_index >= count) {
    throw LoadError(path, "the section name table is missing", "rebuild the plug-in; the file is damaged");
  }
  const auto names = At<Shdr>(file, header.e_shoff + names_index * sizeof(Shdr), path);
  for (uint64_t i = 0; i < count; ++i) {
    const auto section = At<Shdr>(file, header.e_shoff + i * sizeof(Shdr), path);
    const uint64_t name_at = uint64_t(names.sh_offset) + section.sh_name;
    if (name_at >= file.size()) continue;
    const char* name = reinterpret_cast<const char*>(file.data() + name_at);
    const std::size_t room = file.size() - name_at;
    if (strnlen(name, room) == room || std::strcmp(name, kSectionName) != 0) continue;
    if (section.sh_type == SHT_NOBITS || section.sh_offset > file.size() ||
        file.size() - section.sh_offset < section.sh_size) {
      throw LoadError(path, std::string("section ") + kSectionName + " has no data in the file",
                      "rebuild the plug-in; the file is damaged");
    }
    const auto begin = file.begin() + long(section.sh_offset);
    return std::vector<uint8_t>(begin, begin + long(section.sh_size));
  }
  throw LoadError(path, std::string("no property list: the file has no section ") + kSectionName,
                  "build the plug-in with its property list section (plugin/PiPLSection.cpp)");
}

class DlLibrary : public Library {
 public:
  explicit DlLibrary(void* handle) : handle_(handle) {}
  ~DlLibrary() override { dlclose(handle_); }
  DlLibrary(const DlLibrary&) = delete;
  DlLibrary& operator=(const DlLibrary&) = delete;

  void* Symbol(const std::string& name) const override { return dlsym(handle_, name.c_str()); }

 private:
  void* handle_;
};

}  // namespace

std::vector<uint8_t> ReadPropertyListBytes(const std::string& path) {
  const std::vector<uint8_t> file = ReadFile(path);
  if (file.size() < EI_NIDENT || std::memcmp(file.data(), ELFMAG, SELFMAG) != 0) {
    throw LoadError(path, "the file is not a plug-in (not an ELF shared object)",
                    "pass the path of the built plug-in module, ZelvanClipCycle.so");
  }
  if (file[EI_DATA] != ELFDATA2LSB) {
    throw LoadError(path, "the file is a big-endian ELF binary", "build the plug-in for this machine");
  }
  switch (file[EI_CLASS]) {
    case ELFCLASS64:
      return FindSection<Elf64_Ehdr, Elf64_Shdr>(file, path);
    case ELFCLASS32:
      return FindSection<Elf32_Ehdr, Elf32_Shdr>(file, path);
    default:
      throw LoadError(path, "the file has an unknown ELF class", "build the plug-in for this machine");
  }
}

std::unique_ptr<Library> OpenLibrary(const std::string& path) {
  // The property list has been read by now; only then is the plug-in's code run.
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    const char* why = dlerror();
    throw LoadError(path, std::string("the dynamic loader refused it: ") + (why != nullptr ? why : "unknown reason"),
                    "check that the plug-in was built for this machine and links only against the system");
  }
  return std::make_unique<DlLibrary>(handle);
}

const char* PluginFileKind() { return "ELF shared object"; }

}  // namespace zelvan::testhost::platform
