#include "control/control_model.h"

#include "engine/weighting.h"

#include <cholmod.h>

#include <algorithm>
#include <cmath>

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
    SparseRow make(const EquationRow& row, double factor) {
        SparseRow out;
        for (const EquationTerm& t : row.view()) {
            const int32_t index = indexOf(t.unknown);
            const double c = static_cast<double>(t.coefficient) * factor;
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
            const double root = static_cast<double>(e.weightRoot);
            const double w = root * root;
            g.laplacian(i, j) -= w;
            g.laplacian(j, i) -= w;
            g.laplacian(i, i) += w;
            g.laplacian(j, j) += w;
            d(i, j) = d(j, i) = static_cast<double>(e.cofactor) / w;
            if (i == 0) {
                g.rows[static_cast<size_t>(j)] = rows.make(e.row, 1 / root);
                g.tau[static_cast<size_t>(j)] = static_cast<double>(e.freeTerm) / root;
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
        g.weightRoot = static_cast<double>(eq.weightRoot);
        g.rows.push_back(rows.make(eq.row, 1));
        g.tau.push_back(static_cast<double>(eq.freeTerm));
        g.laplacian = Eigen::MatrixXd::Ones(1, 1);
        g.forms = Eigen::MatrixXd::Constant(1, 1, static_cast<double>(eq.cofactor));
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

// CHOLMOD's factorisation P N Pᵀ = L Lᵀ with its fill-reducing ordering P.
struct SparseFactor::Impl {
    cholmod_common common{};
    cholmod_factor* factor = nullptr;
    // Simplicial layout: the position of each row in P, each column's parent in the
    // elimination tree, and the work space of the sparse forward substitution.
    std::vector<int> permuted;
    std::vector<int> parent;
    mutable std::vector<double> work;
    mutable std::vector<char> reached;

    explicit Impl(Layout layout) {
        cholmod_start(&common);
        common.print = 0;
        if (layout == Layout::Simplicial) {
            common.supernodal = CHOLMOD_SIMPLICIAL;
            common.final_ll = 1;
            // Nested dissection keeps the elimination tree shallow, and with it the rows a
            // sparse column reaches.
            common.nmethods = 1;
            common.method[0].ordering = CHOLMOD_METIS;
        } else {
            common.supernodal = CHOLMOD_SUPERNODAL;
        }
    }

    void prepareSparseSolves() {
        const auto n = static_cast<int>(factor->n);
        const auto* perm = static_cast<const int*>(factor->Perm);
        const auto* p = static_cast<const int*>(factor->p);
        const auto* i = static_cast<const int*>(factor->i);
        const auto* nz = static_cast<const int*>(factor->nz);
        permuted.assign(static_cast<size_t>(n), 0);
        parent.assign(static_cast<size_t>(n), -1);
        for (int k = 0; k < n; ++k) {
            permuted[static_cast<size_t>(perm[k])] = k;
            for (int e = p[k] + 1; e < p[k] + nz[k]; ++e) {
                int& up = parent[static_cast<size_t>(k)];
                up = up < 0 ? i[e] : std::min(up, i[e]);
            }
        }
        work.assign(static_cast<size_t>(n), 0);
        reached.assign(static_cast<size_t>(n), 0);
    }
    ~Impl() {
        if (factor != nullptr) {
            cholmod_free_factor(&factor, &common);
        }
        cholmod_finish(&common);
    }

    // Solves the system named (CHOLMOD_A, CHOLMOD_P, CHOLMOD_L) for the columns of b.
    Eigen::MatrixXd solve(int system, const Eigen::MatrixXd& b) {
        cholmod_dense in{};
        in.nrow = static_cast<size_t>(b.rows());
        in.ncol = static_cast<size_t>(b.cols());
        in.nzmax = in.nrow * in.ncol;
        in.d = in.nrow;
        in.x = const_cast<double*>(b.data());
        in.xtype = CHOLMOD_REAL;
        in.dtype = CHOLMOD_DOUBLE;
        cholmod_dense* out = cholmod_solve(system, factor, &in, &common);
        Eigen::MatrixXd x = Eigen::Map<const Eigen::MatrixXd>(static_cast<double*>(out->x),
                                                              b.rows(), b.cols());
        cholmod_free_dense(&out, &common);
        return x;
    }
};

SparseFactor::SparseFactor(Layout layout)
    : m_impl(std::make_unique<Impl>(layout)) {}
SparseFactor::~SparseFactor() = default;

bool SparseFactor::factorise(const Eigen::SparseMatrix<double>& lower) {
    Eigen::SparseMatrix<double> n = lower;
    n.makeCompressed();
    cholmod_sparse a{};
    a.nrow = a.ncol = static_cast<size_t>(n.rows());
    a.nzmax = static_cast<size_t>(n.nonZeros());
    a.p = n.outerIndexPtr();
    a.i = n.innerIndexPtr();
    a.x = n.valuePtr();
    a.stype = -1; // the lower triangle holds the matrix
    a.itype = CHOLMOD_INT;
    a.xtype = CHOLMOD_REAL;
    a.dtype = CHOLMOD_DOUBLE;
    a.sorted = 1;
    a.packed = 1;
    Impl& m = *m_impl;
    if (m.factor != nullptr) {
        cholmod_free_factor(&m.factor, &m.common);
    }
    m.factor = cholmod_analyze(&a, &m.common);
    if (m.factor == nullptr) {
        return false;
    }
    cholmod_factorize(&a, m.factor, &m.common);
    if (m.common.status != CHOLMOD_OK || m.factor->minor != m.factor->n) {
        return false;
    }
    if (!m.factor->is_super) {
        m.prepareSparseSolves();
    }
    return true;
}

Eigen::VectorXd SparseFactor::solve(const Eigen::VectorXd& b) const {
    return m_impl->solve(CHOLMOD_A, b);
}

Eigen::MatrixXd SparseFactor::solve(const Eigen::MatrixXd& b) const {
    return m_impl->solve(CHOLMOD_A, b);
}

Eigen::MatrixXd SparseFactor::inverseForm(const std::vector<SparseRow>& columns) const {
    const Impl& m = *m_impl;
    const auto* p = static_cast<const int*>(m.factor->p);
    const auto* i = static_cast<const int*>(m.factor->i);
    const auto* nz = static_cast<const int*>(m.factor->nz);
    const auto* x = static_cast<const double*>(m.factor->x);
    // The rows the columns reach: their nonzeros' paths to the root of the elimination tree,
    // in ascending order, which is an order of the forward substitution.
    std::vector<int> reach;
    for (const SparseRow& column : columns) {
        for (const auto& [row, value] : column) {
            int k = m.permuted[static_cast<size_t>(row)];
            while (k >= 0 && !m.reached[static_cast<size_t>(k)]) {
                m.reached[static_cast<size_t>(k)] = 1;
                reach.push_back(k);
                k = m.parent[static_cast<size_t>(k)];
            }
        }
    }
    std::sort(reach.begin(), reach.end());
    const auto count = static_cast<Eigen::Index>(columns.size());
    Eigen::MatrixXd solved(static_cast<Eigen::Index>(reach.size()), count);
    for (Eigen::Index c = 0; c < count; ++c) {
        for (const auto& [row, value] : columns[static_cast<size_t>(c)]) {
            m.work[static_cast<size_t>(m.permuted[static_cast<size_t>(row)])] += value;
        }
        for (size_t r = 0; r < reach.size(); ++r) {
            const int k = reach[r];
            const double v = m.work[static_cast<size_t>(k)] / x[p[k]];
            m.work[static_cast<size_t>(k)] = 0;
            solved(static_cast<Eigen::Index>(r), c) = v;
            for (int e = p[k] + 1; e < p[k] + nz[k]; ++e) {
                m.work[static_cast<size_t>(i[e])] -= x[e] * v;
            }
        }
    }
    for (const int k : reach) {
        m.reached[static_cast<size_t>(k)] = 0;
    }
    return solved.transpose() * solved;
}

namespace {

// The group's Laplacian, or the one that replaces it (an empty one leaves the group out).
const Eigen::MatrixXd& weightsInUse(const ControlModel& model,
                                    const std::vector<const Eigen::MatrixXd*>& laplacians,
                                    size_t g) {
    return laplacians.empty() || laplacians[g] == nullptr ? model.groups[g].laplacian
                                                          : *laplacians[g];
}

} // namespace

Eigen::SparseMatrix<double> normalMatrix(const ControlModel& model, const UnknownMap& map,
                                         int32_t size,
                                         const std::vector<const Eigen::MatrixXd*>& laplacians) {
    std::vector<Eigen::Triplet<double>> triplets;
    triplets.reserve(model.groups.size() * 21);
    std::vector<int32_t> local;     // the group's mapped unknowns
    std::vector<SparseRow> mapped;  // its rows over local positions
    for (size_t g = 0; g < model.groups.size(); ++g) {
        const ObservationGroup& group = model.groups[g];
        const Eigen::MatrixXd& l = weightsInUse(model, laplacians, g);
        if (l.size() == 0) {
            continue;
        }
        local.clear();
        mapped.assign(group.rows.size(), {});
        for (size_t r = 0; r < group.rows.size(); ++r) {
            for (const auto& [index, c] : group.rows[r]) {
                const int32_t column = map[static_cast<size_t>(index)];
                if (column < 0) {
                    continue;
                }
                auto at = std::find(local.begin(), local.end(), column);
                if (at == local.end()) {
                    local.push_back(column);
                    at = local.end() - 1;
                }
                mapped[r].emplace_back(static_cast<int32_t>(at - local.begin()), c);
            }
        }
        // Rᵀ L R on the group's unknowns, then its lower triangle.
        const auto k = static_cast<Eigen::Index>(local.size());
        Eigen::MatrixXd r = Eigen::MatrixXd::Zero(static_cast<Eigen::Index>(mapped.size()), k);
        for (size_t i = 0; i < mapped.size(); ++i) {
            for (const auto& [column, c] : mapped[i]) {
                r(static_cast<Eigen::Index>(i), column) = c;
            }
        }
        const Eigen::MatrixXd block = r.transpose() * l * r;
        for (Eigen::Index i = 0; i < k; ++i) {
            for (Eigen::Index j = 0; j < k; ++j) {
                const int32_t row = local[static_cast<size_t>(i)];
                const int32_t column = local[static_cast<size_t>(j)];
                if (row >= column && block(i, j) != 0) {
                    triplets.emplace_back(row, column, block(i, j));
                }
            }
        }
    }
    Eigen::SparseMatrix<double> n(size, size);
    n.setFromTriplets(triplets.begin(), triplets.end());
    return n;
}

Eigen::VectorXd groupResiduals(const ObservationGroup& group, const UnknownMap& map,
                               const Eigen::VectorXd& x) {
    Eigen::VectorXd e(group.size());
    for (int32_t r = 0; r < group.size(); ++r) {
        double sum = group.tau[static_cast<size_t>(r)];
        for (const auto& [index, c] : group.rows[static_cast<size_t>(r)]) {
            const int32_t column = map[static_cast<size_t>(index)];
            if (column >= 0) {
                sum += c * x(column);
            }
        }
        e(r) = sum;
    }
    return e;
}

Eigen::VectorXd gradientAtZero(const ControlModel& model, const UnknownMap& map, int32_t size,
                               const std::vector<const Eigen::MatrixXd*>& laplacians) {
    Eigen::VectorXd b = Eigen::VectorXd::Zero(size);
    for (size_t g = 0; g < model.groups.size(); ++g) {
        const ObservationGroup& group = model.groups[g];
        const Eigen::MatrixXd& l = weightsInUse(model, laplacians, g);
        if (l.size() == 0) {
            continue;
        }
        const Eigen::VectorXd tau =
            Eigen::Map<const Eigen::VectorXd>(group.tau.data(), group.size());
        const Eigen::VectorXd lt = l * tau;
        for (int32_t r = 0; r < group.size(); ++r) {
            for (const auto& [index, c] : group.rows[static_cast<size_t>(r)]) {
                const int32_t column = map[static_cast<size_t>(index)];
                if (column >= 0) {
                    b(column) += c * lt(r);
                }
            }
        }
    }
    return b;
}

} // namespace ptw3
