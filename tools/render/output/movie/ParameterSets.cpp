#include "ParameterSets.h"

#include <vector>

namespace zelvan::render {
namespace {

// The NAL units of Annex B bytes, each from its header on, with the
// emulation-prevention bytes (00 00 03) taken out.
std::vector<std::vector<uint8_t>> NalUnits(const uint8_t* b, std::size_t size) {
  std::vector<std::vector<uint8_t>> units;
  std::size_t i = 0;
  auto start_code = [&](std::size_t at) { return at + 3 <= size && b[at] == 0 && b[at + 1] == 0 && b[at + 2] == 1; };
  while (i < size && !start_code(i)) ++i;
  while (i < size) {
    i += 3;
    std::vector<uint8_t> unit;
    int zeros = 0;
    for (; i < size && !start_code(i); ++i) {
      if (zeros >= 2 && b[i] == 3) {
        zeros = 0;
        continue;
      }
      zeros = b[i] == 0 ? zeros + 1 : 0;
      unit.push_back(b[i]);
    }
    // A four-byte start code's leading zero belongs to no unit.
    while (!unit.empty() && unit.back() == 0) unit.pop_back();
    units.push_back(std::move(unit));
  }
  return units;
}

}  // namespace

std::optional<ProfileLevel> H264Profile(const uint8_t* bytes, std::size_t size) {
  // avcC: version 1, then the profile, its compatibility and the level.
  if (size >= 4 && bytes[0] == 1) return ProfileLevel{bytes[1], bytes[3]};
  for (const std::vector<uint8_t>& unit : NalUnits(bytes, size)) {
    // nal_unit_type 7; then profile_idc, the constraint flags and level_idc.
    if (unit.size() >= 4 && (unit[0] & 0x1f) == 7) return ProfileLevel{unit[1], unit[3]};
  }
  return std::nullopt;
}

std::optional<ProfileLevel> H265Profile(const uint8_t* bytes, std::size_t size) {
  // hvcC: version 1, then profile space, tier and profile (5 bits), 4 bytes
  // of compatibility, 6 of constraints and the level.
  if (size >= 13 && bytes[0] == 1) return ProfileLevel{bytes[1] & 0x1f, bytes[12]};
  for (const std::vector<uint8_t>& unit : NalUnits(bytes, size)) {
    // nal_unit_type 33 in a two-byte header; a byte of ids and sub-layers,
    // then the profile, tier and level as in hvcC.
    if (unit.size() >= 15 && ((unit[0] >> 1) & 0x3f) == 33) return ProfileLevel{unit[3] & 0x1f, unit[14]};
  }
  return std::nullopt;
}

}  // namespace zelvan::render
