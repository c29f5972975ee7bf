#include "Accounts.h"

namespace zelvan::testhost {

const char* ResourceName(Resource kind) {
  switch (kind) {
    case Resource::EffectRef:
      return "effect reference";
    case Resource::Stream:
      return "stream";
    case Resource::StreamValue:
      return "stream value";
    case Resource::ParamCheckout:
      return "parameter checkout";
    case Resource::LayerPixels:
      return "layer pixel checkout";
  }
  return "object";
}

void Accounts::SuiteAcquired(const std::string& name, A_long version) { ++suites_[{name, version}].acquired; }

void Accounts::SuiteReleased(const std::string& name, A_long version) {
  SuiteCount& c = suites_[{name, version}];
  if (c.released >= c.acquired) {
    Violation("ReleaseSuite '" + name + "' " + std::to_string(version) + " without a matching acquisition");
  }
  ++c.released;
}

Accounts::SuiteCount Accounts::Suite(const std::string& name, A_long version) const {
  auto it = suites_.find({name, version});
  return it == suites_.end() ? SuiteCount{} : it->second;
}

int Accounts::SuitesHeld() const {
  int held = 0;
  for (const auto& [key, c] : suites_) held += c.acquired > c.released ? c.acquired - c.released : 0;
  return held;
}

int Accounts::Open(Resource kind, const std::string& what, int command) {
  Ledger& l = ledgers_[kind];
  const int serial = ++l.opened;
  l.open[serial] = Open_{what, command, false};
  return serial;
}

bool Accounts::Close(Resource kind, int serial) {
  Ledger& l = ledgers_[kind];
  auto it = l.open.find(serial);
  if (it == l.open.end()) {
    Violation(std::string(ResourceName(kind)) + " #" + std::to_string(serial) + " given back twice or never handed out");
    return false;
  }
  l.open.erase(it);
  ++l.closed;
  return true;
}

const Accounts::Ledger* Accounts::Find(Resource kind) const {
  auto it = ledgers_.find(kind);
  return it == ledgers_.end() ? nullptr : &it->second;
}

int Accounts::OpenCount(Resource kind) const {
  const Ledger* l = Find(kind);
  return l == nullptr ? 0 : int(l->open.size());
}
int Accounts::Opened(Resource kind) const {
  const Ledger* l = Find(kind);
  return l == nullptr ? 0 : l->opened;
}
int Accounts::Closed(Resource kind) const {
  const Ledger* l = Find(kind);
  return l == nullptr ? 0 : l->closed;
}

void Accounts::LocksMustBeUndone(const std::string& when) {
  for (PF_Handle handle : handles_.Live()) {
    HandleTable::Record* r = handles_.Find(handle);
    if (r->lock_depth == 0 || r->lock_reported) continue;
    r->lock_reported = true;
    Violation("handle #" + std::to_string(r->serial) + " still locked (depth " + std::to_string(r->lock_depth) +
              ") " + when);
  }
}

void Accounts::CommandEnded(int command, const std::string& command_name) {
  LocksMustBeUndone("when command " + command_name + " returned");
  for (auto& [kind, ledger] : ledgers_) {
    for (auto& [serial, o] : ledger.open) {
      if (o.command != command || o.reported) continue;
      o.reported = true;
      late_.push_back(std::string(ResourceName(kind)) + " #" + std::to_string(serial) + " (" + o.what +
                      ") still held when command " + command_name + " returned");
    }
  }
}

std::vector<std::string> Accounts::Findings() const {
  std::vector<std::string> out;
  for (const auto& [key, c] : suites_) {
    if (c.acquired != c.released) {
      out.push_back("suite '" + key.first + "' " + std::to_string(key.second) + " acquired " +
                    std::to_string(c.acquired) + " time(s), released " + std::to_string(c.released));
    }
  }
  for (const std::string& leak : handles_.Leaks()) out.push_back(leak);
  for (const std::string& write : handles_.StaleWrites()) out.push_back(write);
  out.insert(out.end(), late_.begin(), late_.end());
  for (const auto& [kind, ledger] : ledgers_) {
    for (const auto& [serial, o] : ledger.open) {
      if (o.reported) continue;  // already named as held past its command
      out.push_back(std::string(ResourceName(kind)) + " #" + std::to_string(serial) + " (" + o.what +
                    ") never given back");
    }
  }
  out.insert(out.end(), violations_.begin(), violations_.end());
  return out;
}

std::string Accounts::Imbalance() const {
  std::string text;
  for (const std::string& line : Findings()) {
    if (!text.empty()) text += "\n";
    text += line;
  }
  return text;
}

}  // namespace zelvan::testhost
