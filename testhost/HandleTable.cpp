#include "HandleTable.h"

#include <algorithm>
#include <cstring>

namespace zelvan::testhost {

PF_Handle HandleTable::New(A_HandleSize size) {
  auto record = std::make_unique<Record>();
  record->serial = next_serial_++;
  record->size = size;
  // Exactly the size asked for, zeroed, so the sanitizer sees any overrun.
  record->bytes.reset(new unsigned char[size]());
  record->master = record->bytes.get();
  PF_Handle handle = &record->master;
  records_[handle] = std::move(record);
  return handle;
}

HandleTable::Record* HandleTable::Find(PF_Handle handle) {
  auto it = records_.find(handle);
  return it == records_.end() ? nullptr : it->second.get();
}

const HandleTable::Record* HandleTable::Find(PF_Handle handle) const {
  auto it = records_.find(handle);
  return it == records_.end() ? nullptr : it->second.get();
}

bool HandleTable::Dispose(PF_Handle handle) {
  auto it = records_.find(handle);
  if (it == records_.end()) return false;
  records_.erase(it);
  ++disposed_;
  return true;
}

bool HandleTable::Resize(PF_Handle handle, A_HandleSize size) {
  Record* r = Find(handle);
  if (r == nullptr) return false;
  std::unique_ptr<unsigned char[]> bytes(new unsigned char[size]());
  std::memcpy(bytes.get(), r->bytes.get(), std::min(size, r->size));
  r->bytes = std::move(bytes);
  r->size = size;
  r->master = r->bytes.get();
  return true;
}

std::vector<PF_Handle> HandleTable::Live() const {
  std::vector<std::pair<int, PF_Handle>> by_serial;
  for (const auto& [key, record] : records_) by_serial.emplace_back(record->serial, &record->master);
  std::sort(by_serial.begin(), by_serial.end(),
            [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<PF_Handle> out;
  for (const auto& entry : by_serial) out.push_back(entry.second);
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
