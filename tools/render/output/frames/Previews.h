// The previews of a render, the GIF (PreviewGif) and the contact sheet
// (ContactSheet), fed from small 8-bit copies of each frame made with the
// simulated host's own scaled copy (never from the full frame in float). The
// work runs on a thread of its own, in frame order, while the next frames
// render.
#pragma once

#include <memory>
#include <string>

#include "AE_Effect.h"

namespace zelvan::render {

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
