// The numerical side of the sparse Cholesky factorisation in double-double: a left-looking
// supernodal factorisation P N P^T = L L^T (each supernode gathers the updates of the
// supernodes below it, by increasing number, then factorises its dense block by columns),
// the forward and back substitutions, and the selected inversion that overwrites L with
// the elements of N^-1 in its pattern (the recurrence of Takahashi, Fagan and Chin, 1973,
// taken supernode by supernode from the root). Independent subtrees are shared between
// the threads, and the large supernodes at the top share their columns or rows; every
// value is computed by one thread in one fixed order, so the results do not depend on the
// number of threads.
#pragma once

#include "common/real.h"
#include "solver/double_double.h"
#include "solver/profile_solver.h"
#include "solver/supernodal_structure.h"
#include "solver/worker_pool.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace ptw3 {

/// The factor in double-double (S = DoubleDouble), or in double (S = double) as a draft
/// whose solutions are refined in double-double; only the double-double one is inverted.
template <class S> class SupernodalFactorOf {
public:
    using Row = typename Elements<S>::Row;

    explicit SupernodalFactorOf(std::shared_ptr<const SupernodalStructure> structure);

    const SupernodalStructure& structure() const { return *m_structure; }

    /// Sets every value to zero.
    void clear();
    /// Sets L[row][column] (positions, row >= column, inside the pattern) before factorising.
    void set(int64_t index, S value) { m_values.set(index, value); }

    /// Factorises in place, 1/L[k][k] on the diagonal. A pivot at or below 0.001 after
    /// adding pivotShift (0.002 in double) stops it and returns false, the values then half
    /// transformed.
    bool factorise(Real pivotShift, WorkerPool& pool, const StepReport& report);

    /// b[0..n-1] by positions into y = L^-1 b, with b[n] -= y^T y; then x = -L^-T y.
    void substitute(Elements<S>& b, Elements<S>& x);

    /// Overwrites the factor with the elements of N^-1 in its pattern (by positions); in
    /// double-double only.
    void invert(WorkerPool& pool, const StepReport& report);

    /// The value at an index of the structure.
    S value(int64_t index) const { return m_values.get(index); }
    const Elements<S>& values() const { return m_values; }

private:
    struct Workspace;
    bool factoriseSupernode(int32_t s, Real pivotShift, Workspace& w, WorkerPool* pool);
    void invertSupernode(int32_t s, Workspace& w, WorkerPool* pool);
    /// Supernodes whose subtrees go to the threads whole, and the rest above them.
    void splitTree(int32_t threads);

    std::shared_ptr<const SupernodalStructure> m_structure;
    Elements<S> m_values;
    std::vector<int32_t> m_subtrees; ///< roots of subtrees taken whole by one thread
    std::vector<int32_t> m_top;      ///< the supernodes above them, increasing
    int32_t m_splitFor = 0;          ///< the thread count of the split
};

template <>
void SupernodalFactorOf<DoubleDouble>::invert(WorkerPool& pool, const StepReport& report);

using SupernodalFactor = SupernodalFactorOf<DoubleDouble>;
/// The draft factor in double.
using DraftFactor = SupernodalFactorOf<double>;

} // namespace ptw3
