// The double-double loops written once for any vector width. A lane type L supplies V (a
// vector of L::width doubles) and its loads, stores and arithmetic, fma(a, b, c) = a b + c
// and fms(a, b, c) = a b - c fused. Each translation unit that includes this header
// defines its lane types in an anonymous namespace and is compiled for its instruction set
// with -ffp-contract=off, so that no sum of a product is fused behind the error-free
// transformations' back. Everything here has internal linkage, so that no function compiled
// for one instruction set is ever linked in place of another's.
// Notation: h, l the high and low parts; p + pe an exact product.
#pragma once

#include "engine/profile_kernels.h"

#include <cmath>

namespace ptw3 {
namespace {

template <class L> struct LaneKernels {
    using V = typename L::V;
    static constexpr int32_t width = L::width;

    /// p + pe = (fh + fl)(uh + ul) but for the product of the low parts (below 2^-106).
    static void product(V fh, V fl, V uh, V ul, V& p, V& pe) {
        p = L::mul(fh, uh);
        pe = L::fms(fh, uh, p);
        pe = L::fma(fh, ul, pe);
        pe = L::fma(fl, uh, pe);
    }

    /// TwoSum: s + e = a + b exactly.
    static void twoSum(V a, V b, V& s, V& e) {
        s = L::add(a, b);
        const V bb = L::sub(s, a);
        e = L::add(L::sub(a, L::sub(s, bb)), L::sub(b, bb));
    }

    /// s + e = a - b exactly.
    static void twoDifference(V a, V b, V& s, V& e) {
        s = L::sub(a, b);
        const V bb = L::sub(s, a);
        e = L::sub(L::sub(a, L::sub(s, bb)), L::add(b, bb));
    }

    // The high part takes each product by TwoSum, the low part collects the errors and the
    // products' low parts; one renormalisation at the end (Ogita, Rump and Oishi's
    // compensated summation, here in double-double).
    static void subtractProducts(DoubleDoubleRow target, int32_t count,
                                 const DoubleDoubleRow* sources, const DoubleDouble* factors,
                                 int32_t sourceCount) {
        int32_t m = 0;
        for (; m + width <= count; m += width) {
            V h = L::load(target.hi + m);
            V l = L::load(target.lo + m);
            for (int32_t s = 0; s < sourceCount; ++s) {
                V p, pe, e;
                product(L::broadcast(factors[s].hi), L::broadcast(factors[s].lo),
                        L::load(sources[s].hi + m), L::load(sources[s].lo + m), p, pe);
                twoDifference(h, p, h, e);
                l = L::add(l, L::sub(e, pe));
            }
            V e;
            twoSum(h, l, h, e);
            L::store(target.hi + m, h);
            L::store(target.lo + m, e);
        }
        if constexpr (width > 1) {
            if (m < count) {
                DoubleDoubleRow shifted[maxSources];
                for (int32_t s = 0; s < sourceCount; ++s) {
                    shifted[s] = {sources[s].hi + m, sources[s].lo + m};
                }
                LaneKernels<typename L::Scalar>::subtractProducts(
                    {target.hi + m, target.lo + m}, count - m, shifted, factors, sourceCount);
            }
        }
    }

    static void scale(DoubleDoubleRow target, int32_t count, DoubleDouble factor) {
        const V fh = L::broadcast(factor.hi);
        const V fl = L::broadcast(factor.lo);
        int32_t m = 0;
        for (; m + width <= count; m += width) {
            V p, pe, e;
            product(fh, fl, L::load(target.hi + m), L::load(target.lo + m), p, pe);
            twoSum(p, pe, p, e);
            L::store(target.hi + m, p);
            L::store(target.lo + m, e);
        }
        if constexpr (width > 1) {
            if (m < count) {
                LaneKernels<typename L::Scalar>::scale({target.hi + m, target.lo + m}, count - m,
                                                       factor);
            }
        }
    }

    // Each lane sums its own elements; the lanes, then the elements left over, are added to
    // init in a fixed order.
    static DoubleDouble dot(DoubleDouble init, DoubleDoubleRow a, DoubleDoubleRow b,
                            int32_t count) {
        V h = L::zero();
        V l = L::zero();
        int32_t m = 0;
        for (; m + width <= count; m += width) {
            V p, pe, e;
            product(L::load(a.hi + m), L::load(a.lo + m), L::load(b.hi + m), L::load(b.lo + m),
                    p, pe);
            twoSum(h, p, h, e);
            l = L::add(l, L::add(e, pe));
        }
        double lanesHi[width];
        double lanesLo[width];
        L::store(lanesHi, h);
        L::store(lanesLo, l);
        DoubleDouble total = init;
        if (m > 0) {
            for (int32_t k = 0; k < width; ++k) {
                total = accurateSum(total, lanesHi[k], lanesLo[k]);
            }
        }
        if constexpr (width > 1) {
            if (m < count) {
                total = LaneKernels<typename L::Scalar>::dot(total, {a.hi + m, a.lo + m},
                                                             {b.hi + m, b.lo + m}, count - m);
            }
        }
        return total;
    }

    /// The most sources one call may take (the panel height of the solver).
    static constexpr int32_t maxSources = 64;

    /// total + (h + l), both error terms kept (the accurate double-double sum).
    static DoubleDouble accurateSum(DoubleDouble total, double h, double l) {
        double s, e, t, f;
        twoSumScalar(total.hi, h, s, e);
        twoSumScalar(total.lo, l, t, f);
        e += t;
        fastTwoSumScalar(s, e, s, e);
        e += f;
        fastTwoSumScalar(s, e, s, e);
        return {s, e};
    }
    static void twoSumScalar(double a, double b, double& s, double& e) {
        s = a + b;
        const double bb = s - a;
        e = (a - (s - bb)) + (b - bb);
    }
    static void fastTwoSumScalar(double a, double b, double& s, double& e) {
        s = a + b;
        e = b - (s - a);
    }
};

/// One double as a vector of one lane: the tails of the vector loops and the processors
/// without vector units.
struct ScalarLanes {
    using V = double;
    using Scalar = ScalarLanes;
    static constexpr int32_t width = 1;
    static V load(const double* p) { return *p; }
    static void store(double* p, V v) { *p = v; }
    static V broadcast(double x) { return x; }
    static V zero() { return 0; }
    static V add(V a, V b) { return a + b; }
    static V sub(V a, V b) { return a - b; }
    static V mul(V a, V b) { return a * b; }
    static V fma(V a, V b, V c) { return std::fma(a, b, c); }
    static V fms(V a, V b, V c) { return std::fma(a, b, -c); }
};

} // namespace
} // namespace ptw3
