// Whole images for the tests: a world as RGBA floats, and any image file
// written or read whole through the image library.
#pragma once

#include <string>
#include <vector>

#include "AE_Effect.h"
#include "FrameFormat.h"

namespace zelvan::render {

// RGBA floats of a world (8 bits over 255, 16 bits over 32768, float as stored).
std::vector<float> WorldToRgba(const PF_EffectWorld& world);

// Writes an RGBA float image; throws std::runtime_error naming the file.
void WriteImage(const std::string& file, int width, int height, const std::vector<float>& rgba, FrameFormat format);

// Reads any image as RGBA floats (premultiplied, as the image library reads
// it); throws std::runtime_error naming the file.
std::vector<float> ReadImage(const std::string& file, int* width, int* height);

}  // namespace zelvan::render
