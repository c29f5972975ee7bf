// Frame file formats and whole-image reading and writing through the image
// library (for tests and small files; the render writes its frames through
// FrameWriter, its previews through Previews, into an OutputFolder).
#pragma once

#include <OpenImageIO/imageio.h>

#include <cstddef>
#include <string>
#include <vector>

#include "AE_Effect.h"

namespace zelvan::render {

// Frame file formats.
enum class FrameFormat { Png8, Png16, Exr };
FrameFormat FormatFor(const std::string& name, int depth);  // "" picks by depth
const char* Extension(FrameFormat f);
// Bytes of one channel: 1, 2 or 4 (float).
std::size_t ChannelBytes(FrameFormat f);

// RGBA floats of a world (8 bits over 255, 16 bits over 32768, float as stored).
std::vector<float> WorldToRgba(const PF_EffectWorld& world);

// Encodes an image (pixels of `type`, converted to spec.format) through the
// image library into a checked file at `path`; `shown` names it in errors,
// and its extension picks the format. Throws WriteError when the file cannot
// be written, std::runtime_error when the image cannot be encoded.
void WriteImageFile(const std::string& path, const std::string& shown, const OIIO::ImageSpec& spec,
                    OIIO::TypeDesc type, const void* pixels);

// Writes an RGBA float image; throws std::runtime_error naming the file.
void WriteImage(const std::string& file, int width, int height, const std::vector<float>& rgba, FrameFormat format);

// Reads any image as RGBA floats; throws std::runtime_error naming the file.
std::vector<float> ReadImage(const std::string& file, int* width, int* height);

}  // namespace zelvan::render
