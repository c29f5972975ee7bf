#include "AEGP_SuiteHandler.h"

namespace {

struct KnownSuite {
  const char* name;
  A_long version;
};

constexpr KnownSuite kKnownSuites[] = {
#define ZELVAN_SUITE(slot, name, version) {name, version},
#include "SuiteTable.def"
#undef ZELVAN_SUITE
};
static_assert(sizeof(kKnownSuites) / sizeof(kKnownSuites[0]) == AEGP_SuiteHandler::kSuiteCount,
              "every suite has a slot");

}  // namespace

AEGP_SuiteHandler::AEGP_SuiteHandler(const SPBasicSuite* basic) : basic_(basic), slots_{} {
  if (basic_ == nullptr) {
    MissingSuiteError();
  }
}

AEGP_SuiteHandler::~AEGP_SuiteHandler() { ReleaseAllSuites(); }

const void* AEGP_SuiteHandler::Suite(SuiteId id) {
  if (slots_[id] != nullptr) {
    return slots_[id];
  }
  const void* suite = nullptr;
  // The host's own code is dropped: a missing suite is always 516 to the caller.
  if (basic_->AcquireSuite(kKnownSuites[id].name, kKnownSuites[id].version, &suite) != 0 || suite == nullptr) {
    MissingSuiteError();
  }
  slots_[id] = suite;
  return suite;
}

const char* AEGP_SuiteHandler::SuiteName(SuiteId id) { return kKnownSuites[id].name; }

A_long AEGP_SuiteHandler::SuiteVersion(SuiteId id) { return kKnownSuites[id].version; }

void AEGP_SuiteHandler::ReleaseSuite(const char* name, int version) {
  // Nobody can act on a failed release; the remaining suites are still released.
  (void)basic_->ReleaseSuite(name, version);
}

void AEGP_SuiteHandler::ReleaseAllSuites() {
  for (int i = 0; i < kSuiteCount; ++i) {
    if (slots_[i] != nullptr) {
      ReleaseSuite(kKnownSuites[i].name, kKnownSuites[i].version);
    }
  }
}
