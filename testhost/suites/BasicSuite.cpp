// SPBasicSuite: hands out and takes back the other suites, by name and version.
#include <cstdlib>
#include <cstring>

#include "HostCall.h"
#include "Suites.h"

namespace zelvan::testhost {
namespace {

// The names the host serves these functions by (see ServedFunctions.h).
constexpr char kAcquireSuite[] = "AcquireSuite";
constexpr char kReleaseSuite[] = "ReleaseSuite";
constexpr char kIsEqual[] = "IsEqual";
constexpr char kAllocateBlock[] = "AllocateBlock";
constexpr char kFreeBlock[] = "FreeBlock";
constexpr char kReallocateBlock[] = "ReallocateBlock";
constexpr char kUndefined[] = "Undefined";

std::string SuiteArgs(const char* name, A_long version) {
  return std::string(name != nullptr ? name : "(null)") + " " + std::to_string(version);
}

SPErr AcquireSuite(const char* name, A_long version, const void** suite) noexcept {
  return HostCall<kAcquireSuite>([&] { return SuiteArgs(name, version); }, [&](HostCore& h) -> A_Err {
    if (name == nullptr || suite == nullptr) {
      h.accounts().Violation("AcquireSuite called with a null name or a null suite address");
      return PF_Err_BAD_CALLBACK_PARAM;
    }
    if (!h.MayAcquire(name, version)) return PF_Err_BAD_CALLBACK_PARAM;
    const Faults::SuiteAnswer fault = h.faults().OnAcquire(name, version);
    if (fault.faulted) {
      if (fault.null_pointer) {
        *suite = nullptr;
        return 0;
      }
      return fault.code;
    }
    const void* table = FindSuite(name, version);
    if (table == nullptr) table = h.ExtraSuite(name, version);
    if (table == nullptr) return kSuiteNotFound;
    h.accounts().SuiteAcquired(name, version);
    *suite = table;
    return 0;
  });
}

SPErr ReleaseSuite(const char* name, A_long version) noexcept {
  return HostRelease<kReleaseSuite>([&] { return SuiteArgs(name, version); }, [&](HostCore& h) -> A_Err {
    if (name == nullptr) {
      h.accounts().Violation("ReleaseSuite called with a null name");
      return PF_Err_BAD_CALLBACK_PARAM;
    }
    const Accounts::SuiteCount before = h.accounts().Suite(name, version);
    h.accounts().SuiteReleased(name, version);
    return before.acquired > before.released ? 0 : kSuiteNotFound;
  });
}

A_Boolean IsEqual(const char* a, const char* b) noexcept {
  A_Boolean equal = 0;
  (void)HostCall<kIsEqual>([] { return std::string(); }, [&](HostCore&) -> A_Err {
    equal = a != nullptr && b != nullptr && std::strcmp(a, b) == 0;
    return 0;
  });
  return equal;
}

SPErr AllocateBlock(size_t size, void** block) noexcept {
  return HostCall<kAllocateBlock>([&] { return "size=" + std::to_string(size); }, [&](HostCore&) -> A_Err {
    if (block == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    *block = std::malloc(size == 0 ? 1 : size);
    return *block != nullptr ? 0 : PF_Err_OUT_OF_MEMORY;
  });
}

SPErr FreeBlock(void* block) noexcept {
  return HostRelease<kFreeBlock>([] { return std::string(); }, [&](HostCore&) -> A_Err {
    std::free(block);
    return 0;
  });
}

SPErr ReallocateBlock(void* block, size_t new_size, void** new_block) noexcept {
  return HostCall<kReallocateBlock>([&] { return "size=" + std::to_string(new_size); }, [&](HostCore&) -> A_Err {
    if (new_block == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    void* grown = std::realloc(block, new_size == 0 ? 1 : new_size);
    if (grown == nullptr) return PF_Err_OUT_OF_MEMORY;
    *new_block = grown;
    return 0;
  });
}

SPErr Undefined() noexcept {
  return HostCall<kUndefined>([] { return std::string(); }, [](HostCore& h) -> A_Err {
    h.accounts().Violation("the basic suite's Undefined entry was called");
    return PF_Err_INVALID_CALLBACK;
  });
}

}  // namespace

const SPBasicSuite kBasicSuite = [] {
  SPBasicSuite s{};
  s.AcquireSuite = AcquireSuite;
  s.ReleaseSuite = ReleaseSuite;
  s.IsEqual = IsEqual;
  s.AllocateBlock = AllocateBlock;
  s.FreeBlock = FreeBlock;
  s.ReallocateBlock = ReallocateBlock;
  s.Undefined = Undefined;
  return s;
}();

}  // namespace zelvan::testhost
