// The exit statuses of zelvan-render, one row each: the code, what it means
// in words the manual's list (docs/render-tool.md) gives it too, and what
// --help says of it after the code. The constants the run returns (Cli.h),
// --help's exit-status paragraph and the test that holds the manual to it
// read them from here.
#pragma once

#include <csignal>
#include <cstddef>

#include "StopSignals.h"

namespace zelvan::render {

struct ExitRow {
  int code;
  const char* meaning;
  // --help's words after the code; null: the code is named with the next
  // row's ("130 or 143 stopped by ...").
  const char* help;
  // The run's outputs were written: the folder's files or the movie. On any
  // other status the folder is left as it was and no movie is written.
  bool outputs_written;
};

// In the order --help names them.
inline constexpr ExitRow kExitStatuses[] = {
    {0, "done", "done, every frame rendered", true},
    {2, "bad input",
     "bad input (the message names the field or file and the fix), DIR in use by another run, a file in DIR that "
     "appeared or changed during the run, or a movie NAME that is there without --overwrite",
     false},
    {3, "footage frame cannot be read",
     "a footage frame could not be read (the message names the file and the frame)", false},
    {4, "frame the plug-in failed", "the plug-in failed a frame (the message names the frame and the error)", false},
    {5, "output file cannot be written",
     "an output could not be made or written (the message names it, the cause, such as a full disk, a read-only "
     "folder or a file-size limit, and the fix)",
     false},
    {6, "--keep-going wrote its outputs but failed some frames",
     "with --keep-going, every frame written but some failed (marked in report.json)", true},
    {StopSignals::ExitStatus(SIGINT), "stopped by Ctrl-C", nullptr, false},
    {StopSignals::ExitStatus(SIGTERM), "stopped by SIGTERM", "stopped by Ctrl-C or SIGTERM", false},
    {1, "anything else", "other failure", false},
};

// Each code once; a code named with the next row has a next row that speaks.
constexpr bool ExitTableIsSound() {
  constexpr std::size_t n = sizeof kExitStatuses / sizeof kExitStatuses[0];
  for (std::size_t i = 0; i < n; ++i) {
    for (std::size_t j = i + 1; j < n; ++j) {
      if (kExitStatuses[i].code == kExitStatuses[j].code) return false;
    }
  }
  return kExitStatuses[n - 1].help != nullptr;
}
static_assert(ExitTableIsSound(), "see ExitTableIsSound");

// The code of the row whose meaning is `meaning`; not a constant (a compile
// error where a constant is needed) when no row has it.
constexpr int ExitCode(const char* meaning) {
  for (const ExitRow& row : kExitStatuses) {
    const char* a = row.meaning;
    const char* b = meaning;
    while (*a != '\0' && *a == *b) ++a, ++b;
    if (*a == *b) return row.code;
  }
  throw "no exit status means that";
}

}  // namespace zelvan::render
