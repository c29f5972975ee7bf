// Why a plug-in file could not be loaded, with what to do about it.
#pragma once

#include <stdexcept>
#include <string>

namespace zelvan::testhost {

class LoadError : public std::runtime_error {
 public:
  LoadError(const std::string& path, const std::string& cause, const std::string& fix)
      : std::runtime_error("cannot load plug-in '" + path + "': " + cause + ". Fix: " + fix),
        path_(path),
        cause_(cause),
        fix_(fix) {}

  const std::string& path() const { return path_; }
  const std::string& cause() const { return cause_; }
  const std::string& fix() const { return fix_; }

 private:
  std::string path_;
  std::string cause_;
  std::string fix_;
};

}  // namespace zelvan::testhost
