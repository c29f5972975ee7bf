// The Linux build carries its property list in a named section, so the host can
// read it from the file without running any code.
#include "PiPL.h"

#if defined(__linux__)
__attribute__((section(".zelvan_pipl"), used)) static constexpr std::array<uint8_t, zelvan::pipl::kResourceSize>
    kPiPLSection = zelvan::pipl::kLittleEndian;
#endif
