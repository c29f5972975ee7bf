#ifndef ZELVAN_EASING_CONSTANTS_H
#define ZELVAN_EASING_CONSTANTS_H

// Constants of the easing curves, written as hex-float literals so that each
// is pinned to one exact double on every compiler and target.

namespace zelvan {
namespace easing {

constexpr double kPi = 0x1.921fb54442d18p+1;     // 3.141592653589793
constexpr double kTwoPi = 0x1.921fb54442d18p+2;  // 6.283185307179586

constexpr double kExpoFactor = 10.0;

constexpr double kBounceFactor = 7.5625;
constexpr double kBounceBreak1 = 0x1.745d1745d1746p-2;   // 1 / 2.75
constexpr double kBounceBreak2 = 0x1.745d1745d1746p-1;   // 2 / 2.75
constexpr double kBounceBreak3 = 0x1.d1745d1745d17p-1;   // 2.5 / 2.75
constexpr double kBounceCentre2 = 0x1.1745d1745d174p-1;  // 1.5 / 2.75
constexpr double kBounceCentre3 = 0x1.a2e8ba2e8ba2fp-1;  // 2.25 / 2.75
constexpr double kBounceCentre4 = 0x1.e8ba2e8ba2e8cp-1;  // 2.625 / 2.75
constexpr double kBounceFloor2 = 0.75;
constexpr double kBounceFloor3 = 0.9375;
constexpr double kBounceFloor4 = 0.984375;

constexpr double kBackOvershoot = 0x1.b39abf3387161p+0;          // 1.70158
constexpr double kBackOvershootPlus1 = 0x1.59cd5f99c38b0p+1;     // 2.70158
constexpr double kBackInOutOvershoot = 0x1.4c25fe974a340p+1;     // 2.5949095
constexpr double kBackInOutOvershootPlus1 = 0x1.cc25fe974a340p+1;  // 3.5949095

constexpr double kElasticPeriod = 0x1.3333333333333p-2;  // 0.3
constexpr double kElasticShift = 0x1.3333333333333p-4;   // 0.075
// The rounded product 0.3 * 1.5, one ulp below the double nearest 0.45; its
// quarter is likewise one ulp below the double nearest 0.1125.
constexpr double kElasticInOutPeriod = 0x1.cccccccccccccp-2;
constexpr double kElasticInOutShift = 0x1.cccccccccccccp-4;

// The derived constants are the double results of the operations they stand for.
static_assert(kTwoPi == 2.0 * kPi, "2 pi");
static_assert(kBounceBreak1 == 1.0 / 2.75 && kBounceBreak2 == 2.0 / 2.75 && kBounceBreak3 == 2.5 / 2.75,
              "bounce breakpoints");
static_assert(kBounceCentre2 == 1.5 / 2.75 && kBounceCentre3 == 2.25 / 2.75 && kBounceCentre4 == 2.625 / 2.75,
              "bounce centres");
static_assert(kBackOvershootPlus1 == kBackOvershoot + 1.0, "k + 1");
static_assert(kBackInOutOvershoot == kBackOvershoot * 1.525, "k * 1.525");
static_assert(kBackInOutOvershootPlus1 == kBackInOutOvershoot + 1.0, "k * 1.525 + 1");
static_assert(kElasticShift == kElasticPeriod / 4.0, "elastic shift");
static_assert(kElasticInOutPeriod == kElasticPeriod * 1.5, "elastic InOut period");
static_assert(kElasticInOutShift == kElasticInOutPeriod / 4.0, "elastic InOut shift");

}  // namespace easing
}  // namespace zelvan

#endif
