// The ordered list of host calls the plug-in made, with their key arguments,
// e.g. "AcquireSuite PF Handle Suite 2" or
// "AEGP_SetDynamicStreamFlag index=9 flag=2 undoable=0 set=1".
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "A.h"

namespace zelvan::testhost {

struct TraceEntry {
  int command = 0;        // serial of the command it ran in; 0 outside any command
  std::string function;   // the host function's name, as faults name it
  std::string args;       // key arguments, "name=value" separated by blanks
  A_Err result = 0;       // the code the host returned (0 for calls without one)
  bool failed_by_fault = false;

  std::string Text() const { return args.empty() ? function : function + " " + args; }
};

class CallTrace {
 public:
  std::size_t Add(int command, std::string function, std::string args);
  void SetResult(std::size_t index, A_Err result, bool by_fault) noexcept;

  const std::vector<TraceEntry>& entries() const { return entries_; }
  std::size_t size() const { return entries_.size(); }
  void Clear() { entries_.clear(); }

  // Texts of every entry, or of those from a mark (an earlier size()) on.
  std::vector<std::string> Lines(std::size_t from = 0) const;
  // Texts of the entries of one function, in order.
  std::vector<std::string> LinesOf(const std::string& function, std::size_t from = 0) const;
  // Texts of the entries made while one command ran.
  std::vector<std::string> LinesOfCommand(int command) const;
  std::size_t Count(const std::string& function, std::size_t from = 0) const;
  bool Contains(const std::string& text) const;
  // Position of the first entry with that text at or after from; npos if none.
  std::size_t Find(const std::string& text, std::size_t from = 0) const;
  // Every line, one per row, for failure messages.
  std::string Dump(std::size_t from = 0) const;

  static constexpr std::size_t npos = static_cast<std::size_t>(-1);

 private:
  std::vector<TraceEntry> entries_;
};

}  // namespace zelvan::testhost
