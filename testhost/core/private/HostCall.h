// How the host serves each function it hands to the plug-in: find the
// serving host, trace the call, screen it (its context, then faults), run
// its body, and keep every failure inside.
#pragma once

#include <cstddef>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>

#include "CurrentHost.h"
#include "HostCore.h"
#include "ServedFunctions.h"

namespace zelvan::testhost {

// Keeps a new AEGP object under its key and opens its entry in the ledger;
// when either fails, neither stays. Returns the object kept.
template <class Object>
Object* OpenObject(HostCore& h, LiveObjects::ByAddress<Object>& objects, const void* key,
                   std::unique_ptr<Object> object, Resource kind, const std::string& what) {
  Object* kept = object.get();
  objects[key] = std::move(object);
  try {
    kept->serial = h.accounts().Open(kind, what, h.command());
  } catch (...) {
    objects.erase(key);
    throw;
  }
  return kept;
}

// Takes a live AEGP object back: closes its entry in the ledger and forgets
// it. An address that is not live records the violation and answers 516.
// (The text is built only then: giving an object back allocates nothing.)
template <class Object>
A_Err CloseObject(HostCore& h, LiveObjects::ByAddress<Object>& objects, const void* key, Resource kind,
                  const char* violation) {
  auto it = objects.find(key);
  if (it == objects.end()) {
    h.accounts().Violation(violation);
    return PF_Err_BAD_CALLBACK_PARAM;
  }
  h.accounts().Close(kind, it->second->serial);
  objects.erase(it);
  return 0;
}

// Runs one host function for the plug-in: finds the serving host, traces the
// call, applies faults, then runs body(core) for the code. Function is the
// name the call is traced, ruled and faulted by: a constant character array
// of the calling file, given as a template argument so that the name is
// registered as served (ServedFunctions.h). Nothing that fails
// inside, the formatting of the traced arguments included, crosses into the
// plug-in's frames: an exception becomes the code a host gives for a failure
// of its own (4 for memory, 512 otherwise) and is recorded. args() formats the
// traced arguments (args(core) when it needs the host); it runs inside the
// guard, so call sites pass a lambda.
void CountOrphanCall() noexcept;

// The observer of the host serving this thread; null for none.
inline HostObserver* CurrentObserver() noexcept {
  const HostCore* core = CurrentCore();
  return core != nullptr ? core->observer() : nullptr;
}

// args() or args(core) gives the traced arguments.
template <class Args>
std::size_t TraceCall(HostCore& core, const char* function, const Args& args) {
  if constexpr (std::is_invocable_r_v<std::string, const Args&, const HostCore&>) {
    return core.trace().Add(core.command(), function, args(core));
  } else {
    static_assert(std::is_invocable_r_v<std::string, const Args&>,
                  "pass the traced arguments as a lambda, so that formatting them is guarded too");
    return core.trace().Add(core.command(), function, args());
  }
}

// What answers a traced call instead of its body: the call's context first,
// then a fault set for it; the answer is already the traced result (a fault
// of a call that answers with a pointer is traced as 0: it has no code).
std::optional<A_Err> Screened(HostCore& core, const char* function, std::size_t entry, bool answers_pointer);

template <const char* Function, class Args, class Body>
A_Err HostCall(const Args& args, const Body& body) noexcept {
  const char* const function = ServedFunction<Function>::Name();
  HostCore* core = CurrentCore();
  if (core == nullptr) {
    CountOrphanCall();
    return PF_Err_INVALID_CALLBACK;
  }
  std::optional<std::size_t> entry;
  try {
    entry = TraceCall(*core, function, args);
    if (const auto answer = Screened(*core, function, *entry, false)) return *answer;
    const A_Err err = body(*core);
    core->trace().SetResult(*entry, err, false);
    return err;
  } catch (...) {
    const A_Err code = core->CallbackFailed(function, std::current_exception());
    if (entry) core->trace().SetResult(*entry, code, false);
    return code;
  }
}

// For calls that give something back (disposals, check-ins, releases): the
// object is always given back, and a fault, or a failure of the host's own
// bookkeeping, only changes the code returned, so a failing clean-up call
// leaves the accounts balanced.
template <const char* Function, class Args, class Body>
A_Err HostRelease(const Args& args, const Body& body) noexcept {
  const char* const function = ServedFunction<Function>::Name();
  HostCore* core = CurrentCore();
  if (core == nullptr) {
    CountOrphanCall();
    return PF_Err_INVALID_CALLBACK;
  }
  std::optional<std::size_t> entry;
  std::optional<A_Err> fault;
  A_Err own_failure = 0;
  try {
    entry = TraceCall(*core, function, args);
    if (const auto refused = core->Refusal(function)) own_failure = *refused;
    fault = core->faults().OnCall(function, core->trace().entries()[*entry].args);
  } catch (...) {
    own_failure = core->CallbackFailed(function, std::current_exception());
  }
  A_Err err = 0;
  try {
    err = body(*core);
  } catch (...) {
    err = core->CallbackFailed(function, std::current_exception());
  }
  const A_Err result = fault ? *fault : own_failure != 0 ? own_failure : err;
  if (entry) core->trace().SetResult(*entry, result, fault.has_value());
  return result;
}

// The same for host functions that answer with a pointer: a fault, or a
// failure of the host's own, gives null.
template <const char* Function, class T, class Args, class Body>
T* HostCallPtr(const Args& args, const Body& body) noexcept {
  const char* const function = ServedFunction<Function>::Name();
  HostCore* core = CurrentCore();
  if (core == nullptr) {
    CountOrphanCall();
    return nullptr;
  }
  std::optional<std::size_t> entry;
  try {
    entry = TraceCall(*core, function, args);
    if (Screened(*core, function, *entry, true)) return nullptr;
    return body(*core);
  } catch (...) {
    const A_Err code = core->CallbackFailed(function, std::current_exception());
    if (entry) core->trace().SetResult(*entry, code, false);
    return nullptr;
  }
}

}  // namespace zelvan::testhost
