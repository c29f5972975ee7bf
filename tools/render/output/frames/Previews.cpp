#include "Previews.h"

#include <stdexcept>

#include "ContactSheet.h"
#include "Copy.h"
#include "PixelWorld.h"
#include "PreviewGif.h"
#include "PreviewScale.h"
#include "WorkQueue.h"

namespace zelvan::render {
namespace {

// A side of the preview GIF: the frame fitted into 320x240.
int GifSide(int width, int height, bool wide) {
  int w = 1, h = 1;
  Fit(width, height, 320, 240, &w, &h);
  return wide ? w : h;
}

}  // namespace

struct Previews::Impl {
  Impl(const std::string& gif_file, const std::string& gif_shown, int frames_, int width, int height, double fps)
      : frames(frames_), gif(gif_file, gif_shown, frames, fps, GifSide(width, height, true), GifSide(width, height, false)),
        sheet(frames, width, height) {}

  // The GIF frame and the thumbnail of a frame, or blank for a frame that
  // rendered no picture, then both added.
  void Make(int index, const pixels::PixelWorld* frame, bool failed);
  void Scaled(const PF_EffectWorld& frame);

  int frames;
  PreviewGif gif;
  ContactSheet sheet;
  std::unique_ptr<pixels::PixelWorld> small, thumb;
  // The preview thread: one worker, so frames are added in order. Last, so
  // that it stops before the rest goes.
  WorkQueue queue{1, 2};
};

Previews::Previews(const std::string& gif_file, const std::string& gif_shown, int frames, int width, int height,
                   double fps)
    : impl_(std::make_unique<Impl>(gif_file, gif_shown, frames, width, height, fps)) {}

Previews::~Previews() = default;

void Previews::Impl::Scaled(const PF_EffectWorld& frame) {
  const pixels::Depth depth = pixels::DepthOf(frame);
  if (!small || small->depth() != depth) {
    small = std::make_unique<pixels::PixelWorld>(gif.width(), gif.height(), depth);
    thumb = std::make_unique<pixels::PixelWorld>(sheet.thumb_width(), sheet.thumb_height(), depth);
  }
  // The host's own scaled copy: the GIF frame from the frame, the thumbnail from that.
  if (pixels::CopyWorld(&frame, small->world(), nullptr, nullptr) != PF_Err_NONE ||
      pixels::CopyWorld(small->world(), thumb->world(), nullptr, nullptr) != PF_Err_NONE) {
    throw std::runtime_error("the preview of a frame cannot be made");
  }
}

void Previews::Impl::Make(int index, const pixels::PixelWorld* frame, bool failed) {
  if (frame != nullptr) {
    Scaled(*frame->world());
  } else if (small) {
    small->fill(pixels::Color{});
    thumb->fill(pixels::Color{});
  } else {
    small = std::make_unique<pixels::PixelWorld>(gif.width(), gif.height(), pixels::Depth::k8);
    thumb = std::make_unique<pixels::PixelWorld>(sheet.thumb_width(), sheet.thumb_height(), pixels::Depth::k8);
  }
  gif.Add(index, *small->world());
  sheet.Add(index, *thumb, failed);
}

void Previews::Add(int index, const PF_EffectWorld& frame, bool failed) {
  Impl& m = *impl_;
  if (index < 0 || index >= m.frames) return;
  // A copy: the world may change as soon as this returns.
  std::shared_ptr<pixels::PixelWorld> copy;
  if (frame.data != nullptr && frame.width > 0 && frame.height > 0) {
    copy = std::make_shared<pixels::PixelWorld>(frame.width, frame.height, pixels::DepthOf(frame));
    if (pixels::CopyWorld(&frame, copy->world(), nullptr, nullptr) != PF_Err_NONE) {
      throw std::runtime_error("the preview of a frame cannot be made");
    }
  }
  m.queue.Submit([&m, index, copy, failed] { m.Make(index, copy.get(), failed); });
}

void Previews::Finish(const std::string& sheet_file, const std::string& sheet_shown) {
  Impl& m = *impl_;
  m.queue.Finish();
  m.gif.Finish();
  m.sheet.Write(sheet_file, sheet_shown);
}

}  // namespace zelvan::render
