#include "Faults.h"

namespace zelvan::testhost {

void Faults::RefuseSuite(const std::string& name, A_long version, A_Err code, int nth) {
  suites_.push_back(SuiteFault{name, version, nth, code, false});
}

void Faults::NullSuite(const std::string& name, A_long version, int nth) {
  suites_.push_back(SuiteFault{name, version, nth, 0, true});
}

void Faults::FailCall(const std::string& function, int nth, A_Err code, const std::string& args_contain) {
  calls_.push_back(CallFault{function, args_contain, nth, code});
}

void Faults::Clear() {
  null_basic_suite_ = false;
  calls_.clear();
  suites_.clear();
}

std::optional<A_Err> Faults::OnCall(const std::string& function, const std::string& args) {
  std::optional<A_Err> result;
  // Every matching fault counts the call, whichever of them fires.
  for (CallFault& f : calls_) {
    if (f.function != function) continue;
    if (!f.args_contain.empty() && args.find(f.args_contain) == std::string::npos) continue;
    ++f.seen;
    if (!result && (f.nth == 0 || f.seen == f.nth)) result = f.code;
  }
  return result;
}

Faults::SuiteAnswer Faults::OnAcquire(const std::string& name, A_long version) {
  SuiteAnswer answer;
  for (SuiteFault& f : suites_) {
    if (f.name != name || f.version != version) continue;
    ++f.seen;
    if (!answer.faulted && (f.nth == 0 || f.seen == f.nth)) {
      answer.faulted = true;
      answer.code = f.code;
      answer.null_pointer = f.null_pointer;
    }
  }
  return answer;
}

}  // namespace zelvan::testhost
