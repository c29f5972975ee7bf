// The host's memory handles: numbered blocks with a lock depth. A PF_Handle
// points at the block's master pointer, as the plug-in interface expects.
//
// As a host may, this one moves a block whenever its lock depth goes from 0
// to 1 or back to 0: a new block, the bytes copied, the master pointer
// updated. Reading through *handle stays valid; a pointer kept across an
// unlock does not. The blocks moved from are kept poisoned until the handle
// is disposed: under the address sanitizer any access through such a pointer
// stops the process, elsewhere a write into one is reported.
//
// A disposed handle stays known (its master pointer is never reused), so a
// use after disposal is told from a pointer that was never a handle.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "AE_Effect.h"

namespace zelvan::testhost {

class HandleTable {
 public:
  struct Record {
    int serial = 0;
    A_HandleSize size = 0;
    int lock_depth = 0;
    bool live = true;
    bool lock_reported = false;  // a lock left at a command's end was named already
    std::unique_ptr<unsigned char[]> bytes;
    void* master = nullptr;  // what the PF_Handle points at
    std::vector<std::unique_ptr<unsigned char[]>> moved_from;  // poisoned, size bytes each
  };

  HandleTable() = default;
  ~HandleTable();
  HandleTable(const HandleTable&) = delete;
  HandleTable& operator=(const HandleTable&) = delete;

  PF_Handle New(A_HandleSize size);
  // Null when the handle is not one of ours or was disposed.
  Record* Find(PF_Handle handle);
  const Record* Find(PF_Handle handle) const;
  // A live or disposed handle of ours; null for anything else.
  const Record* Known(PF_Handle handle) const;

  // The block's address; the block moves when the handle was unlocked.
  void* Lock(Record& r);
  // False when the handle was not locked; the block moves when the last lock goes.
  bool Unlock(Record& r);
  // Frees the block; false for a handle that is not live.
  bool Dispose(PF_Handle handle);
  bool Resize(PF_Handle handle, A_HandleSize size);

  std::size_t live() const { return live_records_.size(); }
  int created() const { return next_serial_ - 1; }
  int disposed() const { return disposed_; }
  // "handle #3 (4 bytes) never disposed", one per live handle.
  std::vector<std::string> Leaks() const;
  // Writes found in blocks a handle had moved from: through a pointer kept
  // across an unlock.
  std::vector<std::string> StaleWrites() const;
  // The live handles, oldest first.
  std::vector<PF_Handle> Live() const;

 private:
  void Move(Record& r) noexcept;
  void CheckMovedFrom(const Record& r, std::vector<std::string>& out) const;

  // Keyed by the master pointer's address, which is what PF_Handle holds.
  std::map<const void* const*, std::unique_ptr<Record>> records_;
  // The live ones by serial: a long session disposes of a handle per frame,
  // and the checks at each command's end look only at the live ones.
  std::map<int, Record*> live_records_;
  std::vector<std::string> stale_writes_;  // found when their handle was disposed
  int next_serial_ = 1;
  int disposed_ = 0;
};

}  // namespace zelvan::testhost
