#include "MovieRecipe.h"

extern "C" {
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
}

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <stdexcept>

namespace zelvan::render {
namespace {

void ProRes4444(AVCodecContext& c) { av_opt_set(c.priv_data, "profile", "4444", 0); }

// Version 3, every frame a keyframe, in slices (threads) with checksums.
// FFmpeg's FFV1 garbles a frame cut into slices under 2 pixels a side, and
// any version 3 frame (or any with checksums) 1 pixel wide or high: a frame
// under 3 pixels a side is one slice, under 2 pixels version 1 without
// checksums (lossless all the same).
void Ffv1Intra(AVCodecContext& c) {
  const int side = std::min(c.width, c.height);
  c.level = side >= 2 ? 3 : 1;
  c.gop_size = 1;
  c.slices = side >= 3 ? 4 : 1;
  av_opt_set_int(c.priv_data, "slicecrc", c.level == 3 ? 1 : 0, 0);
}

// kind, extension, muxer, encoder, codec name, pixels at 8 bits and deeper,
// even size, BT.709, movflags, crf, frames a frame thread keeps, options
constexpr MovieRecipe kRecipes[] = {
    // x264 copies each frame in, to threads of its own.
    {MovieKind::kMp4, ".mp4", "mp4", "libx264", "H.264", AV_PIX_FMT_YUV420P, AV_PIX_FMT_YUV420P, true, true,
     "+write_colr", true, 0, nullptr},
    // Its colour tags in the container too: a ProRes decoder reports them from there.
    // A frame thread keeps the frame it encodes and a packet buffer for the
    // largest frame, about two frames (134 MB at 4K, zeroed).
    {MovieKind::kMov, ".mov", "mov", "prores_ks", "ProRes 4444", AV_PIX_FMT_YUVA444P10LE, AV_PIX_FMT_YUVA444P10LE,
     false, true, "+write_colr", false, 3, ProRes4444},
    // The PNG frames' bytes: RGBA at 8 bits (stored as BGRA), RGBA64 deeper.
    {MovieKind::kMkv, ".mkv", "matroska", "ffv1", "FFV1 lossless", AV_PIX_FMT_BGRA, AV_PIX_FMT_RGBA64LE, false, false,
     nullptr, false, 0, Ffv1Intra},
};

}  // namespace

const MovieRecipe& RecipeOf(MovieKind kind) {
  for (const MovieRecipe& r : kRecipes) {
    if (r.kind == kind) return r;
  }
  throw std::logic_error("a movie kind without a recipe");
}

AVPixelFormat PixelsFor(const MovieRecipe& recipe, int depth) {
  return depth == 8 ? recipe.pixels_8 : recipe.pixels_deep;
}

int CodedSide(const MovieRecipe& recipe, int side) { return recipe.even_size ? (side + 1) / 2 * 2 : side; }

std::string MovieDescription(const MovieSettings& s) {
  const MovieRecipe& r = RecipeOf(s.kind);
  std::string d = std::string(r.codec_name) + " " + av_get_pix_fmt_name(PixelsFor(r, s.depth));
  if (r.crf) d += ", crf " + std::to_string(s.crf);
  const int width = CodedSide(r, s.width), height = CodedSide(r, s.height);
  if (width != s.width || height != s.height) {
    d += ", padded to " + std::to_string(width) + "x" + std::to_string(height);
  }
  return d;
}

std::vector<std::string> MovieExtensions() {
  std::vector<std::string> extensions;
  for (const MovieRecipe& r : kRecipes) extensions.emplace_back(r.extension);
  return extensions;
}

std::optional<MovieKind> MovieKindOf(const std::string& path) {
  if (path.empty() || path.back() == '/') return std::nullopt;
  std::string ext = std::filesystem::path(path).extension().string();
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (const MovieRecipe& r : kRecipes) {
    if (ext == r.extension) return r.kind;
  }
  return std::nullopt;
}

}  // namespace zelvan::render
