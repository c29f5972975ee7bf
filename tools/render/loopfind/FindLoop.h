// The run of `zelvan-render --find-loop`: the lengths asked are checked
// against the clip and the output folder claimed (with --out) before a frame
// is read; then every frame is read once, forwards (ReadFrames.h), the loops
// searched (LoopSearch.h), and loops.json, loop.json, similarity.png and a
// seam_N.png for each candidate written and moved into place as a render's
// files are (OutputFolder.h). Ctrl-C or SIGTERM between frames, bands or
// files ends it with the folder as it was.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "Clip.h"
#include "LoopReport.h"
#include "LoopRequest.h"
#include "OutputFolder.h"
#include "Scene.h"
#include "SimilarityMap.h"

namespace zelvan::render {

class LoopFinder {
 public:
  // `scene` is the scene resolved against the footage, `clip` its source;
  // `inputs` are the footage's files, never overwritten. Throws UsageError:
  // a single image, a clip too short for any loop or for --min, a --min
  // above --max, or what the folder refuses.
  LoopFinder(const LoopRequest& request, const Scene& scene, Clip& clip, const std::vector<std::string>& inputs);

  // False when a stop signal came. `progress` hears the frames read. Throws
  // UsageError for a still, FootageError, WriteError.
  bool Run(const std::function<void(int64_t)>& progress);

  // After Run: the table of candidates, and the files written ("" without --out).
  std::string Table() const { return LoopsTable(found_); }
  std::string Written() const;

 private:
  // Writes every file into the staging folder and moves them into place;
  // false when a stop signal came first.
  bool WriteFiles(const SimilarityMap& map);
  void WritePicture(const std::string& name, int width, int height, const std::vector<uint8_t>& rgb);

  LoopRequest request_;
  Scene scene_;
  Clip& clip_;
  std::string name_;  // the clip, for messages
  LoopFindings found_;
  std::optional<OutputFolder> folder_;
};

}  // namespace zelvan::render
