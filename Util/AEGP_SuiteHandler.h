// The per-command cache of host suites. Each suite is acquired on first use and
// every acquired suite is released when the handler goes out of scope, also when
// the command is left by the exception a missing suite raises.
#pragma once

#include "AE_EffectSuites.h"
#include "AE_GeneralPlug.h"
#include "SPBasic.h"

class AEGP_SuiteHandler {
 public:
  // Positions of the known suites, in release order.
  enum SuiteId : int {
#define ZELVAN_SUITE(slot, name, version) k##slot,
#include "SuiteTable.def"
#undef ZELVAN_SUITE
    kSuiteCount
  };

  // Throws the host error code 516 when basic is null; makes no host call.
  explicit AEGP_SuiteHandler(const SPBasicSuite* basic);
  ~AEGP_SuiteHandler();

  AEGP_SuiteHandler(const AEGP_SuiteHandler&) = delete;
  AEGP_SuiteHandler& operator=(const AEGP_SuiteHandler&) = delete;

  // The suites the effect uses; none returns null (a missing suite throws 516).
  const AEGP_UtilitySuite7* UtilitySuite7() { return get<AEGP_UtilitySuite7>(kUtilitySuite7); }
  const PF_HandleSuite2* HandleSuite2() { return get<PF_HandleSuite2>(kHandleSuite2); }
  const AEGP_PFInterfaceSuite1* PFInterfaceSuite1() { return get<AEGP_PFInterfaceSuite1>(kPFInterfaceSuite1); }
  const AEGP_EffectSuite2* EffectSuite2() { return get<AEGP_EffectSuite2>(kEffectSuite2); }
  const AEGP_StreamSuite9* StreamSuite9() { return get<AEGP_StreamSuite9>(kStreamSuite9); }
  const AEGP_DynamicStreamSuite5* DynamicStreamSuite5() {
    return get<AEGP_DynamicStreamSuite5>(kDynamicStreamSuite5);
  }
  const AEGP_CompSuite15* CompSuite15() { return get<AEGP_CompSuite15>(kCompSuite15); }
  const AEGP_LayerSuite13* LayerSuite13() { return get<AEGP_LayerSuite13>(kLayerSuite13); }

  // Any known suite by position, untyped.
  const void* Suite(SuiteId id);

  static const char* SuiteName(SuiteId id);
  static A_long SuiteVersion(SuiteId id);

  void ReleaseSuite(const char* name, int version);

  // Throws the host error code 516 (bad callback parameter); never returns.
  [[noreturn]] void MissingSuiteError() const;

 private:
  template <class T>
  const T* get(SuiteId id) {
    return static_cast<const T*>(Suite(id));
  }
  void ReleaseAllSuites();

  const SPBasicSuite* basic_;
  const void* slots_[kSuiteCount];
};
