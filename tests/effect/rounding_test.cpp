#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "Rounding.h"

namespace zelvan {
namespace {

TEST(Rounding, AddsHalfAndTruncatesTowardZero) {
  struct Case {
    double in;
    int32_t out;
  };
  const Case cases[] = {{640.5, 641}, {360.49, 360}, {-80.5, -80}, {-0.6, 0}, {-1.6, -1}, {961.0, 961}};
  for (const Case& c : cases) EXPECT_EQ(RoundToLong(c.in), c.out) << c.in;
}

TEST(Rounding, TimesRoundHalfUp) {
  struct Case {
    double in;
    int32_t out;
  };
  const Case cases[] = {{640.5, 641}, {360.49, 360}, {-80.5, -80}, {-81.0, -81}, {-0.6, -1}, {-1.6, -2}, {-0.5, 0}};
  for (const Case& c : cases) EXPECT_EQ(RoundHalfUp(c.in), c.out) << c.in;
  EXPECT_EQ(RoundHalfUp(-3e9), std::numeric_limits<int32_t>::min());
  EXPECT_EQ(RoundHalfUp(std::nan("")), 0);
}

TEST(Rounding, SaturatesInsteadOfOverflowing) {
  constexpr double inf = std::numeric_limits<double>::infinity();
  EXPECT_EQ(RoundToLong(inf), std::numeric_limits<int32_t>::max());
  EXPECT_EQ(RoundToLong(-inf), std::numeric_limits<int32_t>::min());
  EXPECT_EQ(RoundToLong(3e9), std::numeric_limits<int32_t>::max());
  EXPECT_EQ(RoundToLong(-3e9), std::numeric_limits<int32_t>::min());
  EXPECT_EQ(RoundToLong(std::nan("")), 0);
  EXPECT_EQ(TruncateToLong(2147483646.9), 2147483646);
  EXPECT_EQ(TruncateToLong(-2147483648.5), std::numeric_limits<int32_t>::min());
}

}  // namespace
}  // namespace zelvan
