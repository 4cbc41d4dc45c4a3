// The normal equations of the adjustment, stored as the upper triangle inside a row profile
// (a variable band fixed by the ordering of the unknowns), and their solution: an in-place
// right-looking Cholesky factorisation carrying the right-hand side as an extra column and
// [pLL] as its corner, back substitution, and cofactors from the factor by forward
// substitution of unit vectors with an optional neglect of small elements.
// The point cofactors are computed on several threads (the columns are independent), and
// every work vector belongs to its caller, so the factor is only read after solving.
#pragma once

#include "common/real.h"
#include "common/run_context.h"
#include "common/table.h"

#include <cassert>
#include <cstdint>
#include <span>
#include <vector>

namespace ptw3 {

/// The largest profile the store accepts, in stored elements.
inline constexpr int64_t profileCapacity = 40'000'000;

/// One coefficient of an observation equation.
struct EquationTerm {
    int32_t unknown = 0;  ///< 1..n, or 0 for a coordinate of a fixed point (the term is dropped)
    Real coefficient = 0; ///< already multiplied by the square root of the weight
};

/// The 2x2 block of N^-1 belonging to one point (m^2 per unit weight).
struct PointCofactor {
    Real qxx = 0, qyy = 0, qxy = 0;
};

struct SolveOutcome {
    int32_t defectFlag = 0; ///< 1 when a pivot failed and the person chose to go on
    bool deflated = false;  ///< [pvv] + [pdd] came out negative and was replaced by 1e-7
};

class NormalEquations {
  public:
    /// Lays out the row profile for lr points to be determined from their half-band widths
    /// halfBand[1..lr] (points); returns the number of stored elements. When it exceeds
    /// profileCapacity nothing is allocated and the store is left empty (the caller stops).
    int64_t layOut(const Table<int32_t>& halfBand, int32_t lr);

    int32_t unknownCount() const { return m_n; } ///< n = 2 lr
    int64_t elementCount() const { return m_rowEnd.back(); }
    int32_t rowLength(int32_t r) const { return m_rowLength[r]; }

    /// Sets the profile and b[1..n+1] to zero.
    void clear();

    /// Adds one observation equation whose coefficients and free term (m) are already
    /// multiplied by the square root of its weight: a_r a_s to N[r][s] for every pair,
    /// a_r t to b[r], t^2 to b[n+1]. Terms of unknown 0 are dropped; terms naming the same
    /// unknown twice are summed first.
    void accumulate(std::span<const EquationTerm> row, Real freeTerm);
    /// Adds a weight-only pseudo-observation of one unknown to its diagonal element.
    void addToDiagonal(int32_t unknown, Real weight);

    /// N[r][c] for r <= c (the factor once solved: U[r][c], and 1/U[r][r] on the diagonal);
    /// zero outside the profile. The arguments may come in either order.
    Real element(int32_t r, int32_t c) const;
    /// b[r], r = 1..n+1 (after solving: the forward-substituted y and [pvv] + [pdd]).
    Real rightHandSide(int32_t r) const {
        assert(r >= 1 && r <= m_n + 1);
        return m_b[static_cast<size_t>(r)];
    }

    /// Factorises N in place, forward-substitutes b (b[n+1] becomes [pLL] - y^T y) and
    /// back-substitutes x = -N^-1 b. A pivot at or below 0.001 after adding pivotShift asks
    /// whether to go on: Yes raises it by 0.001, No throws Stop(UserDeclined).
    SolveOutcome SolveNormalEquations(Real pivotShift, RunContext& context);

    const Table<Real>& corrections() const { return m_x; }                  ///< x[1..n], m
    Real sumOfSquares() const { return m_b[static_cast<size_t>(m_n) + 1]; } ///< [pvv] + [pdd]

    /// Threads used by ComputePointCofactors; 0 means one per hardware thread.
    void setThreadCount(int32_t threads) { m_threadCount = threads; }

    /// Fills the diagonal of N^-1 and the 2x2 block of every point from the factor; elements
    /// of L^-1 below neglectThreshold in magnitude are kept but not propagated.
    void ComputePointCofactors(Real neglectThreshold);
    const Table<Real>& cofactorDiagonal() const { return m_q; }             ///< q[1..n]
    const Table<PointCofactor>& pointCofactors() const { return m_blocks; } ///< [1..lr]

    /// q = a N^-1 a^T of one observation row (coefficients as for accumulate), from the
    /// factor, with the neglect threshold. Uses a work vector of its own, so several
    /// threads may call it at once.
    Real ComputeObservationCofactor(std::span<const EquationTerm> row, Real neglectThreshold) const;

  private:
    const Real* rowOf(int32_t r) const { return &m_profile[static_cast<size_t>(m_rowEnd[r - 1])]; }
    Real* rowOf(int32_t r) { return &m_profile[static_cast<size_t>(m_rowEnd[r - 1])]; }
    /// A column of L^-1 being formed by forward substitution: w[i] holds the element of row
    /// i once row i is done; w beyond reach is undefined (it is zero in the column).
    struct Column {
        Real* w;
        int32_t reach;
        Real s = 0; ///< sum of the squares of the propagated elements
    };
    /// Forward substitution of the column through rows i..i+3 with the neglect rule.
    void substituteBlock(Column& column, int32_t i, Real neglectThreshold) const;
    void cofactorsOfPoints(int32_t firstPoint, int32_t step, Real neglectThreshold, Real* w1,
                           Real* w2);

    int32_t m_n = 0;
    std::vector<int64_t> m_rowEnd{0}; ///< RowEnd[0..n]: row r occupies [RowEnd[r-1], RowEnd[r])
    Table<int32_t> m_rowLength;       ///< [1..n]
    std::vector<Real> m_profile;      ///< the rows one after another, diagonal first
    std::vector<Real> m_b{0, 0};      ///< b[1..n+1]; slot 0 unused
    Table<Real> m_x;
    Table<Real> m_q;
    Table<PointCofactor> m_blocks;
    std::vector<EquationTerm> m_merged; ///< accumulate's row with duplicates summed
    int32_t m_threadCount = 0;
};

} // namespace ptw3
