#include "Previews.h"

#include <OpenImageIO/imageio.h>
#include <gif_lib.h>

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "Copy.h"
#include "ImageFile.h"
#include "OutputFile.h"
#include "PixelWorld.h"
#include "WorkQueue.h"

namespace zelvan::render {
namespace {

// Fits w x h into a box of at most max_w x max_h, keeping the aspect.
void Fit(int w, int h, int max_w, int max_h, int* tw, int* th) {
  const double s = std::min({1.0, static_cast<double>(max_w) / w, static_cast<double>(max_h) / h});
  *tw = std::max(1, static_cast<int>(std::lround(w * s)));
  *th = std::max(1, static_cast<int>(std::lround(h * s)));
}

unsigned char Byte(float v) { return static_cast<unsigned char>(std::clamp(v, 0.0f, 1.0f) * 255.0f + 0.5f); }

constexpr int kGap = 4;

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

struct Previews::Impl {
  std::unique_ptr<OutputFile> gif_file;
  GifFileType* gif = nullptr;  // writes into gif_file
  std::vector<int> delays;
  int gw = 1, gh = 1;  // GIF frame
  int tw = 1, th = 1;  // thumbnail
  int cols = 1, rows = 1, label = 10, sheet_w = 1, sheet_h = 1;
  std::vector<unsigned char> sheet;  // RGB
  std::unique_ptr<pixels::PixelWorld> small, thumb;
  std::vector<unsigned char> r, g, b, indices;

  // A failed write is reported with its own cause; anything else as giflib says.
  void Fail(const std::string& what, int code) const {
    if (gif_file->failed()) gif_file->Close();
    throw std::runtime_error(gif_file->shown() + ": cannot be written (" + what + ": " + GifErrorString(code) + ")");
  }
  unsigned char* At(int x, int y) {
    return &sheet[(static_cast<std::size_t>(y) * static_cast<std::size_t>(sheet_w) + static_cast<std::size_t>(x)) * 3];
  }
  void Scaled(const PF_EffectWorld& frame);
  void AddGif(int index);
  void AddThumb(int index, bool failed);
  void Make(int index, const pixels::PixelWorld* frame, bool failed);

  // The preview thread: one worker, so frames are added in order.
  std::unique_ptr<WorkQueue> queue;
};

Previews::Previews(const std::string& gif_file, const std::string& gif_shown, int frames, int width, int height,
                   double fps)
    : impl_(new Impl) {
  Impl& m = *impl_;
  m.gif_file = std::make_unique<OutputFile>(gif_file, gif_shown);
  m.delays = GifDelays(frames, fps);
  Fit(width, height, 320, 240, &m.gw, &m.gh);
  Fit(width, height, 160, 120, &m.tw, &m.th);
  m.cols = std::max(1, std::min(frames, static_cast<int>(std::ceil(std::sqrt(static_cast<double>(frames) * 1.5)))));
  // Keep the sheet of a long render within a sane size.
  while (m.cols * m.tw > 4000 && m.tw > 16) Fit(width, height, m.tw / 2, m.th / 2, &m.tw, &m.th);
  m.rows = (frames + m.cols - 1) / m.cols;
  m.label = std::max(10, std::min(24, m.th / 4));
  m.sheet_w = m.cols * (m.tw + kGap) + kGap;
  m.sheet_h = m.rows * (m.th + m.label + kGap) + kGap;
  m.sheet.assign(static_cast<std::size_t>(m.sheet_w) * static_cast<std::size_t>(m.sheet_h) * 3, 46);
  m.queue = std::make_unique<WorkQueue>(1, 2);

  int error = 0;
  m.gif = EGifOpen(m.gif_file.get(), PutGifBytes, &error);
  if (m.gif == nullptr) m.Fail("open", error);
  EGifSetGifVersion(m.gif, true);
  if (EGifPutScreenDesc(m.gif, m.gw, m.gh, 8, 0, nullptr) == GIF_ERROR) m.Fail("screen", m.gif->Error);
  // Loop for ever.
  static const GifByteType kApp[] = {'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0'};
  static const GifByteType kLoop[] = {1, 0, 0};
  if (EGifPutExtensionLeader(m.gif, APPLICATION_EXT_FUNC_CODE) == GIF_ERROR ||
      EGifPutExtensionBlock(m.gif, sizeof kApp, kApp) == GIF_ERROR ||
      EGifPutExtensionBlock(m.gif, sizeof kLoop, kLoop) == GIF_ERROR || EGifPutExtensionTrailer(m.gif) == GIF_ERROR) {
    m.Fail("loop", m.gif->Error);
  }
}

Previews::~Previews() {
  impl_->queue.reset();  // the thread stops before the GIF goes
  if (impl_->gif != nullptr) {
    int error = 0;
    EGifCloseFile(impl_->gif, &error);
  }
}

void Previews::Impl::Scaled(const PF_EffectWorld& frame) {
  const pixels::Depth depth = pixels::DepthOf(frame);
  if (!small || small->depth() != depth) {
    small = std::make_unique<pixels::PixelWorld>(gw, gh, depth);
    thumb = std::make_unique<pixels::PixelWorld>(tw, th, depth);
  }
  // The host's own scaled copy: the GIF frame from the frame, the thumbnail from that.
  if (pixels::CopyWorld(&frame, small->world(), nullptr, nullptr) != PF_Err_NONE ||
      pixels::CopyWorld(small->world(), thumb->world(), nullptr, nullptr) != PF_Err_NONE) {
    throw std::runtime_error("the preview of a frame cannot be made");
  }
}

void Previews::Impl::AddGif(int index) {
  const int delay = delays[static_cast<std::size_t>(index)];
  if (delay == 0) return;  // faster than a GIF plays: its time went to the frame before
  const std::size_t n = static_cast<std::size_t>(gw) * static_cast<std::size_t>(gh);
  r.resize(n);
  g.resize(n);
  b.resize(n);
  indices.resize(n);
  std::size_t i = 0;
  for (int y = 0; y < gh; ++y) {
    for (int x = 0; x < gw; ++x, ++i) {
      // GIF keeps 1-bit transparency: the picture shows over black instead.
      const pixels::Color c = small->get(x, y);
      const float a = std::clamp(c.alpha, 0.0f, 1.0f);
      r[i] = Byte(c.red * a);
      g[i] = Byte(c.green * a);
      b[i] = Byte(c.blue * a);
    }
  }
  GifColorType colors[256] = {};
  int count = 256;
  if (GifQuantizeBuffer(static_cast<unsigned>(gw), static_cast<unsigned>(gh), &count, r.data(), g.data(), b.data(),
                        indices.data(), colors) == GIF_ERROR) {
    throw std::runtime_error(gif_file->shown() + ": cannot be written (colour quantisation failed)");
  }
  GraphicsControlBlock gcb{};
  gcb.DisposalMode = DISPOSE_DO_NOT;
  gcb.DelayTime = delay;
  gcb.TransparentColor = NO_TRANSPARENT_COLOR;
  GifByteType ext[4];
  const std::size_t len = EGifGCBToExtension(&gcb, ext);
  if (EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, static_cast<int>(len), ext) == GIF_ERROR) Fail("delay", gif->Error);
  ColorMapObject* map = GifMakeMapObject(256, colors);
  if (map == nullptr) throw std::bad_alloc();
  const int put = EGifPutImageDesc(gif, 0, 0, gw, gh, false, map);
  GifFreeMapObject(map);
  if (put == GIF_ERROR) Fail("frame", gif->Error);
  for (int y = 0; y < gh; ++y) {
    if (EGifPutLine(gif, &indices[static_cast<std::size_t>(y) * static_cast<std::size_t>(gw)], gw) == GIF_ERROR) {
      Fail("pixels", gif->Error);
    }
  }
}

void Previews::Impl::AddThumb(int index, bool failed) {
  const int cx = kGap + (index % cols) * (tw + kGap);
  const int cy = kGap + (index / cols) * (th + label + kGap);
  for (int y = 0; y < th; ++y) {
    for (int x = 0; x < tw; ++x) {
      const pixels::Color c = thumb->get(x, y);
      unsigned char* q = At(cx + x, cy + y);
      // Transparent parts show over a checkerboard so that they read as such.
      const float bg = (((x / 8) + (y / 8)) % 2) ? 0.35f : 0.25f;
      const float a = std::clamp(c.alpha, 0.0f, 1.0f);
      q[0] = Byte(c.red * a + bg * (1.0f - a));
      q[1] = Byte(c.green * a + bg * (1.0f - a));
      q[2] = Byte(c.blue * a + bg * (1.0f - a));
    }
  }
  if (failed) {
    // A failed frame: red border and a red cross.
    auto red = [&](int x, int y) {
      if (x < 0 || y < 0 || x >= tw || y >= th) return;
      unsigned char* q = At(cx + x, cy + y);
      q[0] = 220;
      q[1] = 30;
      q[2] = 30;
    };
    for (int x = 0; x < tw; ++x) {
      for (int t = 0; t < 2; ++t) {
        red(x, t);
        red(x, th - 1 - t);
      }
    }
    for (int y = 0; y < th; ++y) {
      for (int t = 0; t < 2; ++t) {
        red(t, y);
        red(tw - 1 - t, y);
      }
    }
    const int steps = std::max(tw, th);
    for (int s = 0; s < steps; ++s) {
      const int x = s * tw / steps, y = s * th / steps;
      for (int t = -1; t <= 1; ++t) {
        red(x + t, y);
        red(tw - 1 - x + t, y);
      }
    }
  }
  // The frame number under the thumbnail, drawn with the host's digit font.
  const A_long scale = std::max(1, (label - 2) / 7);
  pixels::PixelWorld strip(tw, label, pixels::Depth::k8);
  strip.fill(failed ? pixels::Color{1.0f, 0.6f, 0.08f, 0.08f} : pixels::Color{1.0f, 0.18f, 0.18f, 0.18f});
  pixels::DrawNumber(*strip.world(), index, 1, 1, scale, pixels::Color{1.0f, 0.95f, 0.95f, 0.95f});
  for (int y = 0; y < label; ++y) {
    for (int x = 0; x < tw; ++x) {
      const pixels::Color c = strip.get(x, y);
      unsigned char* q = At(cx + x, cy + th + y);
      q[0] = Byte(c.red);
      q[1] = Byte(c.green);
      q[2] = Byte(c.blue);
    }
  }
}

void Previews::Add(int index, const PF_EffectWorld& frame, bool failed) {
  Impl& m = *impl_;
  if (index < 0 || index >= static_cast<int>(m.delays.size())) return;
  // A copy: the world may change as soon as this returns.
  std::shared_ptr<pixels::PixelWorld> copy;
  if (frame.data != nullptr && frame.width > 0 && frame.height > 0) {
    copy = std::make_shared<pixels::PixelWorld>(frame.width, frame.height, pixels::DepthOf(frame));
    if (pixels::CopyWorld(&frame, copy->world(), nullptr, nullptr) != PF_Err_NONE) {
      throw std::runtime_error("the preview of a frame cannot be made");
    }
  }
  m.queue->Submit([&m, index, copy, failed] { m.Make(index, copy.get(), failed); });
}

void Previews::Impl::Make(int index, const pixels::PixelWorld* frame, bool failed) {
  if (frame != nullptr) {
    Scaled(*frame->world());
  } else if (small) {
    small->fill(pixels::Color{});
    thumb->fill(pixels::Color{});
  } else {
    small = std::make_unique<pixels::PixelWorld>(gw, gh, pixels::Depth::k8);
    thumb = std::make_unique<pixels::PixelWorld>(tw, th, pixels::Depth::k8);
  }
  AddGif(index);
  AddThumb(index, failed);
}

void Previews::Finish(const std::string& sheet_file, const std::string& sheet_shown) {
  Impl& m = *impl_;
  m.queue->Finish();
  int error = 0;
  const int closed = EGifCloseFile(m.gif, &error);
  m.gif = nullptr;
  if (closed == GIF_ERROR) m.Fail("close", error);
  m.gif_file->Close();
  OIIO::ImageSpec spec(m.sheet_w, m.sheet_h, 3, OIIO::TypeDesc::UINT8);
  spec.attribute("Software", "zelvan-render");
  spec.attribute("png:compressionLevel", 1);
  WriteImageFile(sheet_file, sheet_shown, spec, OIIO::TypeDesc::UINT8, m.sheet.data());
}

}  // namespace zelvan::render
