// Runs zelvan-render as a user would and collects what it left behind.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <linux/capability.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
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

// The tool running in a process of its own, its output going to files in the
// scratch folder; killed if still running when this goes.
class ToolProcess {
 public:
  // file_size_limit: RLIMIT_FSIZE in bytes, set in the child before the tool starts.
  ToolProcess(const std::vector<std::string>& args, const fs::path& scratch,
              std::optional<rlim_t> file_size_limit = std::nullopt) {
    static std::atomic<int> count{0};
    const std::string n = std::to_string(count++);
    out_ = scratch / (".stdout." + n);
    err_ = scratch / (".stderr." + n);
    // Everything the child needs is made before the fork: between fork and
    // exec only async-signal-safe calls.
    std::vector<std::string> all = {ZELVAN_RENDER_TOOL};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    const std::string out = out_.string(), err = err_.string();
    pid_ = ::fork();
    if (pid_ == 0) {
      const int in = ::open("/dev/null", O_RDONLY);
      const int o = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      const int e = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (in < 0 || o < 0 || e < 0 || ::dup2(in, 0) < 0 || ::dup2(o, 1) < 0 || ::dup2(e, 2) < 0) ::_exit(126);
      // As a user runs it: root's right to read and write any file goes, so
      // that a file's permissions hold for the tool as for anyone.
      ::prctl(PR_CAPBSET_DROP, CAP_DAC_OVERRIDE, 0, 0, 0);
      ::prctl(PR_CAPBSET_DROP, CAP_DAC_READ_SEARCH, 0, 0, 0);
      if (file_size_limit) {
        const struct rlimit limit = {*file_size_limit, *file_size_limit};
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) ::_exit(126);
      }
      ::execv(argv[0], argv.data());
      ::_exit(127);
    }
  }
  ~ToolProcess() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
  }
  ToolProcess(const ToolProcess&) = delete;
  ToolProcess& operator=(const ToolProcess&) = delete;

  pid_t pid() const { return pid_; }
  void Signal(int sig) const { ::kill(pid_, sig); }
  // Waits for the tool to end; exit_code is -1 when a signal ended it.
  ToolRun Wait() {
    ToolRun r;
    int status = 0;
    if (pid_ > 0 && ::waitpid(pid_, &status, 0) == pid_) r.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    pid_ = -1;
    r.out = Slurp(out_);
    r.err = Slurp(err_);
    std::error_code ec;
    fs::remove(out_, ec);
    fs::remove(err_, ec);
    return r;
  }

 private:
  pid_t pid_ = -1;
  fs::path out_, err_;
};

inline ToolRun RunTool(const std::vector<std::string>& args, const fs::path& scratch,
                       std::optional<rlim_t> file_size_limit = std::nullopt) {
  return ToolProcess(args, scratch, file_size_limit).Wait();
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
