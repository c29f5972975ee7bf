// Values of the eleven curves through Easing::Impl::getTime: worked values,
// pinned bit results, clamping, fall-backs and the characteristic extremes.

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ZelvanEasing.h"

namespace {

using Impl = Easing::Impl;

std::uint64_t Bits(double x) {
    std::uint64_t b;
    std::memcpy(&b, &x, sizeof b);
    return b;
}

double Eval(int type, int mode, double t) { return Impl(type, mode).getTime(t); }

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

const int kAllTypes[] = {std::numeric_limits<int>::min(), -1, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 99,
                         std::numeric_limits<int>::max()};
const int kAllModes[] = {std::numeric_limits<int>::min(), -1, 0, 1, 2, 3, 4, 7, std::numeric_limits<int>::max()};
const int kUnlistedTypes[] = {std::numeric_limits<int>::min(), -1, 0, 12, 99, std::numeric_limits<int>::max()};
const int kUnlistedModes[] = {std::numeric_limits<int>::min(), -1, 0, 4, 7, std::numeric_limits<int>::max()};

// Interior grid, away from the clamped ends.
std::vector<double> InteriorGrid(int n) {
    std::vector<double> g;
    for (int i = 1; i < n; ++i) g.push_back(static_cast<double>(i) / n);
    return g;
}

// --- Worked values ----------------------------------------------------------

struct WorkedCase {
    const char* name;
    int type;
    int mode;
    double at25, at50, at75;
};

const WorkedCase kWorked[] = {
    {"Quad In", 2, 1, 0.0625, 0.25, 0.5625},
    {"Quad Out", 2, 2, 0.4375, 0.75, 0.9375},
    {"Quad InOut", 2, 3, 0.125, 0.5, 0.875},
    {"Cubic In", 3, 1, 0.015625, 0.125, 0.421875},
    {"Cubic Out", 3, 2, 0.578125, 0.875, 0.984375},
    {"Cubic InOut", 3, 3, 0.0625, 0.5, 0.9375},
    {"Quart In", 4, 1, 0.00390625, 0.0625, 0.31640625},
    {"Quart Out", 4, 2, 0.68359375, 0.9375, 0.99609375},
    {"Quart InOut", 4, 3, 0.03125, 0.5, 0.96875},
    {"Quint In", 5, 1, 0.0009765625, 0.03125, 0.2373046875},
    {"Quint Out", 5, 2, 0.7626953125, 0.96875, 0.9990234375},
    {"Quint InOut", 5, 3, 0.015625, 0.5, 0.984375},
    {"Expo In", 6, 1, 0.0055242717, 0.03125, 0.1767766953},
    {"Expo Out", 6, 2, 0.8232233047, 0.96875, 0.9944757283},
    {"Expo InOut", 6, 3, 0.015625, 0.5, 0.984375},
    {"Circ In", 7, 1, 0.0317541634, 0.1339745962, 0.3385621722},
    {"Circ Out", 7, 2, 0.6614378278, 0.8660254038, 0.9682458366},
    {"Circ InOut", 7, 3, 0.0669872981, 0.5, 0.9330127019},
    {"Sine In", 8, 1, 0.0761204675, 0.2928932188, 0.6173165676},
    {"Sine Out", 8, 2, 0.3826834324, 0.7071067812, 0.9238795325},
    {"Sine InOut", 8, 3, 0.1464466094, 0.5, 0.8535533906},
    {"Bounce In", 9, 1, 0.02734375, 0.234375, 0.52734375},
    {"Bounce Out", 9, 2, 0.47265625, 0.765625, 0.97265625},
    {"Bounce InOut", 9, 3, 0.1171875, 0.5, 0.8828125},
    {"Back In", 10, 1, -0.0641365625, -0.0876975, 0.1825903125},
    {"Back Out", 10, 2, 0.8174096875, 1.0876975, 1.0641365625},
    {"Back InOut", 10, 3, -0.09968184375, 0.5, 1.09968184375},
    {"Elastic In", 11, 1, -0.0055242717, -0.015625, 0.0883883476},
    {"Elastic Out", 11, 2, 0.9116116524, 1.015625, 1.0055242717},
    {"Elastic InOut", 11, 3, 0.0119694444, 0.5, 0.9880305556},
};

class WorkedValues : public ::testing::TestWithParam<WorkedCase> {};

TEST_P(WorkedValues, MatchToTenDecimals) {
    const WorkedCase& c = GetParam();
    EXPECT_NEAR(Eval(c.type, c.mode, 0.25), c.at25, 1e-10);
    EXPECT_NEAR(Eval(c.type, c.mode, 0.5), c.at50, 1e-10);
    EXPECT_NEAR(Eval(c.type, c.mode, 0.75), c.at75, 1e-10);
}

INSTANTIATE_TEST_SUITE_P(Table, WorkedValues, ::testing::ValuesIn(kWorked),
                         [](const ::testing::TestParamInfo<WorkedCase>& param) {
                             std::string n = param.param.name;
                             for (char& ch : n)
                                 if (ch == ' ') ch = '_';
                             return n;
                         });

TEST(Curves, LinearReturnsTForEveryMode) {
    for (int mode : kAllModes) {
        for (double t : {0.25, 0.5, 0.75, 1e-300, 0.1, 0.9999999999999999}) {
            EXPECT_EQ(Bits(Eval(1, mode, t)), Bits(t)) << "mode " << mode << " t " << t;
        }
    }
}

// --- Pinned bit results -----------------------------------------------------
//
// Bit patterns at t = 0.1, 0.3, 0.7, 0.9 (none exactly representable, so the
// rounding of every step shows), computed independently from the curve
// formulas with IEEE double arithmetic and the platform's libm.

struct PinnedCase {
    int type;
    int mode;
    std::uint64_t bits[4];
};

const double kPinnedT[4] = {0.1, 0.3, 0.7, 0.9};

const PinnedCase kPinned[] = {
    {2, 1, {0x3F847AE147AE147C, 0x3FB70A3D70A3D70A, 0x3FDF5C28F5C28F5B, 0x3FE9EB851EB851EC}},  // Quad In
    {2, 2, {0x3FC851EB851EB852, 0x3FE051EB851EB852, 0x3FED1EB851EB851E, 0x3FEFAE147AE147AF}},  // Quad Out
    {2, 3, {0x3F947AE147AE147C, 0x3FC70A3D70A3D70A, 0x3FEA3D70A3D70A3D, 0x3FEF5C28F5C28F5C}},  // Quad InOut
    {3, 1, {0x3F50624DD2F1A9FD, 0x3F9BA5E353F7CED9, 0x3FD5F3B645A1CABF, 0x3FE753F7CED91688}},  // Cubic In
    {3, 2, {0x3FD15810624DD2F0, 0x3FE50624DD2F1AA0, 0x3FEF22D0E5604189, 0x3FEFF7CED916872B}},  // Cubic Out
    {3, 3, {0x3F70624DD2F1A9FD, 0x3FBBA5E353F7CED9, 0x3FEC8B4395810624, 0x3FEFDF3B645A1CAC}},  // Cubic InOut
    {4, 1, {0x3F1A36E2EB1C432F, 0x3F8096BB98C7E282, 0x3FCEBB98C7E2823E, 0x3FE4FEC56D5CFAAE}},  // Quart In
    {4, 2, {0x3FD6027525460AA4, 0x3FE85119CE075F70, 0x3FEFBDA5119CE076, 0x3FEFFF2E48E8A71E}},  // Quart Out
    {4, 3, {0x3F4A36E2EB1C432F, 0x3FB096BB98C7E282, 0x3FEDED288CE703AF, 0x3FEFF972474538EF}},  // Quart InOut
    {5, 1, {0x3EE4F8B588E368F3, 0x3F63E81450EFDC9C, 0x3FC5835158B827F8, 0x3FE2E54B48D3AE6A}},  // Quint In
    {5, 2, {0x3FDA35696E58A32C, 0x3FEA9F2BA9D1F602, 0x3FEFEC17EBAF1023, 0x3FEFFFEB074A771D}},  // Quint Out
    {5, 3, {0x3F24F8B588E368F3, 0x3FA3E81450EFDC9C, 0x3FEEC17EBAF10236, 0x3FEFFEB074A771C9}},  // Quint InOut
    {6, 1, {0x3F60000000000000, 0x3F80000000000000, 0x3FBFFFFFFFFFFFFD, 0x3FE0000000000001}},  // Expo In
    {6, 2, {0x3FE0000000000000, 0x3FEC000000000000, 0x3FEFC00000000000, 0x3FEFF00000000000}},  // Expo Out
    {6, 3, {0x3F60000000000000, 0x3FA0000000000000, 0x3FEF000000000000, 0x3FEFF00000000000}},  // Expo InOut
    {7, 1, {0x3F74880D9B23AD80, 0x3FA79547EF156EE0, 0x3FD24B7BD1512D1E, 0x3FE20D30A2E2F4D4}},  // Circ In
    {7, 2, {0x3FDBE59EBA3A1659, 0x3FE6DA4217576971, 0x3FEE86AB810EA912, 0x3FEFD6EFE4C9B8A5}},  // Circ Out
    {7, 3, {0x3F84B0626492F6C0, 0x3FB9999999999998, 0x3FECCCCCCCCCCCCC, 0x3FEFAD3E766DB425}},  // Circ InOut
    {8, 1, {0x3F8936DAF406E900, 0x3FBBE6FF16169C98, 0x3FE178E8EA5D9100, 0x3FEAFE7D2615EB22}},  // Sine In
    {8, 2, {0x3FC4060B67A85375, 0x3FDD0E2E2B44DE00, 0x3FEC83201D3D2C6C, 0x3FEF9B24942FE45C}},  // Sine Out
    {8, 3, {0x3F990F1ECBBAB010, 0x3FCA61B9F7154B44, 0x3FE96791823AAD2E, 0x3FEF378709A22A80}},  // Sine InOut
    {9, 1, {0x3F8851EB851EB880, 0x3FB1C28F5C28F5C0, 0x3FD470A3D70A3D6E, 0x3FED947AE147AE15}},  // Bounce In
    {9, 2, {0x3FB35C28F5C28F5D, 0x3FE5C7AE147AE147, 0x3FEDC7AE147AE148, 0x3FEF9EB851EB851E}},  // Bounce Out
    {9, 3, {0x3F9EB851EB851EC0, 0x3FA70A3D70A3D718, 0x3FEE8F5C28F5C290, 0x3FEF0A3D70A3D70A}},  // Bounce InOut
    {10, 1, {0xBF8D50C6162459A8, 0xBFB487F501744954, 0x3FB7C62E22274734, 0x3FE2EAE19586BA6E}},  // Back In
    {10, 2, {0x3FDA2A3CD4F28B24, 0x3FED073A3BBB171A, 0x3FF1487F50174495, 0x3FF03AA18C2C48B3}},  // Back Out
    {10, 3, {0xBFA335A1B3AAA313, 0xBFB42E6E639C17DE, 0x3FF142E6E639C17E, 0x3FF099AD0D9D5518}},  // Back InOut
    {11, 1, {0x3F60000000000000, 0xBF6FFFFFFFFFFFED, 0x3FBFFFFFFFFFFFFD, 0xBFD0000000000002}},  // Elastic In
    {11, 2, {0x3FF4000000000000, 0x3FEC000000000000, 0x3FF0100000000000, 0x3FEFF00000000000}},  // Elastic Out
    {11, 3, {0x3F363A1A7E0B73B0, 0x3F98836FA2CF5037, 0x3FEF3BE482E9857E, 0x3FEFFD38BCB03E92}},  // Elastic InOut
};

TEST(Curves, PinnedBitResults) {
    for (const PinnedCase& c : kPinned) {
        for (int i = 0; i < 4; ++i) {
            EXPECT_EQ(Bits(Eval(c.type, c.mode, kPinnedT[i])), c.bits[i])
                << "type " << c.type << " mode " << c.mode << " t " << kPinnedT[i];
        }
    }
}

// --- Clamping and fall-backs ------------------------------------------------

TEST(Clamping, NonPositiveGivesPositiveZeroForEveryCode) {
    const double low[] = {0.0, -0.0, -std::numeric_limits<double>::denorm_min(), -1e-300, -0.5, -1.0, -1e300, -kInf};
    for (int type : kAllTypes)
        for (int mode : kAllModes)
            for (double t : low) {
                const double r = Eval(type, mode, t);
                EXPECT_EQ(r, 0.0) << type << "/" << mode << " t " << t;
                EXPECT_FALSE(std::signbit(r)) << type << "/" << mode << " t " << t;
            }
}

TEST(Clamping, AtLeastOneGivesExactlyOneForEveryCode) {
    const double high[] = {1.0, std::nextafter(1.0, 2.0), 1.5, 2.0, 1e300, std::numeric_limits<double>::max(), kInf};
    for (int type : kAllTypes)
        for (int mode : kAllModes)
            for (double t : high) EXPECT_EQ(Bits(Eval(type, mode, t)), Bits(1.0)) << type << "/" << mode << " t " << t;
}

TEST(Clamping, NaNPassesThroughKnownModesAndLinear) {
    for (int type = 2; type <= 11; ++type)
        for (int mode = 1; mode <= 3; ++mode) EXPECT_TRUE(std::isnan(Eval(type, mode, kNaN))) << type << "/" << mode;
    for (int mode : kAllModes) {
        EXPECT_TRUE(std::isnan(Eval(1, mode, kNaN))) << mode;
        for (int type : kUnlistedTypes) EXPECT_TRUE(std::isnan(Eval(type, mode, kNaN))) << type << "/" << mode;
    }
}

TEST(Clamping, NaNWithUnlistedModeGivesPositiveZero) {
    for (int type = 2; type <= 11; ++type)
        for (int mode : kUnlistedModes) {
            const double r = Eval(type, mode, kNaN);
            EXPECT_EQ(r, 0.0) << type << "/" << mode;
            EXPECT_FALSE(std::signbit(r)) << type << "/" << mode;
        }
}

TEST(Fallbacks, UnlistedTypesActAsLinear) {
    for (int type : kUnlistedTypes)
        for (int mode : kAllModes)
            for (double t : InteriorGrid(200)) {
                EXPECT_EQ(Bits(Eval(type, mode, t)), Bits(t)) << type << "/" << mode << " t " << t;
            }
}

TEST(Fallbacks, UnlistedModesGiveZeroInsideAndKeepTheClampedEnds) {
    for (int type = 2; type <= 11; ++type)
        for (int mode : kUnlistedModes) {
            for (double t : InteriorGrid(200)) {
                const double r = Eval(type, mode, t);
                EXPECT_EQ(r, 0.0) << type << "/" << mode << " t " << t;
                EXPECT_FALSE(std::signbit(r));
            }
            EXPECT_EQ(Eval(type, mode, std::numeric_limits<double>::denorm_min()), 0.0);
            EXPECT_EQ(Eval(type, mode, std::nextafter(1.0, 0.0)), 0.0);
            EXPECT_EQ(Eval(type, mode, 0.0), 0.0);
            EXPECT_EQ(Eval(type, mode, 1.0), 1.0);
        }
}

// --- Characteristic points --------------------------------------------------

TEST(Curves, InOutMidpointTakesTheSecondHalf) {
    for (int type = 1; type <= 11; ++type) {
        if (type == 8) continue;
        EXPECT_EQ(Bits(Eval(type, 3, 0.5)), Bits(0.5)) << type;
    }
    // cos of the double nearest pi/2 is not 0.
    EXPECT_EQ(Bits(Eval(8, 3, 0.5)), 0x3FDFFFFFFFFFFFFFu);
    EXPECT_EQ(Eval(8, 3, 0.5), 0.49999999999999994);
}

TEST(Curves, ExpoJumpsAtTheClampedEnds) {
    // Just inside the ends the curve is still about 2^-10 away from them.
    EXPECT_EQ(Eval(6, 1, 0.0), 0.0);
    EXPECT_NEAR(Eval(6, 1, 1e-9), 0.0009765625, 1e-10);
    EXPECT_EQ(Eval(6, 1, std::numeric_limits<double>::denorm_min()), 0x1p-10);
    EXPECT_NEAR(Eval(6, 2, 1.0 - 1e-9), 0.9990234375, 1e-10);
    EXPECT_EQ(Eval(6, 2, 1.0), 1.0);

    EXPECT_NEAR(Eval(6, 3, 1e-9), 0.00048828125, 1e-10);
    EXPECT_NEAR(Eval(6, 3, 1.0 - 1e-9), 1.0 - 0.00048828125, 1e-10);
    EXPECT_EQ(Eval(6, 3, 0.0), 0.0);
    EXPECT_EQ(Eval(6, 3, 1.0), 1.0);
}

TEST(Curves, ElasticNearTheEnds) {
    EXPECT_NEAR(Eval(11, 1, 1e-9), -0.00048828, 1e-8);
    EXPECT_NEAR(Eval(11, 2, 1.0 - 1e-9), 1.00048828, 1e-8);
    EXPECT_EQ(Eval(11, 1, 0.0), 0.0);
    EXPECT_EQ(Eval(11, 2, 1.0), 1.0);
}

TEST(Curves, BounceApproachesOneContinuously) {
    const double below = std::nextafter(1.0, 0.0);
    EXPECT_NEAR(Eval(9, 2, below), 1.0, 1e-14);
    EXPECT_NEAR(Eval(9, 1, std::numeric_limits<double>::denorm_min()), 0.0, 1e-14);
    EXPECT_NEAR(Eval(9, 3, below), 1.0, 1e-14);
    EXPECT_EQ(Eval(9, 3, 0.5), 0.5);
}

// Bounce Out at the arc boundaries: every arc touches 1 where the next begins.
TEST(Curves, BounceArcsMeet) {
    const double breaks[] = {1.0 / 2.75, 2.0 / 2.75, 2.5 / 2.75};
    for (double b : breaks) {
        const double before = Eval(9, 2, std::nextafter(b, 0.0));
        const double at = Eval(9, 2, b);
        EXPECT_NEAR(before, 1.0, 1e-12) << b;
        EXPECT_NEAR(at, 1.0, 1e-12) << b;
    }
}

// --- Overshoot ----------------------------------------------------------------

struct Extreme {
    double value;
    double at;
};

Extreme ScanMin(int type, int mode, double from, double to) {
    Extreme e{std::numeric_limits<double>::infinity(), 0.0};
    const int n = 200000;
    for (int i = 1; i < n; ++i) {
        const double t = from + (to - from) * i / n;
        const double v = Eval(type, mode, t);
        if (v < e.value) e = {v, t};
    }
    return e;
}

Extreme ScanMax(int type, int mode, double from, double to) {
    Extreme e{-std::numeric_limits<double>::infinity(), 0.0};
    const int n = 200000;
    for (int i = 1; i < n; ++i) {
        const double t = from + (to - from) * i / n;
        const double v = Eval(type, mode, t);
        if (v > e.value) e = {v, t};
    }
    return e;
}

struct OvershootCase {
    const char* name;
    int type;
    int mode;
    bool minimum;
    double from, to;  // where the extreme is sought
    double value, at;
};

const OvershootCase kOvershoot[] = {
    {"Back In min", 10, 1, true, 0.0, 1.0, -0.100004, 0.4199},
    {"Back Out max", 10, 2, false, 0.0, 1.0, 1.100004, 0.5801},
    {"Back InOut min", 10, 3, true, 0.0, 0.5, -0.100151, 0.2406},
    {"Back InOut max", 10, 3, false, 0.5, 1.0, 1.100151, 0.7594},
    {"Elastic In min", 11, 1, true, 0.0, 1.0, -0.373098, 0.8653},
    {"Elastic Out max", 11, 2, false, 0.0, 1.0, 1.373098, 0.1347},
    {"Elastic InOut min", 11, 3, true, 0.0, 1.0, -0.118348, 0.4040},
    {"Elastic InOut max", 11, 3, false, 0.0, 1.0, 1.118348, 0.5960},
};

TEST(Overshoot, ExtremesAreUnclampedAndWhereExpected) {
    for (const OvershootCase& c : kOvershoot) {
        const Extreme e = c.minimum ? ScanMin(c.type, c.mode, c.from, c.to) : ScanMax(c.type, c.mode, c.from, c.to);
        EXPECT_NEAR(e.value, c.value, 1e-6) << c.name;
        EXPECT_NEAR(e.at, c.at, 1e-4) << c.name;
    }
}

// Out mirrors In about the midpoint for every shaped curve.
TEST(Curves, OutIsInTurnedAboutTheMidpoint) {
    for (int type = 2; type <= 11; ++type)
        for (double t : InteriorGrid(97)) {
            EXPECT_NEAR(Eval(type, 2, t), 1.0 - Eval(type, 1, 1.0 - t), 1e-12) << type << " t " << t;
        }
}

}  // namespace
