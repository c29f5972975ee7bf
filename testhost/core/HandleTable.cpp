#include "HandleTable.h"

#include <algorithm>
#include <cstring>

#if defined(__SANITIZE_ADDRESS__)
#define ZELVAN_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ZELVAN_ASAN 1
#endif
#endif
#ifdef ZELVAN_ASAN
#include <sanitizer/asan_interface.h>
#endif

namespace zelvan::testhost {
namespace {

constexpr unsigned char kMovedFromByte = 0xDD;

void Poison(unsigned char* p, A_HandleSize size) {
  std::memset(p, kMovedFromByte, size);
#ifdef ZELVAN_ASAN
  ASAN_POISON_MEMORY_REGION(p, size);
#endif
}

void Unpoison(unsigned char* p, A_HandleSize size) {
#ifdef ZELVAN_ASAN
  ASAN_UNPOISON_MEMORY_REGION(p, size);
#else
  (void)p;
  (void)size;
#endif
}

}  // namespace

HandleTable::~HandleTable() {
  for (auto& [key, r] : records_) {
    for (auto& block : r->moved_from) Unpoison(block.get(), r->size);
  }
}

PF_Handle HandleTable::New(A_HandleSize size) {
  auto record = std::make_unique<Record>();
  record->serial = next_serial_;
  record->size = size;
  // Exactly the size asked for, zeroed, so the sanitizer sees any overrun.
  record->bytes.reset(new unsigned char[size]());
  record->master = record->bytes.get();
  PF_Handle handle = &record->master;
  const int serial = record->serial;
  live_records_[serial] = record.get();
  try {
    records_[handle] = std::move(record);
  } catch (...) {
    live_records_.erase(serial);
    throw;
  }
  ++next_serial_;
  return handle;
}

const HandleTable::Record* HandleTable::Known(PF_Handle handle) const {
  auto it = records_.find(handle);
  return it == records_.end() ? nullptr : it->second.get();
}

HandleTable::Record* HandleTable::Find(PF_Handle handle) {
  auto it = records_.find(handle);
  return it == records_.end() || !it->second->live ? nullptr : it->second.get();
}

const HandleTable::Record* HandleTable::Find(PF_Handle handle) const {
  const Record* r = Known(handle);
  return r != nullptr && r->live ? r : nullptr;
}

// Moving is the host's own strictness: without memory for a new block the
// block stays where it is.
void HandleTable::Move(Record& r) noexcept {
  std::unique_ptr<unsigned char[]> bytes;
  try {
    bytes.reset(new unsigned char[r.size]);
    r.moved_from.reserve(r.moved_from.size() + 1);
  } catch (...) {
    return;
  }
  std::memcpy(bytes.get(), r.bytes.get(), r.size);
  Poison(r.bytes.get(), r.size);
  r.moved_from.push_back(std::move(r.bytes));
  r.bytes = std::move(bytes);
  r.master = r.bytes.get();
}

void* HandleTable::Lock(Record& r) {
  if (r.lock_depth == 0) Move(r);
  ++r.lock_depth;
  return r.bytes.get();
}

bool HandleTable::Unlock(Record& r) {
  if (r.lock_depth == 0) return false;
  if (r.lock_depth == 1) Move(r);
  --r.lock_depth;
  if (r.lock_depth == 0) r.lock_reported = false;
  return true;
}

bool HandleTable::Dispose(PF_Handle handle) {
  Record* r = Find(handle);
  if (r == nullptr) return false;
  stale_writes_.reserve(stale_writes_.size() + r->moved_from.size());
  CheckMovedFrom(*r, stale_writes_);
  for (auto& block : r->moved_from) Unpoison(block.get(), r->size);
  r->moved_from.clear();
  r->bytes.reset();
  r->master = nullptr;
  r->live = false;
  r->lock_depth = 0;
  live_records_.erase(r->serial);
  ++disposed_;
  return true;
}

bool HandleTable::Resize(PF_Handle handle, A_HandleSize size) {
  Record* r = Find(handle);
  if (r == nullptr) return false;
  std::unique_ptr<unsigned char[]> bytes(new unsigned char[size]());
  std::memcpy(bytes.get(), r->bytes.get(), std::min(size, r->size));
  // Blocks moved from keep their old size: check and drop them now.
  stale_writes_.reserve(stale_writes_.size() + r->moved_from.size());
  CheckMovedFrom(*r, stale_writes_);
  for (auto& block : r->moved_from) Unpoison(block.get(), r->size);
  r->moved_from.clear();
  r->bytes = std::move(bytes);
  r->size = size;
  r->master = r->bytes.get();
  return true;
}

void HandleTable::CheckMovedFrom(const Record& r, std::vector<std::string>& out) const {
#ifdef ZELVAN_ASAN
  // Poisoned: any access through a stale pointer has stopped the process already.
  (void)r;
  (void)out;
#else
  for (const auto& block : r.moved_from) {
    const unsigned char* p = block.get();
    if (std::any_of(p, p + r.size, [](unsigned char b) { return b != kMovedFromByte; })) {
      out.push_back("handle #" + std::to_string(r.serial) +
                    ": a block it moved from was written through a pointer kept across an unlock");
    }
  }
#endif
}

std::vector<std::string> HandleTable::StaleWrites() const {
  std::vector<std::string> out = stale_writes_;
  for (const auto& [serial, r] : live_records_) CheckMovedFrom(*r, out);
  return out;
}

std::vector<PF_Handle> HandleTable::Live() const {
  std::vector<PF_Handle> out;
  out.reserve(live_records_.size());
  for (const auto& [serial, record] : live_records_) out.push_back(&record->master);
  return out;
}

std::vector<std::string> HandleTable::Leaks() const {
  std::vector<std::string> out;
  for (PF_Handle h : Live()) {
    const Record* r = Find(h);
    std::string line = "handle #" + std::to_string(r->serial) + " (" + std::to_string(r->size) + " bytes) never disposed";
    if (r->lock_depth > 0) line += ", still locked (depth " + std::to_string(r->lock_depth) + ")";
    out.push_back(line);
  }
  return out;
}

}  // namespace zelvan::testhost
