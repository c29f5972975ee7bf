#include "PropertyList.h"

#include <cstdio>

namespace zelvan::testhost {
namespace {

class Reader {
 public:
  explicit Reader(const std::vector<uint8_t>& bytes) : bytes_(bytes) {}

  uint32_t U16() { return Int(2); }
  uint32_t U32() { return Int(4); }
  std::vector<uint8_t> Bytes(std::size_t n) {
    Need(n);
    std::vector<uint8_t> out(bytes_.begin() + long(pos_), bytes_.begin() + long(pos_ + n));
    pos_ += n;
    return out;
  }
  void Skip(std::size_t n) {
    Need(n);
    pos_ += n;
  }
  std::size_t position() const { return pos_; }

 private:
  void Need(std::size_t n) const {
    if (bytes_.size() - pos_ < n) {
      throw PropertyListError("truncated at byte " + std::to_string(pos_) + " of " + std::to_string(bytes_.size()) +
                              " (needed " + std::to_string(n) + " more)");
    }
  }
  uint32_t Int(std::size_t n) {
    Need(n);
    uint32_t v = 0;
    for (std::size_t i = 0; i < n; ++i) v |= uint32_t(bytes_[pos_ + i]) << (8 * i);
    pos_ += n;
    return v;
  }
  const std::vector<uint8_t>& bytes_;
  std::size_t pos_ = 0;
};

uint32_t LittleU32(const std::vector<uint8_t>& d) {
  return uint32_t(d[0]) | (uint32_t(d[1]) << 8) | (uint32_t(d[2]) << 16) | (uint32_t(d[3]) << 24);
}

}  // namespace

std::string FourCharText(uint32_t code) {
  std::string s;
  for (int shift = 24; shift >= 0; shift -= 8) {
    const char c = char((code >> shift) & 0xFF);
    s += (c >= 0x20 && c < 0x7F) ? c : '?';
  }
  return s;
}

PropertyList PropertyList::Parse(const std::vector<uint8_t>& bytes) {
  Reader r(bytes);
  const uint32_t resource_version = r.U16();
  if (resource_version != 1) {
    throw PropertyListError("resource version is " + std::to_string(resource_version) + ", expected 1");
  }
  const uint32_t list_version = r.U32();
  if (list_version != 0) {
    throw PropertyListError("list version is " + std::to_string(list_version) + ", expected 0");
  }
  const uint32_t count = r.U32();
  PropertyList list;
  for (uint32_t i = 0; i < count; ++i) {
    Property p;
    p.vendor = r.U32();
    if (p.vendor != FourCharCode("8BIM")) {
      throw PropertyListError("property " + std::to_string(i + 1) + " has vendor '" + FourCharText(p.vendor) +
                              "', expected '8BIM'");
    }
    p.key = r.U32();
    p.id = r.U32();
    const uint32_t length = r.U32();
    p.data = r.Bytes(length);
    r.Skip(((length + 3u) & ~3u) - length);
    list.properties_.push_back(std::move(p));
  }
  list.size_in_bytes_ = r.position();
  return list;
}

const Property* PropertyList::Find(uint32_t key) const {
  for (const Property& p : properties_) {
    if (p.key == key) return &p;
  }
  return nullptr;
}

std::optional<uint32_t> PropertyList::U32(uint32_t key) const {
  const Property* p = Find(key);
  if (p == nullptr || p->data.size() != 4) return std::nullopt;
  return LittleU32(p->data);
}

std::optional<uint16_t> PropertyList::InfoFlags() const {
  const Property* p = Find(FourCharCode("eINF"));
  if (p == nullptr || p->data.size() != 2) return std::nullopt;
  return uint16_t(p->data[0] | (p->data[1] << 8));
}

std::optional<std::pair<uint16_t, uint16_t>> PropertyList::Pair(uint32_t key) const {
  const Property* p = Find(key);
  if (p == nullptr || p->data.size() != 4) return std::nullopt;
  return std::make_pair(uint16_t(p->data[0] | (p->data[1] << 8)), uint16_t(p->data[2] | (p->data[3] << 8)));
}

std::optional<std::string> PropertyList::PascalString(uint32_t key) const {
  const Property* p = Find(key);
  if (p == nullptr || p->data.empty() || p->data[0] + 1u > p->data.size()) return std::nullopt;
  return std::string(p->data.begin() + 1, p->data.begin() + 1 + p->data[0]);
}

std::optional<std::string> PropertyList::CString(uint32_t key) const {
  const Property* p = Find(key);
  if (p == nullptr) return std::nullopt;
  std::string s;
  for (uint8_t c : p->data) {
    if (c == 0) return s;
    s += char(c);
  }
  return std::nullopt;  // unterminated
}

std::string DescribeVersion(uint32_t v) {
  static const char* const kStages[] = {"development", "alpha", "beta", "release"};
  const unsigned major = (v >> 19) & 0x7, minor = (v >> 15) & 0xF, patch = (v >> 11) & 0xF;
  const unsigned stage = (v >> 9) & 0x3, build = v & 0x1FF;
  char text[64];
  std::snprintf(text, sizeof text, "%u.%u%u %s build %u", major, minor, patch, kStages[stage], build);
  return text;
}

}  // namespace zelvan::testhost
