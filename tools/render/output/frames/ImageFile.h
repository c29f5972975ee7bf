// An image written through the image library into a checked file: a failed
// write is never taken for success, whatever the library makes of it.
#pragma once

#include <string>

#include "ImageLibrary.h"

namespace zelvan::render {

// Encodes an image into a new file at `path`; `shown` names it in errors,
// and its extension picks the format. Throws WriteError when the file cannot
// be written, std::runtime_error when the image cannot be encoded.
void WriteImageFile(const std::string& path, const std::string& shown, const images::ImageOut& image);

}  // namespace zelvan::render
