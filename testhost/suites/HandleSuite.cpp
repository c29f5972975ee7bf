// "PF Handle Suite" 2: the host's memory handles, each accounted.
#include "HostCall.h"
#include "Suites.h"

namespace zelvan::testhost {
namespace {

// The names the host serves these functions by (see ServedFunctions.h).
constexpr char kNewHandle[] = "host_new_handle";
constexpr char kLockHandle[] = "host_lock_handle";
constexpr char kUnlockHandle[] = "host_unlock_handle";
constexpr char kDisposeHandle[] = "host_dispose_handle";
constexpr char kGetHandleSize[] = "host_get_handle_size";
constexpr char kResizeHandle[] = "host_resize_handle";

// "#3" for a live handle, "#3 (disposed)" for one disposed, "?" for one the
// host never handed out.
std::string HandleLabel(const HostCore& core, PF_Handle handle) {
  if (handle == nullptr) return "null";
  const HandleTable::Record* r = core.accounts().handles().Known(handle);
  if (r == nullptr) return "?";
  return "#" + std::to_string(r->serial) + (r->live ? "" : " (disposed)");
}

PF_Handle NewHandle(A_HandleSize size) noexcept {
  return HostCallPtr<kNewHandle, void*>(
      [&] { return "size=" + std::to_string(size); },
      [&](HostCore& h) { return h.accounts().handles().New(size); });
}

void* LockHandle(PF_Handle handle) noexcept {
  return HostCallPtr<kLockHandle, void>(
      [&](const HostCore& h) { return HandleLabel(h, handle); },
      [&](HostCore& h) -> void* {
        HandleTable::Record* r = h.accounts().handles().Find(handle);
        if (r == nullptr) {
          h.accounts().Violation("host_lock_handle of a handle that is not live (" + HandleLabel(h, handle) + ")");
          return nullptr;
        }
        return h.accounts().handles().Lock(*r);
      });
}

void UnlockHandle(PF_Handle handle) noexcept {
  (void)HostRelease<kUnlockHandle>(
      [&](const HostCore& h) { return HandleLabel(h, handle); },
      [&](HostCore& h) -> A_Err {
        HandleTable::Record* r = h.accounts().handles().Find(handle);
        if (r == nullptr) {
          h.accounts().Violation("host_unlock_handle of a handle that is not live (" + HandleLabel(h, handle) + ")");
        } else if (!h.accounts().handles().Unlock(*r)) {
          h.accounts().Violation("host_unlock_handle of handle " + HandleLabel(h, handle) + " that is not locked");
        }
        return 0;
      });
}

void DisposeHandle(PF_Handle handle) noexcept {
  (void)HostRelease<kDisposeHandle>(
      [&](const HostCore& h) { return HandleLabel(h, handle); },
      [&](HostCore& h) -> A_Err {
        const std::string label = HandleLabel(h, handle);
        const HandleTable::Record* r = h.accounts().handles().Find(handle);
        if (r != nullptr && r->lock_depth > 0) {
          // Disposed all the same, so that only the misuse is reported.
          h.accounts().Violation("host_dispose_handle of handle " + label + " while it is locked (depth " +
                               std::to_string(r->lock_depth) + ")");
        }
        if (!h.accounts().handles().Dispose(handle)) {
          h.accounts().Violation("host_dispose_handle of a handle that is not live (" + label + ")");
        }
        return 0;
      });
}

A_HandleSize GetHandleSize(PF_Handle handle) noexcept {
  A_HandleSize size = 0;
  (void)HostCall<kGetHandleSize>(
      [&](const HostCore& h) { return HandleLabel(h, handle); },
      [&](HostCore& h) -> A_Err {
        const HandleTable::Record* r = h.accounts().handles().Find(handle);
        if (r == nullptr) {
          h.accounts().Violation("host_get_handle_size of a handle that is not live (" + HandleLabel(h, handle) + ")");
        } else {
          size = r->size;
        }
        return 0;
      });
  return size;
}

PF_Err ResizeHandle(A_HandleSize new_size, PF_Handle* handle) noexcept {
  auto label = [&](const HostCore& h) { return handle != nullptr ? HandleLabel(h, *handle) : std::string("?"); };
  return HostCall<kResizeHandle>(
      [&](const HostCore& h) { return label(h) + " size=" + std::to_string(new_size); },
      [&](HostCore& h) -> A_Err {
        if (handle == nullptr || !h.accounts().handles().Resize(*handle, new_size)) {
          h.accounts().Violation("host_resize_handle of a handle that is not live (" + label(h) + ")");
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
