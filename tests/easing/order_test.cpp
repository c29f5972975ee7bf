// Bit-exactness of the operation order: each curve is compared bit for bit
// with its formula written out in its defining order, and each comparison
// is shown to have teeth by a plausible rewrite (regrouped powers, expanded
// products, a folded 2pi/period, the decimal 0.45) that differs somewhere on
// the same grid.

#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <set>
#include <vector>

#include <gtest/gtest.h>

#include "ZelvanEasing.h"

namespace {

std::uint64_t Bits(double x) {
    std::uint64_t b;
    std::memcpy(&b, &x, sizeof b);
    return b;
}

double Eval(int type, int mode, double t) { return Easing::Impl(type, mode).getTime(t); }

using Curve = std::function<double(double)>;

// Non-dyadic points across (0, 1), both halves of InOut.
const std::vector<double>& Grid() {
    static const std::vector<double> g = [] {
        std::vector<double> v;
        for (int i = 1; i < 1000; ++i) v.push_back(i / 1000.0);
        for (int i = 1; i < 200; ++i) v.push_back(i * 0.0049);
        return v;
    }();
    return g;
}

// Literal constants on purpose: the references must not share the library's
// constant definitions.
const double kPi = 3.141592653589793;
const double kTwoPi = 6.283185307179586;
const double k = 1.70158;
const double kPeriodIO = 0.3 * 1.5;
const double kShiftIO = 0.3 * 1.5 / 4.0;

double Pow2(double y) { return std::pow(2.0, y); }

double B(double x) {
    if (x < 1 / 2.75) return x * 7.5625 * x;
    if (x < 2 / 2.75) {
        const double u = x - 1.5 / 2.75;
        return u * 7.5625 * u + 0.75;
    }
    if (x < 2.5 / 2.75) {
        const double u = x - 2.25 / 2.75;
        return u * 7.5625 * u + 0.9375;
    }
    const double u = x - 2.625 / 2.75;
    return u * 7.5625 * u + 0.984375;
}

// B with each square taken first: u*u*7.5625 instead of u*7.5625*u.
double BSquaredFirst(double x) {
    if (x < 1 / 2.75) return x * x * 7.5625;
    if (x < 2 / 2.75) {
        const double u = x - 1.5 / 2.75;
        return u * u * 7.5625 + 0.75;
    }
    if (x < 2.5 / 2.75) {
        const double u = x - 2.25 / 2.75;
        return u * u * 7.5625 + 0.9375;
    }
    const double u = x - 2.625 / 2.75;
    return u * u * 7.5625 + 0.984375;
}

struct OrderCase {
    const char* name;
    int type;
    int mode;
    Curve reference;
    Curve rewrite;  // a mathematically equal formula the library must not use; may be empty
};

std::vector<OrderCase> Cases() {
    return {
        {"Quad In", 2, 1, [](double t) { return t * t; }, nullptr},
        {"Quad InOut", 2, 3,
         [](double t) {
             const double s = 2 * t;
             if (s < 1) return 0.5 * s * s;
             const double u = s - 1;
             return -0.5 * ((u - 2) * u - 1);
         },
         [](double t) {
             if (t < 0.5) return 2 * t * t;
             return 1 - 2 * (1 - t) * (1 - t);
         }},
        {"Cubic In", 3, 1, [](double t) { return t * t * t; }, nullptr},
        {"Cubic InOut", 3, 3,
         [](double t) {
             const double s = 2 * t;
             if (s < 1) return 0.5 * s * s * s;
             const double u = s - 2;
             return 0.5 * (u * u * u + 2);
         },
         [](double t) {
             if (t < 0.5) return 4 * t * t * t;
             return 4 * t * t * t - 12 * t * t + 12 * t - 3;
         }},
        {"Quint InOut", 5, 3,
         [](double t) {
             const double s = 2 * t;
             if (s < 1) return 0.5 * s * s * s * s * s;
             const double u = s - 2;
             return 0.5 * (u * u * u * u * u + 2);
         },
         [](double t) {
             const double s = 2 * t;
             if (s < 1) return 0.5 * (s * s) * (s * s) * s;
             const double u = s - 2;
             return 0.5 * ((u * u) * (u * u) * u + 2);
         }},
        {"Circ Out", 7, 2,
         [](double t) {
             const double u = t - 1;
             return std::sqrt(1 - u * u);
         },
         [](double t) { return std::sqrt((2 - t) * t); }},
        {"Circ InOut", 7, 3,
         [](double t) {
             const double s = 2 * t;
             if (s < 1) return -0.5 * (std::sqrt(1 - s * s) - 1);
             const double u = s - 2;
             return 0.5 * (std::sqrt(1 - u * u) + 1);
         },
         [](double t) {
             const double s = 2 * t;
             if (s < 1) return 0.5 * (1 - std::sqrt((1 - s) * (1 + s)));
             const double u = s - 2;
             return 0.5 * (std::sqrt((1 - u) * (1 + u)) + 1);
         }},
        {"Sine In", 8, 1, [](double t) { return 1 - std::cos((t * kPi) * 0.5); },
         [](double t) {
             const double h = std::sin(t * kPi * 0.25);
             return 2 * h * h;
         }},
        {"Sine Out", 8, 2, [](double t) { return std::sin((t * kPi) * 0.5); },
         [](double t) { return std::cos(((1 - t) * kPi) * 0.5); }},
        {"Expo InOut", 6, 3,
         [](double t) {
             const double s = 2 * t;
             const double u = s - 1;
             if (s < 1) return 0.5 * Pow2(u * 10);
             return 0.5 * (2 - Pow2(u * -10));
         },
         [](double t) {
             if (t < 0.5) return 0.5 * Pow2(t * 20 - 10);
             return 1 - 0.5 * Pow2(10 - t * 20);
         }},
        {"Quart In", 4, 1, [](double t) { return t * t * t * t; }, [](double t) { return (t * t) * (t * t); }},
        {"Quart Out", 4, 2,
         [](double t) {
             const double u = t - 1;
             return -(u * u * u * u - 1);
         },
         [](double t) {
             const double u = t - 1;
             return 1 - (u * u) * (u * u);
         }},
        {"Quint In", 5, 1, [](double t) { return t * t * t * t * t; },
         [](double t) { return (t * t) * (t * t) * t; }},
        {"Cubic Out", 3, 2,
         [](double t) {
             const double u = t - 1;
             return u * u * u + 1;
         },
         [](double t) { return t * t * t - 3 * t * t + 3 * t; }},
        {"Quart InOut", 4, 3,
         [](double t) {
             const double s = 2 * t;
             if (s < 1) return 0.5 * s * s * s * s;
             const double u = s - 2;
             return -0.5 * (u * u * u * u - 2);
         },
         [](double t) {
             const double s = 2 * t;
             if (s < 1) return 8 * t * t * t * t;
             const double u = s - 2;
             return 1 - 0.5 * (u * u) * (u * u);
         }},
        {"Quint Out", 5, 2,
         [](double t) {
             const double u = t - 1;
             return u * u * u * u * u + 1;
         },
         [](double t) {
             const double u = t - 1;
             return (u * u) * (u * u) * u + 1;
         }},
        {"Quad Out", 2, 2, [](double t) { return -((t - 2) * t); }, [](double t) { return 2 * t - t * t; }},
        {"Circ In", 7, 1, [](double t) { return -(std::sqrt(1 - t * t) - 1); },
         [](double t) { return 1 - std::sqrt((1 - t) * (1 + t)); }},
        {"Expo In", 6, 1, [](double t) { return Pow2((t - 1) * 10); }, [](double t) { return Pow2(t * 10 - 10); }},
        {"Expo Out", 6, 2, [](double t) { return 1 - Pow2(t * -10); }, [](double t) { return 1 - 1 / Pow2(t * 10); }},
        {"Sine InOut", 8, 3, [](double t) { return -0.5 * (std::cos(t * kPi) - 1); },
         [](double t) {
             const double h = std::sin((t * kPi) * 0.5);
             return h * h;
         }},
        {"Bounce Out", 9, 2, [](double t) { return B(t); }, [](double t) { return BSquaredFirst(t); }},
        {"Bounce In", 9, 1, [](double t) { return 1 - B(1 - t); }, [](double t) { return 1 - BSquaredFirst(1 - t); }},
        {"Bounce InOut", 9, 3,
         [](double t) {
             if (t < 0.5) return 0.5 * (1 - B(1 - 2 * t));
             return 0.5 * B(2 * t - 1) + 0.5;
         },
         [](double t) {
             if (t < 0.5) return 0.5 * (1 - BSquaredFirst(1 - 2 * t));
             return 0.5 * BSquaredFirst(2 * t - 1) + 0.5;
         }},
        {"Back In", 10, 1, [](double t) { return (t * (k + 1) - k) * (t * t); },
         [](double t) { return (k + 1) * t * t * t - k * t * t; }},
        {"Back Out", 10, 2,
         [](double t) {
             const double u = t - 1;
             return (u * (k + 1) + k) * (u * u) + 1;
         },
         [](double t) {
             const double u = t - 1;
             return (k + 1) * u * u * u + k * u * u + 1;
         }},
        {"Back InOut", 10, 3,
         [](double t) {
             const double k2 = k * 1.525;
             const double s = 2 * t;
             if (s < 1) return 0.5 * ((s * (k2 + 1) - k2) * (s * s));
             const double u = s - 2;
             return 0.5 * ((u * (k2 + 1) + k2) * (u * u) + 2);
         },
         [](double t) {
             const double k2 = k * 1.525;
             const double s = 2 * t;
             if (s < 1) return 0.5 * ((k2 + 1) * s * s * s - k2 * s * s);
             const double u = s - 2;
             return 0.5 * ((k2 + 1) * u * u * u + k2 * u * u + 2);
         }},
        {"Elastic In", 11, 1,
         [](double t) {
             const double u = t - 1;
             return -(std::sin(((u - 0.075) * kTwoPi) / 0.3) * Pow2(u * 10));
         },
         [](double t) {
             const double u = t - 1;
             return -(std::sin((u - 0.075) * (kTwoPi / 0.3)) * Pow2(u * 10));
         }},
        {"Elastic Out", 11, 2, [](double t) { return std::sin(((t - 0.075) * kTwoPi) / 0.3) * Pow2(t * -10) + 1; },
         [](double t) { return std::sin((t * kTwoPi - 0.075 * kTwoPi) / 0.3) * Pow2(t * -10) + 1; }},
        {"Elastic InOut", 11, 3,
         [](double t) {
             const double s = 2 * t;
             const double u = s - 1;
             const double a = std::sin(((u - kShiftIO) * kTwoPi) / kPeriodIO);
             if (s < 1) return -0.5 * (a * Pow2(u * 10));
             return 0.5 * (a * Pow2(u * -10)) + 1;
         },
         [](double t) {
             const double s = 2 * t;
             const double u = s - 1;
             const double a = std::sin(((u - 0.1125) * kTwoPi) / 0.45);
             if (s < 1) return -0.5 * (a * Pow2(u * 10));
             return 0.5 * (a * Pow2(u * -10)) + 1;
         }},
    };
}

TEST(OperationOrder, MatchesTheWrittenFormulaBitForBit) {
    std::set<int> covered;
    for (const OrderCase& c : Cases()) {
        int mismatches = 0;
        for (double t : Grid()) {
            if (Bits(Eval(c.type, c.mode, t)) != Bits(c.reference(t))) {
                if (++mismatches <= 3) ADD_FAILURE() << c.name << " differs at t = " << t;
            }
        }
        EXPECT_EQ(mismatches, 0) << c.name;
        covered.insert(c.type * 10 + c.mode);
    }
    // Every shaped curve in every mode has a reference.
    EXPECT_EQ(covered.size(), 30u);
}

TEST(OperationOrder, RewritesAreDetectableOnTheGrid) {
    for (const OrderCase& c : Cases()) {
        if (!c.rewrite) continue;
        int differing = 0;
        for (double t : Grid()) {
            if (Bits(c.reference(t)) != Bits(c.rewrite(t))) ++differing;
        }
        EXPECT_GT(differing, 0) << c.name << ": the rewrite is indistinguishable on the grid";
    }
}

// The elastic InOut period is 0.3 * 1.5 rounded, not the double nearest
// 0.45; at t = 0.2 the two give different results.
TEST(OperationOrder, ElasticInOutPeriodConstantMatters) {
    const double t = 0.2;
    const double got = Eval(11, 3, t);
    EXPECT_EQ(Bits(got), 0xBF6FFFFFFFFFFFF1u);

    const double s = 2 * t;
    const double u = s - 1;
    const double withDecimal = -0.5 * (std::sin(((u - 0.1125) * kTwoPi) / 0.45) * Pow2(u * 10));
    EXPECT_EQ(Bits(withDecimal), 0xBF70000000000006u);
    EXPECT_NE(Bits(got), Bits(withDecimal));
}

// Folding 2pi / period into one factor changes the last bits.
TEST(OperationOrder, ElasticSineArgumentIsDividedLast) {
    int differing = 0;
    for (double t : Grid()) {
        const double u = t - 1;
        const double folded = -(std::sin((u - 0.075) * (kTwoPi / 0.3)) * Pow2(u * 10));
        if (Bits(folded) != Bits(Eval(11, 1, t))) ++differing;
    }
    EXPECT_GT(differing, 0);
}

}  // namespace
