#include "Outputs.h"

#include <OpenImageIO/imagebuf.h>
#include <OpenImageIO/imagebufalgo.h>
#include <OpenImageIO/imageio.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <set>
#include <stdexcept>

#include "PixelWorld.h"

namespace zelvan::render {
namespace fs = std::filesystem;

FrameFormat FormatFor(const std::string& name, int depth) {
  if (name == "png8") return FrameFormat::Png8;
  if (name == "png16") return FrameFormat::Png16;
  if (name == "exr") return FrameFormat::Exr;
  return depth == 8 ? FrameFormat::Png8 : depth == 16 ? FrameFormat::Png16 : FrameFormat::Exr;
}

const char* Extension(FrameFormat f) { return f == FrameFormat::Exr ? ".exr" : ".png"; }

std::vector<float> WorldToRgba(const PF_EffectWorld& world) {
  std::vector<float> out(static_cast<std::size_t>(world.width) * static_cast<std::size_t>(world.height) * 4);
  std::size_t i = 0;
  for (A_long y = 0; y < world.height; ++y) {
    for (A_long x = 0; x < world.width; ++x) {
      const pixels::Color c = pixels::GetPixel(world, x, y);
      out[i++] = c.red;
      out[i++] = c.green;
      out[i++] = c.blue;
      out[i++] = c.alpha;
    }
  }
  return out;
}

void WriteImage(const std::string& file, int width, int height, const std::vector<float>& rgba, FrameFormat format) {
  const OIIO::TypeDesc type = format == FrameFormat::Png8    ? OIIO::TypeDesc::UINT8
                              : format == FrameFormat::Png16 ? OIIO::TypeDesc::UINT16
                                                             : OIIO::TypeDesc::FLOAT;
  OIIO::ImageSpec spec(width, height, 4, type);
  spec.attribute("Software", "zelvan-render");
  if (format == FrameFormat::Exr) spec.attribute("compression", "zip");
  auto out = OIIO::ImageOutput::create(file);
  if (!out || !out->open(file, spec)) {
    throw std::runtime_error(file + ": cannot be written (" + (out ? out->geterror() : OIIO::geterror()) + ")");
  }
  // Integer formats clamp to [0, 1]; the image library converts from float.
  if (!out->write_image(OIIO::TypeDesc::FLOAT, rgba.data()) || !out->close()) {
    throw std::runtime_error(file + ": cannot be written (" + out->geterror() + ")");
  }
}

std::vector<float> ReadImage(const std::string& file, int* width, int* height) {
  auto in = OIIO::ImageInput::open(file);
  if (!in) throw std::runtime_error(file + ": cannot be read (" + OIIO::geterror() + ")");
  const OIIO::ImageSpec& spec = in->spec();
  std::vector<float> raw(static_cast<std::size_t>(spec.width) * static_cast<std::size_t>(spec.height) *
                         static_cast<std::size_t>(spec.nchannels));
  if (!in->read_image(0, 0, 0, spec.nchannels, OIIO::TypeDesc::FLOAT, raw.data())) {
    throw std::runtime_error(file + ": cannot be decoded (" + in->geterror() + ")");
  }
  std::vector<float> rgba(static_cast<std::size_t>(spec.width) * static_cast<std::size_t>(spec.height) * 4, 1.0f);
  for (std::size_t i = 0; i < static_cast<std::size_t>(spec.width) * static_cast<std::size_t>(spec.height); ++i) {
    for (int c = 0; c < std::min(4, spec.nchannels); ++c) {
      rgba[i * 4 + static_cast<std::size_t>(c)] = raw[i * static_cast<std::size_t>(spec.nchannels) + static_cast<std::size_t>(c)];
    }
  }
  *width = spec.width;
  *height = spec.height;
  return rgba;
}

// ---- Staging ---------------------------------------------------------------

Staging::Staging(const std::string& out_dir) : out_dir_(out_dir) {
  std::error_code ec;
  if (fs::exists(out_dir_, ec) && !fs::is_directory(out_dir_, ec)) {
    throw std::runtime_error(out_dir_ + ": exists and is not a folder. Fix: give --out a folder path");
  }
  if (!fs::exists(out_dir_, ec)) {
    fs::create_directories(out_dir_, ec);
    if (ec) throw std::runtime_error(out_dir_ + ": cannot create the output folder (" + ec.message() + ")");
    created_dir_ = true;
  }
  stage_ = (fs::path(out_dir_) / (".zelvan-render-staging." + std::to_string(::getpid()))).string();
  fs::remove_all(stage_, ec);
  fs::create_directory(stage_, ec);
  if (ec) throw std::runtime_error(out_dir_ + ": cannot write in the output folder (" + ec.message() + ")");
}

Staging::~Staging() {
  std::error_code ec;
  fs::remove_all(stage_, ec);
  // A folder made for a run that failed goes too.
  if (!committed_ && created_dir_) fs::remove(out_dir_, ec);
}

std::string Staging::Path(const std::string& name) const { return (fs::path(stage_) / name).string(); }

void Staging::Add(const std::string& name) { names_.push_back(name); }

void Staging::WriteText(const std::string& name, const std::string& text) {
  const std::string file = Path(name);
  std::ofstream out(file, std::ios::binary);
  out << text;
  out.close();
  if (!out) throw std::runtime_error(file + ": cannot be written");
  Add(name);
}

void Staging::Commit(const std::string& stale_prefix) {
  std::set<std::string> written(names_.begin(), names_.end());
  for (const std::string& name : names_) {
    std::error_code ec;
    fs::rename(Path(name), fs::path(out_dir_) / name, ec);
    if (ec) throw std::runtime_error((fs::path(out_dir_) / name).string() + ": cannot be moved into place (" + ec.message() + ")");
  }
  committed_ = true;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(out_dir_, ec)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind(stale_prefix, 0) == 0 && !written.count(name) && entry.is_regular_file()) {
      std::error_code rm;
      fs::remove(entry.path(), rm);
    }
  }
}

// ---- Contact sheet ----------------------------------------------------------

namespace {

std::vector<float> Resize(const std::vector<float>& rgba, int w, int h, int tw, int th) {
  if (w == tw && h == th) return rgba;
  OIIO::ImageBuf src(OIIO::ImageSpec(w, h, 4, OIIO::TypeDesc::FLOAT), const_cast<float*>(rgba.data()));
  OIIO::ImageBuf dst(OIIO::ImageSpec(tw, th, 4, OIIO::TypeDesc::FLOAT));
  OIIO::ImageBufAlgo::resize(dst, src);
  std::vector<float> out(static_cast<std::size_t>(tw) * static_cast<std::size_t>(th) * 4);
  dst.get_pixels(OIIO::ROI(0, tw, 0, th, 0, 1, 0, 4), OIIO::TypeDesc::FLOAT, out.data());
  return out;
}

// Fits w x h into a box of at most max_w x max_h, keeping the aspect.
void Fit(int w, int h, int max_w, int max_h, int* tw, int* th) {
  const double s = std::min({1.0, static_cast<double>(max_w) / w, static_cast<double>(max_h) / h});
  *tw = std::max(1, static_cast<int>(std::lround(w * s)));
  *th = std::max(1, static_cast<int>(std::lround(h * s)));
}

}  // namespace

ContactSheet::ContactSheet(int frames, int width, int height) {
  Fit(width, height, 160, 120, &tw_, &th_);
  cols_ = std::max(1, std::min(frames, static_cast<int>(std::ceil(std::sqrt(static_cast<double>(frames) * 1.5)))));
  // Keep the sheet of a long render within a sane size.
  while (cols_ * tw_ > 4000 && tw_ > 16) {
    Fit(width, height, tw_ / 2, th_ / 2, &tw_, &th_);
  }
  rows_ = (frames + cols_ - 1) / cols_;
  label_ = std::max(10, std::min(24, th_ / 4));
  const int gap = 4;
  sheet_w_ = cols_ * (tw_ + gap) + gap;
  sheet_h_ = rows_ * (th_ + label_ + gap) + gap;
  pixels_.assign(static_cast<std::size_t>(sheet_w_) * static_cast<std::size_t>(sheet_h_) * 4, 0.0f);
  for (std::size_t i = 0; i < pixels_.size(); i += 4) {
    pixels_[i] = pixels_[i + 1] = pixels_[i + 2] = 0.18f;
    pixels_[i + 3] = 1.0f;
  }
}

void ContactSheet::Add(int index, const std::vector<float>& rgba, int width, int height) {
  const int gap = 4;
  const int cx = gap + (index % cols_) * (tw_ + gap);
  const int cy = gap + (index / cols_) * (th_ + label_ + gap);
  const std::vector<float> thumb = Resize(rgba, width, height, tw_, th_);
  for (int y = 0; y < th_; ++y) {
    for (int x = 0; x < tw_; ++x) {
      const float* p = &thumb[(static_cast<std::size_t>(y) * static_cast<std::size_t>(tw_) + static_cast<std::size_t>(x)) * 4];
      float* q = &pixels_[(static_cast<std::size_t>(cy + y) * static_cast<std::size_t>(sheet_w_) + static_cast<std::size_t>(cx + x)) * 4];
      // Transparent parts show over a checkerboard so that they read as such.
      const float bg = (((x / 8) + (y / 8)) % 2) ? 0.35f : 0.25f;
      const float a = std::clamp(p[3], 0.0f, 1.0f);
      for (int c = 0; c < 3; ++c) q[c] = p[c] * a + bg * (1.0f - a);
      q[3] = 1.0f;
    }
  }
  // The frame number under the thumbnail, drawn with the host's digit font.
  const A_long scale = std::max(1, (label_ - 2) / 7);
  pixels::PixelWorld strip(tw_, label_, pixels::Depth::kFloat);
  strip.fill(pixels::Color{1.0f, 0.18f, 0.18f, 0.18f});
  pixels::DrawNumber(*strip.world(), index, 1, 1, scale, pixels::Color{1.0f, 0.95f, 0.95f, 0.95f});
  for (int y = 0; y < label_; ++y) {
    for (int x = 0; x < tw_; ++x) {
      const pixels::Color c = strip.get(x, y);
      float* q = &pixels_[(static_cast<std::size_t>(cy + th_ + y) * static_cast<std::size_t>(sheet_w_) + static_cast<std::size_t>(cx + x)) * 4];
      q[0] = c.red;
      q[1] = c.green;
      q[2] = c.blue;
    }
  }
}

void ContactSheet::Write(const std::string& file) const {
  std::vector<float> clamped(pixels_);
  WriteImage(file, sheet_w_, sheet_h_, clamped, FrameFormat::Png8);
}

// ---- GIF --------------------------------------------------------------------

struct GifWriter::Impl {
  std::string file;
  std::unique_ptr<OIIO::ImageOutput> out;
  OIIO::ImageSpec spec;
  int w = 1, h = 1;
  int count = 0;
};

GifWriter::GifWriter(const std::string& file, int width, int height, double fps) : impl_(new Impl) {
  impl_->file = file;
  Fit(width, height, 320, 240, &impl_->w, &impl_->h);
  impl_->spec = OIIO::ImageSpec(impl_->w, impl_->h, 4, OIIO::TypeDesc::UINT8);
  // GIF delays are in hundredths of a second.
  const int hundredths = std::max(2, static_cast<int>(std::lround(100.0 / fps)));
  const int rate[2] = {100, hundredths};
  impl_->spec.attribute("FramesPerSecond", OIIO::TypeRational, rate);
  impl_->spec.attribute("gif:LoopCount", 0);
  impl_->out = OIIO::ImageOutput::create(file);
  if (!impl_->out) throw std::runtime_error(file + ": cannot be written (" + OIIO::geterror() + ")");
}

GifWriter::~GifWriter() {
  if (impl_->out && impl_->count > 0) impl_->out->close();
}

void GifWriter::Add(const std::vector<float>& rgba, int width, int height) {
  std::vector<float> frame = Resize(rgba, width, height, impl_->w, impl_->h);
  // GIF keeps 1-bit transparency: show the picture over black instead.
  for (std::size_t i = 0; i < frame.size(); i += 4) {
    const float a = std::clamp(frame[i + 3], 0.0f, 1.0f);
    for (int c = 0; c < 3; ++c) frame[i + static_cast<std::size_t>(c)] = std::clamp(frame[i + static_cast<std::size_t>(c)], 0.0f, 1.0f) * a;
    frame[i + 3] = 1.0f;
  }
  const auto mode = impl_->count == 0 ? OIIO::ImageOutput::Create : OIIO::ImageOutput::AppendSubimage;
  if (!impl_->out->open(impl_->file, impl_->spec, mode) ||
      !impl_->out->write_image(OIIO::TypeDesc::FLOAT, frame.data())) {
    throw std::runtime_error(impl_->file + ": cannot be written (" + impl_->out->geterror() + ")");
  }
  ++impl_->count;
}

void GifWriter::Close() {
  if (impl_->count > 0 && !impl_->out->close()) {
    throw std::runtime_error(impl_->file + ": cannot be written (" + impl_->out->geterror() + ")");
  }
  impl_->count = 0;
}

}  // namespace zelvan::render
