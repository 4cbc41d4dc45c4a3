// The normal equations of the adjustment: summed in the extended type over their sparse
// pattern (each point coupled with the points an observation joins it to), solved by
// Cholesky factorisation carrying the right-hand side and [pLL] along, back substitution,
// and the selected inverse of Takahashi, Fagan and Chin, from which every point's 2x2 block
// and every observation's cofactor a N^-1 a^T follow. In double-double (about 106 bits,
// on the vector units) the factorisation is supernodal over a fill-reducing ordering; in
// the extended type it is Jennings's profile Cholesky over the Cuthill-McKee ordering of
// the unknowns, whose profile (the upper triangle inside a variable band) is laid out
// either way: its size is the capacity limit of the store.
// Numbers in, numbers out: a weak pivot and the progress go back to the caller by callback.
#pragma once

#include "common/real.h"
#include "common/table.h"
#include "solver/arithmetic.h"
#include "solver/double_double.h"
#include "solver/profile_solver.h"
#include "solver/supernodal_factor.h"
#include "solver/supernodal_structure.h"

#include <array>
#include <cassert>
#include <cstdint>
#include <functional>
#include <future>
#include <memory>
#include <optional>
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

/// An observation row made ready for accumulation on any thread: its unknowns with their
/// coefficients summed (at most the six of three points) and the entries of the normal
/// equations that each pair of them adds to.
struct PreparedRow {
    std::array<EquationTerm, 6> terms;
    int32_t size = 0;
    std::array<int64_t, 21> entries; ///< pair (p, q), p <= q, in row order
};

struct SolveOutcome {
    bool defect = false;   ///< a pivot was weak and weakPivot let the solution go on
    bool deflated = false; ///< [pvv] + [pdd] came out negative and was replaced by 1e-7
    bool refined = false;  ///< the corrections came from the factor in double, refined
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

    /// Lays out the equations of lr points to be determined: the row profile from their
    /// half-band widths halfBand[1..lr] (points), and the pattern from the graph of the
    /// points (point q of the ordering is vertex q-1), which the profile must hold; without
    /// a graph every pair inside the profile is coupled. Returns the number of elements of
    /// the profile. When it exceeds profileCapacity nothing is allocated and the store is
    /// left empty (the caller stops).
    int64_t layOut(const Table<int32_t>& halfBand, int32_t lr, const PointGraph* graph = nullptr);

    int32_t unknownCount() const { return m_n; } ///< n = 2 lr
    int64_t elementCount() const { return m_rowEnd.back(); }
    /// Orders the points for the supernodal factor and finds its structure (the first
    /// solution in double-double does it when it has not been done).
    void analyse();
    /// The factor's supernodal structure once analysed.
    const SupernodalStructure* supernodalStructure() const { return m_structure.get(); }
    std::shared_ptr<const SupernodalStructure> sharedStructure() const { return m_structure; }
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
    /// the same unknown twice are summed first. Throws std::logic_error for a pair of
    /// unknowns that the layout does not couple.
    void accumulate(std::span<const EquationTerm> row, Real freeTerm);
    /// Prepares a row for accumulate, reading the store only (so on any thread); false for
    /// a row of more than six unknowns, which goes to accumulate as it is. Throws
    /// std::logic_error as accumulate does.
    bool prepare(std::span<const EquationTerm> row, PreparedRow& out) const;
    /// Fetches the entries of a prepared row into the cache ahead of its accumulation.
    void prefetch(const PreparedRow& row) const;
    /// accumulate of a prepared row: the same sums in the same order.
    void accumulate(const PreparedRow& row, Real freeTerm);
    /// Adds a weight-only pseudo-observation of one unknown to its diagonal element.
    void addToDiagonal(int32_t unknown, Real weight);

    /// N[r][c] while accumulating; once solved in the extended type the profile factor
    /// U[r][c] (1/U[r][r] on the diagonal); once the cofactors are computed (N^-1)[r][c].
    /// Zero outside the pattern (and outside the profile in the extended type; for the
    /// supernodal factor, which is in its own order); the arguments may come in either order.
    Real element(int32_t r, int32_t c) const;
    /// b[r], r = 1..n+1 (after solving: the forward-substituted y, in the extended type,
    /// and [pvv] + [pdd]).
    Real rightHandSide(int32_t r) const {
        assert(r >= 1 && r <= m_n + 1);
        return m_b[static_cast<size_t>(r)];
    }

    /// Factorises N, forward-substitutes b (b[n+1] becomes [pLL] - y^T y) and
    /// back-substitutes x = -N^-1 b. A pivot at or below 0.001 after adding pivotShift is
    /// passed to weakPivot, once for each such pivot in the profile's row order, and then
    /// raised by 0.001: a system with such a pivot, or whose magnitudes double-double cannot
    /// hold, is solved by the profile in the extended type, and the store works so from there
    /// on. Either callback may throw to abandon the solution.
    /// When no inverse follows (an iteration before the last), double-double may take its
    /// solution from a factor in double refined in double-double to the same digits; b then
    /// stays as it was, and computePointCofactors factorises in double-double first.
    SolveOutcome solveNormalEquations(Real pivotShift, const WeakPivot& weakPivot,
                                      const StepReport& report, bool inverseFollows = true);

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
    class PairEntries;

    ProfileShape shape() const;
    WorkerPool& pool();
    /// The block of the points q <= p among the stored blocks, or -1.
    int64_t blockOf(int32_t q, int32_t p) const;
    /// The index of N[r][c] (r <= c) in its points' block.
    int64_t entryIn(int64_t block, int32_t r, int32_t c) const;
    /// The index of N[r][c] (r <= c) among the stored entries, or -1.
    int64_t entryOf(int32_t r, int32_t c) const;
    /// f(r, c, index) for every stored N[r][c], r <= c.
    template <class F> void forEachEntry(const F& f) const;
    /// Every entry and b within the range in which double-double keeps its digits.
    bool fitsDoubleDouble() const;
    bool solveSupernodal(Real pivotShift, const StepReport& report, SolveOutcome& outcome);
    /// The double-double factor of N in m_factor; false at a weak pivot.
    bool factoriseSupernodal(Real pivotShift, const StepReport& report);
    bool solveRefined(const StepReport& report, SolveOutcome& outcome);
    /// r += N x over the stored entries, x and r by unknowns (slot 0 unused).
    void addProduct(const std::vector<DoubleDouble>& x, std::vector<DoubleDouble>& r) const;
    SolveOutcome solveProfile(Real pivotShift, const WeakPivot& weakPivot,
                              const StepReport& report);
    void fillCofactors(const std::function<Real(int32_t, int32_t)>& inverse);
    /// Index of N[r][c] in the profile, r <= c inside row r's run.
    int64_t indexOf(int32_t r, int32_t c) const {
        assert(r <= c && c - r < m_rowLength[static_cast<size_t>(r)]);
        return m_rowEnd[static_cast<size_t>(r) - 1] + (c - r);
    }
    /// The value of (N^-1)[r][c] in the supernodal inverse, zero outside its pattern.
    DoubleDouble supernodalInverse(int32_t r, int32_t c) const;

    int32_t m_n = 0;
    std::vector<int64_t> m_rowEnd{0};  ///< RowEnd[0..n]: row r occupies [RowEnd[r-1], RowEnd[r])
    std::vector<int32_t> m_rowLength;  ///< [1..n]; slot 0 unused
    PointGraph m_graph;                ///< the points' couplings, by ordering position
    /// N's upper triangle as accumulated, by 2x2 blocks of points: point q couples with
    /// itself and with its later neighbours m_later[m_laterStart[q] .. m_laterStart[q+1]),
    /// increasing; the blocks follow one another from m_entryOffset (a cache line's start).
    std::vector<int64_t> m_laterStart;
    std::vector<int32_t> m_later;
    std::vector<Real> m_entry;
    int64_t m_entryOffset = 0;
    Elements<Real> m_profile;          ///< the extended factor and inverse
    std::shared_ptr<const SupernodalStructure> m_structure;
    /// The structure being found on a thread of its own since the layout, when there is one.
    std::shared_future<std::shared_ptr<const SupernodalStructure>> m_structureAhead;
    std::vector<int64_t> m_factorIndex; ///< where each entry of N goes in the supernodal factor
    std::optional<SupernodalFactor> m_factor;
    bool m_factorCurrent = false;         ///< m_factor is that of the equations solved last
    std::optional<DraftFactor> m_draft;   ///< the factor in double of a refined solution
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
