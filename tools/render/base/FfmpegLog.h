// FFmpeg's messages, kept out of the terminal: its log would interleave with
// ours, so its last error line is kept instead, to explain a failure in our
// own message. Shared by the movie reader and the movie encoder.
#pragma once

#include <string>

namespace zelvan::render {

// FFmpeg's text for an error code.
std::string AvError(int code);
// From now on FFmpeg's log keeps its last error line and prints nothing.
void QuietLog();
// The last error line FFmpeg logged since the previous call, "" when none.
std::string TakeLastError();

}  // namespace zelvan::render
