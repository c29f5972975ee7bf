// The loader reads the property list from the file before running any code,
// checks it, and resolves the entry point it names.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "HostFixture.h"
#include "LoadError.h"
#include "Module.h"
#include "PiPL.h"

#if defined(__linux__)
#include <elf.h>
#endif

namespace {

namespace fs = std::filesystem;
using zelvan::testhost::FourCharCode;
using zelvan::testhost::LoadError;
using zelvan::testhost::Module;
using zelvan::testhost::PluginPath;

std::vector<uint8_t> ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A copy of the plug-in file in a temporary folder, removed afterwards.
class TempFile {
 public:
  explicit TempFile(const std::vector<uint8_t>& bytes, const std::string& suffix = ".so") {
    static std::atomic<int> counter{0};
    path_ = (fs::temp_directory_path() /
             ("zelvan-loader-" + std::to_string(counter++) + "-" +
              std::to_string(std::hash<std::string>{}(::testing::UnitTest::GetInstance()->current_test_info()->name())) +
              suffix))
                .string();
    std::ofstream out(path_, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  }
  ~TempFile() {
    std::error_code ec;
    fs::remove(path_, ec);
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// The plug-in file with its property list changed by edit.
template <class Edit>
std::vector<uint8_t> Patched(Edit edit) {
  std::vector<uint8_t> file = ReadAll(PluginPath());
  const auto& list = zelvan::pipl::kWindows;
  auto at = std::search(file.begin(), file.end(), list.begin(), list.end());
  EXPECT_NE(at, file.end()) << "the property list bytes are not in the file";
  if (at != file.end()) edit(&*at);
  return file;
}

std::size_t Find(const uint8_t* list, const char* text) {
  const std::string haystack(reinterpret_cast<const char*>(list), zelvan::pipl::kWindows.size());
  return haystack.find(text);
}

std::string LoadFailure(const std::string& path) {
  try {
    Module::Load(path);
  } catch (const LoadError& e) {
    return e.cause();
  }
  return "(loaded)";
}

TEST(Loader, ReadsEveryPropertyOfTheEffect) {
  auto module = Module::Load(PluginPath());
  const auto& p = module->properties();
  EXPECT_EQ(p.properties().size(), 12u);
  EXPECT_EQ(p.size_in_bytes(), 290u);
  EXPECT_EQ(p.Kind(), FourCharCode("eFKT"));
  EXPECT_EQ(p.Name(), "ZelvanClipCycle");
  EXPECT_EQ(p.Category(), "Zelvan");
  EXPECT_EQ(p.EntryPointX64(), "EntryPointFunc");
  EXPECT_EQ(p.PropertyListVersion(), std::make_pair(uint16_t(2), uint16_t(0)));
  EXPECT_EQ(p.EffectInterfaceVersion(), std::make_pair(uint16_t(13), uint16_t(0)));
  EXPECT_EQ(p.Version(), 0x00080601u);
  EXPECT_EQ(p.InfoFlags(), uint16_t(0));
  EXPECT_EQ(p.OutFlags(), 0x06000000u);
  EXPECT_EQ(p.OutFlags2(), 0x00001400u);
  EXPECT_EQ(p.MatchName(), "ZelvanClipCycle");
  EXPECT_EQ(p.AeFlags(), 8u);
  const std::vector<std::string> keys = [&] {
    std::vector<std::string> k;
    for (const auto& prop : p.properties()) k.push_back(zelvan::testhost::FourCharText(prop.key));
    return k;
  }();
  EXPECT_EQ(keys, (std::vector<std::string>{"kind", "name", "catg", "8664", "ePVR", "eSVR", "eVER", "eINF", "eGLO",
                                            "eGL2", "eMNA", "aeFL"}));
  for (const auto& prop : p.properties()) EXPECT_EQ(prop.vendor, FourCharCode("8BIM"));
  EXPECT_EQ(module->entry_point_name(), "EntryPointFunc");
  EXPECT_NE(module->entry_point(), nullptr);
}

TEST(Loader, FourCharCodesReadBackwardsInTheFile) {
  const auto& list = zelvan::pipl::kWindows;
  EXPECT_NE(Find(list.data(), "dnik"), std::string::npos);
  EXPECT_NE(Find(list.data(), "TKFe"), std::string::npos);
  EXPECT_NE(Find(list.data(), "MIB8"), std::string::npos);
}

TEST(Loader, MissingFile) {
  const std::string cause = LoadFailure((fs::temp_directory_path() / "zelvan-no-such-plugin.so").string());
  EXPECT_NE(cause.find("no such file"), std::string::npos) << cause;
}

TEST(Loader, FileThatIsNotAPlugin) {
  TempFile text(std::vector<uint8_t>{'h', 'e', 'l', 'l', 'o', '\n'});
  const std::string cause = LoadFailure(text.path());
  EXPECT_NE(cause.find("not a plug-in"), std::string::npos) << cause;
}

TEST(Loader, EmptyFileIsNotAPlugin) {
  TempFile empty(std::vector<uint8_t>{});
  EXPECT_NE(LoadFailure(empty.path()).find("not a plug-in"), std::string::npos);
}

#if defined(__linux__)
TEST(Loader, SharedObjectWithoutPropertyList) {
  // This test program is itself an ELF binary, without the plug-in's section.
  const std::string self = fs::read_symlink("/proc/self/exe").string();
  TempFile copy(ReadAll(self));
  const std::string cause = LoadFailure(copy.path());
  EXPECT_TRUE(cause.find("no property list") != std::string::npos ||
              cause.find("not a shared object") != std::string::npos)
      << cause;
}

TEST(Loader, PluginBuiltForAnotherMachineIsRefusedBeforeAnyCodeRuns) {
  std::vector<uint8_t> file = ReadAll(PluginPath());
  ASSERT_GT(file.size(), sizeof(Elf64_Ehdr));
  const uint16_t other = file[offsetof(Elf64_Ehdr, e_machine)] == EM_X86_64 ? EM_AARCH64 : EM_X86_64;
  file[offsetof(Elf64_Ehdr, e_machine)] = uint8_t(other);
  file[offsetof(Elf64_Ehdr, e_machine) + 1] = uint8_t(other >> 8);
  TempFile copy(file);
  const std::string cause = LoadFailure(copy.path());
  EXPECT_NE(cause.find(other == EM_AARCH64 ? "built for arm64 (aarch64), this host runs on x86-64"
                                           : "built for x86-64, this host runs on arm64 (aarch64)"),
            std::string::npos)
      << cause;
}

#endif

TEST(Loader, WrongKindIsRefusedBeforeAnyCodeRuns) {
  TempFile file(Patched([](uint8_t* list) {
    const std::size_t at = Find(list, "TKFe");  // 'eFKT', stored backwards
    list[at] = 'X';
  }));
  try {
    Module::Load(file.path());
    FAIL() << "loaded";
  } catch (const LoadError& e) {
    EXPECT_NE(e.cause().find("kind 'eFKX'"), std::string::npos) << e.what();
    EXPECT_FALSE(e.fix().empty());
    EXPECT_NE(std::string(e.what()).find(file.path()), std::string::npos);
  }
}

TEST(Loader, EntryPointNamedByThePropertyListMustBeExported) {
  TempFile file(Patched([](uint8_t* list) {
    const std::size_t at = Find(list, "EntryPointFunc");
    list[at + 13] = 'X';  // "EntryPointFunX"
  }));
  const std::string cause = LoadFailure(file.path());
  EXPECT_NE(cause.find("EntryPointFunX"), std::string::npos) << cause;
}

TEST(Loader, MissingEntryPointProperty) {
  TempFile file(Patched([](uint8_t* list) {
    const std::size_t at = Find(list, "4668");  // '8664', stored backwards
    list[at] = 'Z';
  }));
  EXPECT_NE(LoadFailure(file.path()).find("names no entry point"), std::string::npos);
}

TEST(Loader, TruncatedPropertyList) {
  TempFile file(Patched([](uint8_t* list) { list[6] = 13; }));  // one property more than present
  EXPECT_NE(LoadFailure(file.path()).find("malformed"), std::string::npos);
}

TEST(Loader, WrongVendorCode) {
  TempFile file(Patched([](uint8_t* list) { list[10] = 'Q'; }));
  EXPECT_NE(LoadFailure(file.path()).find("vendor"), std::string::npos);
}

TEST(Loader, CopyOfThePluginLoads) {
  // An unchanged copy loads: the loader reads the file it is given.
  TempFile file(Patched([](uint8_t*) {}));
  auto module = Module::Load(file.path());
  EXPECT_EQ(module->properties().Name(), "ZelvanClipCycle");
}

TEST(PropertyList, DescribesVersionWords) {
  EXPECT_EQ(zelvan::testhost::DescribeVersion(0x00080601), "1.00 release build 1");
  EXPECT_EQ(zelvan::testhost::DescribeVersion((2u << 19) | (3u << 15) | (4u << 11) | (1u << 9) | 7u),
            "2.34 alpha build 7");
}

TEST(PropertyList, ParsesABigEnoughListAndRejectsBadHeaders) {
  std::vector<uint8_t> list(zelvan::pipl::kWindows.begin(), zelvan::pipl::kWindows.end());
  EXPECT_NO_THROW(zelvan::testhost::PropertyList::Parse(list));
  list[0] = 2;
  EXPECT_THROW(zelvan::testhost::PropertyList::Parse(list), zelvan::testhost::PropertyListError);
  EXPECT_THROW(zelvan::testhost::PropertyList::Parse({}), zelvan::testhost::PropertyListError);
}

}  // namespace
