// The effect's name and version, as the host shows and stores them.
#pragma once

#include <cstdint>

namespace zelvan {

constexpr const char kEffectName[] = "ZelvanClipCycle";
constexpr const char kEffectCategory[] = "Zelvan";
constexpr const char kMakerNotice[] = "Shows a frame of another layer, picked by an eased loop.";

constexpr int kMajorVersion = 1;
constexpr int kMinorVersion = 0;
constexpr int kPatchVersion = 0;
constexpr int kStageRelease = 3;
constexpr int kBuildVersion = 1;

// The host's version word: build in bits 0-8, stage 9-10, patch 11-14,
// minor 15-18, major 19-21.
constexpr uint32_t kVersionWord = (uint32_t(kMajorVersion) << 19) | (uint32_t(kMinorVersion) << 15) |
                                  (uint32_t(kPatchVersion) << 11) | (uint32_t(kStageRelease) << 9) |
                                  uint32_t(kBuildVersion);
static_assert(kVersionWord == 0x00080601u, "version word 1.0.0 release build 1");

// Global flags: 16-bit and float pixels, smart render, parameter-UI updates.
constexpr int32_t kOutFlags = 0x06000000;   // DEEP_COLOR_AWARE | SEND_UPDATE_PARAMS_UI
constexpr int32_t kOutFlags2 = 0x00001400;  // SUPPORTS_SMART_RENDER | FLOAT_COLOR_AWARE

}  // namespace zelvan
