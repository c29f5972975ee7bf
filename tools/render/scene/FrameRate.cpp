#include "FrameRate.h"

#include <algorithm>
#include <numeric>
#include <optional>
#include <vector>

#include "Compact.h"
#include "PlainText.h"
#include "UsageError.h"

namespace zelvan::render {
namespace {

// The most digits a 64-bit number holds whatever they are.
constexpr int64_t kMaxDigits = 18;

// What a rate's text reads as: a fraction, or a fault it has whatever its
// digits (a sign, or a size far past a bound).
struct Read {
  RateFault fault = RateFault::kNone;
  Rational rate;
};

bool AllDigits(const std::string& s) { return !s.empty() && s.find_first_not_of("0123456789") == std::string::npos; }

// A leading sign, taken off; true for a minus.
bool TakeSign(std::string& s) {
  if (s.empty() || (s[0] != '-' && s[0] != '+')) return false;
  const bool minus = s[0] == '-';
  s.erase(0, 1);
  return minus;
}

int64_t PowerOfTen(int64_t n) {
  int64_t p = 1;
  while (n-- > 0) p *= 10;
  return p;
}

// A decimal, [-]digits[.digits][e[-]digits], as the fraction it spells;
// nothing for other text. Its size is judged before it is built, so that
// 1e300 is too high rather than too long.
std::optional<Read> ReadDecimal(std::string s) {
  const bool negative = TakeSign(s);
  const std::size_t e = s.find_first_of("eE");
  const std::string mantissa = s.substr(0, e);
  const std::size_t point = mantissa.find('.');
  const std::string whole = mantissa.substr(0, point);
  const std::string fraction = point == std::string::npos ? "" : mantissa.substr(point + 1);
  if ((whole.empty() && fraction.empty()) || (!whole.empty() && !AllDigits(whole)) ||
      (!fraction.empty() && !AllDigits(fraction))) {
    return std::nullopt;
  }
  int64_t exponent = -static_cast<int64_t>(fraction.size());
  if (e != std::string::npos) {
    std::string power = s.substr(e + 1);
    const bool down = TakeSign(power);
    if (!AllDigits(power)) return std::nullopt;
    // An exponent of more than six digits is far past either bound.
    const int64_t p = power.size() > 6 ? 1000000 : std::stoll(power);
    exponent += down ? -p : p;
  }
  std::string digits = whole + fraction;
  digits.erase(0, std::min(digits.find_first_not_of('0'), digits.size()));
  if (digits.empty() || negative) return Read{RateFault::kTooLow, {}};
  // The value is at least 10^order and below 10^(order + 1).
  const int64_t order = static_cast<int64_t>(digits.size()) - 1 + exponent;
  if (order >= kMaxDigits) return Read{RateFault::kTooHigh, {}};
  if (order < -kMaxDigits) return Read{RateFault::kTooLow, {}};
  for (; digits.back() == '0'; ++exponent) digits.pop_back();
  if (static_cast<int64_t>(digits.size()) > kMaxDigits || exponent < -kMaxDigits) return Read{RateFault::kTooFine, {}};
  Rational r{std::stoll(digits), 1};
  if (exponent >= 0)
    r.num *= PowerOfTen(exponent);
  else
    r.den = PowerOfTen(-exponent);
  return Read{RateFault::kNone, r};
}

// "NUM/DEN" of whole numbers, the numerator perhaps signed, the
// denominator not 0; nothing for other text.
std::optional<Read> ReadFraction(const std::string& s) {
  const std::size_t slash = s.find('/');
  std::string num = s.substr(0, slash);
  const std::string den = s.substr(slash + 1);
  const bool negative = TakeSign(num);
  if (!AllDigits(num) || !AllDigits(den) || den.find_first_not_of('0') == std::string::npos) return std::nullopt;
  if (negative || num.find_first_not_of('0') == std::string::npos) return Read{RateFault::kTooLow, {}};
  if (static_cast<int64_t>(std::max(num.size(), den.size())) > kMaxDigits) return Read{RateFault::kTooFine, {}};
  return Read{RateFault::kNone, Rational{std::stoll(num), std::stoll(den)}};
}

// The NTSC rate a decimal stands for, else the decimal itself.
Rational Typed(const Rational& r) {
  for (const NtscRate& n : kNtscRates) {
    if (r.num == n.typed.num && r.den == n.typed.den) return Rational{n.whole * 1000, 1001};
  }
  return r;
}

}  // namespace

std::string NtscRatesText() {
  std::vector<std::string> typed, exact;
  for (const NtscRate& r : kNtscRates) {
    typed.push_back(Compact(r.typed.value()));
    exact.push_back(Rational{r.whole * 1000, 1001}.text());
  }
  return ListWith(typed, " and ") + " are " + ListWith(exact, " and ");
}

Rational ParseRate(const Json& v, const std::string& field) {
  const std::string fix = "give frames per second from " + LowestRateText() + " to " + std::to_string(kMaxFps) +
                          ": a number (25, 29.97) or a fraction (\"30000/1001\")";
  // A number as its shortest decimal (29.97, 1e-05), as JSON writes it.
  const std::string text = v.is_number() ? v.dump() : v.is_string() ? v.get<std::string>() : "";
  const bool fraction = text.find('/') != std::string::npos;
  const std::optional<Read> read = fraction ? ReadFraction(text) : ReadDecimal(text);
  if (!read) throw UsageError(field, "is not a frame rate: " + v.dump(), fix);
  Rational r = read->rate;
  if (read->fault == RateFault::kNone) {
    const int64_t g = std::gcd(r.num, r.den);
    r = Rational{r.num / g, r.den / g};
    // A fraction is the rate as written; a decimal may stand for an NTSC rate.
    if (!fraction) r = Typed(r);
  }
  switch (read->fault == RateFault::kNone ? r.fault() : read->fault) {
    case RateFault::kNone:
      return r;
    case RateFault::kTooLow:
      throw UsageError(field, "must be at least " + LowestRateText() + " frames per second, got " + v.dump(), fix);
    case RateFault::kTooHigh:
      throw UsageError(field, "must be at most " + std::to_string(kMaxFps) + " frames per second, got " + v.dump(),
                       fix);
    case RateFault::kTooFine:
      throw UsageError(field,
                       "is finer than the host's time counts: " + v.dump() + ", reduced, has a numerator above " +
                           std::to_string(kMaxRateNum) + " or a denominator above " + std::to_string(kMaxRateDen),
                       "round it, e.g. to 29.97 or \"30000/1001\"");
  }
  return r;
}

}  // namespace zelvan::render
