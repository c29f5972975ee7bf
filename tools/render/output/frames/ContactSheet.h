// The contact sheet: a thumbnail of every frame in a grid, the frame's number
// under it in the host's digit font, transparent parts over a checkerboard
// and failed frames crossed out in red; written as one PNG at the end.
#pragma once

#include <string>
#include <vector>

#include "PixelWorld.h"

namespace zelvan::render {

class ContactSheet {
 public:
  // The sheet of `frames` frames of a render of width x height.
  ContactSheet(int frames, int width, int height);

  // The thumbnail's size: the render fitted into 160x120, smaller for a
  // long render so that the sheet stays within a sane size.
  int thumb_width() const { return thumb_w_; }
  int thumb_height() const { return thumb_h_; }

  // Frame `index`'s thumbnail, a world of the thumbnail's size.
  void Add(int index, const pixels::PixelWorld& thumb, bool failed);
  // Writes the sheet; throws WriteError (or std::runtime_error) naming the
  // file as shown.
  void Write(const std::string& file, const std::string& shown) const;

 private:
  unsigned char* At(int x, int y);
  void CrossOut(int cx, int cy);
  void Number(int index, int cx, int cy, bool failed);

  int thumb_w_ = 1, thumb_h_ = 1;
  int cols_ = 1, rows_ = 1, label_ = 10, width_ = 1, height_ = 1;
  std::vector<unsigned char> rgb_;
};

}  // namespace zelvan::render
