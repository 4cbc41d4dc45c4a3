// Profile (skyline) storage after Jennings; right-looking Cholesky N = U^T U on the rows of
// the profile, with the reciprocal of each diagonal element of U kept in its place so that
// every substitution multiplies. Cofactors: column j of L^-1 (L = U^T) by forward
// substitution of the unit vector e_j; its squared norm is (N^-1)[j][j], and the scalar
// products of the two columns of a point give that point's 2x2 block of N^-1.
// Notation: c_i = 1/U[i][i]; u points at a row of the profile, u[0] its diagonal and
// u[t] = U[i][i+t]; w, z are columns of L^-1 being formed.

#include "engine/normal_equations.h"

#include "common/encoding.h"
#include "common/stop.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <cmath>
#include <memory>
#include <string>
#include <thread>

namespace ptw3 {
namespace {

/// A pivot at or below this value marks a numerical or topological defect of the network.
constexpr Real minimumPivot = 0.001L;
/// [pvv] + [pdd] put in place of a value that round-off drove below zero.
constexpr Real deflatedSumOfSquares = 1e-7L;

void askToGoOnDespiteDefect(RunContext& context) {
    const std::string question = cp1250(" *** NUMERYCZNY LUB TOPOLOGICZNY DEFEKT UKŁADU\n"
                                        "     Z POWODU BŁEDÓW LUB BRAKÓW DANYCH\n"
                                        "     MOŻESZ LICZYĆ DALEJ ALE WYNIKI BĘDĄ BŁEDNE\n"
                                        "     Czy chcesz liczyć dalej?");
    if (!context.confirm(question)) {
        throw Stop(StopReason::UserDeclined, utf8FromCp1250(question));
    }
}

/// The neglect rule: an element of L^-1 smaller than the threshold is kept where it stands
/// but neither propagated to the rows below nor counted in the squared norm.
bool propagates(Real v, Real neglectThreshold) {
    return std::fabs(v) >= neglectThreshold;
}

/// Rows of U applied together, at most four: with the 80-bit loads and stores costing far
/// more than the arithmetic, each target element is loaded and stored once for all of them.
constexpr int32_t blockRows = 4;

/// x[m] = (((x[m] - f[0] u[0][m]) - f[1] u[1][m]) - ...) for the first K rows: the same
/// rank-one updates in the same order as one row at a time.
template <int K>
void subtractProducts(Real* x, int32_t count, const std::array<const Real*, blockRows>& u,
                      const std::array<Real, blockRows>& f) {
    const Real f0 = f[0];
    [[maybe_unused]] const Real f1 = f[1];
    [[maybe_unused]] const Real f2 = f[2];
    [[maybe_unused]] const Real f3 = f[3];
    const Real* u0 = u[0];
    [[maybe_unused]] const Real* u1 = u[1];
    [[maybe_unused]] const Real* u2 = u[2];
    [[maybe_unused]] const Real* u3 = u[3];
    for (int32_t m = 0; m < count; ++m) {
        Real e = x[m] - f0 * u0[m];
        if constexpr (K > 1) {
            e -= f1 * u1[m];
        }
        if constexpr (K > 2) {
            e -= f2 * u2[m];
        }
        if constexpr (K > 3) {
            e -= f3 * u3[m];
        }
        x[m] = e;
    }
}

/// Up to four rows of U, in increasing order, with the factor of each.
struct RowSet {
    int32_t count = 0;
    std::array<const Real*, blockRows> row{}; ///< the row's diagonal
    std::array<int32_t, blockRows> index{};
    std::array<int32_t, blockRows> end{}; ///< the row's last column
    std::array<Real, blockRows> factor{};

    void add(const Real* u, int32_t i, int32_t length, Real f) {
        row[static_cast<size_t>(count)] = u;
        index[static_cast<size_t>(count)] = i;
        end[static_cast<size_t>(count)] = i + length - 1;
        factor[static_cast<size_t>(count)] = f;
        ++count;
    }
};

/// Subtracts factor_a U[i_a][col] from x[col] for col = from..to (x points at column from),
/// row a after row a - 1, each row only inside its run. The row ends never decrease, so the
/// rows reaching a column are a suffix of the set, and the range splits where rows end.
void subtractRows(Real* x, int32_t from, int32_t to, const RowSet& rows) {
    int32_t first = 0;
    for (int32_t col = from; col <= to;) {
        while (first < rows.count && rows.end[static_cast<size_t>(first)] < col) {
            ++first;
        }
        if (first == rows.count) {
            return;
        }
        const int32_t last = std::min(to, rows.end[static_cast<size_t>(first)]);
        std::array<const Real*, blockRows> u{};
        std::array<Real, blockRows> f{};
        const int32_t k = rows.count - first;
        for (int32_t a = 0; a < k; ++a) {
            const auto s = static_cast<size_t>(first + a);
            u[static_cast<size_t>(a)] = rows.row[s] + (col - rows.index[s]);
            f[static_cast<size_t>(a)] = rows.factor[s];
        }
        Real* target = x + (col - from);
        const int32_t count = last - col + 1;
        switch (k) {
        case 1:
            subtractProducts<1>(target, count, u, f);
            break;
        case 2:
            subtractProducts<2>(target, count, u, f);
            break;
        case 3:
            subtractProducts<3>(target, count, u, f);
            break;
        default:
            subtractProducts<4>(target, count, u, f);
            break;
        }
        col = last + 1;
    }
}

} // namespace

int64_t NormalEquations::layOut(const Table<int32_t>& halfBand, int32_t lr) {
    assert(lr >= 0 && halfBand.count() >= lr);
    const int32_t n = 2 * lr;
    std::vector<int64_t> rowEnd(static_cast<size_t>(n) + 1, 0);
    // Both rows of point k end in column 2(k + W[k] - 1); the last row is the diagonal alone.
    for (int32_t k = 1; k <= lr; ++k) {
        const int64_t width = halfBand[k];
        assert(width >= 1 && k + width - 1 <= lr);
        assert(k == 1 || width >= halfBand[k - 1] - 1); // row ends never move left
        rowEnd[2 * k - 1] = rowEnd[2 * k - 2] + 2 * width;
        rowEnd[2 * k] = rowEnd[2 * k - 1] + (2 * k == n ? 1 : 2 * width - 1);
    }
    const int64_t count = rowEnd.back();

    m_x.clear();
    m_q.clear();
    m_blocks.clear();
    if (count > profileCapacity) {
        m_n = 0;
        m_rowEnd.assign(1, 0);
        m_rowLength.clear();
        m_profile.clear();
        m_b.assign(2, 0);
        return count;
    }
    m_n = n;
    m_rowEnd = std::move(rowEnd);
    m_rowLength.clear();
    m_rowLength.resize(n);
    for (int32_t r = 1; r <= n; ++r) {
        m_rowLength[r] = static_cast<int32_t>(m_rowEnd[r] - m_rowEnd[r - 1]);
    }
    m_profile.assign(static_cast<size_t>(count), 0);
    m_b.assign(static_cast<size_t>(n) + 2, 0);
    return count;
}

void NormalEquations::clear() {
    std::fill(m_profile.begin(), m_profile.end(), 0);
    std::fill(m_b.begin(), m_b.end(), 0);
}

void NormalEquations::accumulate(std::span<const EquationTerm> row, Real freeTerm) {
    m_merged.clear();
    for (const EquationTerm& term : row) {
        if (term.unknown == 0) {
            continue;
        }
        assert(term.unknown >= 1 && term.unknown <= m_n);
        const auto same = std::find_if(m_merged.begin(), m_merged.end(),
                                       [&](const auto& m) { return m.unknown == term.unknown; });
        if (same == m_merged.end()) {
            m_merged.push_back(term);
        } else {
            same->coefficient += term.coefficient;
        }
    }
    for (size_t p = 0; p < m_merged.size(); ++p) {
        const EquationTerm& a = m_merged[p];
        m_b[static_cast<size_t>(a.unknown)] += a.coefficient * freeTerm;
        for (size_t q = p; q < m_merged.size(); ++q) {
            const EquationTerm& e = m_merged[q];
            const int32_t r = std::min(a.unknown, e.unknown);
            const int32_t s = std::max(a.unknown, e.unknown);
            assert(s - r < m_rowLength[r]); // the ordering keeps every coupling inside the profile
            rowOf(r)[s - r] += a.coefficient * e.coefficient;
        }
    }
    m_b[static_cast<size_t>(m_n) + 1] += freeTerm * freeTerm;
}

void NormalEquations::addToDiagonal(int32_t unknown, Real weight) {
    assert(unknown >= 1 && unknown <= m_n);
    rowOf(unknown)[0] += weight;
}

Real NormalEquations::element(int32_t r, int32_t c) const {
    if (r > c) {
        std::swap(r, c);
    }
    assert(r >= 1 && c <= m_n);
    return c - r < m_rowLength[r] ? rowOf(r)[c - r] : 0;
}

SolveOutcome NormalEquations::SolveNormalEquations(Real pivotShift, RunContext& context) {
    SolveOutcome outcome;
    const int32_t n = m_n;
    Real* b = m_b.data();

    // Row i of [N b; b^T pLL] = [d n^T b1; n N22 b2; b1 b2^T pLL]: U[i][i] = sqrt(d),
    // U12 = n^T / U[i][i], y1 = b1 / U[i][i]; then N22 -= U12^T U12, b2 -= U12^T y1 and
    // pLL -= y1^2 leave the Schur complement, which the following rows factorise. Rows go in
    // blocks of four: inside a block each row, once factorised, updates the later rows of
    // the block; then the block updates every row below it, element by element in row order.
    for (int32_t i = 1; i <= n; i += blockRows) {
        const int32_t last = std::min(n, i + blockRows - 1);
        for (int32_t p = i; p <= last; ++p) {
            Real* u = rowOf(p);
            const int32_t length = m_rowLength[p];
            Real d = u[0] + pivotShift;
            if (d <= minimumPivot) {
                outcome.defectFlag = 1;
                askToGoOnDespiteDefect(context);
                d += minimumPivot;
            }
            const Real c = 1 / std::sqrt(d);
            u[0] = c;
            const Real y = b[p] * c;
            b[p] = y;
            for (int32_t t = 1; t < length; ++t) {
                u[t] *= c;
            }
            for (int32_t t = 1; t < length && p + t <= last; ++t) {
                const Real ut = u[t];
                Real* trailing = rowOf(p + t) - t; // trailing[s] = N[p+t][p+s]
                for (int32_t s = t; s < length; ++s) {
                    trailing[s] -= ut * u[s];
                }
                b[p + t] -= ut * y;
            }
            b[n + 1] -= y * y;
        }
        const int32_t reach = last + m_rowLength[last] - 1;
        for (int32_t r = last + 1; r <= reach; ++r) {
            RowSet rows;
            for (int32_t p = i; p <= last; ++p) {
                const Real* u = rowOf(p);
                // A zero U[p][r] would subtract only zeros from row r.
                if (r - p < m_rowLength[p] && u[r - p] != 0) {
                    rows.add(u, p, m_rowLength[p], u[r - p]);
                }
            }
            if (rows.count == 0) {
                continue;
            }
            subtractRows(rowOf(r), r, rows.end[static_cast<size_t>(rows.count) - 1], rows);
            for (size_t a = 0; a < static_cast<size_t>(rows.count); ++a) {
                b[r] -= rows.factor[a] * b[rows.index[a]];
            }
        }
    }
    if (b[n + 1] < 0) {
        b[n + 1] = deflatedSumOfSquares;
        outcome.deflated = true;
    }

    // U x = -y from the last row up.
    m_x.clear();
    m_x.resize(n);
    const auto x = m_x.begin() - 1;
    for (int32_t i = n; i >= 1; --i) {
        const Real* u = rowOf(i);
        Real h = b[i];
        for (int32_t t = 1; t < m_rowLength[i]; ++t) {
            h += u[t] * x[i + t];
        }
        x[i] = -h * u[0];
    }
    return outcome;
}

void NormalEquations::ComputePointCofactors(Real neglectThreshold) {
    const int32_t n = m_n;
    const int32_t lr = n / 2;
    m_q.clear();
    m_q.resize(n);
    m_blocks.clear();
    m_blocks.resize(lr);
    if (lr == 0) {
        return;
    }
    int32_t threads = m_threadCount > 0 ? m_threadCount
                                        : static_cast<int32_t>(std::thread::hardware_concurrency());
    threads = std::clamp(threads, 1, lr);

    // Every thread takes every threads-th point, so early (long) and late (short) columns mix;
    // the two columns of a point stay together.
    std::vector<std::vector<Real>> work(2 * static_cast<size_t>(threads),
                                        std::vector<Real>(static_cast<size_t>(n) + 1));
    const auto run = [&](int32_t t) {
        cofactorsOfPoints(t + 1, threads, neglectThreshold, work[2 * t].data(),
                          work[2 * t + 1].data());
    };
    std::vector<std::jthread> helpers;
    helpers.reserve(static_cast<size_t>(threads) - 1);
    for (int32_t t = 1; t < threads; ++t) {
        helpers.emplace_back(run, t);
    }
    run(0);
}

void NormalEquations::substituteBlock(Column& column, int32_t i, Real neglectThreshold) const {
    Real* w = column.w;
    const int32_t last = std::min(m_n, i + blockRows - 1);
    if (last > column.reach) {
        std::fill(w + column.reach + 1, w + last + 1, 0);
        column.reach = last;
    }
    // Row by row inside the block, then the block's propagating rows on the rest together.
    RowSet rows;
    for (int32_t p = i; p <= last; ++p) {
        const Real* u = rowOf(p);
        const Real v = w[p] * u[0];
        w[p] = v;
        if (!propagates(v, neglectThreshold)) {
            continue;
        }
        const int32_t length = m_rowLength[p];
        for (int32_t t = 1; t < length && p + t <= last; ++t) {
            w[p + t] -= v * u[t];
        }
        column.s += v * v;
        rows.add(u, p, length, v);
    }
    if (rows.count == 0) {
        return;
    }
    const int32_t end = rows.end[static_cast<size_t>(rows.count) - 1];
    if (end > column.reach) {
        std::fill(w + column.reach + 1, w + end + 1, 0);
        column.reach = end;
    }
    if (end > last) {
        subtractRows(w + last + 1, last + 1, end, rows);
    }
}

// Columns j = 2k-1 (w1, the z of the block) and j + 1 (w2) of L^-1, each by forward
// substitution of its unit vector. Both go through the same blocks of rows one after the
// other, so each block of the factor is read from memory once for the two; w2 starts at
// row j with a zero, which changes nothing.
void NormalEquations::cofactorsOfPoints(int32_t firstPoint, int32_t step, Real neglectThreshold,
                                        Real* w1, Real* w2) {
    const int32_t lr = m_n / 2;
    for (int32_t k = firstPoint; k <= lr; k += step) {
        const int32_t j = 2 * k - 1;
        w1[j] = 1;
        w2[j] = 0;
        w2[j + 1] = 1;
        Column x{w1, j};
        Column y{w2, j + 1};
        for (int32_t i = j; i <= std::max(x.reach, y.reach); i += blockRows) {
            if (i <= x.reach) {
                substituteBlock(x, i, neglectThreshold);
            }
            if (i <= y.reach) {
                substituteBlock(y, i, neglectThreshold);
            }
        }
        m_q[j] = x.s;
        m_q[j + 1] = y.s;
        // Beyond its reach a column is zero.
        const int32_t reach = std::max(x.reach, y.reach);
        std::fill(w1 + x.reach + 1, w1 + reach + 1, 0);
        std::fill(w2 + y.reach + 1, w2 + reach + 1, 0);
        PointCofactor& block = m_blocks[k];
        block.qxx = w1[j] * w1[j];
        block.qyy = 0;
        block.qxy = 0;
        for (int32_t i = j + 1; i <= reach; ++i) {
            block.qxx += w1[i] * w1[i];
            block.qyy += w2[i] * w2[i];
            block.qxy += w1[i] * w2[i];
        }
    }
}

Real NormalEquations::ComputeObservationCofactor(std::span<const EquationTerm> row,
                                                 Real neglectThreshold) const {
    int32_t first = m_n + 1;
    int32_t last = 0;
    for (const EquationTerm& term : row) {
        if (term.unknown != 0) {
            assert(term.unknown >= 1 && term.unknown <= m_n);
            first = std::min(first, term.unknown);
            last = std::max(last, term.unknown);
        }
    }
    if (last == 0) {
        return 0;
    }
    // Rows above the first coefficient contribute nothing, and the rows below the reach of
    // the propagation are zero: only w[first..reach] is ever set, so only it is cleared.
    const auto work = std::make_unique_for_overwrite<Real[]>(static_cast<size_t>(m_n) + 1);
    Real* w = work.get();
    std::fill(w + first, w + last + 1, 0);
    for (const EquationTerm& term : row) {
        if (term.unknown != 0) {
            w[term.unknown] += term.coefficient;
        }
    }
    Column column{w, last};
    for (int32_t i = first; i <= column.reach; i += blockRows) {
        substituteBlock(column, i, neglectThreshold);
    }
    return column.s;
}

} // namespace ptw3
