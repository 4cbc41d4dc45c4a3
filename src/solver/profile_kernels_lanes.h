// The double-double loops written once for any vector width. A lane type L supplies V (a
// vector of L::width doubles) and its loads and stores (whole, or of the first n lanes with
// the others read as zero and left alone), and arithmetic with fma(a, b, c) = a b + c and
// fms(a, b, c) = a b - c fused. The last, partial vector of a loop takes the same steps
// as the others, so every element goes through the same operations wherever it lies.
// Each translation unit that includes this header is compiled for its instruction set
// with -ffp-contract=off, so that no sum of a product is fused behind the error-free
// transformations' back; everything here has internal linkage, so that no function
// compiled for one instruction set is ever linked in place of another's.
// Notation: h, l the high and low parts; p + pe an exact product.
#pragma once

#include "solver/profile_kernels.h"

#include <algorithm>
#include <cmath>

namespace ptw3 {
namespace {

template <class L> struct LaneKernels {
    using V = typename L::V;
    static constexpr int32_t width = L::width;

    static V get(const double* p, int32_t lanes) {
        return lanes == width ? L::load(p) : L::loadFirst(p, lanes);
    }
    static void put(double* p, V v, int32_t lanes) {
        if (lanes == width) {
            L::store(p, v);
        } else {
            L::storeFirst(p, v, lanes);
        }
    }

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
    static void subtractStep(DoubleDoubleRow target, int32_t m, int32_t lanes,
                             const DoubleDoubleRow* sources, const DoubleDouble* factors,
                             int32_t sourceCount) {
        V h = get(target.hi + m, lanes);
        V l = get(target.lo + m, lanes);
        for (int32_t s = 0; s < sourceCount; ++s) {
            V p, pe, e;
            product(L::broadcast(factors[s].hi), L::broadcast(factors[s].lo),
                    get(sources[s].hi + m, lanes), get(sources[s].lo + m, lanes), p, pe);
            twoDifference(h, p, h, e);
            l = L::add(l, L::sub(e, pe));
        }
        V e;
        twoSum(h, l, h, e);
        put(target.hi + m, h, lanes);
        put(target.lo + m, e, lanes);
    }

    static void subtractProducts(DoubleDoubleRow target, int32_t count,
                                 const DoubleDoubleRow* sources, const DoubleDouble* factors,
                                 int32_t sourceCount) {
        int32_t m = 0;
        // Two vectors at a time: their chains of dependent additions interleave.
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
        for (; m < count; m += width) {
            subtractStep(target, m, std::min(width, count - m), sources, factors, sourceCount);
        }
    }

    /// Sums taken over the depth in chunks of this many, each element renormalised after
    /// each chunk: a chunk of the left matrix's columns stays in the cache for all columns.
    static constexpr int32_t depthChunk = 64;

    // One vector of rows against NC columns: the accumulators of the NC columns stay in
    // registers while the depth is run through; each element takes the steps of
    // subtractStep, the column of the left matrix as source and B's element as factor.
    // Full: all lanes of the vector are rows (no masked loads in the loop).
    template <int NC, bool Full>
    static void productTile(DoubleDoubleRow c, int64_t ldc, int32_t lanes, DoubleDoubleRow a,
                            int64_t lda, DoubleDoubleRow b, int64_t ldb, int32_t depth) {
        const auto load = [lanes](const double* p) {
            if constexpr (Full) {
                (void)lanes;
                return L::load(p);
            } else {
                return L::loadFirst(p, lanes);
            }
        };
        V h[NC];
        V l[NC];
#pragma GCC unroll 4
        for (int q = 0; q < NC; ++q) {
            h[q] = load(c.hi + q * ldc);
            l[q] = load(c.lo + q * ldc);
        }
        const double* ah = a.hi;
        const double* al = a.lo;
        const double* bh = b.hi;
        const double* bl = b.lo;
        for (int32_t p = 0; p < depth; ++p) {
            const V xh = load(ah);
            const V xl = load(al);
#pragma GCC unroll 4
            for (int q = 0; q < NC; ++q) {
                V t, te, e;
                product(L::broadcast(bh[q]), L::broadcast(bl[q]), xh, xl, t, te);
                twoDifference(h[q], t, h[q], e);
                l[q] = L::add(l[q], L::sub(e, te));
            }
            ah += lda;
            al += lda;
            bh += ldb;
            bl += ldb;
        }
#pragma GCC unroll 4
        for (int q = 0; q < NC; ++q) {
            V e;
            twoSum(h[q], l[q], h[q], e);
            put(c.hi + q * ldc, h[q], lanes);
            put(c.lo + q * ldc, e, lanes);
        }
    }

    template <bool Full>
    static void productRow(DoubleDoubleRow c, int64_t ldc, int32_t lanes, DoubleDoubleRow a,
                           int64_t lda, DoubleDoubleRow b, int64_t ldb, int32_t columns,
                           int32_t depth) {
        int32_t j = 0;
        for (; j + 4 <= columns; j += 4) {
            productTile<4, Full>(c + j * ldc, ldc, lanes, a, lda, b + j, ldb, depth);
        }
        switch (columns - j) {
        case 3: productTile<3, Full>(c + j * ldc, ldc, lanes, a, lda, b + j, ldb, depth); break;
        case 2: productTile<2, Full>(c + j * ldc, ldc, lanes, a, lda, b + j, ldb, depth); break;
        case 1: productTile<1, Full>(c + j * ldc, ldc, lanes, a, lda, b + j, ldb, depth); break;
        default: break;
        }
    }

    // C[i][j] -= sum_p A[i][p] B[j][p] for i < rows, j < columns, p < depth, all three
    // stored by columns: A[i][p] at a + p lda + i, B[j][p] at b + p ldb + j, C[i][j] at
    // c + j ldc + i.
    static void multiplySubtract(DoubleDoubleRow c, int64_t ldc, DoubleDoubleRow a, int64_t lda,
                                 DoubleDoubleRow b, int64_t ldb, int32_t rows, int32_t columns,
                                 int32_t depth) {
        for (int32_t p0 = 0; p0 < depth; p0 += depthChunk) {
            const int32_t chunk = std::min(depthChunk, depth - p0);
            const DoubleDoubleRow ap = a + p0 * lda;
            const DoubleDoubleRow bp = b + p0 * ldb;
            int32_t i = 0;
            for (; i + width <= rows; i += width) {
                productRow<true>(c + i, ldc, width, ap + i, lda, bp, ldb, columns, chunk);
            }
            if (i < rows) {
                productRow<false>(c + i, ldc, rows - i, ap + i, lda, bp, ldb, columns, chunk);
            }
        }
    }

    // The draft factor's C[i][j] -= sum_p A[i][p] B[j][p] in double, laid out as for
    // multiplySubtract: a vector of rows against NC columns, their sums in registers.
    template <int NC, bool Full>
    static void productTileDouble(double* c, int64_t ldc, int32_t lanes, const double* a,
                                  int64_t lda, const double* b, int64_t ldb, int32_t depth) {
        V sum[NC];
#pragma GCC unroll 8
        for (int q = 0; q < NC; ++q) {
            sum[q] = L::zero();
        }
        for (int32_t p = 0; p < depth; ++p) {
            const V x = Full ? L::load(a) : L::loadFirst(a, lanes);
#pragma GCC unroll 8
            for (int q = 0; q < NC; ++q) {
                sum[q] = L::fma(L::broadcast(b[q]), x, sum[q]);
            }
            a += lda;
            b += ldb;
        }
#pragma GCC unroll 8
        for (int q = 0; q < NC; ++q) {
            double* t = c + q * ldc;
            put(t, L::sub(get(t, lanes), sum[q]), lanes);
        }
    }

    template <bool Full>
    static void productRowDouble(double* c, int64_t ldc, int32_t lanes, const double* a,
                                 int64_t lda, const double* b, int64_t ldb, int32_t columns,
                                 int32_t depth) {
        int32_t j = 0;
        for (; j + 8 <= columns; j += 8) {
            productTileDouble<8, Full>(c + j * ldc, ldc, lanes, a, lda, b + j, ldb, depth);
        }
        for (; j + 4 <= columns; j += 4) {
            productTileDouble<4, Full>(c + j * ldc, ldc, lanes, a, lda, b + j, ldb, depth);
        }
        for (; j < columns; ++j) {
            productTileDouble<1, Full>(c + j * ldc, ldc, lanes, a, lda, b + j, ldb, depth);
        }
    }

    // The draft factor's target[m] -= f[0] s[0][m] + f[1] s[1][m] + ... in double.
    static void subtractProductsDouble(DoubleRow target, int32_t count, const DoubleRow* sources,
                                       const double* factors, int32_t sourceCount) {
        for (int32_t m = 0; m < count; m += width) {
            const int32_t lanes = std::min(width, count - m);
            V t = get(target.v + m, lanes);
            for (int32_t s = 0; s < sourceCount; ++s) {
                t = L::sub(t, L::mul(L::broadcast(factors[s]), get(sources[s].v + m, lanes)));
            }
            put(target.v + m, t, lanes);
        }
    }

    static double dotDouble(double init, DoubleRow a, DoubleRow b, int32_t count) {
        V sum = L::zero();
        for (int32_t m = 0; m < count; m += width) {
            const int32_t lanes = std::min(width, count - m);
            sum = L::fma(get(a.v + m, lanes), get(b.v + m, lanes), sum);
        }
        double lanes[width];
        L::store(lanes, sum);
        for (int32_t k = 0; k < width; ++k) {
            init += lanes[k];
        }
        return init;
    }

    static void multiplySubtractDouble(DoubleRow c, int64_t ldc, DoubleRow a, int64_t lda,
                                       DoubleRow b, int64_t ldb, int32_t rows, int32_t columns,
                                       int32_t depth) {
        constexpr int32_t chunk = 4 * depthChunk;
        for (int32_t p0 = 0; p0 < depth; p0 += chunk) {
            const int32_t d = std::min(chunk, depth - p0);
            const double* ap = a.v + p0 * lda;
            const double* bp = b.v + p0 * ldb;
            int32_t i = 0;
            for (; i + width <= rows; i += width) {
                productRowDouble<true>(c.v + i, ldc, width, ap + i, lda, bp, ldb, columns, d);
            }
            if (i < rows) {
                productRowDouble<false>(c.v + i, ldc, rows - i, ap + i, lda, bp, ldb, columns, d);
            }
        }
    }

    // The target is renormalised first, so that an unnormalised sum may be scaled.
    static void scale(DoubleDoubleRow target, int32_t count, DoubleDouble factor) {
        const V fh = L::broadcast(factor.hi);
        const V fl = L::broadcast(factor.lo);
        for (int32_t m = 0; m < count; m += width) {
            const int32_t lanes = std::min(width, count - m);
            V h, l, p, pe, e;
            twoSum(get(target.hi + m, lanes), get(target.lo + m, lanes), h, l);
            product(fh, fl, h, l, p, pe);
            twoSum(p, pe, p, e);
            put(target.hi + m, p, lanes);
            put(target.lo + m, e, lanes);
        }
    }

    /// The lanes of a sum added to total in lane order (lanes beyond a short sum hold zeros).
    static DoubleDouble addLanes(DoubleDouble total, V h, V l) {
        double lanesHi[width];
        double lanesLo[width];
        L::store(lanesHi, h);
        L::store(lanesLo, l);
        for (int32_t k = 0; k < width; ++k) {
            total = accurateSum(total, lanesHi[k], lanesLo[k]);
        }
        return total;
    }

    // Each lane sums its own elements; the lanes are then added to init in lane order.
    static DoubleDouble dot(DoubleDouble init, DoubleDoubleRow a, DoubleDoubleRow b,
                            int32_t count) {
        if (count <= 0) {
            return init;
        }
        V h = L::zero();
        V l = L::zero();
        for (int32_t m = 0; m < count; m += width) {
            const int32_t lanes = std::min(width, count - m);
            V p, pe, e;
            product(get(a.hi + m, lanes), get(a.lo + m, lanes), get(b.hi + m, lanes),
                    get(b.lo + m, lanes), p, pe);
            twoSum(h, p, h, e);
            l = L::add(l, L::add(e, pe));
        }
        return addLanes(init, h, l);
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
        for (int32_t j = 1; j < count; j += width) {
            const int32_t lanes = std::min(width, count - j);
            const V zh = get(z.hi + j, lanes);
            const V zl = get(z.lo + j, lanes);
#pragma GCC unroll 8
            for (int q = 0; q < G; ++q) {
                V p, pe, e;
                product(get(u[q].hi + j, lanes), get(u[q].lo + j, lanes), zh, zl, p, pe);
                twoSum(dh[q], p, dh[q], e);
                dl[q] = L::add(dl[q], L::add(e, pe));
                product(L::broadcast(u[q].hi[0]), L::broadcast(u[q].lo[0]), zh, zl, p, pe);
                V h;
                twoSum(get(s[q].hi + j, lanes), p, h, e);
                put(s[q].hi + j, h, lanes);
                put(s[q].lo + j, L::add(get(s[q].lo + j, lanes), L::add(e, pe)), lanes);
            }
        }
        for (int q = 0; q < G; ++q) {
            dots[q] = count > 1 ? addLanes(DoubleDouble{}, dh[q], dl[q]) : DoubleDouble{};
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

/// One double as a vector of one lane, for the processors without vector units.
struct ScalarLanes {
    using V = double;
    static constexpr int32_t width = 1;
    static V load(const double* p) { return *p; }
    static void store(double* p, V v) { *p = v; }
    static V loadFirst(const double* p, int32_t) { return *p; }
    static void storeFirst(double* p, V v, int32_t) { *p = v; }
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
