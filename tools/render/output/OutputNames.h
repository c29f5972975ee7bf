// The names of the files a run writes and of those it keeps beside them while
// it runs: the output folder, the movie, the run and --help all name them from
// here.
#pragma once

#include <cstddef>
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

// The most bytes a file system takes in one name (NAME_MAX), and the room
// a hidden name keeps for the process id at its end.
inline constexpr std::size_t kMaxNameBytes = 255;
inline constexpr std::size_t kPidRoom = 10;

// The hidden name of movie `name` while it is written, before the process
// id: ".NAME.zelvan-render.", where a NAME too long to fit with the id is
// cut (at a character's start) and marked with "~" and eight hex digits of
// the whole NAME, so that every run writing NAME names its file alike and
// no other movie's.
std::string MovieTempPrefix(const std::string& name);

}  // namespace zelvan::render::names
