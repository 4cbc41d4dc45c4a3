// Which reference point has moved. Each reference point is released alone: a fixed point's
// coordinates become unknowns, a moving point loses its coordinate pseudo-observations (as
// if each took a free shift t, with coupling −p to its coordinate and weight p). The
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
//
// Every round works on the factorisation of the adjustment as given: the points released in
// earlier rounds, R, border N as well, and for a point p tested beside them the block
// inverse of [N C_R; C_Rᵀ D_R] gives, with H = C_Rᵀ N⁻¹ C_p and E = B_Rp − H (B the direct
// coupling of two fixed points' coordinates),
//   S_p = D_p − C_pᵀ N⁻¹ C_p − Eᵀ S_R⁻¹ E,   g_p' = g_p + Eᵀ ξ_R.
#include "control/control_model.h"
#include "control/statistics.h"

#include <algorithm>
#include <cmath>

namespace ptw3 {
namespace {

// A reference point to be tested: a fixed point's ordinal in the extended unknowns, or a
// moving point.
struct Candidate {
    int32_t point = 0;
    std::optional<size_t> fixedOrdinal;
    const ControlModel::MovingPoint* moving = nullptr;
};

// A candidate's coordinates (or its pseudo-observations' shifts) as extra unknowns of the
// adjustment as given.
struct Border {
    const Candidate* candidate = nullptr;
    std::vector<SparseRow> coupling;      ///< C by axis, over the unknowns
    std::vector<SparseRow> fixedCoupling; ///< B by axis, over other fixed coordinates
    Eigen::MatrixXd own;                  ///< D
    Eigen::VectorXd gradient;             ///< g at the adjustment as given
    Eigen::MatrixXd form;                 ///< Cᵀ N⁻¹ C
    Eigen::Index dims() const { return own.rows(); }
};

// The borders of the candidates with their forms, which every round shares.
std::vector<Border> bordersOf(const ControlModel& model, const GivenSolution& given,
                              const std::vector<Candidate>& candidates) {
    const std::vector<SparseRow> columns = fixedColumns(model);
    // The gradient of [pvv] with respect to every fixed point's coordinates.
    Eigen::VectorXd fixedGradient = Eigen::VectorXd::Zero(model.extended - model.unknowns);
    for (const ObservationGroup& group : model.groups) {
        Eigen::VectorXd le;
        for (int32_t r = 0; r < group.size(); ++r) {
            for (const auto& [index, c] : group.rows[static_cast<size_t>(r)]) {
                if (index >= model.unknowns) {
                    if (le.size() == 0) {
                        le = group.laplacian * groupResiduals(group, given.x);
                    }
                    fixedGradient(index - model.unknowns) += c * le(r);
                }
            }
        }
    }
    std::vector<Border> borders;
    for (const Candidate& p : candidates) {
        Border b;
        b.candidate = &p;
        if (p.fixedOrdinal) {
            b.own.resize(2, 2);
            b.gradient.resize(2);
            b.coupling.resize(2);
            b.fixedCoupling.resize(2);
            const int32_t first = model.fixedIndex(*p.fixedOrdinal, 0);
            for (int axis = 0; axis < 2; ++axis) {
                const int32_t column = first + axis;
                b.own.col(axis).setZero();
                for (const auto& [row, value] : columns[static_cast<size_t>(column -
                                                                            model.unknowns)]) {
                    if (row < model.unknowns) {
                        b.coupling[static_cast<size_t>(axis)].emplace_back(row, value);
                    } else if (row == first || row == first + 1) {
                        b.own(row - first, axis) = value;
                    } else {
                        b.fixedCoupling[static_cast<size_t>(axis)].emplace_back(row, value);
                    }
                }
                b.gradient(axis) = fixedGradient(column - model.unknowns);
            }
        } else {
            std::vector<std::pair<int32_t, int32_t>> axes; // unknown, pseudo-observation
            for (const auto& a : {std::pair{p.moving->unknownX, p.moving->groupX},
                                  std::pair{p.moving->unknownY, p.moving->groupY}}) {
                if (a.second >= 0) {
                    axes.push_back(a);
                }
            }
            const auto k = static_cast<Eigen::Index>(axes.size());
            b.own = Eigen::MatrixXd::Zero(k, k);
            b.gradient.resize(k);
            b.coupling.resize(static_cast<size_t>(k));
            b.fixedCoupling.resize(static_cast<size_t>(k));
            for (Eigen::Index a = 0; a < k; ++a) {
                const auto [unknown, group] = axes[static_cast<size_t>(a)];
                const ObservationGroup& pseudo = model.groups[static_cast<size_t>(group)];
                const double w = pseudo.weightRoot;
                b.coupling[static_cast<size_t>(a)].emplace_back(unknown, -w * w);
                b.own(a, a) = w * w;
                b.gradient(a) = -w * groupResiduals(pseudo, given.x)(0);
            }
        }
        borders.push_back(std::move(b));
    }
    std::vector<std::vector<SparseRow>> sets;
    for (const Border& b : borders) {
        sets.push_back(b.coupling);
    }
    std::vector<Eigen::MatrixXd> forms = given.factor.inverseForms(sets);
    for (size_t k = 0; k < borders.size(); ++k) {
        borders[k].form = std::move(forms[k]);
    }
    return borders;
}

// The direct coupling B of a border's coordinates with another's (fixed points joined by an
// observation), rows by the other's axes.
Eigen::MatrixXd directCoupling(const ControlModel& model, const Border& other,
                               const Border& b) {
    Eigen::MatrixXd coupling = Eigen::MatrixXd::Zero(other.dims(), b.dims());
    if (!other.candidate->fixedOrdinal || !b.candidate->fixedOrdinal) {
        return coupling;
    }
    const int32_t first = model.fixedIndex(*other.candidate->fixedOrdinal, 0);
    for (Eigen::Index axis = 0; axis < b.dims(); ++axis) {
        for (const auto& [row, value] : b.fixedCoupling[static_cast<size_t>(axis)]) {
            if (row == first || row == first + 1) {
                coupling(row - first, axis) = value;
            }
        }
    }
    return coupling;
}

// The adjustment with the points of earlier rounds released, as bordered system over the
// adjustment as given.
class ReleasedAdjustment {
public:
    ReleasedAdjustment(const ControlModel& model, const GivenSolution& given,
                       std::vector<const Border*> released)
        : m_model(model)
        , m_released(std::move(released))
        , m_sumOfSquares(given.sumOfSquares)
        , m_freedom(model.redundancy) {
        for (const Border* r : m_released) {
            m_freedom -= static_cast<int32_t>(r->dims());
        }
        Eigen::Index k = 0;
        for (const Border* r : m_released) {
            k += r->dims();
        }
        if (k == 0) {
            return;
        }
        // Y = N⁻¹ C_R, S_R = D_R − C_Rᵀ Y, ξ_R = −S_R⁻¹ g_R.
        Eigen::MatrixXd c = Eigen::MatrixXd::Zero(model.unknowns, k);
        Eigen::MatrixXd s(k, k);
        Eigen::VectorXd g(k);
        Eigen::Index at = 0;
        for (const Border* r : m_released) {
            for (Eigen::Index a = 0; a < r->dims(); ++a) {
                for (const auto& [row, value] : r->coupling[static_cast<size_t>(a)]) {
                    c(row, at + a) += value;
                }
            }
            g.segment(at, r->dims()) = r->gradient;
            at += r->dims();
        }
        m_y = given.factor.solve(c);
        at = 0;
        for (const Border* r : m_released) {
            Eigen::Index other = 0;
            for (const Border* q : m_released) {
                s.block(other, at, q->dims(), r->dims()) =
                    (q == r ? r->own : directCoupling(model, *q, *r)) -
                    sparseTimes(*r).block(other, 0, q->dims(), r->dims());
                other += q->dims();
            }
            at += r->dims();
        }
        m_schur.compute((s + s.transpose()) / 2);
        m_regular = m_schur.info() == Eigen::Success;
        if (m_regular) {
            m_xi = -m_schur.solve(g);
            m_sumOfSquares -= g.dot(m_schur.solve(g));
        }
    }

    bool regular() const { return m_regular; }

    static constexpr double exactFitShare = 1e-12; // Ω/f, Mo = 1e-6

    ReferencePointTest test(const Border& b, Real alpha) const {
        Eigen::MatrixXd schur = b.own - b.form;
        Eigen::VectorXd gradient = b.gradient;
        if (!m_released.empty()) {
            Eigen::MatrixXd e(m_xi.size(), b.dims());
            Eigen::Index at = 0;
            for (const Border* r : m_released) {
                e.middleRows(at, r->dims()) = directCoupling(m_model, *r, b);
                at += r->dims();
            }
            e -= sparseTimes(b);
            schur -= e.transpose() * m_schur.solve(e);
            gradient += e.transpose() * m_xi;
        }
        const Candidate& p = *b.candidate;
        ReferencePointTest t;
        t.point = p.point;
        t.moving = p.moving != nullptr;
        const auto dims = static_cast<int32_t>(b.dims());
        const Eigen::MatrixXd s = (schur + schur.transpose()) / 2;
        t.f = m_freedom - dims;
        const Eigen::SelfAdjointEigenSolver<Eigen::MatrixXd> eigen(s);
        const double scale = b.own.diagonal().cwiseAbs().maxCoeff();
        if (t.f <= 0 || !(eigen.eigenvalues().minCoeff() > 1e-9 * scale)) {
            t.testable = false;
            return t;
        }
        const Eigen::MatrixXd cofactor = s.inverse();
        const Eigen::VectorXd xi = -cofactor * gradient;
        const double decrease = gradient.dot(cofactor * gradient);
        const double rest = std::max(m_sumOfSquares - decrease, 0.0) / t.f;
        // Observations that fit to a millionth of their mean errors (values computed from
        // the coordinates) leave Ω at the level of rounding: the ratio of two roundings is
        // no evidence against a point.
        const bool exactFit = m_sumOfSquares <= exactFitShare * m_freedom;
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
    // H = Yᵀ C_b = C_Rᵀ N⁻¹ C_b, from the sparse coupling of the border.
    Eigen::MatrixXd sparseTimes(const Border& b) const {
        Eigen::MatrixXd h = Eigen::MatrixXd::Zero(m_y.cols(), b.dims());
        for (Eigen::Index a = 0; a < b.dims(); ++a) {
            for (const auto& [row, value] : b.coupling[static_cast<size_t>(a)]) {
                h.col(a) += value * m_y.row(row).transpose();
            }
        }
        return h;
    }

    const ControlModel& m_model;
    std::vector<const Border*> m_released;
    double m_sumOfSquares;
    int32_t m_freedom;
    Eigen::MatrixXd m_y;
    Eigen::LLT<Eigen::MatrixXd> m_schur; ///< S_R
    Eigen::VectorXd m_xi;
    bool m_regular = true;
};

} // namespace

ReferenceCheck checkReferencePoints(const ControlModel& model, const GivenSolution& given) {
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
    if (!given.regular) {
        check.skipped = "macierz normalna osobliwa (defekt układu)";
        return check;
    }
    const std::vector<Border> borders = bordersOf(model, given, candidates);

    std::vector<const Border*> released;
    while (released.size() + 1 < candidates.size() || released.empty()) {
        const ReleasedAdjustment adjustment(model, given, released);
        if (!adjustment.regular()) {
            check.skipped = "macierz normalna osobliwa (defekt układu)";
            check.rounds.clear();
            return check;
        }
        ReferenceRound round;
        std::vector<const Border*> tested;
        for (const Border& b : borders) {
            if (std::find(released.begin(), released.end(), &b) == released.end()) {
                round.points.push_back(adjustment.test(b, check.alpha));
                tested.push_back(&b);
            }
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
            for (const Border* b : tested) {
                if (b->candidate->point == point) {
                    released.push_back(b);
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
