// Text for people, as --help and the messages write it: paragraphs and
// items wrapped at their spaces for an 80-column terminal (an item's lines
// after the first indented under its text), and lists in words.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace zelvan::render {

constexpr std::size_t kHelpWidth = 80;

// `lead`, then `text` wrapped greedily at its spaces into lines of at most
// kHelpWidth columns (a longer word stands alone), each line after the first
// indented by `indent` spaces. A quoted name ("No Margin") and a brace's
// JSON ({"rate": 90}) are not broken; a "\n" in the text ends a line there.
std::string HelpWrap(const std::string& lead, std::size_t indent, const std::string& text);

// The items joined by ", ", the last by `last` (" or ", " and "): "a, b or c".
std::string ListWith(const std::vector<std::string>& items, const std::string& last);

// A paragraph: no lead, no indent.
inline std::string HelpWrap(const std::string& text) { return HelpWrap("", 0, text); }

}  // namespace zelvan::render
