#include "MovieRecipe.h"

extern "C" {
#include <libavutil/opt.h>
}

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <stdexcept>

namespace zelvan::render {
namespace {

// x265 writes its own log to standard error unless told not to.
void X265(AVCodecContext& c) { av_opt_set(c.priv_data, "x265-params", "log-level=none", 0); }

// Constant quality is libvpx's crf with a bit rate of 0 (FFmpeg's default
// rate would cap it); rows of the frame are coded on several threads.
void Vp9(AVCodecContext& c) {
  c.bit_rate = 0;
  av_opt_set_int(c.priv_data, "row-mt", 1, 0);
}

void ProRes4444(AVCodecContext& c) { av_opt_set(c.priv_data, "profile", "4444", 0); }
void ProRes4444Xq(AVCodecContext& c) { av_opt_set(c.priv_data, "profile", "4444xq", 0); }
void ProRes422Hq(AVCodecContext& c) { av_opt_set(c.priv_data, "profile", "hq", 0); }
void ProRes422(AVCodecContext& c) { av_opt_set(c.priv_data, "profile", "standard", 0); }
void ProRes422Lt(AVCodecContext& c) { av_opt_set(c.priv_data, "profile", "lt", 0); }
void ProRes422Proxy(AVCodecContext& c) { av_opt_set(c.priv_data, "profile", "proxy", 0); }

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

// extension, muxer, movflags, option
constexpr MovieContainer kContainers[] = {
    {".mp4", "mp4", "+write_colr+faststart", "--codec"},
    {".webm", "webm", nullptr, nullptr},
    {".mov", "mov", "+write_colr", "--prores"},
    {".mkv", "matroska", nullptr, nullptr},
    {".gif", nullptr, nullptr, nullptr},
};

constexpr const char* kOverBlack = "write a .webm, .mov or .mkv to keep the alpha";
constexpr const char* kProResWithAlpha = "pass --prores 4444 to keep the alpha";
constexpr const char* kInEditors = "for editing applications and professional players";
// x264 at crf 0 codes losslessly in its High 4:4:4 Predictive profile.
constexpr const char* kLosslessH264 =
    "makes H.264's lossless profile (High 4:4:4 Predictive), which many players, browsers and hardware decoders "
    "refuse, and an .mp4's 4:2:0 colour is not lossless against the frames all the same";

constexpr AVPixelFormat kYuv420 = AV_PIX_FMT_YUV420P, kProRes4 = AV_PIX_FMT_YUVA444P10LE,
                        kProRes2 = AV_PIX_FMT_YUV422P10LE;

// kind, extension, choice, by default, encoder, codec name, pixels at 8 bits
// and deeper, alpha, where for alpha, even size, BT.709, tag, crf, frames a
// frame thread keeps, plays, options. x264, x265 and libvpx copy each frame
// in, to threads of their own; FFV1 has slices only.
constexpr MovieRecipe kRecipes[] = {
    {MovieKind::kH264, ".mp4", "h264", ByDefault::kAlways, "libx264", "H.264", kYuv420, kYuv420, false, kOverBlack,
     true, true, nullptr, {18, 1, 51, kLosslessH264}, 0,
     "plays anywhere: web pages, presentations, phones, players and editing applications", nullptr},
    // Tagged hvc1, as some players require to open H.265 in an .mp4.
    {MovieKind::kH265, ".mp4", "h265", ByDefault::kNo, "libx265", "H.265", kYuv420, kYuv420, false, kOverBlack, true,
     true, "hvc1", {20, 0, 51, nullptr}, 0,
     "plays in players, phones and TVs that decode H.265, and in browsers where the system does", X265},
    {MovieKind::kVp9Alpha, ".webm", nullptr, ByDefault::kWithAlpha, "libvpx-vp9", "VP9", AV_PIX_FMT_YUVA420P,
     AV_PIX_FMT_YUVA420P, true, nullptr, false, true, nullptr, {31, 0, 63, nullptr}, 0,
     "plays in web pages, with its alpha, in browsers that play VP9", Vp9},
    {MovieKind::kVp9, ".webm", nullptr, ByDefault::kOpaque, "libvpx-vp9", "VP9", kYuv420, kYuv420, false,
     "the first frame has none, so the movie was made without it: write a .mov (--prores 4444) or .mkv to keep it",
     false, true, nullptr, {31, 0, 63, nullptr}, 0, "plays in web pages, in browsers that play VP9", Vp9},
    // The colour tags in the container too: a ProRes decoder reports them from there.
    // A frame thread keeps the frame it encodes and a packet buffer for the
    // largest frame: about two frames more with alpha (134 MB at 4K, zeroed),
    // under one without (its bound is a twentieth of that).
    {MovieKind::kProRes4444, ".mov", "4444", ByDefault::kWithAlpha, "prores_ks", "ProRes 4444", kProRes4, kProRes4, true,
     nullptr, false, true, nullptr, {}, 3, kInEditors, ProRes4444},
    {MovieKind::kProRes4444Xq, ".mov", "4444xq", ByDefault::kNo, "prores_ks", "ProRes 4444 XQ", kProRes4, kProRes4, true,
     nullptr, false, true, nullptr, {}, 3, kInEditors, ProRes4444Xq},
    {MovieKind::kProRes422Hq, ".mov", "422hq", ByDefault::kOpaque, "prores_ks", "ProRes 422 HQ", kProRes2, kProRes2,
     false, kProResWithAlpha, false, true, nullptr, {}, 2, kInEditors, ProRes422Hq},
    {MovieKind::kProRes422, ".mov", "422", ByDefault::kNo, "prores_ks", "ProRes 422", kProRes2, kProRes2, false,
     kProResWithAlpha, false, true, nullptr, {}, 2, kInEditors, ProRes422},
    {MovieKind::kProRes422Lt, ".mov", "422lt", ByDefault::kNo, "prores_ks", "ProRes 422 LT", kProRes2, kProRes2, false,
     kProResWithAlpha, false, true, nullptr, {}, 2, kInEditors, ProRes422Lt},
    {MovieKind::kProRes422Proxy, ".mov", "proxy", ByDefault::kNo, "prores_ks", "ProRes 422 Proxy", kProRes2, kProRes2,
     false, kProResWithAlpha, false, true, nullptr, {}, 2, "for editing applications, as a light stand-in for the full movie",
     ProRes422Proxy},
    // The PNG frames' bytes: RGBA at 8 bits (stored as BGRA), RGBA64 deeper.
    {MovieKind::kFfv1, ".mkv", nullptr, ByDefault::kAlways, "ffv1", "FFV1 lossless", AV_PIX_FMT_BGRA,
     AV_PIX_FMT_RGBA64LE, true, nullptr, false, false, nullptr, {}, 0,
     "for the archive: FFmpeg's players and tools decode exactly the PNG frames", Ffv1Intra},
    // The preview GIF's writer and palette (PreviewGif.h): 256 colours a frame.
    {MovieKind::kGif, ".gif", nullptr, ByDefault::kAlways, nullptr, "GIF", AV_PIX_FMT_PAL8, AV_PIX_FMT_PAL8, false,
     kOverBlack, false, false, nullptr, {}, 0, "plays anywhere an image shows: web pages, chats, documents and presentations",
     nullptr},
};

bool Named(const char* a, const char* b) { return a != nullptr && b != nullptr && std::strcmp(a, b) == 0; }

}  // namespace

const MovieRecipe& RecipeOf(MovieKind kind) {
  for (const MovieRecipe& r : kRecipes) {
    if (r.kind == kind) return r;
  }
  throw std::logic_error("a movie kind without a recipe");
}

const MovieContainer& ContainerOf(const MovieRecipe& recipe) {
  for (const MovieContainer& c : kContainers) {
    if (Named(c.extension, recipe.extension)) return c;
  }
  throw std::logic_error("a movie kind without a container");
}

std::vector<const MovieContainer*> MovieContainers() {
  std::vector<const MovieContainer*> all;
  for (const MovieContainer& c : kContainers) all.push_back(&c);
  return all;
}

std::vector<const MovieRecipe*> MovieRecipes() {
  std::vector<const MovieRecipe*> all;
  for (const MovieRecipe& r : kRecipes) all.push_back(&r);
  return all;
}

std::vector<const MovieRecipe*> KindsIn(const MovieContainer& container) {
  std::vector<const MovieRecipe*> kinds;
  for (const MovieRecipe& r : kRecipes) {
    if (Named(r.extension, container.extension)) kinds.push_back(&r);
  }
  return kinds;
}

std::vector<std::string> MovieExtensions() {
  std::vector<std::string> extensions;
  for (const MovieContainer& c : kContainers) extensions.emplace_back(c.extension);
  return extensions;
}

const MovieContainer* MovieContainerOf(const std::string& path) {
  if (path.empty() || path.back() == '/') return nullptr;
  std::string ext = std::filesystem::path(path).extension().string();
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (const MovieContainer& c : kContainers) {
    if (ext == c.extension) return &c;
  }
  return nullptr;
}

std::optional<MovieKind> ChosenKind(const MovieContainer& container, const std::string& choice) {
  for (const MovieRecipe* r : KindsIn(container)) {
    if (Named(r->choice, choice.c_str())) return r->kind;
  }
  return std::nullopt;
}

MovieKind KindFor(const MovieContainer& container, const std::optional<std::string>& choice, bool alpha) {
  if (choice) {
    if (const std::optional<MovieKind> chosen = ChosenKind(container, *choice)) return *chosen;
    throw std::logic_error("a movie kind chosen by a name its container does not take");
  }
  const ByDefault wanted = alpha ? ByDefault::kWithAlpha : ByDefault::kOpaque;
  for (const MovieRecipe* r : KindsIn(container)) {
    if (r->by_default == ByDefault::kAlways || r->by_default == wanted) return r->kind;
  }
  throw std::logic_error("a movie container without a kind of its own");
}

bool KindFollowsAlpha(const MovieContainer& container, const std::optional<std::string>& choice) {
  return !choice && KindFor(container, choice, true) != KindFor(container, choice, false);
}

AVPixelFormat PixelsFor(const MovieRecipe& recipe, int depth) {
  return depth == 8 ? recipe.pixels_8 : recipe.pixels_deep;
}

int CodedSide(const MovieRecipe& recipe, int side) { return recipe.even_size ? (side + 1) / 2 * 2 : side; }

}  // namespace zelvan::render
