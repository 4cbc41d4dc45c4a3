#include "control/control_model.h"

#include "engine/weighting.h"
#include "solver/profile_kernels.h"
#include "solver/supernodal_factor.h"
#include "solver/supernodal_structure.h"
#include "solver/worker_pool.h"

#include <amd.h>
#include <cholmod.h>

#include <algorithm>
#include <cassert>
#include <cmath>
#include <future>

namespace ptw3 {
namespace {

// The Schreiber angles keep their weights apart from their mean errors by this much, as the
// adjustment's angle weights do.
constexpr double weightGuardCc = 1e-12;

bool isSetMember(ListedKind kind) { return kind == ListedKind::Direction; }

bool kindMatches(ObservationKind equation, ListedKind listed) {
    switch (equation) {
    case ObservationKind::Angles: return listed == ListedKind::Angle;
    case ObservationKind::Directions: return listed == ListedKind::Direction;
    case ObservationKind::Distances:
        return listed == ListedKind::Distance || listed == ListedKind::GpsDistance;
    case ObservationKind::Azimuths:
        return listed == ListedKind::Azimuth || listed == ListedKind::GpsAzimuth;
    case ObservationKind::CoordinatePseudo: return false;
    }
    return false;
}

class RowMaker {
public:
    RowMaker(const NetworkData& network, ControlModel& model)
        : m_model(model)
        , m_fixedOrdinal(static_cast<size_t>(network.lp()) + 1, -1) {}

    // The row's terms over the extended unknowns, times the factor, equal unknowns summed.
    SparseRow make(const ModelRow& row, double factor) {
        SparseRow out;
        for (const ModelRow::Term& t : row.view()) {
            const int32_t index = indexOf(t.unknown);
            const double c = t.coefficient * factor;
            const auto same = std::find_if(out.begin(), out.end(),
                                           [&](const auto& e) { return e.first == index; });
            if (same == out.end()) {
                out.emplace_back(index, c);
            } else {
                same->second += c;
            }
        }
        return out;
    }

private:
    int32_t indexOf(int32_t unknown) {
        if (unknown > 0) {
            return unknown - 1;
        }
        const int32_t point = (-unknown + 1) / 2;
        const int axis = (-unknown) % 2 == 1 ? 0 : 1;
        int32_t& ordinal = m_fixedOrdinal[static_cast<size_t>(point)];
        if (ordinal < 0) {
            ordinal = static_cast<int32_t>(m_model.fixedPoints.size());
            m_model.fixedPoints.push_back(point);
        }
        return m_model.fixedIndex(static_cast<size_t>(ordinal), axis);
    }

    ControlModel& m_model;
    std::vector<int32_t> m_fixedOrdinal;
};

// A direction set from its Schreiber angles (1,2), (1,3), …, (1,n), (2,3), …, (n−1,n): the
// angle (1,j) is the row d_j times its weight root, and every angle's form gives the forms
// of the rows d: G_jj = D_1j, G_ij = (G_ii + G_jj − D_ij)/2.
ObservationGroup directionSet(RowMaker& rows, const DirectionSet& set,
                              std::span<const ModelEquation> angles) {
    const int32_t n = set.directions.count();
    ObservationGroup g;
    g.directionSet = true;
    g.rows.resize(static_cast<size_t>(n));
    g.tau.assign(static_cast<size_t>(n), 0);
    g.laplacian = Eigen::MatrixXd::Zero(n, n);
    Eigen::MatrixXd d = Eigen::MatrixXd::Zero(n, n); // forms of the angles
    size_t a = 0;
    for (int32_t i = 0; i < n; ++i) {
        for (int32_t j = i + 1; j < n; ++j, ++a) {
            const ModelEquation& e = angles[a];
            const double root = e.weightRoot;
            const double w = root * root;
            g.laplacian(i, j) -= w;
            g.laplacian(j, i) -= w;
            g.laplacian(i, i) += w;
            g.laplacian(j, j) += w;
            d(i, j) = d(j, i) = e.cofactor / w;
            if (i == 0) {
                g.rows[static_cast<size_t>(j)] = rows.make(e.row, 1 / root);
                g.tau[static_cast<size_t>(j)] = e.freeTerm / root;
            }
        }
    }
    g.forms = Eigen::MatrixXd::Zero(n, n);
    for (int32_t j = 1; j < n; ++j) {
        g.forms(j, j) = d(0, j);
    }
    for (int32_t i = 1; i < n; ++i) {
        for (int32_t j = i + 1; j < n; ++j) {
            g.forms(i, j) = g.forms(j, i) = (g.forms(i, i) + g.forms(j, j) - d(i, j)) / 2;
        }
    }
    for (const Direction& dir : set.directions) {
        g.meanErrors.push_back(static_cast<double>(dir.meanError));
    }
    return g;
}

} // namespace

std::optional<ControlModel> buildControlModel(const NetworkData& network,
                                              const AdjustmentOutcome& outcome,
                                              std::string& reason) {
    ControlModel model;
    model.unknowns = outcome.size.unknowns;
    model.structure = outcome.model.structure;
    model.redundancy = outcome.size.redundancy();
    RowMaker rows(network, model);
    const std::vector<ModelEquation>& equations = outcome.model.equations;
    const std::vector<AdjustedObservation>& listed = outcome.observations;
    size_t e = 0;
    int32_t listedIndex = 0;
    int32_t set = 0; // direction sets count from 1
    const auto mismatch = [&] {
        reason = "model ostatniego przebiegu niezgodny z wykazem obserwacji";
        return std::nullopt;
    };
    while (e < equations.size()) {
        const ModelEquation& eq = equations[e];
        if (static_cast<size_t>(listedIndex) >= listed.size() ||
            !kindMatches(eq.kind, listed[static_cast<size_t>(listedIndex)].kind)) {
            return mismatch();
        }
        if (eq.kind == ObservationKind::Directions) {
            if (set >= network.directionSets.count()) {
                return mismatch();
            }
            const DirectionSet& s = network.directionSets[++set];
            const auto n = static_cast<size_t>(s.directions.count());
            const size_t angles = n * (n - 1) / 2;
            if (e + angles > equations.size() ||
                static_cast<size_t>(listedIndex) + n > listed.size()) {
                return mismatch();
            }
            ObservationGroup g = directionSet(rows, s, {equations.data() + e, angles});
            g.firstObservation = listedIndex;
            for (size_t k = 0; k < n; ++k) {
                if (!isSetMember(listed[static_cast<size_t>(listedIndex) + k].kind)) {
                    return mismatch();
                }
            }
            model.groups.push_back(std::move(g));
            e += angles;
            listedIndex += static_cast<int32_t>(n);
            continue;
        }
        ObservationGroup g;
        g.firstObservation = listedIndex++;
        g.weightRoot = eq.weightRoot;
        g.rows.push_back(rows.make(eq.row, 1));
        g.tau.push_back(eq.freeTerm);
        g.laplacian = Eigen::MatrixXd::Ones(1, 1);
        g.forms = Eigen::MatrixXd::Constant(1, 1, eq.cofactor);
        model.groups.push_back(std::move(g));
        ++e;
    }
    if (static_cast<size_t>(listedIndex) != listed.size()) {
        return mismatch();
    }

    // The moving reference points' coordinates observed with their a-priori errors.
    const auto pseudo = [&](int32_t unknown, Real apriori, Real adjusted, Real given) {
        if (apriori <= pseudoObservationError) {
            return -1;
        }
        const double s = static_cast<double>(1 / (apriori + errorGuard));
        ObservationGroup g;
        g.rows.push_back({{unknown, s}});
        g.tau.push_back(s * static_cast<double>(adjusted - given));
        g.laplacian = Eigen::MatrixXd::Ones(1, 1);
        g.weightRoot = s;
        model.groups.push_back(std::move(g));
        return static_cast<int32_t>(model.groups.size()) - 1;
    };
    for (int32_t p = 1; p <= network.determinedCount(); ++p) {
        const WorkingPoint& given = outcome.model.given[p];
        const WorkingPoint& adjusted = outcome.coordinates[p];
        const int32_t q = network.ordering.position[p];
        ControlModel::MovingPoint m;
        m.point = p;
        m.unknownX = 2 * q - 2;
        m.unknownY = 2 * q - 1;
        m.groupX = pseudo(m.unknownX, given.mx, adjusted.x, given.x);
        m.groupY = pseudo(m.unknownY, given.my, adjusted.y, given.y);
        if (m.groupX >= 0 || m.groupY >= 0) {
            model.movingPoints.push_back(m);
        }
    }
    model.extended = model.unknowns + 2 * static_cast<int32_t>(model.fixedPoints.size());
    return model;
}

Eigen::MatrixXd setLaplacian(const std::vector<double>& meanErrors,
                             const std::vector<bool>& kept) {
    const auto n = static_cast<Eigen::Index>(meanErrors.size());
    double weightSum = 0;
    for (Eigen::Index i = 0; i < n; ++i) {
        if (kept[static_cast<size_t>(i)]) {
            const double m = meanErrors[static_cast<size_t>(i)];
            weightSum += 1 / (m * m);
        }
    }
    const double root = std::sqrt(weightSum);
    Eigen::MatrixXd l = Eigen::MatrixXd::Zero(n, n);
    for (Eigen::Index i = 0; i < n; ++i) {
        for (Eigen::Index j = i + 1; j < n; ++j) {
            if (!kept[static_cast<size_t>(i)] || !kept[static_cast<size_t>(j)]) {
                continue;
            }
            const double m =
                root * meanErrors[static_cast<size_t>(i)] * meanErrors[static_cast<size_t>(j)];
            const double r = 1 / (m + weightGuardCc);
            const double w = r * r;
            l(i, j) -= w;
            l(j, i) -= w;
            l(i, i) += w;
            l(j, j) += w;
        }
    }
    return l;
}

namespace {

// The dense steps of the substitutions in Eigen's own products, which any number of threads
// may run at once: the system's BLAS need not be reentrant (a serial OpenBLAS shares its
// buffers between the threads that call it, and their results then mix).
using ConstBlock = Eigen::Map<const Eigen::MatrixXd, 0, Eigen::OuterStride<>>;
using Block = Eigen::Map<Eigen::MatrixXd, 0, Eigen::OuterStride<>>;

/// Y := Y L⁻ᵀ, or Y L⁻¹ when not transposed: Y rows × width (leading dimension ldy), L the
/// lower triangle of the width × width block at l (leading dimension height).
void solveOnTheRight(bool transposed, int rows, int width, const double* l, int height,
                     double* y, int ldy) {
    const ConstBlock lower(l, width, width, Eigen::OuterStride<>(height));
    Block target(y, rows, width, Eigen::OuterStride<>(ldy));
    if (transposed) {
        lower.triangularView<Eigen::Lower>().transpose().solveInPlace<Eigen::OnTheRight>(target);
    } else {
        lower.triangularView<Eigen::Lower>().solveInPlace<Eigen::OnTheRight>(target);
    }
}

/// below = −Y Lᵀ_R on the processor's vectors: Y rows × width (leading dimension ldy), L_R the
/// rest × width rows under the supernode's diagonal block at l (leading dimension height);
/// below rows × rest by columns.
void negatedProductBelow(int rows, int width, int rest, const double* y, int ldy,
                         const double* l, int height, std::vector<double>& below) {
    below.assign(static_cast<size_t>(rows) * static_cast<size_t>(rest), 0.0);
    // The kernel only reads its second and third operands.
    multiplySubtract(DoubleRow{below.data()}, rows, DoubleRow{const_cast<double*>(y)}, ldy,
                     DoubleRow{const_cast<double*>(l + width)}, height, rows, rest, width);
}

} // namespace

namespace {

// Columns of the right-hand sides a sparse substitution carries at once: enough for the
// dense products of the large supernodes near the root to run at speed.
constexpr int batchColumns = 16;
// From this many reference points on, their inverse forms outweigh the ordering's cost.
constexpr size_t manyReferencePoints = 250;

cholmod_sparse viewOf(const Eigen::SparseMatrix<double>& lower) {
    cholmod_sparse a{};
    a.nrow = a.ncol = static_cast<size_t>(lower.rows());
    a.nzmax = static_cast<size_t>(lower.nonZeros());
    // CHOLMOD reads the matrix and never writes it.
    a.p = const_cast<int*>(lower.outerIndexPtr());
    a.i = const_cast<int*>(lower.innerIndexPtr());
    a.x = const_cast<double*>(lower.valuePtr());
    a.stype = -1; // the lower triangle holds the matrix
    a.itype = CHOLMOD_INT;
    a.xtype = CHOLMOD_REAL;
    a.dtype = CHOLMOD_DOUBLE;
    a.sorted = 1;
    a.packed = 1;
    return a;
}

} // namespace

// The supernodal factorisation P N Pᵀ = L Lᵀ, CHOLMOD's with its fill-reducing ordering P or
// ours in double over the supernodes of the adjustment's factor. A supernode is a run of
// columns k1..k2−1 with one row pattern: a dense block of nsrow rows (its own columns first,
// then the rows below) in column-major order.
struct SparseFactor::Impl {
    cholmod_common common{};
    cholmod_factor* factor = nullptr;
    std::shared_ptr<const SupernodalStructure> structure; // of the draft
    std::optional<DraftFactor> draft;
    std::vector<int> permuted;    // the column of L of each row of N
    std::vector<int> supernodeOf; // the supernode of each column of L
    std::vector<int> parent;      // each supernode's parent in the elimination tree, or −1

    Impl() {
        cholmod_start(&common);
        common.print = 0;
        common.supernodal = CHOLMOD_SUPERNODAL;
    }
    ~Impl() {
        release();
        cholmod_finish(&common);
    }
    void release() {
        if (factor != nullptr) {
            cholmod_free_factor(&factor, &common);
        }
        draft.reset();
        structure.reset();
    }

    int n() const { return draft ? structure->n : static_cast<int>(factor->n); }
    int supernodes() const {
        return draft ? structure->supernodes() : static_cast<int>(factor->nsuper);
    }
    int super(int j) const {
        return draft ? structure->first[static_cast<size_t>(j)]
                     : static_cast<const int*>(factor->super)[j];
    }
    int64_t rowStart(int j) const {
        return draft ? structure->rowStart[static_cast<size_t>(j)]
                     : static_cast<const int*>(factor->pi)[j];
    }
    int64_t valueStart(int j) const {
        return draft ? structure->valueStart[static_cast<size_t>(j)]
                     : static_cast<const int*>(factor->px)[j];
    }
    const int* rows() const {
        return draft ? structure->rows.data() : static_cast<const int*>(factor->s);
    }
    const double* values() const {
        return draft ? draft->values().data() : static_cast<const double*>(factor->x);
    }

    void prepareSparseSolves() {
        if (draft) {
            permuted = structure->position;
        } else {
            const auto* perm = static_cast<const int*>(factor->Perm);
            permuted.assign(static_cast<size_t>(n()), 0);
            for (int k = 0; k < n(); ++k) {
                permuted[static_cast<size_t>(perm[k])] = k;
            }
        }
        supernodeOf.assign(static_cast<size_t>(n()), 0);
        parent.assign(static_cast<size_t>(supernodes()), -1);
        for (int j = 0; j < supernodes(); ++j) {
            for (int k = super(j); k < super(j + 1); ++k) {
                supernodeOf[static_cast<size_t>(k)] = j;
            }
        }
        for (int j = 0; j < supernodes(); ++j) {
            const int columns = super(j + 1) - super(j);
            const int64_t first = rowStart(j) + columns; // the first row below the supernode
            if (first < rowStart(j + 1)) {
                parent[static_cast<size_t>(j)] = supernodeOf[static_cast<size_t>(rows()[first])];
            }
        }
    }
};

SparseFactor::SparseFactor()
    : m_impl(std::make_unique<Impl>()) {}
SparseFactor::~SparseFactor() = default;

bool SparseFactor::factorise(const Eigen::SparseMatrix<double>& lower,
                             const std::vector<int>& ordering) {
    assert(lower.isCompressed());
    cholmod_sparse a = viewOf(lower);
    Impl& m = *m_impl;
    m.release();
    if (ordering.empty()) {
        m.common.nmethods = 0; // CHOLMOD's own choice
        m.factor = cholmod_analyze(&a, &m.common);
    } else {
        m.common.nmethods = 1;
        m.common.method[0].ordering = CHOLMOD_GIVEN;
        m.factor = cholmod_analyze_p(&a, const_cast<int*>(ordering.data()), nullptr, 0,
                                     &m.common);
    }
    if (m.factor == nullptr) {
        return false;
    }
    cholmod_factorize(&a, m.factor, &m.common);
    if (m.common.status != CHOLMOD_OK || m.factor->minor != m.factor->n ||
        !m.factor->is_super) {
        return false;
    }
    m.prepareSparseSolves();
    return true;
}

bool SparseFactor::factorise(const Eigen::SparseMatrix<double>& lower,
                             std::shared_ptr<const SupernodalStructure> structure,
                             int32_t threads) {
    assert(lower.isCompressed());
    Impl& m = *m_impl;
    m.release();
    if (!structure || structure->n != lower.rows()) {
        return false;
    }
    DraftFactor draft(structure);
    const std::vector<int32_t>& at = structure->position;
    for (Eigen::Index c = 0; c < lower.outerSize(); ++c) {
        for (Eigen::SparseMatrix<double>::InnerIterator e(lower, c); e; ++e) {
            const int32_t i = at[static_cast<size_t>(e.row())];
            const int32_t j = at[static_cast<size_t>(e.col())];
            const int64_t k = structure->indexOf(std::max(i, j), std::min(i, j));
            if (k < 0) {
                return false;
            }
            draft.set(k, e.value());
        }
    }
    WorkerPool pool(threads);
    if (!draft.factorise(0, pool, [](double) {})) {
        return false;
    }
    // The factor keeps 1/L[k][k] on its diagonal; the substitutions here read L[k][k].
    for (int32_t s = 0; s < structure->supernodes(); ++s) {
        const int64_t nr = structure->rowCount(s);
        for (int32_t j = 0; j < structure->columns(s); ++j) {
            const int64_t k = structure->valueStart[static_cast<size_t>(s)] + j * nr + j;
            draft.set(k, 1 / draft.value(k));
        }
    }
    m.structure = std::move(structure);
    m.draft.emplace(std::move(draft));
    m.prepareSparseSolves();
    return true;
}

Eigen::VectorXd SparseFactor::solve(const Eigen::VectorXd& b) const {
    return solve(Eigen::MatrixXd(b));
}

// L Lᵀ P x = P b by supernodes, on the transposed work space Yᵀ (the values of the factor's
// column k for all the right-hand sides together): forward over the supernodes b reaches,
//   Y_Jᵀ L_JJᵀ = B_Jᵀ,   B_R −= L_RJ Y_J,
// then back over all of them,
//   X_Jᵀ L_JJ = Y_Jᵀ − X_Rᵀ L_RJ.
Eigen::MatrixXd SparseFactor::solve(const Eigen::MatrixXd& b) const {
    const Impl& m = *m_impl;
    const double* values = m.values();
    const auto n = static_cast<Eigen::Index>(m.n());
    const auto count = static_cast<int>(b.cols());
    const auto columns = static_cast<size_t>(count);
    Eigen::MatrixXd x(n, count);
    if (count == 0) {
        return x;
    }
    std::vector<double> yt(static_cast<size_t>(n) * columns, 0.0);
    std::vector<char> reached(static_cast<size_t>(m.supernodes()), 0);
    std::vector<int> reach;
    for (Eigen::Index i = 0; i < n; ++i) {
        const int k = m.permuted[static_cast<size_t>(i)];
        bool nonzero = false;
        for (int c = 0; c < count; ++c) {
            yt[static_cast<size_t>(k) * columns + static_cast<size_t>(c)] = b(i, c);
            nonzero = nonzero || b(i, c) != 0;
        }
        for (int j = m.supernodeOf[static_cast<size_t>(k)];
             nonzero && j >= 0 && !reached[static_cast<size_t>(j)];
             j = m.parent[static_cast<size_t>(j)]) {
            reached[static_cast<size_t>(j)] = 1;
            reach.push_back(j);
        }
    }
    std::sort(reach.begin(), reach.end());
    std::vector<double> gathered;
    for (const int j : reach) {
        const int width = m.super(j + 1) - m.super(j);
        const int height = m.rowStart(j + 1) - m.rowStart(j);
        const int rest = height - width;
        const double* l = values + m.valueStart(j);
        double* yj = &yt[static_cast<size_t>(m.super(j)) * columns];
        solveOnTheRight(true, count, width, l, height, yj, count);
        if (rest > 0) {
            negatedProductBelow(count, width, rest, yj, count, l, height, gathered);
            const int* r = m.rows() + m.rowStart(j) + width;
            for (int i = 0; i < rest; ++i) {
                double* target = &yt[static_cast<size_t>(r[i]) * columns];
                const double* source = &gathered[static_cast<size_t>(i) * columns];
                for (size_t c = 0; c < columns; ++c) {
                    target[c] += source[c];
                }
            }
        }
    }
    for (int j = m.supernodes() - 1; j >= 0; --j) {
        const int width = m.super(j + 1) - m.super(j);
        const int height = m.rowStart(j + 1) - m.rowStart(j);
        const int rest = height - width;
        const double* l = values + m.valueStart(j);
        double* yj = &yt[static_cast<size_t>(m.super(j)) * columns];
        if (rest > 0) {
            gathered.resize(static_cast<size_t>(rest) * columns);
            const int* r = m.rows() + m.rowStart(j) + width;
            for (int i = 0; i < rest; ++i) {
                std::copy_n(&yt[static_cast<size_t>(r[i]) * columns], columns,
                            &gathered[static_cast<size_t>(i) * columns]);
            }
            Eigen::Map<Eigen::MatrixXd>(yj, count, width).noalias() -=
                Eigen::Map<const Eigen::MatrixXd>(gathered.data(), count, rest) *
                ConstBlock(l + width, rest, width, Eigen::OuterStride<>(height));
        }
        solveOnTheRight(false, count, width, l, height, yj, count);
    }
    for (Eigen::Index i = 0; i < n; ++i) {
        const double* source = &yt[static_cast<size_t>(m.permuted[static_cast<size_t>(i)]) *
                                   columns];
        for (int c = 0; c < count; ++c) {
            x(i, c) = source[c];
        }
    }
    return x;
}

std::vector<Eigen::MatrixXd>
SparseFactor::inverseForms(const std::vector<std::vector<SparseRow>>& sets) const {
    const Impl& m = *m_impl;
    const double* values = m.values();
    const auto lowest = [&](const std::vector<SparseRow>& set) {
        int first = m.supernodes();
        for (const SparseRow& column : set) {
            for (const auto& [row, value] : column) {
                first = std::min(first, m.supernodeOf[static_cast<size_t>(
                                            m.permuted[static_cast<size_t>(row)])]);
            }
        }
        return first;
    };
    // Sets whose lowest supernodes lie close in the tree's postorder share most of their
    // paths to the root, so a batch of them costs little more than one.
    std::vector<std::pair<int, size_t>> order;
    for (size_t k = 0; k < sets.size(); ++k) {
        order.emplace_back(lowest(sets[k]), k);
    }
    std::sort(order.begin(), order.end());

    std::vector<Eigen::MatrixXd> forms(sets.size());
    // The batch's solutions transposed: the values of the factor's column k for all the
    // right-hand sides lie together, from yt[k × stride].
    int stride = batchColumns;
    std::vector<double> yt(static_cast<size_t>(m.n()) * static_cast<size_t>(stride), 0.0);
    std::vector<double> below;
    Eigen::MatrixXd negatedGram;
    std::vector<char> reached(static_cast<size_t>(m.supernodes()), 0);
    std::vector<int> reach;
    size_t next = 0;
    while (next < order.size()) {
        // The batch: whole sets up to the batch's columns (a larger set goes alone).
        size_t end = next;
        int columns = 0;
        while (end < order.size()) {
            const int more = static_cast<int>(sets[order[end].second].size());
            if (end > next && columns + more > batchColumns) {
                break;
            }
            columns += more;
            ++end;
        }
        if (columns > stride) {
            stride = columns;
            yt.assign(static_cast<size_t>(m.n()) * static_cast<size_t>(stride), 0.0);
        }
        // The supernodes the batch reaches: its nonzeros' paths to the root, in ascending
        // order, which is an order of the forward substitution.
        reach.clear();
        int column = 0;
        for (size_t k = next; k < end; ++k) {
            for (const SparseRow& c : sets[order[k].second]) {
                for (const auto& [row, value] : c) {
                    const int at = m.permuted[static_cast<size_t>(row)];
                    yt[static_cast<size_t>(at) * static_cast<size_t>(stride) +
                       static_cast<size_t>(column)] += value;
                    for (int j = m.supernodeOf[static_cast<size_t>(at)];
                         j >= 0 && !reached[static_cast<size_t>(j)];
                         j = m.parent[static_cast<size_t>(j)]) {
                        reached[static_cast<size_t>(j)] = 1;
                        reach.push_back(j);
                    }
                }
                ++column;
            }
        }
        std::sort(reach.begin(), reach.end());
        negatedGram = Eigen::MatrixXd::Zero(columns, columns);
        // Per supernode, with Y_J its solutions (Yᵀ in the work space):
        //   Y_Jᵀ L_JJᵀ = B_Jᵀ,   B_R −= L_RJ Y_J,   G += Y_Jᵀ Y_J (kept as −G).
        for (const int j : reach) {
            const int k1 = m.super(j);
            const int width = m.super(j + 1) - k1;
            const int height = m.rowStart(j + 1) - m.rowStart(j);
            const int rest = height - width;
            const double* l = values + m.valueStart(j);
            double* yj = &yt[static_cast<size_t>(k1) * static_cast<size_t>(stride)];
            solveOnTheRight(true, columns, width, l, height, yj, stride);
            multiplySubtract(DoubleRow{negatedGram.data()}, columns, DoubleRow{yj}, stride,
                             DoubleRow{yj}, stride, columns, columns, width);
            if (rest > 0) {
                negatedProductBelow(columns, width, rest, yj, stride, l, height, below);
                const int* r = m.rows() + m.rowStart(j) + width;
                for (int i = 0; i < rest; ++i) {
                    double* target = &yt[static_cast<size_t>(r[i]) * static_cast<size_t>(stride)];
                    const double* source = &below[static_cast<size_t>(i) *
                                                  static_cast<size_t>(columns)];
                    for (int c = 0; c < columns; ++c) {
                        target[c] += source[c];
                    }
                }
            }
        }
        // The work space is clean again for the next batch.
        for (const int j : reach) {
            reached[static_cast<size_t>(j)] = 0;
            std::fill(yt.begin() + static_cast<std::ptrdiff_t>(m.super(j)) * stride,
                      yt.begin() + static_cast<std::ptrdiff_t>(m.super(j + 1)) * stride, 0.0);
        }
        column = 0;
        for (size_t k = next; k < end; ++k) {
            const auto size = static_cast<Eigen::Index>(sets[order[k].second].size());
            forms[order[k].second] = -negatedGram.block(column, column, size, size);
            column += static_cast<int>(size);
        }
        next = end;
    }
    return forms;
}

namespace {

// Rᵀ L R of one group over the indices it reaches (below `size`, the rest are constants):
// the indices in `local`, the k × k block column by column in `block`. The rows are sparse
// (a direction reaches six unknowns, a distance four), so L R is formed from their terms.
class GroupBlock {
public:
    void form(const ObservationGroup& group, const Eigen::MatrixXd& l, int32_t size) {
        local.clear();
        if (m_slot.size() < static_cast<size_t>(size)) {
            m_slot.resize(static_cast<size_t>(size), -1);
        }
        const auto rows = static_cast<size_t>(group.size());
        m_mapped.resize(rows);
        for (size_t r = 0; r < rows; ++r) {
            m_mapped[r].clear();
            for (const auto& [index, c] : group.rows[r]) {
                if (index >= size) {
                    continue;
                }
                int32_t& slot = m_slot[static_cast<size_t>(index)];
                if (slot < 0) {
                    slot = static_cast<int32_t>(local.size());
                    local.push_back(index);
                }
                m_mapped[r].emplace_back(slot, c);
            }
        }
        for (const int32_t index : local) {
            m_slot[static_cast<size_t>(index)] = -1;
        }
        const size_t k = local.size();
        m_lr.assign(rows * k, 0);
        for (size_t r = 0; r < rows; ++r) {
            double* lr = m_lr.data() + r * k;
            for (size_t q = 0; q < rows; ++q) {
                const double w = l(static_cast<Eigen::Index>(r), static_cast<Eigen::Index>(q));
                if (w == 0) {
                    continue;
                }
                for (const auto& [j, c] : m_mapped[q]) {
                    lr[j] += w * c;
                }
            }
        }
        block.assign(k * k, 0);
        for (size_t r = 0; r < rows; ++r) {
            const double* lr = m_lr.data() + r * k;
            for (const auto& [i, c] : m_mapped[r]) {
                for (size_t j = 0; j < k; ++j) {
                    block[j * k + static_cast<size_t>(i)] += c * lr[j];
                }
            }
        }
    }

    double at(size_t i, size_t j) const { return block[j * local.size() + i]; }

    std::vector<int32_t> local;
    std::vector<double> block;

private:
    std::vector<std::vector<std::pair<int32_t, double>>> m_mapped; // rows over local indices
    std::vector<double> m_lr;                                       // L R, row by row
    std::vector<int32_t> m_slot; // the local index of each index of the group, else −1
};

} // namespace

namespace {

// The points of the unknowns (unknowns 2q and 2q+1 are the coordinates of point q) and the
// pairs that a group joins.
PointGraph pointGraph(const ControlModel& model) {
    const int32_t n = model.unknowns;
    assert(n % 2 == 0);
    const auto points = static_cast<size_t>(n / 2);
    // The points of each group, ascending.
    std::vector<int64_t> groupStart{0};
    std::vector<int32_t> groupPoints;
    for (const ObservationGroup& g : model.groups) {
        const auto first = static_cast<std::ptrdiff_t>(groupPoints.size());
        for (const SparseRow& row : g.rows) {
            for (const auto& [index, c] : row) {
                if (index < n) {
                    groupPoints.push_back(index / 2);
                }
            }
        }
        std::sort(groupPoints.begin() + first, groupPoints.end());
        groupPoints.erase(std::unique(groupPoints.begin() + first, groupPoints.end()),
                          groupPoints.end());
        groupStart.push_back(static_cast<int64_t>(groupPoints.size()));
    }
    // The groups of each point.
    std::vector<int64_t> pointStart(points + 1, 0);
    for (const int32_t p : groupPoints) {
        ++pointStart[static_cast<size_t>(p) + 1];
    }
    for (size_t p = 0; p < points; ++p) {
        pointStart[p + 1] += pointStart[p];
    }
    std::vector<int32_t> pointGroups(groupPoints.size());
    std::vector<int64_t> at(pointStart.begin(), pointStart.end() - 1);
    for (size_t g = 0; g < model.groups.size(); ++g) {
        for (int64_t k = groupStart[g]; k < groupStart[g + 1]; ++k) {
            const auto p = static_cast<size_t>(groupPoints[static_cast<size_t>(k)]);
            pointGroups[static_cast<size_t>(at[p]++)] = static_cast<int32_t>(g);
        }
    }
    PointGraph graph;
    graph.points = static_cast<int32_t>(points);
    std::vector<int32_t> mark(points, -1);
    for (size_t p = 0; p < points; ++p) {
        const auto first = static_cast<std::ptrdiff_t>(graph.neighbours.size());
        for (int64_t k = pointStart[p]; k < pointStart[p + 1]; ++k) {
            const auto g = static_cast<size_t>(pointGroups[static_cast<size_t>(k)]);
            for (int64_t e = groupStart[g]; e < groupStart[g + 1]; ++e) {
                const int32_t q = groupPoints[static_cast<size_t>(e)];
                if (q != static_cast<int32_t>(p) &&
                    mark[static_cast<size_t>(q)] != static_cast<int32_t>(p)) {
                    mark[static_cast<size_t>(q)] = static_cast<int32_t>(p);
                    graph.neighbours.push_back(q);
                }
            }
        }
        std::sort(graph.neighbours.begin() + first, graph.neighbours.end());
        graph.start.push_back(static_cast<int64_t>(graph.neighbours.size()));
    }
    return graph;
}

// The unknowns in a fill-reducing order of the points, each point's two together, as the
// factor's permutation; empty when the ordering fails. Nested dissection (METIS) keeps the
// elimination tree shallow, which the sparse substitutions of many reference points need;
// approximate minimum degree (AMD) orders the points ten times faster for a factor as
// sparse, which suits the few.
std::vector<int> fillReducingOrder(const PointGraph& g, bool nested) {
    std::vector<int32_t> points(static_cast<size_t>(g.points));
    if (g.points == 0) {
        return {};
    }
    if (nested) {
        const std::vector<int32_t> order = nestedDissection(g);
        if (order.empty()) {
            return {};
        }
        std::copy(order.begin(), order.end(), points.begin());
    } else {
        std::vector<int> start(g.start.begin(), g.start.end());
        std::vector<int> neighbours(g.neighbours.begin(), g.neighbours.end());
        neighbours.push_back(0);
        const int status = amd_order(g.points, start.data(), neighbours.data(), points.data(),
                                     nullptr, nullptr);
        if (status != AMD_OK && status != AMD_OK_BUT_JUMBLED) {
            return {};
        }
    }
    std::vector<int> unknowns;
    for (const int32_t p : points) {
        unknowns.push_back(2 * p);
        unknowns.push_back(2 * p + 1);
    }
    return unknowns;
}

// Column 2J holds rows 2J, 2J+1 and both rows of every later point joined to J; column 2J+1
// the same without row 2J.
Eigen::SparseMatrix<double> normalMatrix(const ControlModel& model, const PointGraph& graph) {
    const int32_t n = model.unknowns;
    const auto points = static_cast<size_t>(graph.points);
    // The later neighbours of p: neighbours[laterStart[p] .. start[p + 1]).
    std::vector<int64_t> laterStart(points);
    int64_t laterCount = 0;
    for (size_t p = 0; p < points; ++p) {
        const auto first = graph.neighbours.begin() + graph.start[p];
        const auto last = graph.neighbours.begin() + graph.start[p + 1];
        laterStart[p] = std::upper_bound(first, last, static_cast<int32_t>(p)) -
                        graph.neighbours.begin();
        laterCount += graph.start[p + 1] - laterStart[p];
    }
    const std::vector<int32_t>& later = graph.neighbours;
    Eigen::SparseMatrix<double> matrix(n, n);
    const int64_t nonzeros = 3 * static_cast<int64_t>(points) + 4 * laterCount;
    matrix.resizeNonZeros(static_cast<Eigen::Index>(nonzeros));
    int* outer = matrix.outerIndexPtr();
    int* inner = matrix.innerIndexPtr();
    double* values = matrix.valuePtr();
    std::fill(values, values + nonzeros, 0.0);
    outer[0] = 0;
    for (size_t p = 0; p < points; ++p) {
        for (int axis = 0; axis < 2; ++axis) {
            const auto column = static_cast<int>(2 * p) + axis;
            int at = outer[column];
            for (int own = column; own < static_cast<int>(2 * p) + 2; ++own) {
                inner[at++] = own;
            }
            for (int64_t k = laterStart[p]; k < graph.start[p + 1]; ++k) {
                inner[at++] = 2 * later[static_cast<size_t>(k)];
                inner[at++] = 2 * later[static_cast<size_t>(k)] + 1;
            }
            outer[column + 1] = at;
        }
    }
    // The groups by their first point: the unknowns are numbered along the network, so
    // groups taken in this order sum into columns that are still in the cache.
    std::vector<std::pair<int32_t, size_t>> order;
    for (size_t k = 0; k < model.groups.size(); ++k) {
        int32_t first = n;
        for (const SparseRow& row : model.groups[k].rows) {
            for (const auto& [index, c] : row) {
                first = std::min(first, index);
            }
        }
        order.emplace_back(first, k);
    }
    std::sort(order.begin(), order.end());
    GroupBlock g;
    std::vector<int32_t> groupPoints; // the group's points
    std::vector<int32_t> pointOf;     // the index in groupPoints of each local unknown
    std::vector<int32_t> offset;      // of a later point among the earlier one's neighbours
    for (const auto& [first, index] : order) {
        const ObservationGroup& group = model.groups[index];
        g.form(group, group.laplacian, n);
        const size_t k = g.local.size();
        groupPoints.clear();
        pointOf.resize(k);
        for (size_t i = 0; i < k; ++i) {
            const int32_t p = g.local[i] / 2;
            const auto at = std::find(groupPoints.begin(), groupPoints.end(), p);
            pointOf[i] = static_cast<int32_t>(at - groupPoints.begin());
            if (at == groupPoints.end()) {
                groupPoints.push_back(p);
            }
        }
        const size_t count = groupPoints.size();
        offset.assign(count * count, 0);
        for (size_t a = 0; a < count; ++a) {
            for (size_t b = 0; b < count; ++b) {
                const auto earlier = static_cast<size_t>(groupPoints[b]);
                if (groupPoints[a] > groupPoints[b]) {
                    const auto first = later.begin() + laterStart[earlier];
                    offset[a * count + b] = static_cast<int32_t>(
                        std::lower_bound(first, later.begin() + graph.start[earlier + 1],
                                         groupPoints[a]) -
                        first);
                }
            }
        }
        for (size_t i = 0; i < k; ++i) {
            for (size_t j = 0; j < k; ++j) {
                const int32_t row = g.local[i];
                const int32_t column = g.local[j];
                if (row < column) {
                    continue;
                }
                const int at =
                    row / 2 == column / 2
                        ? outer[column] + (row - column)
                        : outer[column] + (2 - column % 2) +
                              2 * offset[static_cast<size_t>(pointOf[i]) * count +
                                         static_cast<size_t>(pointOf[j])] +
                              row % 2;
                values[at] += g.at(i, j);
            }
        }
    }
    return matrix;
}

} // namespace

Eigen::SparseMatrix<double> normalMatrix(const ControlModel& model) {
    return normalMatrix(model, pointGraph(model));
}

std::vector<SparseRow> fixedColumns(const ControlModel& model) {
    std::vector<SparseRow> columns(static_cast<size_t>(model.extended - model.unknowns));
    GroupBlock g;
    for (const ObservationGroup& group : model.groups) {
        const bool reachesFixed = std::any_of(
            group.rows.begin(), group.rows.end(), [&](const SparseRow& row) {
                return std::any_of(row.begin(), row.end(),
                                   [&](const auto& t) { return t.first >= model.unknowns; });
            });
        if (!reachesFixed) {
            continue;
        }
        g.form(group, group.laplacian, model.extended);
        const size_t k = g.local.size();
        for (size_t j = 0; j < k; ++j) {
            if (g.local[j] < model.unknowns) {
                continue;
            }
            SparseRow& column = columns[static_cast<size_t>(g.local[j] - model.unknowns)];
            for (size_t i = 0; i < k; ++i) {
                column.emplace_back(g.local[i], g.at(i, j));
            }
        }
    }
    // Equal indices summed in the order of the groups.
    for (SparseRow& column : columns) {
        std::stable_sort(column.begin(), column.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        SparseRow summed;
        for (const auto& [index, value] : column) {
            if (!summed.empty() && summed.back().first == index) {
                summed.back().second += value;
            } else {
                summed.emplace_back(index, value);
            }
        }
        column = std::move(summed);
    }
    return columns;
}

Eigen::VectorXd groupResiduals(const ObservationGroup& group, const Eigen::VectorXd& x) {
    Eigen::VectorXd e(group.size());
    for (int32_t r = 0; r < group.size(); ++r) {
        double sum = group.tau[static_cast<size_t>(r)];
        for (const auto& [index, c] : group.rows[static_cast<size_t>(r)]) {
            if (index < x.size()) {
                sum += c * x(index);
            }
        }
        e(r) = sum;
    }
    return e;
}

Eigen::VectorXd gradientAtZero(const ControlModel& model) {
    Eigen::VectorXd b = Eigen::VectorXd::Zero(model.unknowns);
    for (const ObservationGroup& group : model.groups) {
        const Eigen::VectorXd tau =
            Eigen::Map<const Eigen::VectorXd>(group.tau.data(), group.size());
        const Eigen::VectorXd lt = group.laplacian * tau;
        for (int32_t r = 0; r < group.size(); ++r) {
            for (const auto& [index, c] : group.rows[static_cast<size_t>(r)]) {
                if (index < model.unknowns) {
                    b(index) += c * lt(r);
                }
            }
        }
    }
    return b;
}

void solveGivenModel(const ControlModel& model, GivenSolution& solution, bool apart) {
    const PointGraph graph = pointGraph(model);
    const bool nested = model.fixedPoints.size() + model.movingPoints.size() >= manyReferencePoints;
    // The adjustment's supernodes serve N as they are; without them the ordering, which
    // needs only the pattern, is found while the values are summed.
    const bool draft = model.structure != nullptr;
    std::future<std::vector<int>> ordering =
        std::async(apart && !draft ? std::launch::async : std::launch::deferred,
                   [&] { return fillReducingOrder(graph, nested); });
    const Eigen::SparseMatrix<double> n = normalMatrix(model, graph);
    solution.regular = (draft && solution.factor.factorise(n, model.structure, apart ? 0 : 1)) ||
                       solution.factor.factorise(n, ordering.get());
    if (!solution.regular) {
        return;
    }
    solution.x = -solution.factor.solve(gradientAtZero(model));
    solution.sumOfSquares = 0;
    for (const ObservationGroup& group : model.groups) {
        const Eigen::VectorXd e = groupResiduals(group, solution.x);
        solution.sumOfSquares += e.dot(group.laplacian * e);
    }
}

} // namespace ptw3
