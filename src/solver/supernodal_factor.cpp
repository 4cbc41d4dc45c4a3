// Notation: a supernode s with nc columns from f on and nr rows (its own nc first, then
// the rows below); B its block, column j at B + j nr, row i of it being unknown rows[i].
// A descendant d updates s with the part of its rows from f on: C = L_d[rows >= f] times
// L_d[rows in s's columns]^T, subtracted where those rows sit in s.

#include "solver/supernodal_factor.h"

#include "solver/profile_kernels.h"

#include <algorithm>
#include <atomic>
#include <cassert>
#include <cmath>
#include <mutex>
#include <queue>
#include <type_traits>

namespace ptw3 {
namespace {

/// A pivot at or below this value marks a numerical or topological defect of the network.
constexpr Real minimumPivot = 0.001L;
/// Multiply-adds of a supernode worth sharing between the threads.
constexpr double parallelWork = 4e5;
/// Multiply-adds of one chunk of a shared step at least.
constexpr double chunkWork = 5e4;
/// Columns of a supernode factorised or inverted together.
constexpr int32_t panelColumns = 32;

DoubleDouble reciprocalRoot(DoubleDouble d) { return DoubleDouble{1, 0} / squareRoot(d); }
double reciprocalRoot(double d) { return 1 / std::sqrt(d); }

template <class S> S fromReal(Real v);
template <> DoubleDouble fromReal<DoubleDouble>(Real v) { return toDoubleDouble(v); }
template <> double fromReal<double>(Real v) { return static_cast<double>(v); }
Real realOf(DoubleDouble v) { return toReal(v); }
Real realOf(double v) { return v; }

/// The lowest pivot taken: a draft pivot near the limit leaves the decision to the
/// double-double factor.
template <class S>
constexpr Real pivotFloor = std::is_same_v<S, double> ? 2 * minimumPivot : minimumPivot;

/// Splits count items into chunks of about work/count each so that a chunk carries at least
/// chunkWork; at most 4 chunks per thread.
int32_t chunksFor(double work, int32_t count, int32_t threads) {
    const auto byWork = static_cast<int64_t>(work / chunkWork);
    return static_cast<int32_t>(std::clamp<int64_t>(std::min<int64_t>(byWork, count), 1,
                                                    int64_t{4} * threads));
}

/// The share [first, end) of items 0..count-1 of a chunk, by equal counts.
std::pair<int32_t, int32_t> shareOf(int32_t chunk, int32_t chunks, int32_t count) {
    const auto at = [&](int32_t c) {
        return static_cast<int32_t>(static_cast<int64_t>(count) * c / chunks);
    };
    return {at(chunk), at(chunk + 1)};
}

} // namespace

template <class S> struct SupernodalFactorOf<S>::Workspace {
    std::vector<int32_t> map; ///< position of an unknown among the rows of the supernode at hand
    std::vector<int32_t> positions;
    Elements<S> temp;
    Elements<S> block;  ///< the dense inverse of the supernode's rows
    Elements<S> packed; ///< a panel of the factor, by rows
    std::vector<Row> sources;
    std::vector<S> factors;
};

namespace {

/// Workspaces lent to whichever thread takes a chunk.
template <class W> class Lender {
public:
    std::unique_ptr<W> take() {
        const std::lock_guard lock(m_mutex);
        if (m_free.empty()) {
            return std::make_unique<W>();
        }
        std::unique_ptr<W> w = std::move(m_free.back());
        m_free.pop_back();
        return w;
    }
    void give(std::unique_ptr<W> w) {
        const std::lock_guard lock(m_mutex);
        m_free.push_back(std::move(w));
    }

private:
    std::mutex m_mutex;
    std::vector<std::unique_ptr<W>> m_free;
};

} // namespace

template <class S>
SupernodalFactorOf<S>::SupernodalFactorOf(std::shared_ptr<const SupernodalStructure> structure)
    : m_structure(std::move(structure)) {
    m_values.assign(m_structure->entries());
}

template <class S> void SupernodalFactorOf<S>::clear() { m_values.assign(m_structure->entries()); }

template <class S> void SupernodalFactorOf<S>::splitTree(int32_t threads) {
    if (m_splitFor == threads) {
        return;
    }
    m_splitFor = threads;
    const SupernodalStructure& st = *m_structure;
    const int32_t supernodes = st.supernodes();
    std::vector<double> work(static_cast<size_t>(supernodes), 0);
    std::vector<std::vector<int32_t>> children(static_cast<size_t>(supernodes));
    double total = 0;
    std::vector<int32_t> roots;
    for (int32_t s = 0; s < supernodes; ++s) {
        const double nr = st.rowCount(s);
        work[static_cast<size_t>(s)] += st.columns(s) * nr * nr;
        total += st.columns(s) * nr * nr;
        const int32_t up = st.parent[static_cast<size_t>(s)];
        if (up >= 0) {
            work[static_cast<size_t>(up)] += work[static_cast<size_t>(s)];
            children[static_cast<size_t>(up)].push_back(s);
        } else {
            roots.push_back(s);
        }
    }
    // The heaviest subtree is opened (its root goes to the top) until every subtree left
    // is a small share of the whole.
    const auto lighter = [&](int32_t a, int32_t b) {
        return work[static_cast<size_t>(a)] < work[static_cast<size_t>(b)] ||
               (work[static_cast<size_t>(a)] == work[static_cast<size_t>(b)] && a > b);
    };
    std::priority_queue<int32_t, std::vector<int32_t>, decltype(lighter)> open(lighter);
    for (const int32_t r : roots) {
        open.push(r);
    }
    m_top.clear();
    const double share = threads > 1 ? total / (8.0 * threads) : total + 1;
    while (!open.empty() && work[static_cast<size_t>(open.top())] > share) {
        const int32_t s = open.top();
        open.pop();
        m_top.push_back(s);
        for (const int32_t c : children[static_cast<size_t>(s)]) {
            open.push(c);
        }
    }
    m_subtrees.clear();
    while (!open.empty()) {
        m_subtrees.push_back(open.top()); // heaviest first
        open.pop();
    }
    std::sort(m_top.begin(), m_top.end());
}

template <class S>
bool SupernodalFactorOf<S>::factorise(Real pivotShift, WorkerPool& pool, const StepReport& report) {
    const SupernodalStructure& st = *m_structure;
    splitTree(pool.size());
    report(0);
    Lender<Workspace> lender;
    std::atomic<bool> weak = false;
    pool.forEachChunk(static_cast<int32_t>(m_subtrees.size()), [&](int32_t chunk) {
        std::unique_ptr<Workspace> w = lender.take();
        const int32_t root = m_subtrees[static_cast<size_t>(chunk)];
        for (int32_t s = st.subtreeFirst[static_cast<size_t>(root)]; s <= root; ++s) {
            if (weak.load(std::memory_order_relaxed) ||
                !factoriseSupernode(s, pivotShift, *w, nullptr)) {
                weak.store(true, std::memory_order_relaxed);
                break;
            }
        }
        lender.give(std::move(w));
    });
    if (weak.load()) {
        return false;
    }
    Workspace w;
    for (size_t k = 0; k < m_top.size(); ++k) {
        report(0.5 + 0.5 * static_cast<double>(k) / static_cast<double>(m_top.size()));
        if (!factoriseSupernode(m_top[k], pivotShift, w, &pool)) {
            return false;
        }
    }
    report(1);
    return true;
}

template <class S>
bool SupernodalFactorOf<S>::factoriseSupernode(int32_t s, Real pivotShift, Workspace& w,
                                          WorkerPool* pool) {
    const SupernodalStructure& st = *m_structure;
    const int32_t f = st.first[s];
    const int32_t nc = st.columns(s);
    const int32_t nr = st.rowCount(s);
    const int32_t* rows = &st.rows[static_cast<size_t>(st.rowStart[s])];
    const Row b = m_values.at(st.valueStart[s]);
    if (w.map.size() < static_cast<size_t>(st.n)) {
        w.map.assign(static_cast<size_t>(st.n), 0);
    }
    for (int32_t i = 0; i < nr; ++i) {
        w.map[static_cast<size_t>(rows[i])] = i;
    }
    const bool shared = pool != nullptr && pool->size() > 1;

    // The updates of the descendants, each column of s taking them by increasing updater:
    // the products of d's rows from f on with its rows in the columns cFirst..cEnd-1 of s.
    // Where d's rows sit one after the other in s too, they go straight into its block
    // (above its diagonal too, where nothing is read); elsewhere through a dense block.
    const auto update = [&](int32_t cFirst, int32_t cEnd, Elements<S>& temp) {
        for (int64_t e = st.updaterStart[s]; e < st.updaterStart[s + 1]; ++e) {
            const int32_t d = st.updaters[static_cast<size_t>(e)];
            const int32_t ncd = st.columns(d);
            const int32_t nrd = st.rowCount(d);
            const int32_t* rd = &st.rows[static_cast<size_t>(st.rowStart[d])];
            const auto from = [&](int32_t first, int32_t row) {
                return static_cast<int32_t>(std::lower_bound(rd + first, rd + nrd, row) - rd);
            };
            const int32_t p0 = from(ncd, f);
            const int32_t p1 = from(p0, f + cFirst);
            const int32_t p2 = from(p1, f + cEnd);
            if (p1 == p2) {
                continue;
            }
            const int32_t t0 = w.map[static_cast<size_t>(rd[p0])];
            const bool together = w.map[static_cast<size_t>(rd[nrd - 1])] - t0 == nrd - 1 - p0;
            const Row l = m_values.at(st.valueStart[d]) + p1;
            const int32_t height = nrd - p1;
            const int32_t width = p2 - p1;
            if (together) {
                const int64_t c = rd[p1] - f;
                multiplySubtract(b + (c * nr + w.map[static_cast<size_t>(rd[p1])]), nr, l, nrd,
                                 l, nrd, height, width, ncd);
                continue;
            }
            temp.assign(static_cast<int64_t>(height) * width);
            const Row sum = temp.at(0);
            multiplySubtract(sum, height, l, nrd, l, nrd, height, width, ncd);
            for (int32_t q = 0; q < width; ++q) {
                const Row column = b + static_cast<int64_t>(rd[p1 + q] - f) * nr;
                const Row part = sum + static_cast<int64_t>(q) * height;
                for (int32_t i = q; i < height; ++i) {
                    const int32_t at = w.map[static_cast<size_t>(rd[p1 + i])];
                    column.set(at, column[at] + part[i]);
                }
            }
        }
    };
    double updateWork = 0;
    if (shared) {
        for (int64_t e = st.updaterStart[s]; e < st.updaterStart[s + 1]; ++e) {
            const int32_t d = st.updaters[static_cast<size_t>(e)];
            updateWork += static_cast<double>(st.columns(d)) * st.rowCount(d) * nc;
        }
    }
    if (updateWork > parallelWork) {
        const int32_t chunks = chunksFor(updateWork, nc, pool->size());
        pool->forEachChunk(chunks, [&](int32_t chunk) {
            const auto [cFirst, cEnd] = shareOf(chunk, chunks, nc);
            Elements<S> temp;
            update(cFirst, cEnd, temp);
        });
    } else {
        update(0, nc, w.temp);
    }

    // The dense block by panels of columns: a panel loses the products of the columns before
    // it, then its columns are factorised one by one, each losing the products of the
    // panel's columns before it and divided by the root of its pivot.
    for (int32_t j0 = 0; j0 < nc; j0 += panelColumns) {
        const int32_t j1 = std::min(nc, j0 + panelColumns);
        const int32_t height = nr - j0;
        if (j0 > 0) {
            const auto panelRows = [&](int32_t first, int32_t end) {
                multiplySubtract(b + (static_cast<int64_t>(j0) * nr + j0 + first), nr,
                                 b + (j0 + first), nr, b + j0, nr, end - first, j1 - j0, j0);
            };
            const double work = static_cast<double>(height) * (j1 - j0) * j0;
            if (shared && work > parallelWork) {
                const int32_t chunks = chunksFor(work, height, pool->size());
                pool->forEachChunk(chunks, [&](int32_t chunk) {
                    const auto [first, end] = shareOf(chunk, chunks, height);
                    panelRows(first, end);
                });
            } else {
                panelRows(0, height);
            }
        }
        for (int32_t j = j0; j < j1; ++j) {
            const Row column = b + static_cast<int64_t>(j) * nr;
            if (j > j0) {
                w.sources.resize(static_cast<size_t>(j - j0));
                w.factors.resize(static_cast<size_t>(j - j0));
                for (int32_t k = j0; k < j; ++k) {
                    const int64_t at = static_cast<int64_t>(k) * nr + j;
                    w.sources[static_cast<size_t>(k - j0)] = b + at;
                    w.factors[static_cast<size_t>(k - j0)] = b[at];
                }
                subtractProducts(column + j, nr - j, w.sources.data(), w.factors.data(), j - j0);
            }
            const S d = column[j] + fromReal<S>(pivotShift);
            if (!(realOf(d) > pivotFloor<S>)) {
                return false;
            }
            const S c = reciprocalRoot(d);
            column.set(j, c);
            scale(column + (j + 1), nr - j - 1, c);
        }
    }
    return true;
}

template <class S> void SupernodalFactorOf<S>::substitute(Elements<S>& b, Elements<S>& x) {
    const SupernodalStructure& st = *m_structure;
    const int32_t n = st.n;
    const Row y = b.at(0);
    Elements<S> gathered;
    // Forward: each column's y takes its share out of the later rows, the supernode's own
    // rows one column at a time, the rows below it all columns at once.
    S sum = y[n];
    for (int32_t s = 0; s < st.supernodes(); ++s) {
        const int32_t f = st.first[s];
        const int32_t nc = st.columns(s);
        const int32_t nr = st.rowCount(s);
        const int32_t* rows = &st.rows[static_cast<size_t>(st.rowStart[s])];
        const Row l = m_values.at(st.valueStart[s]);
        std::vector<Row> columns;
        std::vector<S> values;
        for (int32_t j = 0; j < nc; ++j) {
            const Row column = l + static_cast<int64_t>(j) * nr;
            const S v = y[f + j] * column[j];
            y.set(f + j, v);
            sum = sum - v * v;
            const Row from = column + (j + 1);
            subtractProducts(y + (f + j + 1), nc - j - 1, &from, &v, 1);
            columns.push_back(column + nc);
            values.push_back(v);
        }
        if (nr > nc) {
            gathered.resize(nr - nc);
            const Row g = gathered.at(0);
            for (int32_t i = nc; i < nr; ++i) {
                g.set(i - nc, y[rows[i]]);
            }
            subtractProducts(g, nr - nc, columns.data(), values.data(), nc);
            for (int32_t i = nc; i < nr; ++i) {
                y.set(rows[i], g[i - nc]);
            }
        }
    }
    y.set(n, sum);
    // Back: x[j] = -(y[j] + sum_{i > j} L[i][j] x[i]) / L[j][j].
    x.assign(n);
    const Row xs = x.at(0);
    for (int32_t s = st.supernodes() - 1; s >= 0; --s) {
        const int32_t f = st.first[s];
        const int32_t nc = st.columns(s);
        const int32_t nr = st.rowCount(s);
        const int32_t* rows = &st.rows[static_cast<size_t>(st.rowStart[s])];
        const Row l = m_values.at(st.valueStart[s]);
        gathered.resize(std::max(nr - nc, 1));
        const Row g = gathered.at(0);
        for (int32_t i = nc; i < nr; ++i) {
            g.set(i - nc, xs[rows[i]]);
        }
        for (int32_t j = nc - 1; j >= 0; --j) {
            const Row column = l + static_cast<int64_t>(j) * nr;
            S h = dot(y[f + j], column + nc, g, nr - nc);
            h = dot(h, column + (j + 1), xs + (f + j + 1), nc - j - 1);
            xs.set(f + j, -(h * column[j]));
        }
    }
}

template <>
void SupernodalFactorOf<DoubleDouble>::invertSupernode(int32_t s, Workspace& w, WorkerPool* pool);

template <>
void SupernodalFactorOf<DoubleDouble>::invert(WorkerPool& pool, const StepReport& report) {
    const SupernodalStructure& st = *m_structure;
    splitTree(pool.size());
    Workspace w;
    report(0);
    for (size_t k = m_top.size(); k-- > 0;) {
        report(0.5 * static_cast<double>(m_top.size() - 1 - k) / static_cast<double>(m_top.size()));
        invertSupernode(m_top[k], w, &pool);
    }
    report(0.5);
    Lender<Workspace> lender;
    pool.forEachChunk(static_cast<int32_t>(m_subtrees.size()), [&](int32_t chunk) {
        std::unique_ptr<Workspace> own = lender.take();
        const int32_t root = m_subtrees[static_cast<size_t>(chunk)];
        for (int32_t s = root; s >= st.subtreeFirst[static_cast<size_t>(root)]; --s) {
            invertSupernode(s, *own, nullptr);
        }
        lender.give(std::move(own));
    });
    report(1);
}

template <>
void SupernodalFactorOf<DoubleDouble>::invertSupernode(int32_t s, Workspace& w, WorkerPool* pool) {
    const SupernodalStructure& st = *m_structure;
    const int32_t nc = st.columns(s);
    const int32_t m = st.rowCount(s);
    const int32_t* rows = &st.rows[static_cast<size_t>(st.rowStart[s])];
    const DoubleDoubleRow b = m_values.at(st.valueStart[s]);
    w.block.resize(static_cast<int64_t>(m) * m);
    const DoubleDoubleRow z = w.block.at(0);
    const auto at = [m](int32_t i, int32_t j) { return static_cast<int64_t>(j) * m + i; };
    const bool shared = pool != nullptr && pool->size() > 1;

    // Z between the rows below the columns, from the supernodes that hold them as columns;
    // the rows below such a column are all rows of that supernode (the fill closes them).
    w.positions.resize(static_cast<size_t>(m));
    for (int32_t t = nc; t < m;) {
        const int32_t a = st.supernodeOf[static_cast<size_t>(rows[t])];
        const int32_t fa = st.first[a];
        const int32_t nca = st.columns(a);
        const int32_t nra = st.rowCount(a);
        const int32_t* ra = &st.rows[static_cast<size_t>(st.rowStart[a])];
        const DoubleDoubleRow za = m_values.at(st.valueStart[a]);
        int32_t end = t;
        while (end < m && rows[end] < fa + nca) {
            ++end;
        }
        for (int32_t u = t, p = 0; u < m; ++u) {
            while (ra[p] < rows[u]) {
                ++p;
            }
            assert(ra[p] == rows[u]);
            w.positions[static_cast<size_t>(u)] = p;
        }
        for (int32_t v = t; v < end; ++v) {
            const DoubleDoubleRow column = za + static_cast<int64_t>(rows[v] - fa) * nra;
            for (int32_t u = v; u < m; ++u) {
                const DoubleDouble value = column[w.positions[static_cast<size_t>(u)]];
                z.set(at(u, v), value);
                z.set(at(v, u), value);
            }
        }
        t = end;
    }

    // The columns of s by panels from the last: Z[i][j] = -c sum_k Z[i][k] L[k][j] over the
    // rows k > j, and Z[j][j] = c (c - sum_k L[k][j] Z[k][j]), c = 1/L[j][j]. For the rows
    // below a panel, the part of the sums over the rows below it is one product of Z with
    // the panel's columns of L; the rest comes column by column.
    for (int32_t j1 = nc; j1 > 0; j1 -= panelColumns) {
        const int32_t j0 = std::max(0, j1 - panelColumns);
        const int32_t width = j1 - j0;
        const int32_t below = m - j1;
        // -sum_{k >= j1} Z[i][k] L[k][j] for the rows i below the panel, its columns j.
        w.packed.resize(static_cast<int64_t>(below) * width);
        const DoubleDoubleRow packed = w.packed.at(0);
        for (int32_t k = 0; k < below; ++k) {
            for (int32_t q = 0; q < width; ++q) {
                packed.set(static_cast<int64_t>(k) * width + q, b[at(j1 + k, j0 + q)]);
            }
        }
        w.temp.assign(static_cast<int64_t>(below) * width);
        const DoubleDoubleRow sums = w.temp.at(0);
        const auto rowsOf = [&](int32_t first, int32_t end) {
            multiplySubtract(sums + first, below, z + at(j1 + first, j1), m, packed, width,
                             end - first, width, below);
        };
        const double work = static_cast<double>(below) * below * width;
        if (shared && work > parallelWork) {
            const int32_t chunks = chunksFor(work, below, pool->size());
            pool->forEachChunk(chunks, [&](int32_t chunk) {
                const auto [first, end] = shareOf(chunk, chunks, below);
                rowsOf(first, end);
            });
        } else if (below > 0) {
            rowsOf(0, below);
        }
        for (int32_t j = j1 - 1; j >= j0; --j) {
            const DoubleDouble c = b[at(j, j)];
            const DoubleDoubleRow l = b + at(j + 1, j);
            const int32_t length = m - j - 1;
            const DoubleDoubleRow sum = sums + static_cast<int64_t>(j - j0) * below;
            if (below > 0 && j + 1 < j1) {
                w.sources.clear();
                w.factors.clear();
                for (int32_t k = j + 1; k < j1; ++k) {
                    w.sources.push_back(z + at(j1, k));
                    w.factors.push_back(b[at(k, j)]);
                }
                subtractProducts(sum, below, w.sources.data(), w.factors.data(),
                                 static_cast<int32_t>(w.sources.size()));
            }
            for (int32_t r = 0; r < below; ++r) {
                const DoubleDouble zij = c * sum[r];
                z.set(at(j1 + r, j), zij);
                z.set(at(j, j1 + r), zij);
            }
            for (int32_t i = j + 1; i < j1; ++i) {
                const DoubleDouble zij = -(c * dot(DoubleDouble{}, z + at(j + 1, i), l, length));
                z.set(at(i, j), zij);
                z.set(at(j, i), zij);
            }
            const DoubleDouble diagonal = dot(DoubleDouble{}, l, z + at(j + 1, j), length);
            z.set(at(j, j), c * (c - diagonal));
        }
    }
    for (int32_t j = 0; j < nc; ++j) {
        for (int32_t i = j; i < m; ++i) {
            b.set(at(i, j), z[at(i, j)]);
        }
    }
}

template class SupernodalFactorOf<DoubleDouble>;
template class SupernodalFactorOf<double>;

} // namespace ptw3
