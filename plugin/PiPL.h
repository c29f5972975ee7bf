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

// Windows: little-endian, in the .aex (and the Linux build's section).
// macOS: big-endian, in the bundle's resource file.
enum class Platform { Windows, MacOS };

constexpr int kResourceId = 16000;
constexpr int kResourceLanguage = 1033;

// The code properties, one per architecture the platform's file holds, each
// naming the entry point: Windows x64; macOS x86-64, then arm64.
constexpr uint32_t kWindowsCode[] = {FourCC("8664")};
constexpr uint32_t kMacOSCode[] = {FourCC("mi64"), FourCC("ma64")};

// Writes the list, or with no output only measures it.
class Writer {
 public:
  constexpr Writer(Platform platform, uint8_t* out) : little_(platform == Platform::Windows), out_(out) {}

  constexpr void U16(uint32_t v) { Int(v, 2); }
  constexpr void U32(uint32_t v) { Int(v, 4); }
  constexpr void Byte(uint8_t v) {
    if (out_ != nullptr) out_[pos_] = v;
    ++pos_;
  }

  // A property: vendor '8BIM', key, identifier 0, length, data padded to 4.
  template <class Fill>
  constexpr void Property(uint32_t key, uint32_t length, Fill fill) {
    ++properties_;
    U32(FourCC("8BIM"));
    U32(key);
    U32(0);
    U32(length);
    const std::size_t start = pos_;
    fill(*this);
    if (pos_ - start > length) throw "PiPL property longer than its length";
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
  constexpr std::size_t Properties() const { return properties_; }

 private:
  constexpr void Int(uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) Byte(uint8_t(v >> (little_ ? 8 * i : 8 * (bytes - 1 - i))));
  }
  bool little_;
  uint8_t* out_;
  std::size_t pos_ = 0;
  std::size_t properties_ = 0;
};

constexpr std::size_t Length(const char* s) {
  std::size_t n = 0;
  while (s[n] != '\0') ++n;
  return n;
}

// The properties, in the host's order; the platform decides only the code
// properties, which stand where the Windows list has '8664'.
constexpr void WriteProperties(Writer& w, Platform platform) {
  w.Property(FourCC("kind"), 4, [](Writer& p) { p.U32(FourCC("eFKT")); });
  w.Property(FourCC("name"), 16, [](Writer& p) { p.PascalString(kEffectName, Length(kEffectName)); });
  w.Property(FourCC("catg"), 8, [](Writer& p) { p.PascalString(kEffectCategory, Length(kEffectCategory)); });
  // Each entry point: the name, its zero, and one more zero.
  auto entry = [](Writer& p) {
    p.CString("EntryPointFunc", 14);
    p.Byte(0);
  };
  if (platform == Platform::Windows) {
    for (uint32_t key : kWindowsCode) w.Property(key, 16, entry);
  } else {
    for (uint32_t key : kMacOSCode) w.Property(key, 16, entry);
  }
  w.Property(FourCC("ePVR"), 4, [](Writer& p) { p.U16(2); p.U16(0); });
  w.Property(FourCC("eSVR"), 4, [](Writer& p) { p.U16(13); p.U16(0); });
  w.Property(FourCC("eVER"), 4, [](Writer& p) { p.U32(kVersionWord); });
  w.Property(FourCC("eINF"), 2, [](Writer& p) { p.U16(0); });
  w.Property(FourCC("eGLO"), 4, [](Writer& p) { p.U32(uint32_t(kOutFlags)); });
  w.Property(FourCC("eGL2"), 4, [](Writer& p) { p.U32(uint32_t(kOutFlags2)); });
  w.Property(FourCC("eMNA"), 16, [](Writer& p) { p.PascalString(kEffectName, Length(kEffectName)); });
  w.Property(FourCC("aeFL"), 4, [](Writer& p) { p.U32(8); });
}

// Resource version 1, list version 0, the property count, the properties.
constexpr void WriteList(Writer& w, Platform platform, std::size_t count) {
  w.U16(1);
  w.U32(0);
  w.U32(uint32_t(count));
  WriteProperties(w, platform);
}

constexpr std::size_t PropertyCount(Platform platform) {
  Writer w(platform, nullptr);
  WriteProperties(w, platform);
  return w.Properties();
}

constexpr std::size_t ListSize(Platform platform) {
  Writer w(platform, nullptr);
  WriteList(w, platform, 0);
  return w.Position();
}

template <Platform P>
constexpr std::array<uint8_t, ListSize(P)> Serialize() {
  std::array<uint8_t, ListSize(P)> bytes{};
  Writer w(P, bytes.data());
  WriteList(w, P, PropertyCount(P));
  return bytes;
}

constexpr auto kWindows = Serialize<Platform::Windows>();
constexpr auto kMacOS = Serialize<Platform::MacOS>();
static_assert(PropertyCount(Platform::Windows) == 12 && kWindows.size() == 290, "the Windows list: 12, 290 bytes");
static_assert(PropertyCount(Platform::MacOS) == 13 && kMacOS.size() == 322, "the macOS list: 13, 322 bytes");

// The name of the section that carries the Windows list in the Linux build.
constexpr const char kLinuxSectionName[] = ".zelvan_pipl";

}  // namespace zelvan::pipl
