#include "ServedFunctions.h"

#include <algorithm>

namespace zelvan::testhost {
namespace {

// Made on first use: registrations run before main, in no set order.
std::vector<std::string>& Registered() {
  static std::vector<std::string> names;
  return names;
}

}  // namespace

bool RegisterServedFunction(const char* name) {
  Registered().push_back(name);
  return true;
}

std::vector<std::string> ServedFunctions() {
  std::vector<std::string> names = Registered();
  std::sort(names.begin(), names.end());
  names.erase(std::unique(names.begin(), names.end()), names.end());
  return names;
}

}  // namespace zelvan::testhost
