// A frame rate as people type it, read into the exact fraction the host
// counts time in: a whole number (25), a decimal (12.5, "29.97"), as a JSON
// number or text, or a fraction ("30000/1001"). A decimal is read digit for
// digit as the fraction it spells, so it meets the same bounds
// (base/Rational.h) as that fraction; the NTSC rates as editors show them
// are the exact rates they stand for.
#pragma once

#include <cstdint>
#include <string>

#include "Json.h"
#include "Rational.h"

namespace zelvan::render {

// An NTSC rate: the decimal people type for it, and the whole rate it runs
// 1000/1001 of (23.976: 24000/1001).
struct NtscRate {
  Rational typed;
  int64_t whole;
};
inline constexpr NtscRate kNtscRates[] = {
    {{2997, 125}, 24},  // 23.976
    {{2997, 100}, 30},  // 29.97
    {{2997, 50}, 60},   // 59.94
};

// Each decimal is its rate rounded to its last digit: within half a
// hundredth of whole x 1000/1001, in a denominator of tens.
constexpr bool NtscRatesAreRounded() {
  for (const NtscRate& r : kNtscRates) {
    const int64_t off = r.typed.num * 1001 - r.whole * 1000 * r.typed.den;
    if ((off < 0 ? -off : off) * 200 >= r.typed.den * 1001 || 1000 % r.typed.den != 0) return false;
  }
  return true;
}
static_assert(NtscRatesAreRounded(), "see NtscRatesAreRounded");

// "23.976, 29.97 and 59.94 are 24000/1001, 30000/1001 and 60000/1001", for
// --help.
std::string NtscRatesText();

// The rate a number or a text gives, reduced. Throws UsageError naming
// `field`: not a rate, or one with a fault (the message names the bound).
Rational ParseRate(const Json& value, const std::string& field);

}  // namespace zelvan::render
