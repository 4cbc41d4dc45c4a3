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
        for (; m + 2 * width <= count; m += 2 * width) {
            V h = L::load(target.hi + m);
            V l = L::load(target.lo + m);
            V h2 = L::load(target.hi + m + width);
            V l2 = L::load(target.lo + m + width);
            for (int32_t s = 0; s < sourceCount; ++s) {
                const V fh = L::broadcast(factors[s].hi);
                const V fl = L::broadcast(factors[s].lo);
                V p, pe, e;
                product(fh, fl, L::load(sources[s].hi + m), L::load(sources[s].lo + m), p, pe);
                twoDifference(h, p, h, e);
                l = L::add(l, L::sub(e, pe));
                product(fh, fl, L::load(sources[s].hi + m + width),
                        L::load(sources[s].lo + m + width), p, pe);
                twoDifference(h2, p, h2, e);
                l2 = L::add(l2, L::sub(e, pe));
            }
            V e;
            twoSum(h, l, h, e);
            L::store(target.hi + m, h);
            L::store(target.lo + m, e);
            twoSum(h2, l2, h2, e);
            L::store(target.hi + m + width, h2);
            L::store(target.lo + m + width, e);
        }
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

    // The target is renormalised first, so that an unnormalised sum may be scaled.
    static void scale(DoubleDoubleRow target, int32_t count, DoubleDouble factor) {
        const V fh = L::broadcast(factor.hi);
        const V fl = L::broadcast(factor.lo);
        int32_t m = 0;
        for (; m + width <= count; m += width) {
            V h, l, p, pe, e;
            twoSum(L::load(target.hi + m), L::load(target.lo + m), h, l);
            product(fh, fl, h, l, p, pe);
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

    // Rows of u taken together in symmetricRow: their dot products' accumulators stay in
    // registers while z is read once.
    static constexpr int32_t rowGroup = width >= 8 ? 8 : 4;

    template <int G>
    static void symmetricRowGroup(DoubleDoubleRow z, int32_t count, const DoubleDoubleRow* u,
                                  const DoubleDoubleRow* s, DoubleDouble* dots) {
        V dh[G];
        V dl[G];
#pragma GCC unroll 8
        for (int q = 0; q < G; ++q) {
            dh[q] = L::zero();
            dl[q] = L::zero();
        }
        int32_t j = 1;
        for (; j + width <= count; j += width) {
            const V zh = L::load(z.hi + j);
            const V zl = L::load(z.lo + j);
#pragma GCC unroll 8
            for (int q = 0; q < G; ++q) {
                V p, pe, e;
                product(L::load(u[q].hi + j), L::load(u[q].lo + j), zh, zl, p, pe);
                twoSum(dh[q], p, dh[q], e);
                dl[q] = L::add(dl[q], L::add(e, pe));
                product(L::broadcast(u[q].hi[0]), L::broadcast(u[q].lo[0]), zh, zl, p, pe);
                V h;
                twoSum(L::load(s[q].hi + j), p, h, e);
                L::store(s[q].hi + j, h);
                L::store(s[q].lo + j, L::add(L::load(s[q].lo + j), L::add(e, pe)));
            }
        }
        for (int q = 0; q < G; ++q) {
            double lanesHi[width];
            double lanesLo[width];
            L::store(lanesHi, dh[q]);
            L::store(lanesLo, dl[q]);
            DoubleDouble total{};
            if (j > 1) {
                for (int32_t k = 0; k < width; ++k) {
                    total = accurateSum(total, lanesHi[k], lanesLo[k]);
                }
            }
            // The elements left over one by one, with the operations of a lane.
            using One = LaneKernels<typename L::Scalar>;
            double rh = 0;
            double rl = 0;
            for (int32_t i = j; i < count; ++i) {
                double p, pe, e;
                One::product(u[q].hi[i], u[q].lo[i], z.hi[i], z.lo[i], p, pe);
                One::twoSum(rh, p, rh, e);
                rl += e + pe;
                One::product(u[q].hi[0], u[q].lo[0], z.hi[i], z.lo[i], p, pe);
                One::twoSum(s[q].hi[i], p, s[q].hi[i], e);
                s[q].lo[i] += e + pe;
            }
            if (j < count) {
                total = accurateSum(total, rh, rl);
            }
            dots[q] = total;
        }
    }

    // dots[p] = sum_{j>=1} u_p[j] z[j], and s_p[j] += u_p[0] z[j] for 1 <= j < count: the
    // two halves of a symmetric matrix's row z against the rows u_p, z[0] on the diagonal.
    // s_p is left unnormalised: the high part takes each product by TwoSum, the low part
    // collects the errors.
    static void symmetricRow(DoubleDoubleRow z, int32_t count, const DoubleDoubleRow* u,
                             const DoubleDoubleRow* s, int32_t rows, DoubleDouble* dots) {
        int32_t p = 0;
        for (; p + rowGroup <= rows; p += rowGroup) {
            symmetricRowGroup<rowGroup>(z, count, u + p, s + p, dots + p);
        }
        for (; p < rows; ++p) {
            symmetricRowGroup<1>(z, count, u + p, s + p, dots + p);
        }
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
