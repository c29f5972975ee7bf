#include "Clip.h"

#include <OpenImageIO/imageio.h>

#include <algorithm>
#include <filesystem>
#include <cctype>

#include "PixelWorld.h"

namespace zelvan::render {
namespace fs = std::filesystem;

namespace {

// Splits "dir/name.%04d.png" or "dir/name.####.png" into prefix, digits and suffix.
struct Pattern {
  std::string prefix, suffix;
  int width = 0;  // 0: any number of digits
};

// Hand-parsed: std::regex trips a false uninitialised warning under the sanitizers.
std::optional<Pattern> ParsePattern(const std::string& path) {
  const std::size_t pct = path.rfind('%');
  if (pct != std::string::npos) {
    std::size_t i = pct + 1;
    while (i < path.size() && std::isdigit(static_cast<unsigned char>(path[i]))) ++i;
    if (i < path.size() && path[i] == 'd' && i - pct - 1 <= 2) {
      const std::string digits = path.substr(pct + 1, i - pct - 1);
      return Pattern{path.substr(0, pct), path.substr(i + 1), digits.empty() ? 0 : std::stoi(digits)};
    }
  }
  const std::size_t last = path.rfind('#');
  if (last != std::string::npos) {
    std::size_t first = last;
    while (first > 0 && path[first - 1] == '#') --first;
    return Pattern{path.substr(0, first), path.substr(last + 1), static_cast<int>(last - first + 1)};
  }
  return std::nullopt;
}

std::string OiioError() {
  std::string e = OIIO::geterror();
  return e.empty() ? "unknown reason" : e;
}

// Header check of one file: readable by the image library, with pixels.
OIIO::ImageSpec ReadHeader(const std::string& file, int* subimages = nullptr) {
  auto in = OIIO::ImageInput::open(file);
  if (!in) {
    throw UsageError(file, "cannot be read as an image (" + OiioError() + ")",
                     "give an image or movie format the image library reads (PNG, EXR, TIFF, JPEG, MOV, MP4, ...)");
  }
  OIIO::ImageSpec spec = in->spec();
  if (subimages != nullptr) {
    int n = spec.get_int_attribute("oiio:subimages", 0);
    if (n <= 0) {
      n = 1;
      while (in->seek_subimage(n, 0)) ++n;
    }
    *subimages = n;
  }
  if (spec.width <= 0 || spec.height <= 0) throw UsageError(file, "holds an image of no pixels", "give a real image");
  if (spec.width > kMaxSize || spec.height > kMaxSize) {
    throw UsageError(file, "is larger than " + std::to_string(kMaxSize) + " pixels", "scale the footage down first");
  }
  return spec;
}

}  // namespace

bool IsSequencePattern(const std::string& path) { return ParsePattern(path).has_value(); }

FootageInfo ProbeFootage(const std::string& path) {
  FootageInfo info;
  if (auto pattern = ParsePattern(path)) {
    info.kind = "sequence";
    fs::path full(pattern->prefix);
    fs::path dir = full.parent_path().empty() ? fs::path(".") : full.parent_path();
    const std::string stem = full.filename().string();
    std::error_code ec;
    if (!fs::is_directory(dir, ec)) {
      throw UsageError("source.path", "the folder '" + dir.string() + "' of the sequence " + path + " does not exist",
                       "check the path");
    }
    std::map<long long, std::string> found;
    for (const auto& entry : fs::directory_iterator(dir, ec)) {
      const std::string name = entry.path().filename().string();
      if (name.size() <= stem.size() + pattern->suffix.size()) continue;
      if (name.compare(0, stem.size(), stem) != 0) continue;
      if (name.compare(name.size() - pattern->suffix.size(), pattern->suffix.size(), pattern->suffix) != 0) continue;
      const std::string digits = name.substr(stem.size(), name.size() - stem.size() - pattern->suffix.size());
      if (digits.empty() || digits.size() > 9 || !std::all_of(digits.begin(), digits.end(), ::isdigit)) continue;
      if (pattern->width > 0 && static_cast<int>(digits.size()) != pattern->width) continue;
      found[std::stoll(digits)] = entry.path().string();
    }
    if (found.empty()) {
      throw UsageError("source.path", "no file matches the sequence " + path,
                       "check the folder and the pattern (e.g. name.%04d.png matches name.0001.png)");
    }
    long long expect = found.begin()->first;
    for (const auto& [number, file] : found) {
      if (number != expect) {
        throw UsageError("source.path", "the sequence " + path + " misses frame " + std::to_string(expect),
                         "render or copy the missing file, or trim the sequence");
      }
      info.files.push_back(file);
      ++expect;
    }
    if (static_cast<int64_t>(info.files.size()) > kMaxFrames) {
      throw UsageError("source.path", "the sequence holds more than " + std::to_string(kMaxFrames) + " frames",
                       "use a shorter sequence");
    }
    info.first_number = static_cast<int>(found.begin()->first);
    const OIIO::ImageSpec spec = ReadHeader(info.files.front());
    info.width = spec.width;
    info.height = spec.height;
    // Every frame must be there and of the same size before anything renders.
    for (const std::string& file : info.files) {
      const OIIO::ImageSpec s = ReadHeader(file);
      if (s.width != info.width || s.height != info.height) {
        throw UsageError(file, "is " + std::to_string(s.width) + "x" + std::to_string(s.height) + ", unlike the " +
                                   std::to_string(info.width) + "x" + std::to_string(info.height) + " of the first frame",
                         "give a sequence whose frames share one size");
      }
    }
    info.frames = static_cast<int64_t>(info.files.size());
    return info;
  }

  std::error_code ec;
  if (!fs::is_regular_file(path, ec)) {
    throw UsageError(path, "footage file not found", "check source.path, or use \"builtin\"");
  }
  int subimages = 1;
  const OIIO::ImageSpec spec = ReadHeader(path, &subimages);
  info.width = spec.width;
  info.height = spec.height;
  info.files = {path};
  if (spec.get_int_attribute("oiio:Movie", 0) != 0 || subimages > 1) {
    info.kind = "movie";
    info.frames = subimages;
    if (subimages > kMaxFrames) {
      throw UsageError(path, "holds more than " + std::to_string(kMaxFrames) + " frames", "trim the movie first");
    }
    int rate[2] = {0, 0};
    if (spec.getattribute("FramesPerSecond", OIIO::TypeRational, rate) && rate[0] > 0 && rate[1] > 0) {
      info.fps = Rational{rate[0], rate[1]};
    }
  } else {
    info.kind = "image";
  }
  return info;
}

std::unique_ptr<Clip> Clip::Builtin(int width, int height, int64_t frames) {
  std::unique_ptr<Clip> c(new Clip());
  c->builtin_ = true;
  c->width_ = width;
  c->height_ = height;
  c->frames_ = std::max<int64_t>(1, frames);
  c->description_ = "built-in clip " + std::to_string(width) + "x" + std::to_string(height) + ", " +
                    std::to_string(c->frames_) + " frames";
  return c;
}

std::unique_ptr<Clip> Clip::Footage(const std::string& path, FootageInfo info) {
  std::unique_ptr<Clip> c(new Clip());
  c->builtin_ = false;
  c->path_ = path;
  c->width_ = info.width;
  c->height_ = info.height;
  c->frames_ = info.frames.value_or(1);
  c->description_ = info.kind + " " + path + " " + std::to_string(info.width) + "x" + std::to_string(info.height) +
                    ", " + std::to_string(c->frames_) + " frame" + (c->frames_ == 1 ? "" : "s");
  c->info_ = std::move(info);
  return c;
}

const std::vector<float>& Clip::FootagePixels(int64_t frame) {
  if (auto it = cache_.find(frame); it != cache_.end()) return it->second;
  if (cache_.size() >= 8) cache_.erase(cache_.begin());
  const bool movie = info_.kind == "movie";
  const std::string& file = movie ? info_.files.front() : info_.files[static_cast<std::size_t>(movie ? 0 : frame)];
  auto in = OIIO::ImageInput::open(file);
  if (!in) throw UsageError(file, "cannot be read (" + OiioError() + ")", "check that the file is intact");
  const int subimage = movie ? static_cast<int>(frame) : 0;
  if (subimage != 0 && !in->seek_subimage(subimage, 0)) {
    throw UsageError(file, "frame " + std::to_string(frame) + " cannot be read", "check that the movie is intact");
  }
  const OIIO::ImageSpec& spec = in->spec();
  const int nch = spec.nchannels;
  std::vector<float> raw(static_cast<std::size_t>(spec.width) * static_cast<std::size_t>(spec.height) *
                         static_cast<std::size_t>(nch));
  if (!in->read_image(subimage, 0, 0, nch, OIIO::TypeDesc::FLOAT, raw.data())) {
    throw UsageError(file, "cannot be decoded (" + in->geterror() + ")", "check that the file is intact");
  }
  std::vector<float> rgba(static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_) * 4, 1.0f);
  const std::size_t n = static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_);
  for (std::size_t i = 0; i < n && spec.width == width_ && spec.height == height_; ++i) {
    const float* p = &raw[i * static_cast<std::size_t>(nch)];
    float* q = &rgba[i * 4];
    if (nch >= 3) {
      q[0] = p[0];
      q[1] = p[1];
      q[2] = p[2];
      q[3] = nch >= 4 ? p[3] : 1.0f;
    } else {
      q[0] = q[1] = q[2] = p[0];
      q[3] = nch == 2 ? p[1] : 1.0f;
    }
  }
  return cache_[frame] = std::move(rgba);
}

void Clip::Paint(PF_EffectWorld& world, int64_t frame) {
  frame = std::clamp<int64_t>(frame, 0, frames_ - 1);
  if (builtin_) {
    pixels::PaintDemoFrame(world, frame);
    return;
  }
  const std::vector<float>& rgba = FootagePixels(frame);
  // The host asks for the layer at its downsampled size: nearest sample.
  for (A_long y = 0; y < world.height; ++y) {
    const std::size_t sy = static_cast<std::size_t>(static_cast<int64_t>(y) * height_ / std::max<A_long>(1, world.height));
    for (A_long x = 0; x < world.width; ++x) {
      const std::size_t sx = static_cast<std::size_t>(static_cast<int64_t>(x) * width_ / std::max<A_long>(1, world.width));
      const float* p = &rgba[(sy * static_cast<std::size_t>(width_) + sx) * 4];
      pixels::SetPixel(world, x, y, pixels::Color{p[3], p[0], p[1], p[2]});
    }
  }
}

}  // namespace zelvan::render
