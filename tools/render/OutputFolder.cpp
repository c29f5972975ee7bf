#include "OutputFolder.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <stdexcept>

#include "Scene.h"
#include "StopSignals.h"

namespace zelvan::render {
namespace fs = std::filesystem;

namespace {

constexpr const char* kStagingPrefix = ".zelvan-render-staging.";

void WriteFile(const std::string& file, const std::string& text) {
  std::ofstream out(file, std::ios::binary);
  out << text;
  out.close();
  if (!out) throw std::runtime_error(file + ": cannot be written");
}

Json ManifestEntry(const std::string& name, std::uintmax_t size, int64_t mtime_ns) {
  return Json{{"name", name}, {"size", size}, {"mtime_ns", mtime_ns}};
}

}  // namespace

bool OutputFolder::Stat(const std::string& path, Entry* entry) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  entry->size = static_cast<std::uintmax_t>(st.st_size);
  entry->mtime_ns = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  return true;
}

OutputFolder::OutputFolder(const std::string& dir, bool overwrite) : out_dir_(dir), overwrite_(overwrite) {
  std::error_code ec;
  const fs::file_status status = fs::status(out_dir_, ec);
  if (fs::exists(status) && !fs::is_directory(status)) {
    throw UsageError("--out " + out_dir_, "is a file, not a folder", "give a folder path (it is created when missing)");
  }
  if (!fs::exists(status)) {
    fs::create_directories(out_dir_, ec);
    if (ec) throw UsageError("--out " + out_dir_, "cannot be created (" + ec.message() + ")", "give a folder you can write");
    created_dir_ = true;
  }
  stage_ = (fs::path(out_dir_) / (kStagingPrefix + std::to_string(::getpid()))).string();
  fs::remove_all(stage_, ec);  // only a run of this very process id could have made it
  fs::create_directory(stage_, ec);
  if (ec) {
    if (created_dir_) fs::remove(out_dir_, ec);
    throw UsageError("--out " + out_dir_, "cannot be written (" + ec.message() + ")", "give a folder you can write");
  }

  // The earlier run's manifest: what it wrote, with size and time.
  const fs::path manifest = fs::path(out_dir_) / kManifest;
  if (fs::exists(manifest, ec)) {
    manifest_foreign_ = true;
    try {
      std::ifstream in(manifest, std::ios::binary);
      const Json j = Json::parse(in);
      if (j.is_object() && j.value("written_by", "") == "zelvan-render" && j.contains("files") && j["files"].is_array()) {
        for (const Json& f : j["files"]) {
          const std::string name = f.at("name").get<std::string>();
          // Only plain names inside the folder.
          if (name.empty() || name.find('/') != std::string::npos || name == "." || name == "..") continue;
          previous_[name] = Entry{f.at("size").get<std::uintmax_t>(), f.at("mtime_ns").get<int64_t>()};
        }
        manifest_foreign_ = false;
      }
    } catch (const Json::exception&) {
      previous_.clear();
    }
  }
}

OutputFolder::~OutputFolder() {
  std::error_code ec;
  fs::remove_all(stage_, ec);
  // A folder made for a run that did not finish goes too (it is empty).
  if (!committed_ && created_dir_) fs::remove(out_dir_, ec);
}

bool OutputFolder::Ours(const std::string& name) const {
  const auto it = previous_.find(name);
  Entry now;
  return it != previous_.end() && Stat((fs::path(out_dir_) / name).string(), &now) && now.size == it->second.size &&
         now.mtime_ns == it->second.mtime_ns;
}

void OutputFolder::Claim(const std::vector<std::string>& names, const std::vector<std::string>& inputs) {
  std::vector<std::string> foreign;
  std::vector<std::string> all = names;
  all.push_back(kManifest);
  for (const std::string& name : all) {
    const fs::path p = fs::path(out_dir_) / name;
    std::error_code ec;
    const fs::file_status status = fs::symlink_status(p, ec);
    if (!fs::exists(status)) continue;
    for (const std::string& input : inputs) {
      if (fs::equivalent(p, input, ec)) {
        throw UsageError(p.string(), "is footage this run reads, and the run would write a file of that name",
                         "give --out another folder");
      }
    }
    if (!fs::is_regular_file(status)) {
      throw UsageError(p.string(), "is in the way and is not a file", "give --out another folder, or move it away");
    }
    const bool ours = name == kManifest ? !manifest_foreign_ : Ours(name);
    if (!ours && !overwrite_) foreign.push_back(p.string());
  }
  if (!foreign.empty()) {
    const std::string more =
        foreign.size() > 1 ? " and " + std::to_string(foreign.size() - 1) + " more of the files this run writes" : "";
    throw UsageError(foreign.front() + more, "exists and zelvan-render did not write it",
                     "give --out another folder, move the file away, or pass --overwrite (-y) to replace it");
  }
}

std::string OutputFolder::Path(const std::string& name) const { return (fs::path(stage_) / name).string(); }

void OutputFolder::Add(const std::string& name) { names_.push_back(name); }

void OutputFolder::WriteText(const std::string& name, const std::string& text) {
  WriteFile(Path(name), text);
  Add(name);
}

void OutputFolder::Commit() {
  const HoldStopSignals hold;
  Json files = Json::array();
  for (const std::string& name : names_) {
    Entry e;
    if (!Stat(Path(name), &e)) throw std::runtime_error(Path(name) + ": missing before it could be moved into place");
    std::error_code ec;
    fs::rename(Path(name), fs::path(out_dir_) / name, ec);
    if (ec) {
      throw std::runtime_error((fs::path(out_dir_) / name).string() + ": cannot be moved into place (" + ec.message() +
                               ")");
    }
    files.push_back(ManifestEntry(name, e.size, e.mtime_ns));
  }
  for (const std::string& name : kept()) {
    const Entry& e = previous_.at(name);
    files.push_back(ManifestEntry(name, e.size, e.mtime_ns));
  }
  const Json manifest{{"written_by", "zelvan-render"},
                      {"note", "files this tool wrote here; a later run replaces only these, and only unchanged"},
                      {"files", files}};
  const std::string staged = Path(kManifest);
  WriteFile(staged, manifest.dump(2) + "\n");
  std::error_code ec;
  fs::rename(staged, fs::path(out_dir_) / kManifest, ec);
  if (ec) throw std::runtime_error((fs::path(out_dir_) / kManifest).string() + ": cannot be moved into place");
  committed_ = true;
  names_.push_back(kManifest);
}

std::vector<std::string> OutputFolder::kept() const {
  std::set<std::string> written(names_.begin(), names_.end());
  std::vector<std::string> out;
  for (const auto& [name, entry] : previous_) {
    if (!written.count(name) && name != kManifest && Ours(name)) out.push_back(name);
  }
  return out;
}

std::vector<std::string> OutputFolder::abandoned_staging() const {
  std::vector<std::string> out;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(out_dir_, ec)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind(kStagingPrefix, 0) != 0 || entry.path().string() == stage_) continue;
    const std::string pid = name.substr(std::string(kStagingPrefix).size());
    // A run still going (another process writing here) is not abandoned.
    if (!pid.empty() && pid.find_first_not_of("0123456789") == std::string::npos && pid.size() < 10 &&
        ::kill(static_cast<pid_t>(std::stol(pid)), 0) == 0) {
      continue;
    }
    out.push_back(entry.path().string());
  }
  return out;
}

}  // namespace zelvan::render
