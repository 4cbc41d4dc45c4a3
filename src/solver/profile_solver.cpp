// Right-looking profile Cholesky after Jennings, in panels: the rows of a panel are
// factorised one after the other, each updating the later rows of the panel, and then the
// panel updates every row below it that its rows reach (a rank-B update of the Schur
// complement). The selected inversion runs the same panels from the bottom up. Each
// element is updated by the panel's rows in increasing order, exactly as a row-by-row
// factorisation does it, so the extended type gives the values of the plain algorithm.
// Notation: u a row of the factor from its diagonal, u[t] = U[r][r + t]; c = 1/U[r][r];
// a..last the rows of a panel, reach the last column its rows reach.

#include "solver/profile_solver.h"

#include <algorithm>
#include <cassert>
#include <cmath>

namespace ptw3 {
namespace {

/// Rows factorised or inverted together.
constexpr int32_t panelRows = 16;
/// Element updates worth handing to another thread as one chunk.
constexpr int64_t parallelWork = 32768;
/// Chunks of a step at most, per thread: enough for one thread to take over another's
/// share when that one is not scheduled in time.
constexpr int64_t chunksPerThread = 4;
/// Rows of a panel whose inverse rows are summed together: the widest register group of
/// the double-double loops.
constexpr int32_t inversionChunkRows = 8;
/// A pivot at or below this value marks a numerical or topological defect of the network.
constexpr Real minimumPivot = 0.001L;

Real realOf(Real v) { return v; }
Real realOf(DoubleDouble v) { return toReal(v); }
template <class S> S fromReal(Real v);
template <> Real fromReal<Real>(Real v) { return v; }
template <> DoubleDouble fromReal<DoubleDouble>(Real v) { return toDoubleDouble(v); }
Real reciprocalRoot(Real d) { return 1 / std::sqrt(d); }
DoubleDouble reciprocalRoot(DoubleDouble d) { return DoubleDouble{1, 0} / squareRoot(d); }
bool isZero(Real v) { return v == 0; }
bool isZero(DoubleDouble v) { return v.hi == 0; }

Real elementOf(Real* row, int64_t t) { return row[t]; }
DoubleDouble elementOf(DoubleDoubleRow row, int64_t t) { return row[t]; }
void setElement(Real* row, int64_t t, Real v) { row[t] = v; }
void setElement(DoubleDoubleRow row, int64_t t, DoubleDouble v) { row.set(t, v); }
Real* advanced(Real* row, int64_t k) { return row + k; }
DoubleDoubleRow advanced(DoubleDoubleRow row, int64_t k) { return row + k; }

/// Splits rows first..last between the members so that each gets about the same number
/// of elements, row r weighing weight(r); returns the first row of every member and one
/// past the last.
template <class Weight>
std::vector<int32_t> balancedSplit(int32_t first, int32_t last, int32_t members, Weight weight) {
    int64_t total = 0;
    for (int32_t r = first; r <= last; ++r) {
        total += weight(r);
    }
    std::vector<int32_t> bounds(static_cast<size_t>(members) + 1, last + 1);
    bounds[0] = first;
    int64_t sum = 0;
    int32_t member = 1;
    for (int32_t r = first; r <= last && member < members; ++r) {
        sum += weight(r);
        while (member < members && sum * members >= total * member) {
            bounds[static_cast<size_t>(member++)] = r + 1;
        }
    }
    return bounds;
}

/// The rows a..last of the factor copied side by side over the columns a..reach, zero
/// outside each row's run, so that every row of the panel can serve as a source over the
/// same columns (a zero factor or element subtracts exactly nothing).
template <class S> class Panel {
public:
    using Row = typename Elements<S>::Row;

    void load(const ProfileShape& shape, Elements<S>& profile, int32_t a, int32_t last) {
        m_a = a;
        m_rows = last - a + 1;
        m_width = shape.end(last) - a + 1;
        m_values.assign(static_cast<int64_t>(m_rows) * m_width);
        for (int32_t p = a; p <= last; ++p) {
            const Row u = profile.at(shape.start(p));
            const Row to = row(p);
            for (int32_t t = 0; t < shape.length(p); ++t) {
                setElement(advanced(to, p - a + t), 0, elementOf(u, t));
            }
        }
    }
    /// Row p of the panel from column a on.
    Row row(int32_t p) { return m_values.at(static_cast<int64_t>(p - m_a) * m_width); }
    /// U[p][c], or zero outside the run.
    S element(int32_t p, int32_t c) { return elementOf(row(p), c - m_a); }

private:
    Elements<S> m_values;
    int32_t m_a = 0;
    int32_t m_rows = 0;
    int32_t m_width = 0;
};

} // namespace

template <class S>
int32_t factoriseProfile(const ProfileShape& shape, Elements<S>& profile, Elements<S>& b,
                         Real pivotShift, const std::function<void(int32_t)>& weakPivot,
                         WorkerPool& pool, const StepReport& report) {
    using Row = typename Elements<S>::Row;
    const int32_t n = shape.n;
    int32_t weakPivots = 0;
    Panel<S> panel;
    const Row rhs = b.at(0);

    for (int32_t a = 1; a <= n; a += panelRows) {
        report(static_cast<double>(a - 1) / n);
        const int32_t last = std::min(n, a + panelRows - 1);

        // Row p of [N b; b^T pLL] = [d v^T b1; v N22 b2; b1 b2^T pLL]: U[p][p] = sqrt(d),
        // U12 = v^T / U[p][p], y1 = b1 / U[p][p]; N22 -= U12^T U12, b2 -= U12^T y1 and
        // pLL -= y1^2 leave the Schur complement for the following rows. Inside the panel
        // each row updates the later rows of the panel at once.
        for (int32_t p = a; p <= last; ++p) {
            const Row u = profile.at(shape.start(p));
            const int32_t length = shape.length(p);
            S d = elementOf(u, 0) + fromReal<S>(pivotShift);
            if (realOf(d) <= minimumPivot) {
                ++weakPivots;
                weakPivot(p);
                d = d + fromReal<S>(minimumPivot);
            }
            const S c = reciprocalRoot(d);
            setElement(u, 0, c);
            const S y = elementOf(rhs, p) * c;
            setElement(rhs, p, y);
            scale(advanced(u, 1), length - 1, c);
            for (int32_t t = 1; t < length && p + t <= last; ++t) {
                const S f = elementOf(u, t);
                if (isZero(f)) {
                    continue;
                }
                const Row source = advanced(u, t);
                subtractProducts(profile.at(shape.start(p + t)), length - t, &source, &f, 1);
                setElement(rhs, p + t, elementOf(rhs, p + t) - f * y);
            }
            setElement(rhs, n + 1, elementOf(rhs, n + 1) - y * y);
        }

        // The panel's rows update the rows below it: row r (last < r <= reach) loses
        // sum_p U[p][r] U[p][r..reach], and b[r] loses sum_p U[p][r] y[p].
        const int32_t reach = shape.end(last);
        if (reach == last) {
            continue;
        }
        panel.load(shape, profile, a, last);
        const auto updateRows = [&](int32_t first, int32_t end, std::vector<Row>& from,
                                    std::vector<S>& by) {
            for (int32_t r = first; r < end; ++r) {
                from.clear();
                by.clear();
                for (int32_t p = a; p <= last; ++p) {
                    const S f = panel.element(p, r);
                    if (!isZero(f)) {
                        from.push_back(advanced(panel.row(p), r - a));
                        by.push_back(f);
                    }
                }
                if (!from.empty()) {
                    subtractProducts(profile.at(shape.start(r)), reach - r + 1, from.data(),
                                     by.data(), static_cast<int32_t>(from.size()));
                }
            }
        };
        const auto updateRightHandSide = [&](std::vector<Row>& from, std::vector<S>& by) {
            from.clear();
            by.clear();
            for (int32_t p = a; p <= last; ++p) {
                const S y = elementOf(rhs, p);
                if (!isZero(y)) {
                    from.push_back(advanced(panel.row(p), last + 1 - a));
                    by.push_back(y);
                }
            }
            if (!from.empty()) {
                subtractProducts(advanced(rhs, last + 1), reach - last, from.data(), by.data(),
                                 static_cast<int32_t>(from.size()));
            }
        };
        // In chunks of rows of about equal work, taken by whichever thread is free.
        const int64_t rows = reach - last;
        const auto chunks = static_cast<int32_t>(std::clamp<int64_t>(
            rows * rows / 2 * (last - a + 1) / parallelWork, 1, chunksPerThread * pool.size()));
        const std::vector<int32_t> bounds = balancedSplit(
            last + 1, reach, chunks, [reach](int32_t r) { return int64_t{reach - r + 1}; });
        pool.forEachChunk(chunks, [&](int32_t chunk) {
            std::vector<Row> from;
            std::vector<S> by;
            updateRows(bounds[static_cast<size_t>(chunk)], bounds[static_cast<size_t>(chunk) + 1],
                       from, by);
            if (chunk == 0) {
                updateRightHandSide(from, by);
            }
        });
    }
    report(1);
    return weakPivots;
}

template <class S>
void backSubstitute(const ProfileShape& shape, Elements<S>& factor, Elements<S>& y,
                    Elements<S>& x) {
    // U x = -y from the last row up: x[i] = -(y[i] + sum_t U[i][i+t] x[i+t]) / U[i][i].
    const auto xs = x.at(0);
    for (int32_t i = shape.n; i >= 1; --i) {
        const auto u = factor.at(shape.start(i));
        const S h = dot(y.get(i), advanced(u, 1), advanced(xs, i + 1), shape.length(i) - 1);
        setElement(xs, i, -h * elementOf(u, 0));
    }
}

template <class S>
void invertProfile(const ProfileShape& shape, Elements<S>& profile, WorkerPool& pool,
                   const StepReport& report) {
    using Row = typename Elements<S>::Row;
    const int32_t n = shape.n;
    const int32_t panels = (n + panelRows - 1) / panelRows;
    Panel<S> panel;
    // R[p][c] = sum_k U[p][k] Z[k][c] for the panel's rows p and the columns c > a, gathered
    // row k of Z after row k; the low parts left unnormalised until the row is finished.
    Elements<S> sums;

    for (int32_t step = panels - 1; step >= 0; --step) {
        report(static_cast<double>(panels - 1 - step) / panels);
        const int32_t a = step * panelRows + 1;
        const int32_t last = std::min(n, a + panelRows - 1);
        const int32_t reach = shape.end(last);
        const int32_t width = reach - a; // columns a + 1 .. reach
        panel.load(shape, profile, a, last);
        sums.assign(static_cast<int64_t>(last - a + 1) * std::max(width, 1));
        const auto sumsAt = [&](int32_t p, int32_t c) {
            return advanced(sums.at(static_cast<int64_t>(p - a) * std::max(width, 1)), c - a - 1);
        };
        // Row k of Z from its diagonal against the rows first..end of the panel: the part of
        // R above and to the right of Z[k][k], and R[p][k] itself complete.
        const auto takeRow = [&](int32_t k, int32_t rowEnd, int32_t first, int32_t end,
                                 std::vector<Row>& u, std::vector<Row>& r, std::vector<S>& dots) {
            u.clear();
            r.clear();
            for (int32_t p = first; p < end; ++p) {
                u.push_back(advanced(panel.row(p), k - a));
                r.push_back(sumsAt(p, k));
            }
            dots.resize(u.size());
            const Row z = profile.at(shape.start(k));
            symmetricRow(z, rowEnd - k + 1, u.data(), r.data(), end - first, dots.data());
            for (size_t i = 0; i < u.size(); ++i) {
                setElement(r[i], 0,
                           elementOf(r[i], 0) + elementOf(u[i], 0) * elementOf(z, 0) + dots[i]);
            }
        };

        // The rows of Z below the panel, shared out by the panel's rows.
        const auto belowPanel = [&](int32_t first, int32_t end) {
            std::vector<Row> u;
            std::vector<Row> r;
            std::vector<S> dots;
            for (int32_t k = last + 1; k <= reach; ++k) {
                takeRow(k, reach, first, end, u, r, dots);
            }
        };
        const int64_t below = reach - last;
        const int32_t chunks = below * below * inversionChunkRows < 2 * parallelWork
                                   ? 1
                                   : (last - a + inversionChunkRows) / inversionChunkRows;
        pool.forEachChunk(chunks, [&](int32_t chunk) {
            const int32_t first = chunks == 1 ? a : a + chunk * inversionChunkRows;
            belowPanel(first, chunks == 1 ? last + 1 : std::min(last + 1, first + inversionChunkRows));
        });

        // The panel's own rows from the bottom: the rows of Z between p and the panel's end,
        // then Z[p][c] = -R[p][c] / U[p][p] and the diagonal.
        std::vector<Row> u;
        std::vector<Row> r;
        std::vector<S> dots;
        for (int32_t p = last; p >= a; --p) {
            for (int32_t k = p + 1; k <= last; ++k) {
                takeRow(k, shape.end(k), p, p + 1, u, r, dots);
            }
            const Row z = profile.at(shape.start(p));
            const int32_t length = shape.length(p);
            const S c = panel.element(p, p);
            const Row zp = sumsAt(p, p + 1);
            scale(zp, length - 1, -c);
            for (int32_t t = 1; t < length; ++t) {
                setElement(z, t, elementOf(zp, t - 1));
            }
            const S sum = dot(fromReal<S>(0), advanced(panel.row(p), p + 1 - a), zp, length - 1);
            setElement(z, 0, c * (c - sum));
        }
    }
    report(1);
}

template int32_t factoriseProfile<Real>(const ProfileShape&, Elements<Real>&, Elements<Real>&,
                                        Real, const std::function<void(int32_t)>&, WorkerPool&,
                                        const StepReport&);
template int32_t factoriseProfile<DoubleDouble>(const ProfileShape&, Elements<DoubleDouble>&,
                                                Elements<DoubleDouble>&, Real,
                                                const std::function<void(int32_t)>&, WorkerPool&,
                                                const StepReport&);
template void backSubstitute<Real>(const ProfileShape&, Elements<Real>&, Elements<Real>&,
                                   Elements<Real>&);
template void backSubstitute<DoubleDouble>(const ProfileShape&, Elements<DoubleDouble>&,
                                           Elements<DoubleDouble>&, Elements<DoubleDouble>&);
template void invertProfile<Real>(const ProfileShape&, Elements<Real>&, WorkerPool&,
                                  const StepReport&);
template void invertProfile<DoubleDouble>(const ProfileShape&, Elements<DoubleDouble>&,
                                          WorkerPool&, const StepReport&);

} // namespace ptw3
