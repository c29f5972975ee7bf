#include "Clip.h"

#include <algorithm>
#include <filesystem>
#include <cctype>
#include <cstring>

#include "FootageError.h"
#include "Limits.h"
#include "UsageError.h"
#include "NearestSample.h"
#include "Picture.h"
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

}  // namespace

bool IsSequencePattern(const std::string& path) { return ParsePattern(path).has_value(); }

FootageInfo ProbeFootage(const std::string& path) {
  FootageInfo info;
  std::error_code fs_error;
  // A file of that name wins over a pattern: "take#1.mp4" is a file.
  const bool exists = fs::exists(path, fs_error);
  if (exists && fs::is_directory(path, fs_error)) {
    throw UsageError(path, "is a folder", "give a file, or a sequence pattern such as " + path + "/name.%04d.png");
  }
  if (auto pattern = exists ? std::nullopt : ParsePattern(path)) {
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
    const PictureHeader first = ReadPictureHeader(FootageSource::File(info.files.front()), false);
    info.width = first.width;
    info.height = first.height;
    // Every frame must be there and of the same size before anything renders.
    for (const std::string& file : info.files) {
      const PictureHeader s = ReadPictureHeader(FootageSource::File(file), false);
      if (s.width != info.width || s.height != info.height) {
        throw UsageError(file, "is " + std::to_string(s.width) + "x" + std::to_string(s.height) + ", unlike the " +
                                   std::to_string(info.width) + "x" + std::to_string(info.height) + " of the first frame",
                         "give a sequence whose frames share one size");
      }
    }
    info.frames = static_cast<int64_t>(info.files.size());
    return info;
  }

  if (!exists || !fs::is_regular_file(path, fs_error)) {
    throw UsageError(path, "footage file not found", "check source.path, or use \"builtin\"");
  }
  info.files = {path};
  const FootageSource source = FootageSource::File(path);
  if (Movie::Recognise(source)) {
    info.kind = "movie";
    info.movie = std::make_shared<Movie>(source);
    const Movie& m = *info.movie;
    info.width = m.width();
    info.height = m.height();
    info.frames = m.frames();
    info.fps = m.fps();
    info.codec = m.description();
    info.rotation = m.rotation();
    info.pixel_aspect = m.pixel_aspect();
    info.variable_rate = m.variable_rate();
    info.warnings = m.warnings();
    return info;
  }
  const PictureHeader header = ReadPictureHeader(source, true);
  const int subimages = header.pictures;
  info.width = header.width;
  info.height = header.height;
  if (subimages > 1) {
    // Several pictures in one file, one a frame.
    info.kind = "pages";
    info.pages = subimages;
    info.frames = subimages;
    if (subimages > kMaxFrames) {
      throw UsageError(path, "holds more than " + std::to_string(kMaxFrames) + " pictures", "split the file first");
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
                    ", " + std::to_string(c->frames_) + " frame" + (c->frames_ == 1 ? "" : "s") +
                    (info.codec.empty() ? "" : ", " + info.codec);
  c->info_ = std::move(info);
  return c;
}

namespace {

// Copies src into dst of the same depth, scaled by nearest sample when the
// sizes differ (the host asks for the layer at its downsampled size). Both
// rowbytes are honoured.
void PutFrame(const PF_EffectWorld& src, PF_EffectWorld& dst) {
  const auto bpp = static_cast<std::size_t>(pixels::BytesPerPixel(pixels::DepthOf(src)));
  const auto* sdata = static_cast<const unsigned char*>(static_cast<const void*>(src.data));
  auto* ddata = static_cast<unsigned char*>(static_cast<void*>(dst.data));
  const bool same = src.width == dst.width && src.height == dst.height;
  for (A_long y = 0; y < dst.height; ++y) {
    const auto sy = static_cast<A_long>(NearestSample(y, src.height, dst.height));
    const unsigned char* srow = sdata + static_cast<std::ptrdiff_t>(sy) * src.rowbytes;
    unsigned char* drow = ddata + static_cast<std::ptrdiff_t>(y) * dst.rowbytes;
    if (same) {
      std::memcpy(drow, srow, static_cast<std::size_t>(dst.width) * bpp);
      continue;
    }
    for (A_long x = 0; x < dst.width; ++x) {
      const auto sx = static_cast<std::size_t>(NearestSample(x, src.width, dst.width));
      std::memcpy(drow + static_cast<std::size_t>(x) * bpp, srow + sx * bpp, bpp);
    }
  }
}

}  // namespace

void Clip::SetCacheBudget(std::size_t bytes) {
  cache_budget_ = bytes;
  if (info_.movie) info_.movie->SetCacheBudget(bytes);
}

const pixels::PixelWorld& Clip::FootageFrame(int64_t frame, pixels::Depth depth) {
  const auto key = std::make_pair(frame, static_cast<int>(depth));
  if (auto it = cache_.find(key); it != cache_.end()) return it->second;
  // Pictures read again cheaply: a few are kept, within the budget.
  const std::size_t bytes = static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_) *
                            static_cast<std::size_t>(pixels::BytesPerPixel(depth));
  const std::size_t keep = std::clamp<std::size_t>(cache_budget_ / std::max<std::size_t>(bytes, 1), 1, 4);
  while (!cache_.empty() && cache_.size() >= keep) cache_.erase(cache_.begin());
  const bool pages = info_.kind == "pages";
  const std::string& file = pages || info_.kind == "image" ? info_.files.front() : info_.files[static_cast<std::size_t>(frame)];
  return cache_[key] = ReadPicture(FootageSource::File(file), frame, pages ? static_cast<int>(frame) : 0, width_, height_,
                                   depth);
}

void Clip::Paint(PF_EffectWorld& world, int64_t frame) {
  frame = std::clamp<int64_t>(frame, 0, frames_ - 1);
  if (builtin_) {
    pixels::PaintDemoFrame(world, frame);
    return;
  }
  if (info_.movie) {
    info_.movie->Paint(frame, world);
    return;
  }
  PutFrame(*FootageFrame(frame, pixels::DepthOf(world)).world(), world);
}

}  // namespace zelvan::render
