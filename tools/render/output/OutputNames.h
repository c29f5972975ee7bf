// The names of the files a run writes and of those it keeps beside them while
// it runs: the output folder, the movie, the run and --help all name them from
// here.
#pragma once

#include <string>

namespace zelvan::render::names {

// In the output folder: frame_0000.png and on, the previews, the chart, the
// report, and the manifest of what the tool wrote there.
inline constexpr const char* kFramePrefix = "frame_";
inline constexpr const char* kContactSheet = "contact_sheet.png";
inline constexpr const char* kPreviewGif = "preview.gif";
inline constexpr const char* kTimingChart = "timing_chart.svg";
inline constexpr const char* kReport = "report.json";
inline constexpr const char* kManifest = "zelvan-render-manifest.json";

// While a run lasts: the lock on its folder, its staging folder inside it
// (the prefix and the process id), and a movie's hidden file beside it
// (".NAME" and this, then the process id).
inline constexpr const char* kLock = ".zelvan-render.lock";
inline constexpr const char* kStagingPrefix = ".zelvan-render-staging.";
inline constexpr const char* kMovieTempSuffix = ".zelvan-render.";

// The hidden name of movie `name` while it is written, before the process id.
inline std::string MovieTempPrefix(const std::string& name) { return "." + name + kMovieTempSuffix; }

}  // namespace zelvan::render::names
