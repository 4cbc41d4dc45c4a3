// Which reference point has moved. Each reference point is released alone: a fixed point's
// coordinates become unknowns, a moving point loses its coordinate pseudo-observations. The
// released adjustment follows exactly from the one it is released from, by the Schur
// complement of the point's block in the normal matrix extended by its coordinates:
//   S = D − Cᵀ N⁻¹ C,   ξ = −S⁻¹ g,   Ω' = Ω − gᵀ S⁻¹ g,
// with C the coupling of the point's coordinates with the unknowns, D their own block and g
// the gradient of [pvv] with respect to them. ξ is the position the rest of the network gives
// the point less its catalogue position. The shift is tested against the released
// adjustment's own unit error: T = (gᵀ S⁻¹ g / d) / (Ω' / f') is F(d, f')-distributed when the
// point has not moved, whatever the scale of the a-priori mean errors (σ0 = 1 need not
// hold), and Ω' does not contain the shift it tests. The largest T above the critical value
// names the doubtful point; it stays released and the rest are tested again.
#include "control/control_model.h"
#include "control/statistics.h"

#include <algorithm>
#include <cmath>
#include <tuple>

namespace ptw3 {
namespace {

// A reference point to be tested: a fixed point's ordinal in the extended unknowns, or a
// moving point.
struct Candidate {
    int32_t point = 0;
    std::optional<size_t> fixedOrdinal;
    const ControlModel::MovingPoint* moving = nullptr;
};

// The released adjustment's unknowns: the adjustment's, then the released fixed points'.
struct Configuration {
    UnknownMap map;
    int32_t size = 0;
    std::vector<Eigen::MatrixXd> empty;           // the left-out pseudo-observations
    std::vector<const Eigen::MatrixXd*> laplacians;
    int32_t freedom = 0;
};

Configuration configure(const ControlModel& model, const std::vector<Candidate>& released,
                        int32_t redundancy) {
    Configuration c;
    c.map.assign(static_cast<size_t>(model.extended), -1);
    for (int32_t i = 0; i < model.unknowns; ++i) {
        c.map[static_cast<size_t>(i)] = i;
    }
    c.size = model.unknowns;
    c.laplacians.assign(model.groups.size(), nullptr);
    c.empty.resize(model.groups.size());
    c.freedom = redundancy;
    for (const Candidate& r : released) {
        if (r.fixedOrdinal) {
            for (int axis = 0; axis < 2; ++axis) {
                c.map[static_cast<size_t>(model.fixedIndex(*r.fixedOrdinal, axis))] = c.size++;
            }
            c.freedom -= 2;
        } else {
            for (const int32_t g : {r.moving->groupX, r.moving->groupY}) {
                if (g >= 0) {
                    c.laplacians[static_cast<size_t>(g)] = &c.empty[static_cast<size_t>(g)];
                    --c.freedom;
                }
            }
        }
    }
    return c;
}

class ReleasedAdjustment {
public:
    ReleasedAdjustment(const ControlModel& model, const Configuration& c)
        : m_model(model)
        , m_c(c) {}

    bool solve() {
        if (!m_factor.factorise(normalMatrix(m_model, m_c.map, m_c.size, m_c.laplacians))) {
            return false;
        }
        m_x = -m_factor.solve(gradientAtZero(m_model, m_c.map, m_c.size, m_c.laplacians));
        // [pvv] and the gradient with respect to every fixed point's coordinates.
        m_gradient = Eigen::VectorXd::Zero(m_model.extended);
        m_residuals.resize(m_model.groups.size());
        for (size_t g = 0; g < m_model.groups.size(); ++g) {
            const ObservationGroup& group = m_model.groups[g];
            const Eigen::VectorXd e = groupResiduals(group, m_c.map, m_x);
            m_residuals[g] = e;
            if (m_c.laplacians[g] != nullptr) {
                continue;
            }
            const Eigen::VectorXd le = group.laplacian * e;
            m_sumOfSquares += e.dot(le);
            for (int32_t r = 0; r < group.size(); ++r) {
                for (const auto& [index, c] : group.rows[static_cast<size_t>(r)]) {
                    if (index >= m_model.unknowns) {
                        m_gradient(index) += c * le(r);
                    }
                }
            }
        }
        return true;
    }

    double sumOfSquares() const { return m_sumOfSquares; }

    // The point released from this adjustment: its coupling C with the unknowns (sparse),
    // its own block D and the gradient g.
    struct Release {
        const Candidate* candidate = nullptr;
        std::vector<std::tuple<int32_t, Eigen::Index, double>> coupling; // row, axis, value
        Eigen::MatrixXd own;
        Eigen::VectorXd gradient;
        Eigen::MatrixXd schur; // S = D − Cᵀ N⁻¹ C
    };

    Release prepare(const Candidate& p, const Eigen::SparseMatrix<double>& full) const {
        Release r;
        r.candidate = &p;
        if (p.fixedOrdinal) {
            r.own.resize(2, 2);
            r.gradient.resize(2);
            for (int axis = 0; axis < 2; ++axis) {
                const int32_t column = m_model.fixedIndex(*p.fixedOrdinal, axis);
                for (Eigen::SparseMatrix<double>::InnerIterator it(full, column); it; ++it) {
                    const int32_t row = m_c.map[static_cast<size_t>(it.row())];
                    if (row >= 0) {
                        r.coupling.emplace_back(row, axis, it.value());
                    }
                }
                for (int other = 0; other < 2; ++other) {
                    r.own(other, axis) =
                        full.coeff(m_model.fixedIndex(*p.fixedOrdinal, other), column);
                }
                r.gradient(axis) = m_gradient(column);
            }
            return r;
        }
        std::vector<std::pair<int32_t, int32_t>> axes; // unknown, pseudo-observation
        for (const auto& a : {std::pair{p.moving->unknownX, p.moving->groupX},
                              std::pair{p.moving->unknownY, p.moving->groupY}}) {
            if (a.second >= 0) {
                axes.push_back(a);
            }
        }
        const auto k = static_cast<Eigen::Index>(axes.size());
        r.own = Eigen::MatrixXd::Zero(k, k);
        r.gradient.resize(k);
        for (Eigen::Index a = 0; a < k; ++a) {
            const auto [unknown, group] = axes[static_cast<size_t>(a)];
            const double w = m_model.groups[static_cast<size_t>(group)].weightRoot;
            r.coupling.emplace_back(unknown, a, -w * w);
            r.own(a, a) = w * w;
            r.gradient(a) = -w * m_residuals[static_cast<size_t>(group)](0);
        }
        return r;
    }

    // S of every release, with Cᵀ N⁻¹ C = (L⁻¹ P C)ᵀ (L⁻¹ P C) from sparse substitutions.
    void complete(std::vector<Release>& releases) const {
        for (Release& r : releases) {
            std::vector<SparseRow> columns(static_cast<size_t>(r.own.rows()));
            for (const auto& [row, axis, value] : r.coupling) {
                columns[static_cast<size_t>(axis)].emplace_back(row, value);
            }
            r.schur = r.own - m_factor.inverseForm(columns);
        }
    }

    static constexpr double exactFitShare = 1e-12; // Ω/f, Mo = 1e-6

    ReferencePointTest test(const Release& r, Real alpha) const {
        const Candidate& p = *r.candidate;
        ReferencePointTest t;
        t.point = p.point;
        t.moving = p.moving != nullptr;
        const auto dims = static_cast<int32_t>(r.own.rows());
        const Eigen::MatrixXd s = (r.schur + r.schur.transpose()) / 2;
        t.f = m_c.freedom - dims;
        const Eigen::SelfAdjointEigenSolver<Eigen::MatrixXd> eigen(s);
        const double scale = r.own.diagonal().cwiseAbs().maxCoeff();
        if (t.f <= 0 || !(eigen.eigenvalues().minCoeff() > 1e-9 * scale)) {
            t.testable = false;
            return t;
        }
        const Eigen::MatrixXd cofactor = s.inverse();
        const Eigen::VectorXd xi = -cofactor * r.gradient;
        const double decrease = r.gradient.dot(cofactor * r.gradient);
        const double rest = std::max(m_sumOfSquares - decrease, 0.0) / t.f;
        // Observations that fit to a millionth of their mean errors (values computed from
        // the coordinates) leave Ω at the level of rounding: the ratio of two roundings is
        // no evidence against a point.
        const bool exactFit = m_sumOfSquares <= exactFitShare * m_c.freedom;
        t.statistic = rest > 0 && !exactFit ? (decrease / dims) / rest : 0;
        t.critical = fisherQuantile(dims, t.f, 1 - static_cast<double>(alpha));
        const Eigen::MatrixXd covariance = rest * cofactor;
        if (dims == 2) {
            t.dx = xi(0);
            t.dy = xi(1);
            t.qxx = covariance(0, 0);
            t.qxy = covariance(0, 1);
            t.qyy = covariance(1, 1);
        } else {
            const bool onX = p.moving->groupX >= 0;
            (onX ? t.dx : t.dy) = xi(0);
            (onX ? t.qxx : t.qyy) = covariance(0, 0);
        }
        return t;
    }

private:
    const ControlModel& m_model;
    const Configuration& m_c;
    SparseFactor m_factor{SparseFactor::Layout::Simplicial};
    Eigen::VectorXd m_x;
    Eigen::VectorXd m_gradient;
    std::vector<Eigen::VectorXd> m_residuals;
    double m_sumOfSquares = 0;
};

} // namespace

ReferenceCheck checkReferencePoints(const ControlModel& model, const NetworkData&,
                                    const AdjustmentOutcome&) {
    ReferenceCheck check;
    std::vector<Candidate> candidates;
    for (size_t o = 0; o < model.fixedPoints.size(); ++o) {
        candidates.push_back({model.fixedPoints[o], o, nullptr});
    }
    for (const ControlModel::MovingPoint& m : model.movingPoints) {
        candidates.push_back({m.point, std::nullopt, &m});
    }
    if (candidates.empty()) {
        check.skipped = "brak punktów nawiązania";
        return check;
    }
    UnknownMap all(static_cast<size_t>(model.extended));
    for (int32_t i = 0; i < model.extended; ++i) {
        all[static_cast<size_t>(i)] = i;
    }
    const Eigen::SparseMatrix<double> full =
        normalMatrix(model, all, model.extended, {}).selfadjointView<Eigen::Lower>();

    std::vector<Candidate> released;
    while (released.size() + 1 < candidates.size() || released.empty()) {
        const Configuration c = configure(model, released, model.redundancy);
        ReleasedAdjustment adjustment(model, c);
        if (!adjustment.solve()) {
            check.skipped = "macierz normalna osobliwa (defekt układu)";
            check.rounds.clear();
            return check;
        }
        ReferenceRound round;
        std::vector<const Candidate*> tested;
        std::vector<ReleasedAdjustment::Release> releases;
        for (const Candidate& p : candidates) {
            const bool isReleased =
                std::any_of(released.begin(), released.end(),
                            [&](const Candidate& r) { return r.point == p.point; });
            if (!isReleased) {
                releases.push_back(adjustment.prepare(p, full));
                tested.push_back(&p);
            }
        }
        adjustment.complete(releases);
        for (const ReleasedAdjustment::Release& r : releases) {
            round.points.push_back(adjustment.test(r, check.alpha));
        }
        std::vector<size_t> order(round.points.size());
        for (size_t i = 0; i < order.size(); ++i) {
            order[i] = i;
        }
        std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
            const ReferencePointTest& x = round.points[a];
            const ReferencePointTest& y = round.points[b];
            if (x.testable != y.testable) {
                return x.testable;
            }
            return x.statistic > y.statistic;
        });
        std::vector<ReferencePointTest> ranked;
        for (const size_t i : order) {
            ranked.push_back(round.points[i]);
        }
        round.points = std::move(ranked);
        const bool found = !round.points.empty() && round.points.front().testable &&
                           round.points.front().statistic > round.points.front().critical;
        if (found) {
            round.doubtful = 0;
            const int32_t point = round.points.front().point;
            check.doubtfulPoints.push_back(point);
            for (const Candidate* p : tested) {
                if (p->point == point) {
                    released.push_back(*p);
                }
            }
        }
        check.rounds.push_back(std::move(round));
        if (!found) {
            break;
        }
    }
    return check;
}

} // namespace ptw3
