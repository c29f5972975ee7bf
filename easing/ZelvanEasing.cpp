#include "ZelvanEasing.h"

#include <cmath>
#include <memory>

#include "EasingConstants.h"

// Every formula below keeps its operation order (powers are repeated
// multiplication, left to right) so that results are the same to the bit
// wherever the library is built; the build disables floating-point
// contraction for the same reason.

namespace {

using namespace zelvan::easing;

enum Mode { kIn = 1, kOut = 2, kInOut = 3 };

// 2^y. One code path on every target: std::exp2 would be an equally valid
// choice on macOS, but std::pow(2, y) is exact for the integral exponents the
// curves hit and keeps all builds on the same function.
inline double pow2(double y) { return std::pow(2.0, y); }

}  // namespace

// --- Easing::Impl ----------------------------------------------------------

Easing::Impl::Impl() : easingType(1), easingMode(3) {}

Easing::Impl::Impl(int type, int mode) : easingType(type), easingMode(mode) {}

void Easing::Impl::setEasingType(int type) { easingType = type; }

void Easing::Impl::setEasingMode(int mode) { easingMode = mode; }

double Easing::Impl::getTime(double t) const {
    // Ordered comparisons: NaN fails both and reaches the curve. Returning
    // the literal also turns -0.0 into +0.0.
    if (t <= 0.0) return 0.0;
    if (t >= 1.0) return 1.0;
    switch (easingType) {
        case 2: return _quad(t);
        case 3: return _cubic(t);
        case 4: return _quart(t);
        case 5: return _quint(t);
        case 6: return _expo(t);
        case 7: return _circ(t);
        case 8: return _sine(t);
        case 9: return _bounce(t);
        case 10: return _back(t);
        case 11: return _elastic(t);
        default: return t;  // Linear, and every unknown type
    }
}

double Easing::Impl::_quad(double t) const {
    switch (easingMode) {
        case kIn: return t * t;
        case kOut: return -((t - 2.0) * t);
        case kInOut: {
            const double s = t * 2.0;
            if (s < 1.0) return 0.5 * s * s;
            const double u = s - 1.0;
            return -0.5 * ((u - 2.0) * u - 1.0);
        }
        default: return 0.0;
    }
}

double Easing::Impl::_cubic(double t) const {
    switch (easingMode) {
        case kIn: return t * t * t;
        case kOut: {
            const double u = t - 1.0;
            return u * u * u + 1.0;
        }
        case kInOut: {
            const double s = t * 2.0;
            if (s < 1.0) return 0.5 * s * s * s;
            const double u = s - 2.0;
            return 0.5 * (u * u * u + 2.0);
        }
        default: return 0.0;
    }
}

double Easing::Impl::_quart(double t) const {
    switch (easingMode) {
        case kIn: return t * t * t * t;
        case kOut: {
            const double u = t - 1.0;
            return -(u * u * u * u - 1.0);
        }
        case kInOut: {
            const double s = t * 2.0;
            if (s < 1.0) return 0.5 * s * s * s * s;
            const double u = s - 2.0;
            return -0.5 * (u * u * u * u - 2.0);
        }
        default: return 0.0;
    }
}

double Easing::Impl::_quint(double t) const {
    switch (easingMode) {
        case kIn: return t * t * t * t * t;
        case kOut: {
            const double u = t - 1.0;
            return u * u * u * u * u + 1.0;
        }
        case kInOut: {
            const double s = t * 2.0;
            if (s < 1.0) return 0.5 * s * s * s * s * s;
            const double u = s - 2.0;
            return 0.5 * (u * u * u * u * u + 2.0);
        }
        default: return 0.0;
    }
}

double Easing::Impl::_expo(double t) const {
    switch (easingMode) {
        case kIn: return pow2((t - 1.0) * kExpoFactor);
        case kOut: return 1.0 - pow2(t * -kExpoFactor);
        case kInOut: {
            const double s = t * 2.0;
            const double u = s - 1.0;
            if (s < 1.0) return 0.5 * pow2(u * kExpoFactor);
            return 0.5 * (2.0 - pow2(u * -kExpoFactor));
        }
        default: return 0.0;
    }
}

double Easing::Impl::_circ(double t) const {
    switch (easingMode) {
        case kIn: return -(std::sqrt(1.0 - t * t) - 1.0);
        case kOut: {
            const double u = t - 1.0;
            return std::sqrt(1.0 - u * u);
        }
        case kInOut: {
            const double s = t * 2.0;
            if (s < 1.0) return -0.5 * (std::sqrt(1.0 - s * s) - 1.0);
            const double u = s - 2.0;
            return 0.5 * (std::sqrt(1.0 - u * u) + 1.0);
        }
        default: return 0.0;
    }
}

double Easing::Impl::_sine(double t) const {
    switch (easingMode) {
        case kIn: return 1.0 - std::cos((t * kPi) * 0.5);
        case kOut: return std::sin((t * kPi) * 0.5);
        // cos of the double nearest pi/2 is about 6.1e-17, so t = 0.5 gives
        // 0.49999999999999994 rather than 0.5.
        case kInOut: return -0.5 * (std::cos(t * kPi) - 1.0);
        default: return 0.0;
    }
}

double Easing::Impl::_bounce(double t) const {
    switch (easingMode) {
        case kIn: return 1.0 - _ease_out_bounce(1.0 - t);
        case kOut: return _ease_out_bounce(t);
        case kInOut:
            if (t < 0.5) return 0.5 * (1.0 - _ease_out_bounce(1.0 - t * 2.0));
            return 0.5 * _ease_out_bounce(t * 2.0 - 1.0) + 0.5;
        default: return 0.0;
    }
}

double Easing::Impl::_back(double t) const {
    switch (easingMode) {
        case kIn: return (t * kBackOvershootPlus1 - kBackOvershoot) * (t * t);
        case kOut: {
            const double u = t - 1.0;
            return (u * kBackOvershootPlus1 + kBackOvershoot) * (u * u) + 1.0;
        }
        case kInOut: {
            const double s = t * 2.0;
            if (s < 1.0) return 0.5 * ((s * kBackInOutOvershootPlus1 - kBackInOutOvershoot) * (s * s));
            const double u = s - 2.0;
            return 0.5 * ((u * kBackInOutOvershootPlus1 + kBackInOutOvershoot) * (u * u) + 2.0);
        }
        default: return 0.0;
    }
}

double Easing::Impl::_elastic(double t) const {
    // The sine argument is (x - shift) * 2pi / period in that order; folding
    // 2pi / period into one constant changes the last bits.
    switch (easingMode) {
        case kIn: {
            const double u = t - 1.0;
            return -(std::sin(((u - kElasticShift) * kTwoPi) / kElasticPeriod) * pow2(u * kExpoFactor));
        }
        case kOut:
            return std::sin(((t - kElasticShift) * kTwoPi) / kElasticPeriod) * pow2(t * -kExpoFactor) + 1.0;
        case kInOut: {
            const double s = t * 2.0;
            const double u = s - 1.0;
            const double a = std::sin(((u - kElasticInOutShift) * kTwoPi) / kElasticInOutPeriod);
            if (s < 1.0) return -0.5 * (a * pow2(u * kExpoFactor));
            return 0.5 * (a * pow2(u * -kExpoFactor)) + 1.0;
        }
        default: return 0.0;
    }
}

// Four parabolic arcs of equal curvature, tested in order with strict
// comparisons.
double Easing::Impl::_ease_out_bounce(double x) const {
    if (x < kBounceBreak1) return x * kBounceFactor * x;
    if (x < kBounceBreak2) {
        const double u = x - kBounceCentre2;
        return u * kBounceFactor * u + kBounceFloor2;
    }
    if (x < kBounceBreak3) {
        const double u = x - kBounceCentre3;
        return u * kBounceFactor * u + kBounceFloor3;
    }
    const double u = x - kBounceCentre4;
    return u * kBounceFactor * u + kBounceFloor4;
}

// --- Easing ----------------------------------------------------------------

// The implementation is allocated before its holder; the unique_ptr keeps it
// from leaking if the holder's allocation fails.
Easing::Easing() : holder(nullptr) {
    std::unique_ptr<Impl> impl(new Impl());
    holder = new ImplHolder<Impl>(impl.get());
    impl.release();
}

Easing::Easing(int type, int mode) : holder(nullptr) {
    std::unique_ptr<Impl> impl(new Impl(type, mode));
    holder = new ImplHolder<Impl>(impl.get());
    impl.release();
}

Easing::~Easing() { delete holder; }

Easing::Easing(const Easing& other) : holder(other.holder->Clone()) {}

Easing& Easing::operator=(const Easing& other) {
    if (this != &other) other.holder->CopyTo(holder);
    return *this;
}

void Easing::setEasingType(int type) { static_cast<Impl*>(holder->GetPtr())->setEasingType(type); }

void Easing::setEasingMode(int mode) { static_cast<Impl*>(holder->GetPtr())->setEasingMode(mode); }

double Easing::getTime(double t) { return static_cast<Impl*>(holder->GetPtr())->getTime(t); }
