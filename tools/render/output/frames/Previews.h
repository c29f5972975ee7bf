// The contact sheet and the GIF preview, from small 8-bit copies of each
// frame made with the simulated host's own scaled copy (never from the full
// frame in float), the GIF streamed to its file as the frames come. The work
// runs on a thread of its own, in frame order, while the next frames render.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "AE_Effect.h"

namespace zelvan::render {

// GIF delays in hundredths of a second that keep the true rate: each frame
// lasts from its own start to the next one's, both rounded to the hundredth,
// so 30 fps alternates 3 and 4 and the total stays exact. A frame that would
// last under 2 hundredths (what players honour) is dropped and its time given
// to the frame before. Returns one delay per frame, 0 for a dropped frame.
std::vector<int> GifDelays(int frames, double fps);

class Previews {
 public:
  // The GIF is written to gif_file; messages name it gif_shown. Throws
  // WriteError when it cannot be created.
  Previews(const std::string& gif_file, const std::string& gif_shown, int frames, int width, int height, double fps);
  ~Previews();
  Previews(const Previews&) = delete;
  Previews& operator=(const Previews&) = delete;

  // Frame `index` of the render (copied: the world may change at once);
  // failed frames are crossed out in red on the sheet. Rethrows a failure of
  // an earlier frame's preview.
  void Add(int index, const PF_EffectWorld& frame, bool failed);
  // Finishes the GIF and writes the sheet; throws WriteError (or
  // std::runtime_error) naming the file as shown.
  void Finish(const std::string& sheet_file, const std::string& sheet_shown);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace zelvan::render
