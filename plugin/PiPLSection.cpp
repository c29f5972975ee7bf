// The Linux build carries its property list in a named section, so the host can
// read it from the file without running any code. It is the Windows list: the
// simulated host takes the entry point from its '8664' property.
#include "PiPL.h"

#if defined(__linux__)
__attribute__((section(".zelvan_pipl"), used)) static constexpr auto kPiPLSection = zelvan::pipl::kWindows;
#endif
