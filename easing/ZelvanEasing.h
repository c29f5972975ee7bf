#ifndef ZELVAN_EASING_H
#define ZELVAN_EASING_H

#include "Pimpl.h"

// Eased progress for a linear progress t in [0, 1].
//
// Type codes: 1 Linear, 2 Quad, 3 Cubic, 4 Quart, 5 Quint, 6 Expo, 7 Circ,
// 8 Sine, 9 Bounce, 10 Back, 11 Elastic; any other code acts as Linear.
// Mode codes: 1 In, 2 Out, 3 InOut; any other mode makes types 2 to 11
// return 0 inside (0, 1). Codes are stored unchecked.
class Easing {
public:
    // The pair of codes and the curves. Public so that the holder can be
    // instantiated and exercised on its own.
    class Impl {
    public:
        Impl();  // Linear, InOut
        Impl(int type, int mode);

        void setEasingType(int type);
        void setEasingMode(int mode);

        // t <= 0 gives +0.0 and t >= 1 gives 1.0 for every code; NaN passes
        // on to the curve. Back and Elastic overshoot and are not clamped.
        double getTime(double t) const;

    private:
        // Called with 0 < t < 1 (or NaN).
        double _quad(double t) const;
        double _cubic(double t) const;
        double _quart(double t) const;
        double _quint(double t) const;
        double _expo(double t) const;
        double _circ(double t) const;
        double _sine(double t) const;
        double _bounce(double t) const;
        double _back(double t) const;
        double _elastic(double t) const;
        double _ease_out_bounce(double x) const;

        int easingType;
        int easingMode;
    };

    Easing();
    Easing(int type, int mode);
    ~Easing();

    // Deep copy through the holder's Clone; assignment copies the codes into
    // this object's own implementation through CopyTo.
    Easing(const Easing& other);
    Easing& operator=(const Easing& other);

    void setEasingType(int type);
    void setEasingMode(int mode);
    double getTime(double t);

private:
    ImplHolderBase* holder;
};

#endif
