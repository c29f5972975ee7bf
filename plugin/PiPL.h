// The effect's property list (PiPL): what the host reads from the plug-in file
// before it runs any code. This is the one description of it; the Windows
// resource, the macOS resource file and the Linux build's section are all
// serialised from here.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "Version.h"

namespace zelvan::pipl {

// A four-character code as the host stores it: first character most significant.
constexpr uint32_t FourCC(const char (&code)[5]) {
  return (uint32_t(uint8_t(code[0])) << 24) | (uint32_t(uint8_t(code[1])) << 16) |
         (uint32_t(uint8_t(code[2])) << 8) | uint32_t(uint8_t(code[3]));
}

enum class Endian { Little, Big };

constexpr std::size_t kPropertyCount = 12;
constexpr std::size_t kResourceSize = 290;
constexpr int kResourceId = 16000;
constexpr int kResourceLanguage = 1033;

// Writes the list; Endian::Little is the Windows resource, Endian::Big the
// macOS one. Returns the bytes written (kResourceSize), so a caller can check.
class Writer {
 public:
  constexpr Writer(Endian endian, std::array<uint8_t, kResourceSize>& out) : endian_(endian), out_(out) {}

  constexpr void U16(uint32_t v) { Int(v, 2); }
  constexpr void U32(uint32_t v) { Int(v, 4); }
  constexpr void Byte(uint8_t v) { out_[pos_++] = v; }

  // A property: vendor '8BIM', key, identifier 0, length, data padded to 4.
  template <class Fill>
  constexpr void Property(uint32_t key, uint32_t length, Fill fill) {
    U32(FourCC("8BIM"));
    U32(key);
    U32(0);
    U32(length);
    const std::size_t start = pos_;
    fill(*this);
    while (pos_ - start < ((length + 3u) & ~3u)) Byte(0);
  }
  constexpr void PascalString(const char* text, std::size_t length) {
    Byte(uint8_t(length));
    for (std::size_t i = 0; i < length; ++i) Byte(uint8_t(text[i]));
  }
  constexpr void CString(const char* text, std::size_t length) {
    for (std::size_t i = 0; i < length; ++i) Byte(uint8_t(text[i]));
    Byte(0);
  }
  constexpr std::size_t Position() const { return pos_; }

 private:
  constexpr void Int(uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) {
      const int shift = endian_ == Endian::Little ? 8 * i : 8 * (bytes - 1 - i);
      Byte(uint8_t(v >> shift));
    }
  }
  Endian endian_;
  std::array<uint8_t, kResourceSize>& out_;
  std::size_t pos_ = 0;
};

constexpr std::size_t Length(const char* s) {
  std::size_t n = 0;
  while (s[n] != '\0') ++n;
  return n;
}

constexpr std::array<uint8_t, kResourceSize> Serialize(Endian endian) {
  std::array<uint8_t, kResourceSize> bytes{};
  Writer w(endian, bytes);
  w.U16(1);                // resource version
  w.U32(0);                // list version
  w.U32(kPropertyCount);
  w.Property(FourCC("kind"), 4, [](Writer& p) { p.U32(FourCC("eFKT")); });
  w.Property(FourCC("name"), 16, [](Writer& p) { p.PascalString(kEffectName, Length(kEffectName)); });
  w.Property(FourCC("catg"), 8, [](Writer& p) { p.PascalString(kEffectCategory, Length(kEffectCategory)); });
  // Entry point for Windows x64: the name, its zero, and one more zero.
  w.Property(FourCC("8664"), 16, [](Writer& p) {
    p.CString("EntryPointFunc", 14);
    p.Byte(0);
  });
  w.Property(FourCC("ePVR"), 4, [](Writer& p) { p.U16(2); p.U16(0); });
  w.Property(FourCC("eSVR"), 4, [](Writer& p) { p.U16(13); p.U16(0); });
  w.Property(FourCC("eVER"), 4, [](Writer& p) { p.U32(kVersionWord); });
  w.Property(FourCC("eINF"), 2, [](Writer& p) { p.U16(0); });
  w.Property(FourCC("eGLO"), 4, [](Writer& p) { p.U32(uint32_t(kOutFlags)); });
  w.Property(FourCC("eGL2"), 4, [](Writer& p) { p.U32(uint32_t(kOutFlags2)); });
  w.Property(FourCC("eMNA"), 16, [](Writer& p) { p.PascalString(kEffectName, Length(kEffectName)); });
  w.Property(FourCC("aeFL"), 4, [](Writer& p) { p.U32(8); });
  // A short or long list would not fit the array: the constexpr evaluation fails.
  if (w.Position() != kResourceSize) throw "PiPL size";
  return bytes;
}

constexpr std::array<uint8_t, kResourceSize> kLittleEndian = Serialize(Endian::Little);
constexpr std::array<uint8_t, kResourceSize> kBigEndian = Serialize(Endian::Big);

// The name of the section that carries the list in the Linux build.
constexpr const char kLinuxSectionName[] = ".zelvan_pipl";

}  // namespace zelvan::pipl
