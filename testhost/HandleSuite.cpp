// "PF Handle Suite" 2: the host's memory handles, each accounted.
#include "HostCore.h"
#include "Suites.h"

namespace zelvan::testhost {

std::string HandleLabel(const HostCore& core, PF_Handle handle) {
  if (handle == nullptr) return "null";
  const HandleTable::Record* r = core.accounts.handles().Find(handle);
  return r == nullptr ? "?" : "#" + std::to_string(r->serial);
}

namespace {

PF_Handle NewHandle(A_HandleSize size) {
  return HostCallPtr<void*>("host_new_handle", "size=" + std::to_string(size),
                            [&](HostCore& h) { return h.accounts.handles().New(size); });
}

void* LockHandle(PF_Handle handle) {
  HostCore* core = CurrentCore();
  const std::string label = core != nullptr ? HandleLabel(*core, handle) : "?";
  return HostCallPtr<void>("host_lock_handle", label, [&](HostCore& h) -> void* {
    HandleTable::Record* r = h.accounts.handles().Find(handle);
    if (r == nullptr) {
      h.accounts.Violation("host_lock_handle of a handle that is not live (" + label + ")");
      return nullptr;
    }
    ++r->lock_depth;
    return r->bytes.get();
  });
}

void UnlockHandle(PF_Handle handle) {
  HostCore* core = CurrentCore();
  const std::string label = core != nullptr ? HandleLabel(*core, handle) : "?";
  (void)HostRelease("host_unlock_handle", label, [&](HostCore& h) -> A_Err {
    HandleTable::Record* r = h.accounts.handles().Find(handle);
    if (r == nullptr) {
      h.accounts.Violation("host_unlock_handle of a handle that is not live (" + label + ")");
    } else if (r->lock_depth == 0) {
      h.accounts.Violation("host_unlock_handle of handle " + label + " that is not locked");
    } else {
      --r->lock_depth;
    }
    return 0;
  });
}

void DisposeHandle(PF_Handle handle) {
  HostCore* core = CurrentCore();
  const std::string label = core != nullptr ? HandleLabel(*core, handle) : "?";
  (void)HostRelease("host_dispose_handle", label, [&](HostCore& h) -> A_Err {
    // Disposing a locked handle is allowed; the lock goes with it.
    if (!h.accounts.handles().Dispose(handle)) {
      h.accounts.Violation("host_dispose_handle of a handle that is not live (" + label + ")");
    }
    return 0;
  });
}

A_HandleSize GetHandleSize(PF_Handle handle) {
  A_HandleSize size = 0;
  HostCore* core = CurrentCore();
  const std::string label = core != nullptr ? HandleLabel(*core, handle) : "?";
  (void)HostCall("host_get_handle_size", label, [&](HostCore& h) -> A_Err {
    const HandleTable::Record* r = h.accounts.handles().Find(handle);
    if (r == nullptr) {
      h.accounts.Violation("host_get_handle_size of a handle that is not live (" + label + ")");
    } else {
      size = r->size;
    }
    return 0;
  });
  return size;
}

PF_Err ResizeHandle(A_HandleSize new_size, PF_Handle* handle) {
  HostCore* core = CurrentCore();
  const std::string label = core != nullptr && handle != nullptr ? HandleLabel(*core, *handle) : "?";
  return HostCall("host_resize_handle", label + " size=" + std::to_string(new_size), [&](HostCore& h) -> A_Err {
    if (handle == nullptr || !h.accounts.handles().Resize(*handle, new_size)) {
      h.accounts.Violation("host_resize_handle of a handle that is not live (" + label + ")");
      return PF_Err_BAD_CALLBACK_PARAM;
    }
    return 0;
  });
}

}  // namespace

const PF_HandleSuite2 kHandleSuite2 = [] {
  PF_HandleSuite2 s{};
  s.host_new_handle = NewHandle;
  s.host_lock_handle = LockHandle;
  s.host_unlock_handle = UnlockHandle;
  s.host_dispose_handle = DisposeHandle;
  s.host_get_handle_size = GetHandleSize;
  s.host_resize_handle = ResizeHandle;
  return s;
}();

}  // namespace zelvan::testhost
