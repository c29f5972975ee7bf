// The host's ledger of everything it hands out: suites, handles, effect
// references, streams, stream values, parameter checkouts and layer pixel
// checkouts. Imbalance() names exactly what was not given back, and every
// misuse (a release without an acquisition, a foreign handle) seen on the way.
#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "HandleTable.h"

namespace zelvan::testhost {

// Objects that belong to one command invocation and must be given back
// before that command returns.
enum class Resource { EffectRef, Stream, StreamValue, ParamCheckout, LayerPixels };
const char* ResourceName(Resource kind);

class Accounts {
 public:
  struct SuiteCount {
    int acquired = 0;
    int released = 0;
  };

  // Suites, per name and version.
  void SuiteAcquired(const std::string& name, A_long version);
  // Records a violation when the suite is not held.
  void SuiteReleased(const std::string& name, A_long version);
  SuiteCount Suite(const std::string& name, A_long version) const;
  int SuitesHeld() const;
  const std::map<std::pair<std::string, A_long>, SuiteCount>& suites() const { return suites_; }

  HandleTable& handles() { return handles_; }
  const HandleTable& handles() const { return handles_; }

  // Per-command objects: Open returns the object's serial (1-based, per kind).
  int Open(Resource kind, const std::string& what, int command);
  // False (and a violation) when the object is not open.
  bool Close(Resource kind, int serial);
  int OpenCount(Resource kind) const;
  int Opened(Resource kind) const;
  int Closed(Resource kind) const;

  // Called when a command returns: anything of it still open is reported
  // once as held past its command.
  void CommandEnded(int command, const std::string& command_name);
  // A lock taken by the plug-in is undone before it returns to the host (the
  // host may move the block then): a violation, named once, for each handle
  // still locked.
  void LocksMustBeUndone(const std::string& when);

  void Violation(const std::string& text) { violations_.push_back(text); }
  const std::vector<std::string>& violations() const { return violations_; }

  // Empty when balanced; otherwise one line per finding.
  std::string Imbalance() const;
  std::vector<std::string> Findings() const;

 private:
  struct Open_ {
    std::string what;
    int command;
    bool reported;
  };
  struct Ledger {
    std::map<int, Open_> open;
    int opened = 0;
    int closed = 0;
  };
  const Ledger* Find(Resource kind) const;

  std::map<std::pair<std::string, A_long>, SuiteCount> suites_;
  HandleTable handles_;
  std::map<Resource, Ledger> ledgers_;
  std::vector<std::string> late_;  // objects held past their command
  std::vector<std::string> violations_;
};

}  // namespace zelvan::testhost
