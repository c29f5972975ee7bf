#include "OutputNames.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

namespace zelvan::render::names {
namespace {

// FNV-1a: the same digits for the same name in every run and build.
std::string Hash(const std::string& s) {
  uint32_t h = 2166136261u;
  for (const unsigned char c : s) h = (h ^ c) * 16777619u;
  char hex[9];
  std::snprintf(hex, sizeof hex, "%08x", h);
  return hex;
}

}  // namespace

std::string MovieTempPrefix(const std::string& name) {
  const std::string whole = "." + name + kMovieTempSuffix;
  if (whole.size() + kPidRoom <= kMaxNameBytes) return whole;
  const std::string mark = "~" + Hash(name);
  std::size_t keep = kMaxNameBytes - kPidRoom - 1 - mark.size() - std::strlen(kMovieTempSuffix);
  // Not inside a character of UTF-8: back to the start of the one cut.
  while (keep > 0 && (static_cast<unsigned char>(name[keep]) & 0xC0) == 0x80) --keep;
  return "." + name.substr(0, keep) + mark + kMovieTempSuffix;
}

}  // namespace zelvan::render::names
