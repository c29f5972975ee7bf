// A bad input: what is wrong, where (a scene field, an option or a file) and
// how to fix it. The run stops before it writes anything, with exit 2.
#pragma once

#include <stdexcept>
#include <string>
#include <utility>

namespace zelvan::render {

class UsageError : public std::runtime_error {
 public:
  UsageError(std::string where, std::string what, std::string fix)
      : std::runtime_error(where + ": " + what + (fix.empty() ? "" : ". Fix: " + fix)),
        where_(std::move(where)) {}
  const std::string& where() const { return where_; }

 private:
  std::string where_;
};

}  // namespace zelvan::render
