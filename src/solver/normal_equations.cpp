// The equations are summed in the extended type over their sparse pattern; solving copies
// them, exactly, into the arithmetic of the factorisation: the supernodal double-double
// factor, or the profile for the extended type, whose factor and then selected inverse
// share the profile's layout. The cofactor of an observation is the quadratic form of its
// coefficients with the inverse's elements between its unknowns.

#include "solver/normal_equations.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cmath>
#include <stdexcept>
#include <thread>

namespace ptw3 {
namespace {

/// [pvv] + [pdd] put in place of a value that round-off drove below zero.
constexpr Real deflatedSumOfSquares = 1e-7L;

// A double-double keeps its 106 bits only while its low part is a normal double and no
// product of two elements leaves the double range; the extended type reaches 10^4932.
// NaN and infinities do not fit.
bool fitsDoubleDouble(Real v) {
    constexpr Real largest = 1e120L;
    constexpr Real smallest = 1e-120L;
    const Real a = std::fabs(v);
    return a == 0 || (a >= smallest && a <= largest);
}

/// The factor made (or cleared) over the structure, the entries of N in their places.
template <class S, class Convert>
void loadFactor(std::optional<SupernodalFactorOf<S>>& factor,
                const std::shared_ptr<const SupernodalStructure>& structure,
                const std::vector<Real>& entries, const std::vector<int64_t>& place,
                const Convert& convert) {
    if (!factor) {
        factor.emplace(structure);
    } else {
        factor->clear();
    }
    for (size_t k = 0; k < entries.size(); ++k) {
        if (place[k] >= 0) {
            factor->set(place[k], convert(entries[k]));
        }
    }
}

/// Every pair of points inside the profile of the half-band widths.
PointGraph profileGraph(const Table<int32_t>& halfBand, int32_t lr) {
    std::vector<std::vector<int32_t>> lists(static_cast<size_t>(lr));
    for (int32_t k = 1; k <= lr; ++k) {
        for (int32_t q = k + 1; q < k + halfBand[k]; ++q) {
            lists[static_cast<size_t>(k) - 1].push_back(q - 1);
            lists[static_cast<size_t>(q) - 1].push_back(k - 1);
        }
    }
    PointGraph g;
    g.points = lr;
    for (const std::vector<int32_t>& list : lists) {
        g.neighbours.insert(g.neighbours.end(), list.begin(), list.end());
        g.start.push_back(static_cast<int64_t>(g.neighbours.size()));
    }
    return g;
}

} // namespace

NormalEquations::NormalEquations() = default;
NormalEquations::~NormalEquations() = default;
NormalEquations::NormalEquations(NormalEquations&&) noexcept = default;

NormalEquations::NormalEquations(const NormalEquations& other)
    : m_n(other.m_n)
    , m_rowEnd(other.m_rowEnd)
    , m_rowLength(other.m_rowLength)
    , m_graph(other.m_graph)
    , m_laterStart(other.m_laterStart)
    , m_later(other.m_later)
    , m_entry(other.m_entry)
    , m_entryOffset(other.m_entryOffset)
    , m_profile(other.m_profile)
    , m_structure(other.m_structure)
    , m_structureAhead(other.m_structureAhead)
    , m_factorIndex(other.m_factorIndex)
    , m_factor(other.m_factor)
    , m_factorCurrent(other.m_factorCurrent)
    , m_b(other.m_b)
    , m_x(other.m_x)
    , m_q(other.m_q)
    , m_blocks(other.m_blocks)
    , m_arithmetic(other.m_arithmetic)
    , m_stage(other.m_stage)
    , m_threadCount(other.m_threadCount) {}

NormalEquations& NormalEquations::operator=(const NormalEquations& other) {
    if (this != &other) {
        NormalEquations copy(other);
        *this = std::move(copy);
    }
    return *this;
}

NormalEquations& NormalEquations::operator=(NormalEquations&&) noexcept = default;

int64_t NormalEquations::layOut(const Table<int32_t>& halfBand, int32_t lr,
                                const PointGraph* graph) {
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
    m_profile.clear();
    m_structureAhead = {};
    m_structure.reset();
    m_factor.reset();
    m_factorCurrent = false;
    m_draft.reset();
    m_factorIndex.clear();
    m_stage = Stage::Accumulating;
    if (count > profileCapacity) {
        m_n = 0;
        m_rowEnd.assign(1, 0);
        m_rowLength.clear();
        m_graph = {};
        m_laterStart.assign(2, 0);
        m_later.clear();
        m_entry.clear();
        m_entryOffset = 0;
        m_b.assign(2, 0);
        return count;
    }
    m_n = n;
    m_rowEnd = std::move(rowEnd);
    m_rowLength.assign(static_cast<size_t>(n) + 1, 0);
    for (int32_t r = 1; r <= n; ++r) {
        m_rowLength[static_cast<size_t>(r)] = static_cast<int32_t>(m_rowEnd[r] - m_rowEnd[r - 1]);
    }
    m_graph = graph != nullptr ? *graph : profileGraph(halfBand, lr);
    assert(m_graph.points == lr);

    // Point q keeps one 2x2 block for itself and one for each later neighbour p, the four
    // couplings of a pair side by side (XX, XY, YX, YY; YX unused on the diagonal), so that
    // an observation's pair of points is one line of the cache.
    m_laterStart.assign(static_cast<size_t>(lr) + 2, 0);
    m_later.clear();
    for (int32_t q = 1; q <= lr; ++q) {
        const size_t from = m_later.size();
        for (int64_t e = m_graph.start[q - 1]; e < m_graph.start[q]; ++e) {
            const int32_t p = m_graph.neighbours[static_cast<size_t>(e)] + 1;
            if (p > q) {
                assert(p < q + halfBand[q]); // the profile holds every coupling
                m_later.push_back(p);
            }
        }
        std::sort(m_later.begin() + static_cast<std::ptrdiff_t>(from), m_later.end());
        m_later.erase(std::unique(m_later.begin() + static_cast<std::ptrdiff_t>(from), m_later.end()),
                      m_later.end());
        m_laterStart[static_cast<size_t>(q) + 1] = static_cast<int64_t>(m_later.size());
    }
    const int64_t blocks = lr + static_cast<int64_t>(m_later.size());
    m_entry.assign(static_cast<size_t>(4 * blocks + 3), 0);
    const auto address = reinterpret_cast<uintptr_t>(m_entry.data());
    m_entryOffset = static_cast<int64_t>(((64 - address % 64) % 64) / sizeof(Real));
    m_b.assign(static_cast<size_t>(n) + 2, 0);
    // The fill-reducing ordering and the supernodes need only the pattern: with a second
    // processor they are found while the first iteration forms its equations.
    const int32_t threads = m_threadCount > 0
                                ? m_threadCount
                                : static_cast<int32_t>(std::thread::hardware_concurrency());
    if (m_arithmetic == Arithmetic::DoubleDouble && threads > 1) {
        m_structureAhead = std::async(std::launch::async, [graph = m_graph] {
                               return std::make_shared<const SupernodalStructure>(
                                   analyseSupernodal(graph));
                           }).share();
    }
    return count;
}

void NormalEquations::setThreadCount(int32_t threads) {
    m_threadCount = threads;
    m_pool.reset();
}

WorkerPool& NormalEquations::pool() {
    if (!m_pool) {
        m_pool = std::make_unique<WorkerPool>(m_threadCount);
    }
    return *m_pool;
}

ProfileShape NormalEquations::shape() const {
    return {m_n, m_rowEnd.data(), m_rowLength.data()};
}

void NormalEquations::clear() {
    std::fill(m_entry.begin(), m_entry.end(), 0);
    std::fill(m_b.begin(), m_b.end(), 0);
    m_stage = Stage::Accumulating;
}

int64_t NormalEquations::blockOf(int32_t q, int32_t p) const {
    assert(q <= p && q >= 1 && p <= m_n / 2);
    const int64_t diagonal = q - 1 + m_laterStart[static_cast<size_t>(q)];
    if (q == p) {
        return diagonal;
    }
    const auto begin = m_later.begin() + m_laterStart[static_cast<size_t>(q)];
    const auto end = m_later.begin() + m_laterStart[static_cast<size_t>(q) + 1];
    const auto at = std::lower_bound(begin, end, p);
    return at != end && *at == p ? diagonal + 1 + (at - begin) : -1;
}

int64_t NormalEquations::entryIn(int64_t block, int32_t r, int32_t c) const {
    return m_entryOffset + 4 * block + 2 * ((r + 1) % 2) + (c + 1) % 2;
}

int64_t NormalEquations::entryOf(int32_t r, int32_t c) const {
    assert(r <= c && r >= 1 && c <= m_n);
    const int64_t block = blockOf((r + 1) / 2, (c + 1) / 2);
    return block < 0 ? -1 : entryIn(block, r, c);
}

template <class F> void NormalEquations::forEachEntry(const F& f) const {
    for (int32_t q = 1; q <= m_n / 2; ++q) {
        int64_t block = blockOf(q, q);
        f(2 * q - 1, 2 * q - 1, entryIn(block, 2 * q - 1, 2 * q - 1));
        f(2 * q - 1, 2 * q, entryIn(block, 2 * q - 1, 2 * q));
        f(2 * q, 2 * q, entryIn(block, 2 * q, 2 * q));
        for (int64_t e = m_laterStart[static_cast<size_t>(q)];
             e < m_laterStart[static_cast<size_t>(q) + 1]; ++e) {
            const int32_t p = m_later[static_cast<size_t>(e)];
            ++block;
            for (int32_t r = 2 * q - 1; r <= 2 * q; ++r) {
                for (int32_t c = 2 * p - 1; c <= 2 * p; ++c) {
                    f(r, c, entryIn(block, r, c));
                }
            }
        }
    }
}

// The entries of one row's pairs of unknowns: each pair of its points is looked up once
// (the X-X entry), the other three of the 2x2 block follow from the layout.
class NormalEquations::PairEntries {
public:
    explicit PairEntries(const NormalEquations& equations) : m_e(equations) {}

    /// The entry of N[r][c], r <= c, or -1 outside the pattern.
    int64_t of(int32_t r, int32_t c) {
        const int32_t qr = (r + 1) / 2;
        const int32_t qc = (c + 1) / 2;
        const auto end = m_pairs.begin() + static_cast<std::ptrdiff_t>(m_count);
        const auto cached = std::find_if(m_pairs.begin(), end, [&](const Pair& p) {
            return p.from == qr && p.to == qc;
        });
        int64_t block = 0;
        if (cached != end) {
            block = cached->block;
        } else {
            block = m_e.blockOf(qr, qc);
            if (m_count < m_pairs.size()) {
                m_pairs[m_count++] = {qr, qc, block};
            }
        }
        return block < 0 ? -1 : m_e.entryIn(block, r, c);
    }

private:
    struct Pair {
        int32_t from;
        int32_t to;
        int64_t block;
    };
    const NormalEquations& m_e;
    std::array<Pair, 16> m_pairs; ///< those of three points and more
    size_t m_count = 0;
};

namespace {

/// The row's unknowns with their coefficients summed, in the order of their first terms;
/// terms of fixed points dropped. False when there are more than `capacity` of them.
template <class Terms>
bool mergeTerms(std::span<const EquationTerm> row, Terms& merged, size_t capacity, size_t& size) {
    size = 0;
    for (const EquationTerm& term : row) {
        if (term.unknown <= 0) {
            continue;
        }
        const auto end = merged.begin() + static_cast<std::ptrdiff_t>(size);
        const auto same = std::find_if(merged.begin(), end,
                                       [&](const auto& m) { return m.unknown == term.unknown; });
        if (same != end) {
            same->coefficient += term.coefficient;
        } else if (size == capacity) {
            return false;
        } else {
            merged[size++] = term;
        }
    }
    return true;
}

} // namespace

bool NormalEquations::prepare(std::span<const EquationTerm> row, PreparedRow& out) const {
    size_t size = 0;
    if (!mergeTerms(row, out.terms, out.terms.size(), size)) {
        return false;
    }
    out.size = static_cast<int32_t>(size);
    PairEntries entries(*this);
    size_t k = 0;
    for (size_t p = 0; p < size; ++p) {
        assert(out.terms[p].unknown <= m_n);
        for (size_t q = p; q < size; ++q) {
            const int32_t u = out.terms[p].unknown;
            const int32_t v = out.terms[q].unknown;
            const int64_t entry = entries.of(std::min(u, v), std::max(u, v));
            if (entry < 0) {
                throw std::logic_error("an observation couples unknowns that the normal "
                                       "equations were not laid out to couple");
            }
            out.entries[k++] = entry;
        }
    }
    return true;
}

void NormalEquations::prefetch(const PreparedRow& row) const {
    const int32_t pairs = row.size * (row.size + 1) / 2;
    for (int32_t k = 0; k < pairs; ++k) {
        __builtin_prefetch(&m_entry[static_cast<size_t>(row.entries[static_cast<size_t>(k)])], 1);
    }
}

void NormalEquations::accumulate(const PreparedRow& row, Real freeTerm) {
    assert(m_stage == Stage::Accumulating);
    const int64_t* entry = row.entries.data();
    for (int32_t p = 0; p < row.size; ++p) {
        const EquationTerm& a = row.terms[static_cast<size_t>(p)];
        m_b[static_cast<size_t>(a.unknown)] += a.coefficient * freeTerm;
        for (int32_t q = p; q < row.size; ++q) {
            m_entry[static_cast<size_t>(*entry++)] +=
                a.coefficient * row.terms[static_cast<size_t>(q)].coefficient;
        }
    }
    m_b[static_cast<size_t>(m_n) + 1] += freeTerm * freeTerm;
}

void NormalEquations::accumulate(std::span<const EquationTerm> row, Real freeTerm) {
    assert(m_stage == Stage::Accumulating);
    PreparedRow prepared;
    if (prepare(row, prepared)) {
        prefetch(prepared);
        accumulate(prepared, freeTerm);
        return;
    }
    // A row of more unknowns than a prepared row holds.
    m_merged.resize(row.size());
    size_t size = 0;
    mergeTerms(row, m_merged, m_merged.size(), size);
    PairEntries entries(*this);
    for (size_t p = 0; p < size; ++p) {
        const EquationTerm& a = m_merged[p];
        m_b[static_cast<size_t>(a.unknown)] += a.coefficient * freeTerm;
        for (size_t q = p; q < size; ++q) {
            const EquationTerm& e = m_merged[q];
            const int64_t k =
                entries.of(std::min(a.unknown, e.unknown), std::max(a.unknown, e.unknown));
            if (k < 0) {
                throw std::logic_error("an observation couples unknowns that the normal "
                                       "equations were not laid out to couple");
            }
            m_entry[static_cast<size_t>(k)] += a.coefficient * e.coefficient;
        }
    }
    m_b[static_cast<size_t>(m_n) + 1] += freeTerm * freeTerm;
}

void NormalEquations::addToDiagonal(int32_t unknown, Real weight) {
    assert(unknown >= 1 && unknown <= m_n && m_stage == Stage::Accumulating);
    m_entry[static_cast<size_t>(entryOf(unknown, unknown))] += weight;
}

DoubleDouble NormalEquations::supernodalInverse(int32_t r, int32_t c) const {
    const int32_t i = m_structure->position[static_cast<size_t>(r) - 1];
    const int32_t j = m_structure->position[static_cast<size_t>(c) - 1];
    const int64_t k = m_structure->indexOf(std::max(i, j), std::min(i, j));
    return k < 0 ? DoubleDouble{} : m_factor->value(k);
}

Real NormalEquations::element(int32_t r, int32_t c) const {
    if (r > c) {
        std::swap(r, c);
    }
    assert(r >= 1 && c <= m_n);
    if (m_stage == Stage::Accumulating) {
        const int64_t k = entryOf(r, c);
        return k < 0 ? 0 : m_entry[static_cast<size_t>(k)];
    }
    if (m_arithmetic == Arithmetic::Extended) {
        return c - r < m_rowLength[static_cast<size_t>(r)] ? m_profile.get(indexOf(r, c)) : 0;
    }
    return m_stage == Stage::Inverted ? toReal(supernodalInverse(r, c)) : 0;
}

SolveOutcome NormalEquations::solveProfile(Real pivotShift, const WeakPivot& weakPivot,
                                           const StepReport& report) {
    const int32_t n = m_n;
    m_profile.assign(elementCount());
    forEachEntry([&](int32_t r, int32_t c, int64_t k) {
        m_profile.set(indexOf(r, c), m_entry[static_cast<size_t>(k)]);
    });
    Elements<Real> b;
    b.values() = m_b;
    SolveOutcome outcome;
    outcome.defect =
        factoriseProfile<Real>(shape(), m_profile, b, pivotShift, weakPivot, pool(), report) > 0;
    m_b = b.values();
    if (m_b[static_cast<size_t>(n) + 1] < 0) {
        m_b[static_cast<size_t>(n) + 1] = deflatedSumOfSquares;
        outcome.deflated = true;
    }
    Elements<Real> x;
    x.assign(n + 2);
    backSubstitute<Real>(shape(), m_profile, b, x);
    m_x.clear();
    m_x.resize(n);
    for (int32_t r = 1; r <= n; ++r) {
        m_x[r] = x.get(r);
    }
    m_stage = Stage::Factorised;
    return outcome;
}

bool NormalEquations::fitsDoubleDouble() const {
    const auto fits = [](Real v) { return ptw3::fitsDoubleDouble(v); };
    return std::all_of(m_b.begin() + 1, m_b.end(), fits) &&
           std::all_of(m_entry.begin(), m_entry.end(), fits);
}

void NormalEquations::analyse() {
    if (m_structure || m_n == 0) {
        return;
    }
    const std::shared_ptr<const SupernodalStructure> structure =
        m_structureAhead.valid()
            ? m_structureAhead.get()
            : std::make_shared<const SupernodalStructure>(analyseSupernodal(m_graph));
    m_structureAhead = {};
    const std::vector<int32_t>& at = structure->position;
    m_factorIndex.assign(m_entry.size(), -1);
    forEachEntry([&](int32_t r, int32_t c, int64_t k) {
        const int32_t i = at[static_cast<size_t>(r) - 1];
        const int32_t j = at[static_cast<size_t>(c) - 1];
        m_factorIndex[static_cast<size_t>(k)] =
            structure->indexOf(std::max(i, j), std::min(i, j));
        assert(m_factorIndex[static_cast<size_t>(k)] >= 0);
    });
    m_structure = structure;
}

bool NormalEquations::factoriseSupernodal(Real pivotShift, const StepReport& report) {
    m_draft.reset();
    loadFactor(m_factor, m_structure, m_entry, m_factorIndex,
               [](Real v) { return toDoubleDouble(v); });
    m_factorCurrent = m_factor->factorise(pivotShift, pool(), report);
    return m_factorCurrent;
}

bool NormalEquations::solveSupernodal(Real pivotShift, const StepReport& report,
                                      SolveOutcome& outcome) {
    if (!factoriseSupernodal(pivotShift, report)) {
        return false;
    }
    const int32_t n = m_n;
    const std::vector<int32_t>& unknownAt = m_structure->permutation;
    Elements<DoubleDouble> b;
    b.resize(n + 1);
    for (int32_t k = 0; k < n; ++k) {
        b.set(k, toDoubleDouble(m_b[static_cast<size_t>(unknownAt[static_cast<size_t>(k)]) + 1]));
    }
    b.set(n, toDoubleDouble(m_b[static_cast<size_t>(n) + 1]));
    Elements<DoubleDouble> x;
    m_factor->substitute(b, x);
    m_x.clear();
    m_x.resize(n);
    for (int32_t k = 0; k < n; ++k) {
        const int32_t r = unknownAt[static_cast<size_t>(k)] + 1;
        m_b[static_cast<size_t>(r)] = toReal(b.get(k));
        m_x[r] = toReal(x.get(k));
    }
    m_b[static_cast<size_t>(n) + 1] = toReal(b.get(n));
    if (m_b[static_cast<size_t>(n) + 1] < 0) {
        m_b[static_cast<size_t>(n) + 1] = deflatedSumOfSquares;
        outcome.deflated = true;
    }
    m_stage = Stage::Factorised;
    return true;
}

void NormalEquations::addProduct(const std::vector<DoubleDouble>& x,
                                 std::vector<DoubleDouble>& r) const {
    forEachEntry([&](int32_t i, int32_t j, int64_t k) {
        const DoubleDouble a = toDoubleDouble(m_entry[static_cast<size_t>(k)]);
        r[static_cast<size_t>(i)] = r[static_cast<size_t>(i)] + a * x[static_cast<size_t>(j)];
        if (i != j) {
            r[static_cast<size_t>(j)] = r[static_cast<size_t>(j)] + a * x[static_cast<size_t>(i)];
        }
    });
}

// Iterative refinement (Wilkinson; Moler, 1967): the factor M = L L^T of N in double gives
// x = -M^-1 b; each step adds d = -M^-1 r for the residual r = b + N x, summed in
// double-double from N and b as accumulated. The steps stop once d is below the last
// places double-double holds of x, where x is the solution of the double-double factor to
// its own rounding; a draft that does not get there leaves the solution to that factor.
bool NormalEquations::solveRefined(const StepReport& report, SolveOutcome& outcome) {
    constexpr int32_t maximumSteps = 10;
    const double settled = std::ldexp(1.0, -100);   // d against x: converged
    const double stagnated = std::ldexp(1.0, -80);  // d no longer shrinking, but this small
    const int32_t n = m_n;
    m_factor.reset();
    m_factorCurrent = false;
    loadFactor(m_draft, m_structure, m_entry, m_factorIndex,
               [](Real v) { return static_cast<double>(v); });
    if (!m_draft->factorise(0, pool(), report)) {
        m_draft.reset();
        return false;
    }
    const std::vector<int32_t>& unknownAt = m_structure->permutation;
    std::vector<DoubleDouble> x(static_cast<size_t>(n) + 1);
    std::vector<DoubleDouble> r(static_cast<size_t>(n) + 1);
    for (int32_t u = 1; u <= n; ++u) {
        r[static_cast<size_t>(u)] = toDoubleDouble(m_b[static_cast<size_t>(u)]);
    }
    Elements<double> rd;
    Elements<double> d;
    double previous = 0;
    bool converged = false;
    for (int32_t step = 0; step < maximumSteps && !converged; ++step) {
        rd.resize(n + 1);
        for (int32_t k = 0; k < n; ++k) {
            rd.set(k, r[static_cast<size_t>(unknownAt[static_cast<size_t>(k)]) + 1].hi);
        }
        rd.set(n, 0);
        m_draft->substitute(rd, d);
        double largestD = 0;
        double largestX = 0;
        for (int32_t k = 0; k < n; ++k) {
            DoubleDouble& xu = x[static_cast<size_t>(unknownAt[static_cast<size_t>(k)]) + 1];
            xu = xu + DoubleDouble{d.get(k), 0};
            largestD = std::max(largestD, std::fabs(d.get(k)));
            largestX = std::max(largestX, std::fabs(xu.hi));
        }
        if (!std::isfinite(largestD) || !std::isfinite(largestX)) {
            break;
        }
        // Each step shrinks d by the same ratio: once d is small and the ratio too, the
        // next one would fall below the last places held.
        converged = largestD <= settled * largestX ||
                    (step > 0 && largestD <= stagnated * largestX &&
                     (largestD <= 1e-6 * previous || largestD > 0.125 * previous));
        if (step > 0 && largestD > 0.5 * previous) {
            break; // not converging: the draft is too far from N
        }
        previous = largestD;
        if (!converged) {
            for (int32_t u = 1; u <= n; ++u) {
                r[static_cast<size_t>(u)] = toDoubleDouble(m_b[static_cast<size_t>(u)]);
            }
            addProduct(x, r);
        }
    }
    if (!converged) {
        m_draft.reset();
        return false;
    }
    // [pvv] + [pdd] = [pLL] - b^T N^-1 b = [pLL] + b^T x.
    DoubleDouble sum = toDoubleDouble(m_b[static_cast<size_t>(n) + 1]);
    m_x.clear();
    m_x.resize(n);
    for (int32_t u = 1; u <= n; ++u) {
        sum = sum + toDoubleDouble(m_b[static_cast<size_t>(u)]) * x[static_cast<size_t>(u)];
        m_x[u] = toReal(x[static_cast<size_t>(u)]);
    }
    m_b[static_cast<size_t>(n) + 1] = toReal(sum);
    if (m_b[static_cast<size_t>(n) + 1] < 0) {
        m_b[static_cast<size_t>(n) + 1] = deflatedSumOfSquares;
        outcome.deflated = true;
    }
    outcome.refined = true;
    m_stage = Stage::Factorised;
    return true;
}

SolveOutcome NormalEquations::solveNormalEquations(Real pivotShift, const WeakPivot& weakPivot,
                                                   const StepReport& report,
                                                   bool inverseFollows) {
    assert(m_stage == Stage::Accumulating);
    if (m_arithmetic == Arithmetic::DoubleDouble && m_n > 0) {
        SolveOutcome outcome;
        const bool fits = fitsDoubleDouble();
        if (fits) {
            analyse();
        }
        if (fits && !inverseFollows && pivotShift == 0 && solveRefined(report, outcome)) {
            return outcome;
        }
        if (fits && solveSupernodal(pivotShift, report, outcome)) {
            return outcome;
        }
        // A defective system is solved, from here to the end of the computation, by the
        // profile in the extended type: what it prints in the undetermined directions is
        // rounding noise raised by the substituted pivot, and it is then that of the plain
        // algorithm, its weak pivots named in the profile's order.
        m_arithmetic = Arithmetic::Extended;
        m_factor.reset();
        m_factorCurrent = false;
        m_draft.reset();
        m_structure.reset();
        m_factorIndex.clear();
    }
    return solveProfile(pivotShift, weakPivot, report);
}

void NormalEquations::fillCofactors(const std::function<Real(int32_t, int32_t)>& inverse) {
    const int32_t lr = m_n / 2;
    m_q.clear();
    m_q.resize(m_n);
    for (int32_t r = 1; r <= m_n; ++r) {
        m_q[r] = inverse(r, r);
    }
    m_blocks.clear();
    m_blocks.resize(lr);
    for (int32_t k = 1; k <= lr; ++k) {
        m_blocks[k] = {m_q[2 * k - 1], m_q[2 * k], inverse(2 * k - 1, 2 * k)};
    }
}

void NormalEquations::computePointCofactors(const StepReport& report) {
    assert(m_stage == Stage::Factorised || m_n == 0);
    if (m_arithmetic == Arithmetic::Extended || m_n == 0) {
        invertProfile<Real>(shape(), m_profile, pool(), report);
        fillCofactors([&](int32_t r, int32_t c) { return m_profile.get(indexOf(r, c)); });
    } else {
        if (!m_factorCurrent && !factoriseSupernodal(0, report)) {
            // The draft in double took every pivot well above the limit.
            throw std::logic_error("a pivot of the normal equations fell to the limit "
                                   "between the two factorisations");
        }
        m_factor->invert(pool(), report);
        fillCofactors([&](int32_t r, int32_t c) { return toReal(supernodalInverse(r, c)); });
    }
    m_stage = Stage::Inverted;
}

Real NormalEquations::computeObservationCofactor(std::span<const EquationTerm> row) const {
    assert(m_stage == Stage::Inverted);
    // The row's unknowns with their coefficients summed, at most the six of three points
    // in the usual case; any number is taken.
    std::vector<EquationTerm> terms;
    terms.reserve(row.size());
    for (const EquationTerm& term : row) {
        if (term.unknown <= 0) {
            continue;
        }
        const auto same = std::find_if(terms.begin(), terms.end(),
                                       [&](const auto& t) { return t.unknown == term.unknown; });
        if (same == terms.end()) {
            terms.push_back(term);
        } else {
            same->coefficient += term.coefficient;
        }
    }
    // a Z a^T = sum_i a_i^2 Z[i][i] + 2 sum_{i<j} a_i a_j Z[i][j].
    if (m_arithmetic == Arithmetic::Extended) {
        const auto z = [&](size_t i, size_t j) {
            const int32_t r = std::min(terms[i].unknown, terms[j].unknown);
            const int32_t c = std::max(terms[i].unknown, terms[j].unknown);
            return m_profile.get(indexOf(r, c));
        };
        Real q = 0;
        for (size_t i = 0; i < terms.size(); ++i) {
            const Real a = terms[i].coefficient;
            Real cross = 0;
            for (size_t j = i + 1; j < terms.size(); ++j) {
                cross += terms[j].coefficient * z(i, j);
            }
            q += a * (a * z(i, i) + 2 * cross);
        }
        return q;
    }
    PairEntries entries(*this);
    const auto z = [&](size_t i, size_t j) {
        const int32_t r = std::min(terms[i].unknown, terms[j].unknown);
        const int32_t c = std::max(terms[i].unknown, terms[j].unknown);
        const int64_t k = entries.of(r, c);
        return k >= 0 ? m_factor->value(m_factorIndex[static_cast<size_t>(k)])
                      : supernodalInverse(r, c);
    };
    DoubleDouble q;
    for (size_t i = 0; i < terms.size(); ++i) {
        const DoubleDouble a = toDoubleDouble(terms[i].coefficient);
        DoubleDouble cross;
        for (size_t j = i + 1; j < terms.size(); ++j) {
            cross = cross + toDoubleDouble(terms[j].coefficient) * z(i, j);
        }
        q = q + a * (a * z(i, i) + DoubleDouble{2, 0} * cross);
    }
    return toReal(q);
}

} // namespace ptw3
