// The plug-in's property list (PiPL) as the host reads it from the file,
// before running any of the plug-in's code.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace zelvan::testhost {

// A four-character code as the host stores it: first character most significant.
constexpr uint32_t FourCharCode(const char (&code)[5]) {
  return (uint32_t(uint8_t(code[0])) << 24) | (uint32_t(uint8_t(code[1])) << 16) |
         (uint32_t(uint8_t(code[2])) << 8) | uint32_t(uint8_t(code[3]));
}
// "kind" for FourCharCode("kind"); unprintable bytes come out as '?'.
std::string FourCharText(uint32_t code);

struct Property {
  uint32_t vendor = 0;
  uint32_t key = 0;
  uint32_t id = 0;
  std::vector<uint8_t> data;  // exactly the stated length, padding dropped
};

// Thrown for bytes that are not a well-formed little-endian list.
class PropertyListError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class PropertyList {
 public:
  // Parses the little-endian form; throws PropertyListError.
  static PropertyList Parse(const std::vector<uint8_t>& bytes);

  const std::vector<Property>& properties() const { return properties_; }
  std::size_t size_in_bytes() const { return size_in_bytes_; }
  const Property* Find(uint32_t key) const;

  // Typed readers of the properties an effect carries; empty when absent or
  // of the wrong length.
  std::optional<uint32_t> Kind() const { return U32(FourCharCode("kind")); }
  std::optional<std::string> Name() const { return PascalString(FourCharCode("name")); }
  std::optional<std::string> Category() const { return PascalString(FourCharCode("catg")); }
  std::optional<std::string> MatchName() const { return PascalString(FourCharCode("eMNA")); }
  // The zero-terminated entry point name of the x86-64 code property.
  std::optional<std::string> EntryPointX64() const { return CString(FourCharCode("8664")); }
  std::optional<uint32_t> Version() const { return U32(FourCharCode("eVER")); }
  std::optional<uint32_t> OutFlags() const { return U32(FourCharCode("eGLO")); }
  std::optional<uint32_t> OutFlags2() const { return U32(FourCharCode("eGL2")); }
  std::optional<uint32_t> AeFlags() const { return U32(FourCharCode("aeFL")); }
  std::optional<uint16_t> InfoFlags() const;
  // Two 16-bit halves, major then minor.
  std::optional<std::pair<uint16_t, uint16_t>> PropertyListVersion() const { return Pair(FourCharCode("ePVR")); }
  std::optional<std::pair<uint16_t, uint16_t>> EffectInterfaceVersion() const { return Pair(FourCharCode("eSVR")); }

  std::optional<uint32_t> U32(uint32_t key) const;
  std::optional<std::string> PascalString(uint32_t key) const;
  std::optional<std::string> CString(uint32_t key) const;
  std::optional<std::pair<uint16_t, uint16_t>> Pair(uint32_t key) const;

 private:
  std::vector<Property> properties_;
  std::size_t size_in_bytes_ = 0;
};

// "1.00 release build 1" from the host's version word.
std::string DescribeVersion(uint32_t version_word);

}  // namespace zelvan::testhost
