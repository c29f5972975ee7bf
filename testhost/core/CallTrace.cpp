#include "CallTrace.h"

namespace zelvan::testhost {

std::size_t CallTrace::Add(int command, std::string function, std::string args) {
  entries_.push_back(TraceEntry{command, std::move(function), std::move(args), 0, false});
  return entries_.size() - 1;
}

void CallTrace::SetResult(std::size_t index, A_Err result, bool by_fault) noexcept {
  if (index < entries_.size()) {
    entries_[index].result = result;
    entries_[index].failed_by_fault = by_fault;
  }
}

std::vector<std::string> CallTrace::Lines(std::size_t from) const {
  std::vector<std::string> out;
  for (std::size_t i = from; i < entries_.size(); ++i) out.push_back(entries_[i].Text());
  return out;
}

std::vector<std::string> CallTrace::LinesOf(const std::string& function, std::size_t from) const {
  std::vector<std::string> out;
  for (std::size_t i = from; i < entries_.size(); ++i) {
    if (entries_[i].function == function) out.push_back(entries_[i].Text());
  }
  return out;
}

std::vector<std::string> CallTrace::LinesOfCommand(int command) const {
  std::vector<std::string> out;
  for (const TraceEntry& e : entries_) {
    if (e.command == command) out.push_back(e.Text());
  }
  return out;
}

std::size_t CallTrace::Count(const std::string& function, std::size_t from) const {
  std::size_t n = 0;
  for (std::size_t i = from; i < entries_.size(); ++i) n += entries_[i].function == function ? 1 : 0;
  return n;
}

bool CallTrace::Contains(const std::string& text) const { return Find(text) != npos; }

std::size_t CallTrace::Find(const std::string& text, std::size_t from) const {
  for (std::size_t i = from; i < entries_.size(); ++i) {
    if (entries_[i].Text() == text) return i;
  }
  return npos;
}

std::string CallTrace::Dump(std::size_t from) const {
  std::string out;
  for (std::size_t i = from; i < entries_.size(); ++i) {
    const TraceEntry& e = entries_[i];
    out += "  [" + std::to_string(i) + "] cmd#" + std::to_string(e.command) + " " + e.Text();
    if (e.result != 0) out += " -> " + std::to_string(e.result) + (e.failed_by_fault ? " (fault)" : "");
    out += "\n";
  }
  return out;
}

}  // namespace zelvan::testhost
