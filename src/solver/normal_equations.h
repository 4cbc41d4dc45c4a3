// The normal equations of the adjustment in Jennings's profile storage (the upper triangle
// inside a variable band fixed by the ordering of the unknowns) and their solution: Cholesky
// factorisation carrying the right-hand side and [pLL] along, back substitution, and the
// selected inverse of Takahashi, Fagan and Chin, from which every point's 2x2 block and every
// observation's cofactor a N^-1 a^T follow. Accumulated in the extended type; factorised and
// inverted in double-double (vector instructions, about 106 bits) or in the extended type.
// Numbers in, numbers out: a weak pivot and the progress go back to the caller by callback.
#pragma once

#include "common/real.h"
#include "common/table.h"
#include "solver/arithmetic.h"
#include "solver/double_double.h"
#include "solver/profile_solver.h"

#include <cassert>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <vector>

namespace ptw3 {

/// The largest profile the store accepts, in stored elements.
inline constexpr int64_t profileCapacity = 40'000'000;

/// One coefficient of an observation equation.
struct EquationTerm {
    /// 1..n; 0 or below for a coordinate of a fixed point (the term is dropped here)
    int32_t unknown = 0;
    Real coefficient = 0; ///< already multiplied by the square root of the weight
};

/// The 2x2 block of N^-1 belonging to one point (m^2 per unit weight).
struct PointCofactor {
    Real qxx = 0, qyy = 0, qxy = 0;
};

struct SolveOutcome {
    bool defect = false;   ///< a pivot was weak and weakPivot let the solution go on
    bool deflated = false; ///< [pvv] + [pdd] came out negative and was replaced by 1e-7
};

class NormalEquations {
public:
    NormalEquations();
    ~NormalEquations();
    /// A copy holds the same equations at the same stage; it starts its own threads.
    NormalEquations(const NormalEquations& other);
    NormalEquations& operator=(const NormalEquations& other);
    NormalEquations(NormalEquations&&) noexcept;
    NormalEquations& operator=(NormalEquations&&) noexcept;

    /// Lays out the row profile for lr points to be determined from their half-band widths
    /// halfBand[1..lr] (points); returns the number of stored elements. When it exceeds
    /// profileCapacity nothing is allocated and the store is left empty (the caller stops).
    int64_t layOut(const Table<int32_t>& halfBand, int32_t lr);

    int32_t unknownCount() const { return m_n; } ///< n = 2 lr
    int64_t elementCount() const { return m_rowEnd.back(); }
    int32_t rowLength(int32_t r) const { return m_rowLength[static_cast<size_t>(r)]; }

    void setArithmetic(Arithmetic arithmetic) { m_arithmetic = arithmetic; }
    Arithmetic arithmetic() const { return m_arithmetic; }
    /// Threads of the factorisation and the inversion; 0 means one per hardware thread.
    /// The results are the same whatever the count.
    void setThreadCount(int32_t threads);

    /// Sets the profile and b[1..n+1] to zero.
    void clear();

    /// Adds one observation equation whose coefficients and free term (m) are already
    /// multiplied by the square root of its weight: a_r a_s to N[r][s] for every pair,
    /// a_r t to b[r], t^2 to b[n+1]. Terms of unknowns 0 or below are dropped; terms naming
    /// the same unknown twice are summed first.
    void accumulate(std::span<const EquationTerm> row, Real freeTerm);
    /// Adds a weight-only pseudo-observation of one unknown to its diagonal element.
    void addToDiagonal(int32_t unknown, Real weight);

    /// N[r][c] while accumulating; once solved the factor U[r][c] (1/U[r][r] on the
    /// diagonal); once the cofactors are computed (N^-1)[r][c]. Zero outside the profile;
    /// the arguments may come in either order.
    Real element(int32_t r, int32_t c) const;
    /// b[r], r = 1..n+1 (after solving: the forward-substituted y and [pvv] + [pdd]).
    Real rightHandSide(int32_t r) const {
        assert(r >= 1 && r <= m_n + 1);
        return m_b[static_cast<size_t>(r)];
    }

    /// Factorises N, forward-substitutes b (b[n+1] becomes [pLL] - y^T y) and
    /// back-substitutes x = -N^-1 b. A pivot at or below 0.001 after adding pivotShift is
    /// passed to weakPivot, once for each such pivot in row order, and then raised by 0.001;
    /// the store then works in the extended type from there on, as it does for equations
    /// whose magnitudes double-double cannot hold. Either callback may throw to abandon the
    /// solution.
    SolveOutcome solveNormalEquations(Real pivotShift, const WeakPivot& weakPivot,
                                      const StepReport& report);

    const Table<Real>& corrections() const { return m_x; }                  ///< x[1..n], m
    Real sumOfSquares() const { return m_b[static_cast<size_t>(m_n) + 1]; } ///< [pvv] + [pdd]

    /// After solving: replaces the factor by the elements of N^-1 inside the profile and
    /// fills the diagonal of N^-1 and the 2x2 block of every point. The report may throw to
    /// abandon the inversion.
    void computePointCofactors(const StepReport& report);
    const Table<Real>& cofactorDiagonal() const { return m_q; }             ///< q[1..n]
    const Table<PointCofactor>& pointCofactors() const { return m_blocks; } ///< [1..lr]

    /// q = a N^-1 a^T of one observation row (coefficients as for accumulate) from the
    /// selected inverse; every pair of its unknowns must lie inside the profile, as the
    /// unknowns of one observation do. Several threads may call it at once.
    Real computeObservationCofactor(std::span<const EquationTerm> row) const;

private:
    enum class Stage { Accumulating, Factorised, Inverted };

    ProfileShape shape() const;
    /// Copies N into the double-double store (exactly: 64 significant bits fit in two
    /// doubles), on all threads; false when an element of N or b lies outside the range in
    /// which double-double keeps its digits.
    bool splitProfile();
    WorkerPool& pool();
    template <class S>
    SolveOutcome solve(Elements<S>& factor, Real pivotShift, const WeakPivot& weakPivot,
                       const StepReport& report);
    template <class S> void fillCofactors(Elements<S>& inverse);
    /// Index of N[r][c] in the store, r <= c inside row r's run.
    int64_t indexOf(int32_t r, int32_t c) const {
        assert(r <= c && c - r < m_rowLength[static_cast<size_t>(r)]);
        return m_rowEnd[static_cast<size_t>(r) - 1] + (c - r);
    }
    Real* rowOf(int32_t r) { return &m_profile.values()[static_cast<size_t>(m_rowEnd[r - 1])]; }

    int32_t m_n = 0;
    std::vector<int64_t> m_rowEnd{0};  ///< RowEnd[0..n]: row r occupies [RowEnd[r-1], RowEnd[r])
    std::vector<int32_t> m_rowLength;  ///< [1..n]; slot 0 unused
    Elements<Real> m_profile;          ///< N as accumulated; the extended factor and inverse
    Elements<DoubleDouble> m_split;    ///< the double-double factor and inverse
    std::vector<Real> m_b{0, 0};       ///< b[1..n+1]; slot 0 unused
    Table<Real> m_x;
    Table<Real> m_q;
    Table<PointCofactor> m_blocks;
    std::vector<EquationTerm> m_merged; ///< accumulate's row with duplicates summed
    Arithmetic m_arithmetic = Arithmetic::DoubleDouble;
    Stage m_stage = Stage::Accumulating;
    int32_t m_threadCount = 0;
    std::unique_ptr<WorkerPool> m_pool;
};

} // namespace ptw3
