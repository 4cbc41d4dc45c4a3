// The profile Cholesky factorisation N = U^T U after Jennings with the right-hand side
// carried along, the back substitution, and the selected inversion (Takahashi, Fagan and
// Chin) that overwrites the factor with the elements of N^-1 inside the profile, in the
// extended type or in double-double. Rows are taken in panels of a fixed height; the work
// inside a panel step is shared by the threads of a WorkerPool so that every element is
// computed by one thread in one fixed order, and the results do not depend on the number
// of threads.
#pragma once

#include "common/real.h"
#include "solver/double_double.h"
#include "solver/profile_kernels.h"
#include "solver/worker_pool.h"

#include <cstdint>
#include <functional>
#include <vector>

namespace ptw3 {

/// Where the rows of the profile lie: row r (1..n) holds columns r .. end(r), diagonal
/// first, from element start(r) of the store on.
struct ProfileShape {
    int32_t n = 0;
    const int64_t* rowEnd = nullptr;    ///< rowEnd[r]: elements of rows 1..r (rowEnd[0] = 0)
    const int32_t* rowLength = nullptr; ///< rowLength[r], r = 1..n (slot 0 unused)

    int64_t start(int32_t r) const { return rowEnd[r - 1]; }
    int32_t length(int32_t r) const { return rowLength[r]; }
    int32_t end(int32_t r) const { return r + rowLength[r] - 1; }
};

/// A run of numbers of type S: one array of Real, or the two arrays of a double-double.
template <class S> class Elements;

template <> class Elements<Real> {
public:
    using Row = Real*;
    void assign(int64_t count) { m_values.assign(static_cast<size_t>(count), 0); }
    void clear() { m_values.clear(); m_values.shrink_to_fit(); }
    Row at(int64_t k) { return m_values.data() + k; }
    Real get(int64_t k) const { return m_values[static_cast<size_t>(k)]; }
    void set(int64_t k, Real v) { m_values[static_cast<size_t>(k)] = v; }
    std::vector<Real>& values() { return m_values; }
    const std::vector<Real>& values() const { return m_values; }

private:
    std::vector<Real> m_values;
};

template <> class Elements<DoubleDouble> {
public:
    using Row = DoubleDoubleRow;
    void assign(int64_t count) {
        m_hi.assign(static_cast<size_t>(count), 0);
        m_lo.assign(static_cast<size_t>(count), 0);
    }
    /// Sized for count elements, of any value.
    void resize(int64_t count) {
        m_hi.resize(static_cast<size_t>(count));
        m_lo.resize(static_cast<size_t>(count));
    }
    void clear() {
        m_hi.clear();
        m_hi.shrink_to_fit();
        m_lo.clear();
        m_lo.shrink_to_fit();
    }
    Row at(int64_t k) { return {m_hi.data() + k, m_lo.data() + k}; }
    DoubleDouble get(int64_t k) const {
        return {m_hi[static_cast<size_t>(k)], m_lo[static_cast<size_t>(k)]};
    }
    void set(int64_t k, DoubleDouble v) {
        m_hi[static_cast<size_t>(k)] = v.hi;
        m_lo[static_cast<size_t>(k)] = v.lo;
    }

private:
    std::vector<double> m_hi;
    std::vector<double> m_lo;
};

template <> class Elements<double> {
public:
    using Row = DoubleRow;
    void assign(int64_t count) { m_values.assign(static_cast<size_t>(count), 0); }
    void resize(int64_t count) { m_values.resize(static_cast<size_t>(count)); }
    void clear() { m_values.clear(); m_values.shrink_to_fit(); }
    Row at(int64_t k) { return {m_values.data() + k}; }
    double get(int64_t k) const { return m_values[static_cast<size_t>(k)]; }
    void set(int64_t k, double v) { m_values[static_cast<size_t>(k)] = v; }
    const double* data() const { return m_values.data(); }

private:
    std::vector<double> m_values;
};

/// What the caller is told between the steps of a long loop: the share done (0 to 1). It
/// may throw to abandon the loop; the store is then left half transformed.
using StepReport = std::function<void(double done)>;

/// What the caller is told of a pivot at or below 0.001: its row r (1..n). It may throw to
/// abandon the factorisation; the store is then left half transformed.
using WeakPivot = std::function<void(int32_t row)>;

/// Factorises the profile in place (U above the diagonal, 1/U[r][r] on it) and b[1..n] into
/// y = U^-T b, with b[n+1] -= y^T y. A pivot at or below 0.001 after adding pivotShift calls
/// weakPivot(r) and is then raised by 0.001. Returns the number of such pivots.
template <class S>
int32_t factoriseProfile(const ProfileShape& shape, Elements<S>& profile, Elements<S>& b,
                         Real pivotShift, const WeakPivot& weakPivot, WorkerPool& pool,
                         const StepReport& report);

/// x[1..n] = -U^-1 y from the factor and the forward-substituted y[1..n].
template <class S>
void backSubstitute(const ProfileShape& shape, Elements<S>& factor, Elements<S>& y,
                    Elements<S>& x);

/// Overwrites the factor with the elements of N^-1 = U^-1 U^-T inside the profile (the
/// selected inverse), from the last row up by the recurrence of Takahashi, Fagan and Chin
/// (1973): for c > r, Z[r][c] = -(1/U[r][r]) sum_k U[r][k] Z[k][c], and
/// Z[r][r] = (1/U[r][r]) (1/U[r][r] - sum_k U[r][k] Z[r][k]), the sums over the row's
/// columns k > r; every Z[k][c] they need lies inside the profile because the row ends
/// never decrease.
template <class S>
void invertProfile(const ProfileShape& shape, Elements<S>& profile, WorkerPool& pool,
                   const StepReport& report);

} // namespace ptw3
