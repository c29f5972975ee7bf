// The function tables of the suites the host hands out, and the host's
// catalogue of them by name and version.
#pragma once

#include <string>

#include "AE_EffectSuites.h"
#include "AE_GeneralPlug.h"

namespace zelvan::testhost {

// Each table is filled member by member, by name, so that it holds for any
// layout of its suite.
extern const PF_HandleSuite2 kHandleSuite2;
extern const AEGP_UtilitySuite7 kUtilitySuite7;
extern const AEGP_PFInterfaceSuite1 kPFInterfaceSuite1;
extern const AEGP_EffectSuite2 kEffectSuite2;
extern const AEGP_StreamSuite9 kStreamSuite9;
extern const AEGP_DynamicStreamSuite5 kDynamicStreamSuite5;
extern const AEGP_CompSuite15 kCompSuite15;
extern const AEGP_LayerSuite13 kLayerSuite13;

// The table of that name and version, or null for a suite this host does not offer.
const void* FindSuite(const std::string& name, A_long version);

// AcquireSuite's answer for a suite this host does not offer.
constexpr A_Err kSuiteNotFound = 0x4E6F5375;  // 'NoSu'

// The basic suite the host passes in in_data->pica_basicP.
extern const SPBasicSuite kBasicSuite;

}  // namespace zelvan::testhost
