#include <cstring>

#include "Suites.h"

namespace zelvan::testhost {

const void* FindSuite(const std::string& name, A_long version) {
  struct Entry {
    const char* name;
    A_long version;
    const void* table;
  };
  // Exact names and versions: a suite is found only as the effect spells it.
  static const Entry kOffered[] = {
      {kPFHandleSuite, kPFHandleSuiteVersion2, &kHandleSuite2},
      {kAEGPUtilitySuite, kAEGPUtilitySuiteVersion7, &kUtilitySuite7},
      {kAEGPPFInterfaceSuite, kAEGPPFInterfaceSuiteVersion1, &kPFInterfaceSuite1},
      {kAEGPEffectSuite, kAEGPEffectSuiteVersion2, &kEffectSuite2},
      {kAEGPStreamSuite, kAEGPStreamSuiteVersion9, &kStreamSuite9},
      {kAEGPDynamicStreamSuite, kAEGPDynamicStreamSuiteVersion5, &kDynamicStreamSuite5},
      {kAEGPCompSuite, kAEGPCompSuiteVersion15, &kCompSuite15},
      {kAEGPLayerSuite, kAEGPLayerSuiteVersion13, &kLayerSuite13},
  };
  for (const Entry& e : kOffered) {
    if (e.version == version && name == e.name) return e.table;
  }
  return nullptr;
}

}  // namespace zelvan::testhost
