#include "PreviewGif.h"

#include <gif_lib.h>

#include <algorithm>
#include <stdexcept>

#include "PixelWorld.h"
#include "PreviewScale.h"

namespace zelvan::render {
namespace {

// giflib's writer: into the checked file, all or nothing.
int PutGifBytes(GifFileType* gif, const GifByteType* bytes, int size) {
  auto* file = static_cast<OutputFile*>(gif->UserData);
  return static_cast<int>(file->Write(bytes, static_cast<std::size_t>(size)));
}

}  // namespace

std::vector<int> GifDelays(int frames, double fps) {
  std::vector<int> d(static_cast<std::size_t>(std::max(frames, 0)), 0);
  if (frames <= 0 || !(fps > 0.0)) return d;
  auto start = [fps](int i) { return std::llround(100.0 * i / fps); };
  int kept = 0;
  for (int i = 1; i <= frames; ++i) {
    const long long t = start(i);
    if (i < frames && t - start(kept) < 2) continue;
    d[static_cast<std::size_t>(kept)] = static_cast<int>(std::clamp<long long>(t - start(kept), 2, 65535));
    kept = i;
  }
  return d;
}

PreviewGif::PreviewGif(const std::string& file, const std::string& shown, int frames, double fps, int width,
                       int height)
    : file_(std::make_unique<OutputFile>(file, shown)), delays_(GifDelays(frames, fps)), width_(width), height_(height) {
  int error = 0;
  gif_ = EGifOpen(file_.get(), PutGifBytes, &error);
  if (gif_ == nullptr) Fail("open", error);
  EGifSetGifVersion(gif_, true);
  if (EGifPutScreenDesc(gif_, width_, height_, 8, 0, nullptr) == GIF_ERROR) Fail("screen", gif_->Error);
  PutLoop();
}

PreviewGif::~PreviewGif() {
  if (gif_ != nullptr) {
    int error = 0;
    EGifCloseFile(gif_, &error);
  }
}

void PreviewGif::Fail(const std::string& what, int code) const {
  if (file_->failed()) file_->Close();
  throw std::runtime_error(file_->shown() + ": cannot be written (" + what + ": " + GifErrorString(code) + ")");
}

void PreviewGif::PutLoop() {
  // Loop for ever.
  static const GifByteType kApp[] = {'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0'};
  static const GifByteType kLoop[] = {1, 0, 0};
  if (EGifPutExtensionLeader(gif_, APPLICATION_EXT_FUNC_CODE) == GIF_ERROR ||
      EGifPutExtensionBlock(gif_, sizeof kApp, kApp) == GIF_ERROR ||
      EGifPutExtensionBlock(gif_, sizeof kLoop, kLoop) == GIF_ERROR || EGifPutExtensionTrailer(gif_) == GIF_ERROR) {
    Fail("loop", gif_->Error);
  }
}

void PreviewGif::Add(int index, const PF_EffectWorld& frame) {
  const int delay = delays_[static_cast<std::size_t>(index)];
  if (delay == 0) return;  // faster than a GIF plays: its time went to the frame before
  const std::size_t n = static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_);
  r_.resize(n);
  g_.resize(n);
  b_.resize(n);
  indices_.resize(n);
  std::size_t i = 0;
  for (int y = 0; y < height_; ++y) {
    for (int x = 0; x < width_; ++x, ++i) {
      // GIF keeps 1-bit transparency: the picture shows over black instead,
      // which is the premultiplied colour itself.
      const pixels::Color c = pixels::GetPixel(frame, x, y);
      r_[i] = Byte(c.red);
      g_[i] = Byte(c.green);
      b_[i] = Byte(c.blue);
    }
  }
  GifColorType colors[256] = {};
  int count = 256;
  if (GifQuantizeBuffer(static_cast<unsigned>(width_), static_cast<unsigned>(height_), &count, r_.data(), g_.data(),
                        b_.data(), indices_.data(), colors) == GIF_ERROR) {
    throw std::runtime_error(file_->shown() + ": cannot be written (colour quantisation failed)");
  }
  GraphicsControlBlock gcb{};
  gcb.DisposalMode = DISPOSE_DO_NOT;
  gcb.DelayTime = delay;
  gcb.TransparentColor = NO_TRANSPARENT_COLOR;
  GifByteType ext[4];
  const std::size_t len = EGifGCBToExtension(&gcb, ext);
  if (EGifPutExtension(gif_, GRAPHICS_EXT_FUNC_CODE, static_cast<int>(len), ext) == GIF_ERROR) {
    Fail("delay", gif_->Error);
  }
  ColorMapObject* map = GifMakeMapObject(256, colors);
  if (map == nullptr) throw std::bad_alloc();
  const int put = EGifPutImageDesc(gif_, 0, 0, width_, height_, false, map);
  GifFreeMapObject(map);
  if (put == GIF_ERROR) Fail("frame", gif_->Error);
  for (int y = 0; y < height_; ++y) {
    if (EGifPutLine(gif_, &indices_[static_cast<std::size_t>(y) * static_cast<std::size_t>(width_)], width_) ==
        GIF_ERROR) {
      Fail("pixels", gif_->Error);
    }
  }
}

void PreviewGif::Finish() {
  int error = 0;
  const int closed = EGifCloseFile(gif_, &error);
  gif_ = nullptr;
  if (closed == GIF_ERROR) Fail("close", error);
  file_->Close();
}

}  // namespace zelvan::render
