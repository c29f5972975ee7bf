// Rows of RGBA as CopyPixels writes them for a movie (8 or 16 bits a
// channel, colour unpremultiplied), composited over black in place: each
// colour times its alpha, rounded to the nearest level, and alpha made 1. A
// kind without alpha that converts from RGBA shows the render as the 4:2:0
// kinds do (Yuv420.h): the premultiplied colour.
#pragma once

#include <cstddef>

namespace zelvan::render {

// `rows` rows of `width` pixels, `rowbytes` apart; `deep`: 16 bits a channel.
void CompositeOverBlack(unsigned char* rgba, int width, int rows, std::ptrdiff_t rowbytes, bool deep);

}  // namespace zelvan::render
