// Runs zelvan-render as a user would and collects what it left behind.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace zelvan::render::testing {

namespace fs = std::filesystem;

struct ToolRun {
  int exit_code = -1;
  std::string out;  // standard output
  std::string err;  // standard error
};

inline std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

inline std::string Slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// A fresh folder for one test, removed afterwards.
class TempDir {
 public:
  explicit TempDir(const std::string& name)
      : path_(fs::temp_directory_path() / ("zelvan-render-test-" + std::to_string(::getpid()) + "-" + name)) {
    fs::remove_all(path_);
    fs::create_directories(path_);
  }
  ~TempDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  const fs::path& path() const { return path_; }
  fs::path operator/(const std::string& s) const { return path_ / s; }

 private:
  fs::path path_;
};

inline ToolRun RunTool(const std::vector<std::string>& args, const fs::path& scratch) {
  std::string cmd = Quote(ZELVAN_RENDER_TOOL);
  for (const auto& a : args) cmd += " " + Quote(a);
  const fs::path out = scratch / ".stdout", err = scratch / ".stderr";
  cmd += " >" + Quote(out.string()) + " 2>" + Quote(err.string()) + " </dev/null";
  ToolRun r;
  const int status = std::system(cmd.c_str());
  r.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  r.out = Slurp(out);
  r.err = Slurp(err);
  fs::remove(out);
  fs::remove(err);
  return r;
}

// Names of the files in a folder (hidden ones included), sorted.
inline std::set<std::string> Listing(const fs::path& dir) {
  std::set<std::string> names;
  std::error_code ec;
  if (!fs::exists(dir, ec)) return names;
  for (const auto& e : fs::directory_iterator(dir)) names.insert(e.path().filename().string());
  return names;
}

inline nlohmann::json ReadJson(const fs::path& p) { return nlohmann::json::parse(Slurp(p)); }

}  // namespace zelvan::render::testing
