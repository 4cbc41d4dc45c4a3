// Double-double numbers: an unevaluated sum hi + lo of two doubles with |lo| <= ulp(hi)/2,
// about 106 significant bits, built from the error-free transformations TwoSum (Knuth) and
// TwoProduct (with a fused multiply-add), after Dekker (1971) and Hida, Li and Bailey's
// QD library (2001). The solver's kernels use them so that vector instructions carry more
// than the 64 bits of the extended type; every value enters and leaves as a Real.
#pragma once

#include "common/real.h"

#include <cmath>

namespace ptw3 {

struct DoubleDouble {
    double hi = 0;
    double lo = 0;
};

/// s + e = a + b exactly, s = fl(a + b).
inline DoubleDouble twoSum(double a, double b) {
    const double s = a + b;
    const double bb = s - a;
    return {s, (a - (s - bb)) + (b - bb)};
}

/// s + e = a + b exactly when |a| >= |b| (or a = 0).
inline DoubleDouble fastTwoSum(double a, double b) {
    const double s = a + b;
    return {s, b - (s - a)};
}

/// p + e = a b exactly.
inline DoubleDouble twoProduct(double a, double b) {
    const double p = a * b;
    return {p, std::fma(a, b, -p)};
}

/// The Real rounded to 106 bits: exact, since a 64-bit significand splits into two doubles.
inline DoubleDouble toDoubleDouble(Real v) {
    const auto hi = static_cast<double>(v);
    return {hi, static_cast<double>(v - hi)};
}

/// hi + lo rounded to the extended type.
inline Real toReal(DoubleDouble v) { return static_cast<Real>(v.hi) + static_cast<Real>(v.lo); }

inline DoubleDouble operator-(DoubleDouble a) { return {-a.hi, -a.lo}; }

/// The accurate sum (both error terms kept), relative error about 2^-106 even under
/// cancellation.
inline DoubleDouble operator+(DoubleDouble a, DoubleDouble b) {
    DoubleDouble s = twoSum(a.hi, b.hi);
    const DoubleDouble t = twoSum(a.lo, b.lo);
    s.lo += t.hi;
    s = fastTwoSum(s.hi, s.lo);
    s.lo += t.lo;
    return fastTwoSum(s.hi, s.lo);
}

inline DoubleDouble operator-(DoubleDouble a, DoubleDouble b) { return a + -b; }

inline DoubleDouble operator*(DoubleDouble a, DoubleDouble b) {
    DoubleDouble p = twoProduct(a.hi, b.hi);
    p.lo = std::fma(a.hi, b.lo, p.lo);
    p.lo = std::fma(a.lo, b.hi, p.lo);
    return fastTwoSum(p.hi, p.lo);
}

/// a / b by two corrections of the double quotient.
inline DoubleDouble operator/(DoubleDouble a, DoubleDouble b) {
    const double q1 = a.hi / b.hi;
    const DoubleDouble r = a - b * DoubleDouble{q1, 0};
    const double q2 = r.hi / b.hi;
    const DoubleDouble r2 = r - b * DoubleDouble{q2, 0};
    const double q3 = r2.hi / b.hi;
    return DoubleDouble{q1, 0} + DoubleDouble{q2, 0} + DoubleDouble{q3, 0};
}

/// √a for a > 0 by one Newton step from the double root (Karp and Markstein).
inline DoubleDouble squareRoot(DoubleDouble a) {
    const double x = 1 / std::sqrt(a.hi);
    const double ax = a.hi * x;
    const DoubleDouble residual = a - twoProduct(ax, ax);
    return DoubleDouble{ax, 0} + DoubleDouble{residual.hi * (x * 0.5), 0};
}

inline bool operator<(DoubleDouble a, DoubleDouble b) {
    return a.hi < b.hi || (a.hi == b.hi && a.lo < b.lo);
}

} // namespace ptw3
