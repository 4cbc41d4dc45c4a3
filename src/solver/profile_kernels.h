// The three loops that carry the work of the profile solver, in the extended type and in
// double-double: a row less a combination of other rows (the Schur-complement updates of
// the factorisation and the sums of the selected inversion), a row times a number, and a
// dot product. Each result element depends only on its own inputs, in a fixed order, so a
// row split between threads gives the same values as one thread doing it all. The
// double-double loops run on AVX-512 or AVX2 with FMA where the processor has them.
#pragma once

#include "common/real.h"
#include "solver/double_double.h"

#include <cstddef>
#include <cstdint>

namespace ptw3 {

/// A run of double-double numbers kept as two arrays of doubles (high and low parts), so
/// that vector loads take several consecutive elements at once.
struct DoubleDoubleRow {
    double* hi = nullptr;
    double* lo = nullptr;

    DoubleDoubleRow operator+(std::ptrdiff_t k) const { return {hi + k, lo + k}; }
    DoubleDouble operator[](std::ptrdiff_t k) const { return {hi[k], lo[k]}; }
    void set(std::ptrdiff_t k, DoubleDouble v) const {
        hi[k] = v.hi;
        lo[k] = v.lo;
    }
};

/// A run of doubles, handled as a DoubleDoubleRow is: the draft factor's values.
struct DoubleRow {
    double* v = nullptr;

    DoubleRow operator+(std::ptrdiff_t k) const { return {v + k}; }
    double operator[](std::ptrdiff_t k) const { return v[k]; }
    void set(std::ptrdiff_t k, double x) const { v[k] = x; }
};

/// target[m] -= f[0] s[0][m] + f[1] s[1][m] + ..., subtracted source by source, m < count.
void subtractProducts(Real* target, int32_t count, const Real* const* sources,
                      const Real* factors, int32_t sourceCount);
/// target[m] = factor target[m], m < count.
void scale(Real* target, int32_t count, Real factor);
/// init + a[0] b[0] + a[1] b[1] + ..., added in index order.
Real dot(Real init, const Real* a, const Real* b, int32_t count);
/// A row z of a symmetric matrix from its diagonal (z[0]) on, against rows u[p] aligned
/// with it: dots[p] = u[p][1] z[1] + ... + u[p][count-1] z[count-1] and
/// s[p][j] += u[p][0] z[j] for 1 <= j < count, p < rows: the parts of Z u[p]^T that the row
/// holds. The double-double s is left unnormalised (a sum whose low part may exceed half
/// an ulp of the high part).
void symmetricRow(const Real* z, int32_t count, const Real* const* u, Real* const* s,
                  int32_t rows, Real* dots);

void subtractProducts(DoubleDoubleRow target, int32_t count, const DoubleDoubleRow* sources,
                      const DoubleDouble* factors, int32_t sourceCount);
void scale(DoubleDoubleRow target, int32_t count, DoubleDouble factor);
DoubleDouble dot(DoubleDouble init, DoubleDoubleRow a, DoubleDoubleRow b, int32_t count);
void symmetricRow(DoubleDoubleRow z, int32_t count, const DoubleDoubleRow* u,
                  const DoubleDoubleRow* s, int32_t rows, DoubleDouble* dots);

/// C[i][j] -= sum_p A[i][p] B[j][p] (i < rows, j < columns, p < depth), the three matrices
/// stored by columns with leading dimensions ldc, lda, ldb: A[i][p] at a + p lda + i,
/// B[j][p] at b + p ldb + j. Each element takes the steps of subtractProducts over the depth
/// in chunks of 64, renormalised after each, whatever part of C a call covers.
void multiplySubtract(DoubleDoubleRow c, int64_t ldc, DoubleDoubleRow a, int64_t lda,
                      DoubleDoubleRow b, int64_t ldb, int32_t rows, int32_t columns, int32_t depth);

// The same loops in double, for a draft factor whose solutions are refined in
// double-double: nothing printed depends on their rounding.
void subtractProducts(DoubleRow target, int32_t count, const DoubleRow* sources,
                      const double* factors, int32_t sourceCount);
void scale(DoubleRow target, int32_t count, double factor);
double dot(double init, DoubleRow a, DoubleRow b, int32_t count);
void multiplySubtract(DoubleRow c, int64_t ldc, DoubleRow a, int64_t lda, DoubleRow b,
                      int64_t ldb, int32_t rows, int32_t columns, int32_t depth);

/// One implementation of the double-double loops.
struct DoubleDoubleKernels {
    const char* name; ///< "avx512", "avx2" or "scalar"
    void (*subtractProducts)(DoubleDoubleRow, int32_t, const DoubleDoubleRow*,
                             const DoubleDouble*, int32_t);
    void (*scale)(DoubleDoubleRow, int32_t, DoubleDouble);
    DoubleDouble (*dot)(DoubleDouble, DoubleDoubleRow, DoubleDoubleRow, int32_t);
    void (*symmetricRow)(DoubleDoubleRow, int32_t, const DoubleDoubleRow*, const DoubleDoubleRow*,
                         int32_t, DoubleDouble*);
    void (*multiplySubtract)(DoubleDoubleRow, int64_t, DoubleDoubleRow, int64_t, DoubleDoubleRow,
                             int64_t, int32_t, int32_t, int32_t);
    /// The draft factor's products in double, on the same vectors.
    void (*multiplySubtractDouble)(DoubleRow, int64_t, DoubleRow, int64_t, DoubleRow, int64_t,
                                   int32_t, int32_t, int32_t);
    void (*subtractProductsDouble)(DoubleRow, int32_t, const DoubleRow*, const double*, int32_t);
    double (*dotDouble)(double, DoubleRow, DoubleRow, int32_t);
};

/// The implementations this processor can run, widest first; the first is the one used.
int32_t availableDoubleDoubleKernels(const DoubleDoubleKernels** list, int32_t capacity);

} // namespace ptw3
