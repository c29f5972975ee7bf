// The host's memory handles: numbered blocks with a lock depth. A PF_Handle
// points at the block's master pointer, as the plug-in interface expects.
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
    std::unique_ptr<unsigned char[]> bytes;
    void* master = nullptr;  // what the PF_Handle points at
  };

  PF_Handle New(A_HandleSize size);
  // Null when the handle is not one of ours (or already disposed).
  Record* Find(PF_Handle handle);
  const Record* Find(PF_Handle handle) const;
  // Frees the block; false for a handle that is not live.
  bool Dispose(PF_Handle handle);
  bool Resize(PF_Handle handle, A_HandleSize size);

  std::size_t live() const { return records_.size(); }
  int created() const { return next_serial_ - 1; }
  int disposed() const { return disposed_; }
  // "handle #3 (4 bytes) never disposed", one per live handle.
  std::vector<std::string> Leaks() const;
  // The live handles, oldest first.
  std::vector<PF_Handle> Live() const;

 private:
  // Keyed by the master pointer's address, which is what PF_Handle holds.
  std::map<const void* const*, std::unique_ptr<Record>> records_;
  int next_serial_ = 1;
  int disposed_ = 0;
};

}  // namespace zelvan::testhost
