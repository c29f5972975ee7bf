// Every curve constant, checked to its exact bit pattern.

#include <cstdint>
#include <cstring>

#include <gtest/gtest.h>

#include "EasingConstants.h"

namespace {

using namespace zelvan::easing;

std::uint64_t Bits(double x) {
    std::uint64_t b;
    std::memcpy(&b, &x, sizeof b);
    return b;
}

struct ConstantCase {
    const char* name;
    double value;
    std::uint64_t bits;
};

const ConstantCase kConstants[] = {
    {"pi", kPi, 0x400921FB54442D18u},
    {"2pi", kTwoPi, 0x401921FB54442D18u},
    {"exponent factor", kExpoFactor, 0x4024000000000000u},
    {"bounce factor", kBounceFactor, 0x401E400000000000u},
    {"bounce breakpoint 1", kBounceBreak1, 0x3FD745D1745D1746u},
    {"bounce breakpoint 2", kBounceBreak2, 0x3FE745D1745D1746u},
    {"bounce breakpoint 3", kBounceBreak3, 0x3FED1745D1745D17u},
    {"bounce centre 2", kBounceCentre2, 0x3FE1745D1745D174u},
    {"bounce centre 3", kBounceCentre3, 0x3FEA2E8BA2E8BA2Fu},
    {"bounce centre 4", kBounceCentre4, 0x3FEE8BA2E8BA2E8Cu},
    {"bounce floor 2", kBounceFloor2, 0x3FE8000000000000u},
    {"bounce floor 3", kBounceFloor3, 0x3FEE000000000000u},
    {"bounce floor 4", kBounceFloor4, 0x3FEF800000000000u},
    {"back k", kBackOvershoot, 0x3FFB39ABF3387161u},
    {"back k + 1", kBackOvershootPlus1, 0x40059CD5F99C38B0u},
    {"back k2", kBackInOutOvershoot, 0x4004C25FE974A340u},
    {"back k2 + 1", kBackInOutOvershootPlus1, 0x400CC25FE974A340u},
    {"elastic period", kElasticPeriod, 0x3FD3333333333333u},
    {"elastic shift", kElasticShift, 0x3FB3333333333333u},
    {"elastic InOut period", kElasticInOutPeriod, 0x3FDCCCCCCCCCCCCCu},
    {"elastic InOut shift", kElasticInOutShift, 0x3FBCCCCCCCCCCCCCu},
};

TEST(EasingConstants, ExactBitPatterns) {
    for (const ConstantCase& c : kConstants) {
        EXPECT_EQ(Bits(c.value), c.bits) << c.name;
    }
}

// The decimals of the table coincide with the doubles for all but the
// elastic InOut pair.
TEST(EasingConstants, NearestDecimalsWhereTheyApply) {
    EXPECT_EQ(Bits(kPi), Bits(3.141592653589793));
    EXPECT_EQ(Bits(kBackOvershoot), Bits(1.70158));
    EXPECT_EQ(Bits(kBackOvershootPlus1), Bits(2.70158));
    EXPECT_EQ(Bits(kBackInOutOvershoot), Bits(2.5949095));
    EXPECT_EQ(Bits(kBackInOutOvershootPlus1), Bits(3.5949095));
    EXPECT_EQ(Bits(kElasticPeriod), Bits(0.3));
    EXPECT_EQ(Bits(kElasticShift), Bits(0.075));
}

TEST(EasingConstants, ElasticInOutIsOneUlpBelowNearestDecimal) {
    EXPECT_EQ(Bits(kElasticInOutPeriod) + 1, Bits(0.45));
    EXPECT_EQ(Bits(kElasticInOutShift) + 1, Bits(0.1125));
}

// Derivations evaluated at run time, independent of the compiler's constant
// folding.
TEST(EasingConstants, DerivedFromTheirOperations) {
    volatile double k = 1.70158, p = 0.3, d = 2.75;
    EXPECT_EQ(Bits(kBackOvershootPlus1), Bits(k + 1.0));
    EXPECT_EQ(Bits(kBackInOutOvershoot), Bits(k * 1.525));
    EXPECT_EQ(Bits(kBackInOutOvershootPlus1), Bits(k * 1.525 + 1.0));
    EXPECT_EQ(Bits(kElasticInOutPeriod), Bits(p * 1.5));
    EXPECT_EQ(Bits(kElasticInOutShift), Bits(p * 1.5 / 4.0));
    EXPECT_EQ(Bits(kElasticShift), Bits(p / 4.0));
    EXPECT_EQ(Bits(kBounceBreak1), Bits(1.0 / d));
    EXPECT_EQ(Bits(kBounceBreak2), Bits(2.0 / d));
    EXPECT_EQ(Bits(kBounceBreak3), Bits(2.5 / d));
    EXPECT_EQ(Bits(kBounceCentre2), Bits(1.5 / d));
    EXPECT_EQ(Bits(kBounceCentre3), Bits(2.25 / d));
    EXPECT_EQ(Bits(kBounceCentre4), Bits(2.625 / d));
}

}  // namespace
