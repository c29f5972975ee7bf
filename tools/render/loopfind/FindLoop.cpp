#include "FindLoop.h"

#include "Compact.h"
#include "ImageFile.h"
#include "LoopFiles.h"
#include "LoopScene.h"
#include "ReadFrames.h"
#include "SeamPicture.h"
#include "StopSignals.h"
#include "TypicalStep.h"

namespace zelvan::render {
namespace {

bool Stopping() { return StopSignals::pending() != 0; }

std::string Frames(int64_t n) { return std::to_string(n) + (n == 1 ? " frame" : " frames"); }

// The lengths searched: --min and --max at the clip's rate, within what the
// clip holds. Throws UsageError when no loop fits.
LoopSpan SpanOf(const LoopRequest& r, const std::string& clip, int64_t frames, const Rational& fps) {
  const std::string type = r.pingpong ? "Pingpong" : "Cycle";
  const int64_t longest = LongestLoop(r.pingpong, frames);
  if (longest < 2) {
    const std::string needs = r.pingpong ? "4 (a loop of 2 and a frame either side to judge its turns)"
                                         : "3 (a loop of 2 and the frame after it to compare with its first)";
    throw UsageError(clip, "holds " + Frames(frames) + ": a " + type + " needs at least " + needs,
                     "give a longer clip");
  }
  LoopSpan span{r.pingpong, std::max<int64_t>(2, FramesAtLeast(r.min, fps)), longest, r.top};
  if (r.max) {
    const int64_t most = FramesAtMost(*r.max, fps);
    if (most < 2) {
      throw UsageError("--max " + r.max->text, "is shorter than 2 frames, the shortest loop", "give e.g. --max 2f");
    }
    if (most < span.shortest) {
      throw UsageError(
          "--min " + r.min.text,
          "is above --max " + r.max->text + " (" + Frames(span.shortest) + " against " + Frames(most) + ")",
          "give a --min at most --max");
    }
    span.longest = std::min(longest, most);
  }
  if (longest < span.shortest) {
    throw UsageError(clip,
                     "holds " + Frames(frames) + " (" + Compact(static_cast<double>(frames) / fps.value()) +
                         " s): its longest " + type + " is " + Frames(longest) + ", shorter than --min " + r.min.text +
                         " (" + Frames(span.shortest) + ")",
                     "give a lower --min, e.g. --min " + std::to_string(longest) + "f, or a longer clip");
  }
  return span;
}

}  // namespace

LoopFinder::LoopFinder(const LoopRequest& request, const Scene& scene, Clip& clip,
                       const std::vector<std::string>& inputs)
    : request_(request), scene_(scene), clip_(clip) {
  name_ = scene.source.builtin() ? "the built-in clip" : scene.source.path;
  if (!scene.source.builtin() && !clip.footage().frames) {
    throw UsageError(name_, "is a single image: it has no frames to loop", "give a movie or an image sequence");
  }
  found_.path = scene.source.path;
  found_.frames = clip.frames();
  found_.fps = scene.source.fps;
  found_.width = clip.width();
  found_.height = clip.height();
  found_.span = SpanOf(request, name_, clip.frames(), scene.source.fps);
  if (!request.out) return;
  folder_.emplace(*request.out, request.overwrite);
  std::vector<std::string> writes = {names::kLoops, names::kLoopScene, names::kSimilarity};
  for (int rank = 1; rank <= request.top; ++rank) writes.push_back(names::SeamPicture(rank));
  folder_->Claim(writes, inputs);
}

bool LoopFinder::Run(const std::function<void(int64_t)>& progress) {
  std::optional<ReadClip> read = ReadSmallFrames(clip_, [&](int64_t k) {
    progress(k);
    return !Stopping();
  });
  if (!read) return false;
  found_.step = TypicalStep(read->steps);
  if (found_.step == 0.0f) {
    throw UsageError(name_, "shows the same picture in every frame: any stretch of it loops without a seam",
                     "there is no seam to find; render it as it is, e.g. with --play-once");
  }
  SimilarityMap map(found_.frames);
  for (std::size_t k = 0; k < read->steps.size(); ++k) {
    map.Add(static_cast<int64_t>(k), static_cast<int64_t>(k) + 1, read->steps[k]);
  }
  std::optional<std::vector<Candidate>> ranked = SearchLoops(read->frames, found_.span, map, Stopping);
  if (!ranked) return false;
  found_.ranked = std::move(*ranked);
  return !folder_ || WriteFiles(map);
}

void LoopFinder::WritePicture(const std::string& name, int width, int height, const std::vector<uint8_t>& rgb) {
  images::ImageOut out;
  out.width = width;
  out.height = height;
  out.channels = 3;
  out.pixels = rgb.data();
  WriteImageFile(folder_->Path(name), folder_->Shown(name), out);
  folder_->Add(name);
}

bool LoopFinder::WriteFiles(const SimilarityMap& map) {
  folder_->WriteText(names::kLoops, LoopsJson(found_, scene_).dump(2) + "\n");
  folder_->WriteText(names::kLoopScene, LoopScene(scene_, found_.ranked.front(), found_.span.pingpong).dump(2) + "\n");
  // The seams' frames are a few, far apart: none is worth keeping decoded.
  clip_.SetCacheBudget(0);
  const SimilarityMap::Picture similarity = map.Draw(found_.ranked);
  WritePicture(names::kSimilarity, similarity.side, similarity.side, similarity.rgb);
  for (std::size_t i = 0; i < found_.ranked.size(); ++i) {
    if (Stopping()) return false;
    const SeamPicture seam = DrawSeam(clip_, found_.ranked[i]);
    WritePicture(names::SeamPicture(static_cast<int>(i + 1)), seam.width, seam.height, seam.rgb);
  }
  if (Stopping()) return false;
  folder_->Commit();
  return true;
}

std::string LoopFinder::Written() const {
  if (!folder_) return "";
  const std::string d = folder_->dir() + "/";
  std::string seams = d + names::SeamPicture(1);
  if (found_.ranked.size() > 1) seams += " .. " + names::SeamPicture(static_cast<int>(found_.ranked.size()));
  return d + names::kLoops + ", " + d + names::kLoopScene + ", " + d + names::kSimilarity + ", " + seams;
}

}  // namespace zelvan::render
