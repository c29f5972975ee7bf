// Failures the host produces on demand, so that every failure path of the
// plug-in can be driven.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "A.h"

namespace zelvan::testhost {

class Faults {
 public:
  // in_data->pica_basicP is null for the following commands.
  void NullBasicSuite(bool on = true) { null_basic_suite_ = on; }
  bool null_basic_suite() const { return null_basic_suite_; }

  // AcquireSuite of that name and version returns code. nth counts the
  // acquisitions of that suite from now on, 1-based; 0 means every one.
  void RefuseSuite(const std::string& name, A_long version, A_Err code, int nth = 0);
  // AcquireSuite of that name and version returns 0 but leaves the pointer null.
  void NullSuite(const std::string& name, A_long version, int nth = 0);

  // The nth call (1-based, counted from now) of the host function of that
  // name returns code; nth 0 fails every call. With args_contain, only calls
  // whose traced arguments contain that text are counted and failed (e.g.
  // "index=7"). Functions that return a pointer (host_new_handle,
  // host_lock_handle) return null instead of a code.
  void FailCall(const std::string& function, int nth, A_Err code, const std::string& args_contain = "");
  void FailNewHandle(int nth = 1) { FailCall("host_new_handle", nth, 0); }
  void FailLockHandle(int nth = 1) { FailCall("host_lock_handle", nth, 0); }

  void Clear();

  // Used by the host on each call: counts it and says whether it must fail.
  std::optional<A_Err> OnCall(const std::string& function, const std::string& args);
  struct SuiteAnswer {
    A_Err code = 0;
    bool null_pointer = false;
    bool faulted = false;
  };
  SuiteAnswer OnAcquire(const std::string& name, A_long version);

 private:
  struct CallFault {
    std::string function;
    std::string args_contain;
    int nth;
    A_Err code;
    int seen = 0;
  };
  struct SuiteFault {
    std::string name;
    A_long version;
    int nth;
    A_Err code;
    bool null_pointer;
    int seen = 0;
  };
  bool null_basic_suite_ = false;
  std::vector<CallFault> calls_;
  std::vector<SuiteFault> suites_;
};

}  // namespace zelvan::testhost
