// An animated GIF of the render's frames, streamed to a checked file as they
// come, looping for ever, each frame quantised to 256 colours of its own and
// shown over black (the premultiplied colour as the world holds it): the
// preview (the frames made small) and the .gif movie (at their own size).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "OutputFile.h"
#include "AE_Effect.h"

struct GifFileType;

namespace zelvan::render {

// GIF delays in hundredths of a second that keep the true rate: each frame
// lasts from its own start to the next one's, both rounded to the hundredth,
// so 30 fps alternates 3 and 4 and the total stays exact. A frame that would
// last under 2 hundredths (what players honour) is dropped and its time given
// to the frame before. Returns one delay per frame, 0 for a dropped frame.
std::vector<int> GifDelays(int frames, double fps);

class PreviewGif {
 public:
  // A GIF of `frames` frames at `fps`, each width x height, written to
  // `file`; messages name it `shown`. Throws WriteError when it cannot be
  // created.
  PreviewGif(const std::string& file, const std::string& shown, int frames, double fps, int width, int height);
  // Unfinished: the file is closed as it is.
  ~PreviewGif();
  PreviewGif(const PreviewGif&) = delete;
  PreviewGif& operator=(const PreviewGif&) = delete;

  // The GIF frame's size.
  int width() const { return width_; }
  int height() const { return height_; }

  // Frame `index` in order, a world of the GIF frame's size at any depth.
  // Throws WriteError (or std::runtime_error) naming the file.
  void Add(int index, const PF_EffectWorld& frame);
  // Ends the GIF and closes the file; throws as Add() does.
  void Finish();

 private:
  // A failed write with its own cause; anything else as giflib says.
  [[noreturn]] void Fail(const std::string& what, int code) const;
  void PutLoop();

  std::unique_ptr<OutputFile> file_;
  GifFileType* gif_ = nullptr;  // writes into file_
  std::vector<int> delays_;
  int width_ = 1, height_ = 1;
  std::vector<unsigned char> r_, g_, b_, indices_;
};

}  // namespace zelvan::render
