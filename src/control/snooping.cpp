// Baarda's data snooping with re-adjustment. The observation with the largest normalised
// residual |w| (σ0 = 1) above the critical value leaves the model and the model is adjusted
// again, until no |w| exceeds it. The normal matrix is factorised once; every re-adjustment
// follows from it by the Sherman-Morrison-Woodbury identity: the observations taken out
// change N by U C Uᵀ (U their rows, C their weights' change: −1 for a single equation, the
// change of the Schreiber weights for a direction set), so with Z = N⁻¹ U
//   N_s⁻¹ = N⁻¹ − Z M Zᵀ,   M = C (I + Uᵀ Z C)⁻¹,
// which gives the new solution and every observation's new form a N_s⁻¹ aᵀ from the forms of
// the adjustment as given.
#include "control/control_model.h"
#include "control/reliability.h"

#include <algorithm>
#include <cmath>

namespace ptw3 {
namespace {

// The figures of one observation under the current model.
struct Tested {
    int32_t observation = -1;
    double r = 0;
    std::optional<double> w;
    double v = 0; ///< cc or m
};

// A group whose weights differ from the adjustment's: its rows' columns in U and Z.
struct ChangedGroup {
    size_t group = 0;
    Eigen::Index column = 0;
    Eigen::MatrixXd change; ///< C of the group: current Laplacian − the adjustment's
};

class Snooper {
public:
    explicit Snooper(const ControlModel& model)
        : m_model(model)
        , m_map(static_cast<size_t>(model.extended), -1)
        , m_current(model.groups.size())
        , m_kept(model.groups.size()) {
        for (int32_t i = 0; i < model.unknowns; ++i) {
            m_map[static_cast<size_t>(i)] = i;
        }
        for (size_t g = 0; g < model.groups.size(); ++g) {
            m_kept[g].assign(static_cast<size_t>(model.groups[g].size()), true);
        }
    }

    bool start() {
        if (!m_factor.factorise(normalMatrix(m_model, m_map, m_model.unknowns, {}))) {
            return false;
        }
        m_x0 = -m_factor.solve(gradientAtZero(m_model, m_map, m_model.unknowns, {}));
        m_z.resize(m_model.unknowns, 0);
        evaluate();
        return true;
    }

    const std::vector<Tested>& tested() const { return m_tested; }
    double sumOfSquares() const { return m_sumOfSquares; }

    // Takes the observation out (its set's last reading with it); returns that reading.
    std::optional<int32_t> remove(int32_t observation) {
        const size_t g = groupOf(observation);
        const ObservationGroup& group = m_model.groups[g];
        std::vector<bool>& kept = m_kept[g];
        kept[static_cast<size_t>(observation - group.firstObservation)] = false;
        std::optional<int32_t> last;
        Eigen::MatrixXd l;
        if (group.directionSet) {
            if (std::count(kept.begin(), kept.end(), true) == 1) {
                const auto k = std::find(kept.begin(), kept.end(), true) - kept.begin();
                last = group.firstObservation + static_cast<int32_t>(k);
                kept[static_cast<size_t>(k)] = false;
            }
            l = setLaplacian(group.meanErrors, kept);
        } else {
            l = Eigen::MatrixXd::Zero(1, 1);
        }
        m_current[g] = l;
        const auto changed = std::find_if(m_changed.begin(), m_changed.end(),
                                          [&](const ChangedGroup& c) { return c.group == g; });
        if (changed != m_changed.end()) {
            changed->change = l - group.laplacian;
        } else {
            addColumns(g, l - group.laplacian);
        }
        evaluate();
        return last;
    }

private:
    // The observations' groups come first, in the order of the list, then the
    // pseudo-observations.
    size_t groupOf(int32_t observation) const {
        const auto observed = std::partition_point(
            m_model.groups.begin(), m_model.groups.end(),
            [](const ObservationGroup& g) { return g.firstObservation >= 0; });
        const auto at = std::upper_bound(m_model.groups.begin(), observed, observation,
                                         [](int32_t o, const ObservationGroup& g) {
                                             return o < g.firstObservation;
                                         });
        return static_cast<size_t>(at - m_model.groups.begin()) - 1;
    }

    // The group's rows join U and their solutions N⁻¹ uᵀ join Z.
    void addColumns(size_t g, Eigen::MatrixXd change) {
        const ObservationGroup& group = m_model.groups[g];
        const Eigen::Index first = m_z.cols();
        Eigen::MatrixXd rows = Eigen::MatrixXd::Zero(m_model.unknowns, group.size());
        for (int32_t r = 0; r < group.size(); ++r) {
            for (const auto& [index, c] : group.rows[static_cast<size_t>(r)]) {
                if (index < m_model.unknowns) {
                    rows(index, r) += c;
                }
            }
        }
        m_z.conservativeResize(Eigen::NoChange, first + group.size());
        m_z.rightCols(group.size()) = m_factor.solve(rows);
        m_changed.push_back({g, first, std::move(change)});
    }

    // R_g Y for the mapped rows of group g.
    Eigen::MatrixXd rowsTimes(const ObservationGroup& group, const Eigen::MatrixXd& y) const {
        Eigen::MatrixXd out = Eigen::MatrixXd::Zero(group.size(), y.cols());
        for (int32_t r = 0; r < group.size(); ++r) {
            for (const auto& [index, c] : group.rows[static_cast<size_t>(r)]) {
                if (index < m_model.unknowns) {
                    out.row(r) += c * y.row(index);
                }
            }
        }
        return out;
    }

    // The solution, [pvv] and the figures of every observation left in the model.
    void evaluate() {
        const Eigen::Index k = m_z.cols();
        Eigen::MatrixXd c = Eigen::MatrixXd::Zero(k, k);
        Eigen::VectorXd tau(k);
        Eigen::MatrixXd utz(k, k);
        for (const ChangedGroup& changed : m_changed) {
            const ObservationGroup& group = m_model.groups[changed.group];
            const Eigen::Index n = group.size();
            c.block(changed.column, changed.column, n, n) = changed.change;
            tau.segment(changed.column, n) =
                Eigen::Map<const Eigen::VectorXd>(group.tau.data(), n);
            utz.middleRows(changed.column, n) = rowsTimes(group, m_z);
        }
        Eigen::VectorXd x = m_x0;
        Eigen::MatrixXd y;
        Eigen::VectorXd lambda;
        if (k > 0) {
            Eigen::MatrixXd m = c * (Eigen::MatrixXd::Identity(k, k) + utz * c).inverse();
            m = (m + m.transpose()) / 2;
            const Eigen::VectorXd h = -m_x0 + m_z * (c * tau);
            Eigen::VectorXd uth(k);
            for (const ChangedGroup& changed : m_changed) {
                const ObservationGroup& group = m_model.groups[changed.group];
                uth.segment(changed.column, group.size()) = rowsTimes(group, h);
            }
            x = -(h - m_z * (m * uth));
            // N_s⁻¹ = N⁻¹ − Y Λ Yᵀ with M = V Λ Vᵀ and Y = Z V.
            const Eigen::SelfAdjointEigenSolver<Eigen::MatrixXd> eigen(m);
            y = m_z * eigen.eigenvectors();
            lambda = eigen.eigenvalues();
        }

        m_tested.clear();
        m_sumOfSquares = 0;
        for (size_t g = 0; g < m_model.groups.size(); ++g) {
            const ObservationGroup& group = m_model.groups[g];
            const Eigen::MatrixXd& l =
                m_current[g].size() > 0 ? m_current[g] : group.laplacian;
            const Eigen::VectorXd e = groupResiduals(group, m_map, x);
            m_sumOfSquares += e.dot(l * e);
            if (group.firstObservation < 0) {
                continue;
            }
            Eigen::MatrixXd forms = group.forms;
            if (k > 0) {
                const Eigen::MatrixXd ry = rowsTimes(group, y);
                forms -= ry * lambda.asDiagonal() * ry.transpose();
            }
            if (group.directionSet) {
                testSet(group, m_kept[g], e, forms);
            } else if (m_kept[g][0]) {
                test(group.firstObservation, forms(0, 0), e(0) / group.weightRoot, e(0));
            }
        }
    }

    void test(int32_t observation, double share, double v, double weightedV) {
        Tested t;
        t.observation = observation;
        t.r = 1 - share;
        t.v = v;
        if (t.r > static_cast<double>(vanishingRedundancy)) {
            t.w = weightedV / std::sqrt(t.r);
        }
        m_tested.push_back(t);
    }

    // Directions of a set with its orientation eliminated: v_k = e_k − Σ w_j e_j and
    // q_k = p_k (d_k − d̄) N⁻¹ (d_k − d̄)ᵀ + p_k/Σp, d̄ = Σ w_j d_j, w = p/Σp.
    void testSet(const ObservationGroup& group, const std::vector<bool>& kept,
                 const Eigen::VectorXd& e, const Eigen::MatrixXd& forms) {
        const Eigen::Index n = group.size();
        Eigen::VectorXd p = Eigen::VectorXd::Zero(n);
        for (Eigen::Index i = 0; i < n; ++i) {
            if (kept[static_cast<size_t>(i)]) {
                const double m = group.meanErrors[static_cast<size_t>(i)];
                p(i) = 1 / (m * m);
            }
        }
        const double sum = p.sum();
        if (sum == 0) {
            return;
        }
        const Eigen::VectorXd w = p / sum;
        const double orientation = w.dot(e);
        const Eigen::VectorXd gw = forms * w;
        const double wgw = w.dot(gw);
        for (Eigen::Index k = 0; k < n; ++k) {
            if (!kept[static_cast<size_t>(k)]) {
                continue;
            }
            const double share = p(k) * (forms(k, k) - 2 * gw(k) + wgw) + p(k) / sum;
            const double v = e(k) - orientation;
            test(group.firstObservation + static_cast<int32_t>(k), share, v,
                 v * std::sqrt(p(k)));
        }
    }

    const ControlModel& m_model;
    UnknownMap m_map;
    SparseFactor m_factor;
    Eigen::VectorXd m_x0;
    Eigen::MatrixXd m_z;
    std::vector<ChangedGroup> m_changed;
    std::vector<Eigen::MatrixXd> m_current;
    std::vector<std::vector<bool>> m_kept;
    std::vector<Tested> m_tested;
    double m_sumOfSquares = 0;
};

const Tested* largest(const std::vector<Tested>& tested, bool controlledOnly) {
    const Tested* best = nullptr;
    for (const Tested& t : tested) {
        if (!t.w || (controlledOnly && t.r < static_cast<double>(uncontrolledRedundancy))) {
            continue;
        }
        if (best == nullptr || std::fabs(*t.w) > std::fabs(*best->w)) {
            best = &t;
        }
    }
    return best;
}

} // namespace

Snooping snoopData(const ControlModel& model, const AdjustmentOutcome&,
                   const ControlOptions& options) {
    Snooping s;
    s.critical = options.snoopingCritical;
    s.stepLimit = options.snoopingSteps;
    Snooper snooper(model);
    if (!snooper.start()) {
        s.skipped = "macierz normalna osobliwa (defekt układu)";
        return s;
    }
    if (const Tested* t = largest(snooper.tested(), false)) {
        s.largestW = *t->w;
        s.largestObservation = t->observation;
    }
    int32_t f = model.redundancy;
    for (;;) {
        const Tested* worst = largest(snooper.tested(), true);
        if (worst == nullptr || std::fabs(*worst->w) <= static_cast<double>(s.critical)) {
            break;
        }
        if (static_cast<int32_t>(s.steps.size()) >= s.stepLimit) {
            s.limitReached = true;
            break;
        }
        if (f <= 1) {
            break; // nothing would be left to estimate Mo from
        }
        SnoopingStep step;
        step.observation = worst->observation;
        step.w = *worst->w;
        step.grossError = -worst->v / worst->r;
        step.alsoRemoved = snooper.remove(worst->observation);
        --f;
        step.fAfter = f;
        step.moAfter = std::sqrt(std::fabs(snooper.sumOfSquares()) / f);
        if (const Tested* t = largest(snooper.tested(), false)) {
            step.largestRemainingW = *t->w;
            step.largestRemainingObservation = t->observation;
        }
        s.steps.push_back(step);
    }
    return s;
}

} // namespace ptw3
