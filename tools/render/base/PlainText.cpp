#include "PlainText.h"

namespace zelvan::render {

namespace {

// Where the word at `at` ends: the next space or new line outside a quoted
// name ("No Margin") and outside braces ({"rate": 90}), which stay whole.
std::size_t WordEnd(const std::string& text, std::size_t at) {
  bool quoted = false;
  int braces = 0;
  for (; at < text.size(); ++at) {
    const char c = text[at];
    if (c == '\n' || (c == ' ' && !quoted && braces == 0)) break;
    if (c == '"') quoted = !quoted;
    if (!quoted && c == '{') ++braces;
    if (!quoted && c == '}' && braces > 0) --braces;
  }
  return at;
}

}  // namespace

std::string HelpWrap(const std::string& lead, std::size_t indent, const std::string& text) {
  std::string out;
  std::string line = lead;
  bool fresh = true;  // nothing of the text on the line yet
  std::size_t at = 0;
  while (at <= text.size()) {
    const std::size_t end = WordEnd(text, at);
    const std::string word = text.substr(at, end - at);
    if (!fresh && line.size() + 1 + word.size() > kHelpWidth) {
      out += line + "\n";
      line = std::string(indent, ' ');
      fresh = true;
    }
    line += (fresh ? "" : " ") + word;
    fresh = false;
    if (end < text.size() && text[end] == '\n') {
      out += line + "\n";
      line = std::string(indent, ' ');
      fresh = true;
    }
    at = end + 1;
  }
  return out + line + "\n";
}

std::string ListWith(const std::vector<std::string>& items, const std::string& last) {
  std::string out;
  for (std::size_t i = 0; i < items.size(); ++i) {
    out += (i == 0 ? "" : i + 1 == items.size() ? last : ", ") + items[i];
  }
  return out;
}

}  // namespace zelvan::render
