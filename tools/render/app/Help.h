// --help: the short form of the manual (docs/render-tool.md), in 80
// columns. Its lists (the options, the scene fields, the outputs' names, the
// movies' extensions, the exit statuses) are read from their tables.
#pragma once

#include <string>

namespace zelvan::render {

std::string HelpText(const std::string& default_plugin);

// "NAME.mp4, NAME.mov or NAME.mkv": the movies the tool writes, from the
// recipe table.
std::string MovieNameList();

}  // namespace zelvan::render
