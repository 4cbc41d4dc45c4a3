// Profile (skyline) storage after Jennings. The equations are summed in the extended type;
// solving copies them, exactly, into the arithmetic of the factorisation, whose factor and
// then selected inverse share the profile's layout. The cofactor of an observation is the
// quadratic form of its coefficients with the inverse's elements between its unknowns.

#include "solver/normal_equations.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <type_traits>

namespace ptw3 {
namespace {

/// [pvv] + [pdd] put in place of a value that round-off drove below zero.
constexpr Real deflatedSumOfSquares = 1e-7L;

Real realOf(Real v) { return v; }
Real realOf(DoubleDouble v) { return toReal(v); }

// A double-double keeps its 106 bits only while its low part is a normal double and no
// product of two elements leaves the double range; the extended type reaches 10^4932.
// NaN and infinities do not fit.
bool fitsDoubleDouble(Real v) {
    constexpr Real largest = 1e120L;
    constexpr Real smallest = 1e-120L;
    const Real a = std::fabs(v);
    return a == 0 || (a >= smallest && a <= largest);
}

} // namespace

NormalEquations::NormalEquations() = default;
NormalEquations::~NormalEquations() = default;
NormalEquations::NormalEquations(NormalEquations&&) noexcept = default;

NormalEquations::NormalEquations(const NormalEquations& other)
    : m_n(other.m_n)
    , m_rowEnd(other.m_rowEnd)
    , m_rowLength(other.m_rowLength)
    , m_profile(other.m_profile)
    , m_split(other.m_split)
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
    m_split.clear();
    m_stage = Stage::Accumulating;
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
    m_rowLength.assign(static_cast<size_t>(n) + 1, 0);
    for (int32_t r = 1; r <= n; ++r) {
        m_rowLength[static_cast<size_t>(r)] = static_cast<int32_t>(m_rowEnd[r] - m_rowEnd[r - 1]);
    }
    m_profile.assign(count);
    m_b.assign(static_cast<size_t>(n) + 2, 0);
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
    std::fill(m_profile.values().begin(), m_profile.values().end(), 0);
    std::fill(m_b.begin(), m_b.end(), 0);
    m_stage = Stage::Accumulating;
}

void NormalEquations::accumulate(std::span<const EquationTerm> row, Real freeTerm) {
    assert(m_stage == Stage::Accumulating);
    m_merged.clear();
    for (const EquationTerm& term : row) {
        if (term.unknown <= 0) {
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
            assert(s - r < rowLength(r)); // the ordering keeps every coupling inside the profile
            rowOf(r)[s - r] += a.coefficient * e.coefficient;
        }
    }
    m_b[static_cast<size_t>(m_n) + 1] += freeTerm * freeTerm;
}

void NormalEquations::addToDiagonal(int32_t unknown, Real weight) {
    assert(unknown >= 1 && unknown <= m_n && m_stage == Stage::Accumulating);
    rowOf(unknown)[0] += weight;
}

Real NormalEquations::element(int32_t r, int32_t c) const {
    if (r > c) {
        std::swap(r, c);
    }
    assert(r >= 1 && c <= m_n);
    if (c - r >= m_rowLength[static_cast<size_t>(r)]) {
        return 0;
    }
    const int64_t k = indexOf(r, c);
    return m_stage != Stage::Accumulating && m_arithmetic == Arithmetic::DoubleDouble
               ? toReal(m_split.get(k))
               : m_profile.get(k);
}

template <class S>
SolveOutcome NormalEquations::solve(Elements<S>& factor, Real pivotShift,
                                    const WeakPivot& weakPivot, const StepReport& report) {
    const int32_t n = m_n;
    Elements<S> b;
    b.assign(n + 2);
    for (int32_t r = 1; r <= n + 1; ++r) {
        if constexpr (std::is_same_v<S, Real>) {
            b.set(r, m_b[static_cast<size_t>(r)]);
        } else {
            b.set(r, toDoubleDouble(m_b[static_cast<size_t>(r)]));
        }
    }
    SolveOutcome outcome;
    const int32_t weakPivots =
        factoriseProfile<S>(shape(), factor, b, pivotShift, weakPivot, pool(), report);
    outcome.defect = weakPivots > 0;
    for (int32_t r = 1; r <= n + 1; ++r) {
        m_b[static_cast<size_t>(r)] = realOf(b.get(r));
    }
    if (m_b[static_cast<size_t>(n) + 1] < 0) {
        m_b[static_cast<size_t>(n) + 1] = deflatedSumOfSquares;
        outcome.deflated = true;
    }
    Elements<S> x;
    x.assign(n + 2);
    backSubstitute<S>(shape(), factor, b, x);
    m_x.clear();
    m_x.resize(n);
    for (int32_t r = 1; r <= n; ++r) {
        m_x[r] = realOf(x.get(r));
    }
    m_stage = Stage::Factorised;
    return outcome;
}

SolveOutcome NormalEquations::solveNormalEquations(Real pivotShift, const WeakPivot& weakPivot,
                                                   const StepReport& report) {
    assert(m_stage == Stage::Accumulating);
    if (m_arithmetic == Arithmetic::DoubleDouble && !splitProfile()) {
        m_arithmetic = Arithmetic::Extended;
        m_split.clear();
    }
    if (m_arithmetic == Arithmetic::DoubleDouble) {
        struct Defect {};
        try {
            return solve(m_split, pivotShift, [](int32_t) { throw Defect{}; }, report);
        } catch (const Defect&) {
            // A defective system is solved, from here to the end of the computation, in the
            // extended type: what it prints in the undetermined directions is rounding noise
            // raised by the substituted pivot, and it is then that of the plain algorithm.
            m_arithmetic = Arithmetic::Extended;
            m_split.clear();
        }
    }
    return solve(m_profile, pivotShift, weakPivot, report);
}

bool NormalEquations::splitProfile() {
    constexpr int64_t chunkElements = int64_t{1} << 20;
    const int64_t count = elementCount();
    m_split.resize(count);
    std::atomic<bool> fits = std::all_of(m_b.begin() + 1, m_b.end(), fitsDoubleDouble);
    pool().forEachChunk(static_cast<int32_t>((count + chunkElements - 1) / chunkElements),
                        [&](int32_t chunk) {
                            const int64_t first = chunk * chunkElements;
                            const int64_t end = std::min(count, first + chunkElements);
                            bool chunkFits = true;
                            for (int64_t k = first; k < end; ++k) {
                                const Real v = m_profile.get(k);
                                chunkFits = chunkFits && fitsDoubleDouble(v);
                                m_split.set(k, toDoubleDouble(v));
                            }
                            if (!chunkFits) {
                                fits.store(false, std::memory_order_relaxed);
                            }
                        });
    return fits.load();
}

template <class S> void NormalEquations::fillCofactors(Elements<S>& inverse) {
    const int32_t lr = m_n / 2;
    m_q.clear();
    m_q.resize(m_n);
    for (int32_t r = 1; r <= m_n; ++r) {
        m_q[r] = realOf(inverse.get(indexOf(r, r)));
    }
    m_blocks.clear();
    m_blocks.resize(lr);
    for (int32_t k = 1; k <= lr; ++k) {
        m_blocks[k] = {m_q[2 * k - 1], m_q[2 * k], realOf(inverse.get(indexOf(2 * k - 1, 2 * k)))};
    }
}

void NormalEquations::computePointCofactors(const StepReport& report) {
    assert(m_stage == Stage::Factorised || m_n == 0);
    if (m_arithmetic == Arithmetic::Extended) {
        invertProfile<Real>(shape(), m_profile, pool(), report);
        fillCofactors(m_profile);
    } else {
        invertProfile<DoubleDouble>(shape(), m_split, pool(), report);
        fillCofactors(m_split);
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
    const auto z = [&](size_t i, size_t j) {
        const int32_t r = std::min(terms[i].unknown, terms[j].unknown);
        const int32_t c = std::max(terms[i].unknown, terms[j].unknown);
        return indexOf(r, c);
    };
    if (m_arithmetic == Arithmetic::Extended) {
        Real q = 0;
        for (size_t i = 0; i < terms.size(); ++i) {
            const Real a = terms[i].coefficient;
            Real cross = 0;
            for (size_t j = i + 1; j < terms.size(); ++j) {
                cross += terms[j].coefficient * m_profile.get(z(i, j));
            }
            q += a * (a * m_profile.get(z(i, i)) + 2 * cross);
        }
        return q;
    }
    DoubleDouble q;
    for (size_t i = 0; i < terms.size(); ++i) {
        const DoubleDouble a = toDoubleDouble(terms[i].coefficient);
        DoubleDouble cross;
        for (size_t j = i + 1; j < terms.size(); ++j) {
            cross = cross + toDoubleDouble(terms[j].coefficient) * m_split.get(z(i, j));
        }
        q = q + a * (a * m_split.get(z(i, i)) + DoubleDouble{2, 0} * cross);
    }
    return toReal(q);
}

} // namespace ptw3
