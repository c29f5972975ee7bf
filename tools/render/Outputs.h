// Frame file formats and whole-image reading and writing through the image
// library (for tests and small files; the render writes its frames through
// FrameWriter, its previews through Previews, into an OutputFolder).
#pragma once

#include <string>
#include <vector>

#include "AE_Effect.h"

namespace zelvan::render {

// Frame file formats.
enum class FrameFormat { Png8, Png16, Exr };
FrameFormat FormatFor(const std::string& name, int depth);  // "" picks by depth
const char* Extension(FrameFormat f);

// RGBA floats of a world (8 bits over 255, 16 bits over 32768, float as stored).
std::vector<float> WorldToRgba(const PF_EffectWorld& world);

// Writes an RGBA float image; throws std::runtime_error naming the file.
void WriteImage(const std::string& file, int width, int height, const std::vector<float>& rgba, FrameFormat format);

// Reads any image as RGBA floats; throws std::runtime_error naming the file.
std::vector<float> ReadImage(const std::string& file, int* width, int* height);

}  // namespace zelvan::render
