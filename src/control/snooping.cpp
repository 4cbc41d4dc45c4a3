// Baarda's data snooping with re-adjustment. The observation with the largest normalised
// residual |w| (σ0 = 1) above the critical value leaves the model and the model is adjusted
// again, until no |w| exceeds it. The normal matrix is factorised once; each re-adjustment
// follows from the previous one by the Sherman-Morrison-Woodbury identity: taking out an
// observation changes N by U C Uᵀ (U its rows, C its weights' change: −1 for a single
// equation, the change of the Schreiber weights for a direction set), so with Z = Q U, Q the
// inverse before the step,
//   Q' = Q − Z M Zᵀ,   M = C (I + Uᵀ Z C)⁻¹,   x' = x − Z M e,
// e the group's residuals before the step. Every observation's form a Q aᵀ, and with it its
// redundancy number, follows from the one before by the same low-rank correction.
#include "control/control_model.h"
#include "control/reliability.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <future>
#include <thread>

namespace ptw3 {
namespace {

using RowMajor = Eigen::Matrix<double, Eigen::Dynamic, Eigen::Dynamic, Eigen::RowMajor>;
using Values = Eigen::Map<Eigen::VectorXd>;
using ConstValues = Eigen::Map<const Eigen::VectorXd>;

// The figures of one observation under the current model.
struct Tested {
    int32_t observation = -1;
    double r = 0;
    std::optional<double> w;
    double v = 0; ///< cc or m
};

// One step's correction of the inverse, Q' = Q − Y Λ Yᵀ (M = V Λ Vᵀ, Y = Z V), with Y kept
// row by row: the correction of one unknown is a row.
struct Correction {
    RowMajor y;
    Eigen::VectorXd lambda;
};

// What the tests of an observation need of its form: a single equation's a Q aᵀ; for each
// direction of a set, the form h_k = (d_k − d̄) Q (d_k − d̄)ᵀ of its row less the set's
// weighted mean row d̄ = Σ w_j d_j, w = p/Σp over the directions kept. Each re-adjustment
// passes over all hundred thousand groups, so what a group needs lies in flat arrays, in
// the order of the groups.
class Snooper {
public:
    Snooper(const ControlModel& model, const GivenSolution& given, bool apart)
        : m_model(model)
        , m_given(given)
        , m_apart(apart)
        , m_x(given.x) {
        m_valueStart.push_back(0);
        m_laplacianStart.push_back(0);
        m_rowStart.push_back(0);
        m_termStart.push_back(0);
        for (const ObservationGroup& group : model.groups) {
            const auto k = static_cast<size_t>(group.size());
            m_valueStart.push_back(m_valueStart.back() + k);
            m_laplacianStart.push_back(m_laplacianStart.back() + k * k);
            m_laplacians.insert(m_laplacians.end(), group.laplacian.data(),
                                group.laplacian.data() + k * k);
            for (size_t r = 0; r < k; ++r) {
                for (const auto& [index, c] : group.rows[r]) {
                    if (index < model.unknowns) {
                        m_index.push_back(index);
                        m_coefficient.push_back(c);
                    }
                }
                m_termStart.push_back(m_index.size());
                m_tau.push_back(group.tau[r]);
                const double m = group.directionSet ? group.meanErrors[r] : 1;
                m_p.push_back(1 / (m * m));
            }
            m_rowStart.push_back(m_termStart.size() - 1);
        }
        // The pass over the groups goes in two halves of about equal terms.
        while (m_half < model.groups.size() &&
               2 * m_termStart[m_rowStart[m_half]] < m_termStart.back()) {
            ++m_half;
        }
        m_kept.assign(m_valueStart.back(), 1);
        m_forms.resize(m_valueStart.back());
        m_weights.resize(m_valueStart.back());
        for (size_t g = 0; g < model.groups.size(); ++g) {
            const ObservationGroup& group = model.groups[g];
            if (group.directionSet) {
                centredForms(g, group.forms);
            } else if (group.firstObservation >= 0) {
                m_forms[m_valueStart[g]] = group.forms(0, 0);
            }
        }
        evaluate(nullptr, std::nullopt);
    }

    const std::vector<Tested>& tested() const { return m_tested; }
    double sumOfSquares() const { return m_sumOfSquares; }

    // Takes the observation out (its set's last reading with it); returns that reading.
    std::optional<int32_t> remove(int32_t observation) {
        const size_t g = groupOf(observation);
        const ObservationGroup& group = m_model.groups[g];
        const Eigen::Index k = group.size();
        char* kept = &m_kept[m_valueStart[g]];
        kept[observation - group.firstObservation] = 0;
        std::optional<int32_t> last;
        Eigen::MatrixXd l;
        if (group.directionSet) {
            if (std::count(kept, kept + k, 1) == 1) {
                const auto at = std::find(kept, kept + k, 1) - kept;
                last = group.firstObservation + static_cast<int32_t>(at);
                kept[at] = 0;
            }
            l = setLaplacian(group.meanErrors, std::vector<bool>(kept, kept + k));
        } else {
            l = Eigen::MatrixXd::Zero(1, 1);
        }
        Eigen::Map<Eigen::MatrixXd> current(&m_laplacians[m_laplacianStart[g]], k, k);
        const Eigen::MatrixXd change = l - current;
        current = l;
        evaluate(correct(g, change), g);
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

    size_t termsBegin(size_t g, Eigen::Index r) const {
        return m_termStart[m_rowStart[g] + static_cast<size_t>(r)];
    }
    size_t termsEnd(size_t g, Eigen::Index r) const {
        return m_termStart[m_rowStart[g] + static_cast<size_t>(r) + 1];
    }

    // R_g Y over the rows of group g, Y row by row.
    template <class Matrix>
    Eigen::MatrixXd groupTimes(size_t g, const Matrix& y) const {
        const Eigen::Index k = m_model.groups[g].size();
        Eigen::MatrixXd out = Eigen::MatrixXd::Zero(k, y.cols());
        for (Eigen::Index r = 0; r < k; ++r) {
            for (size_t t = termsBegin(g, r); t < termsEnd(g, r); ++t) {
                out.row(r) += m_coefficient[t] * y.row(m_index[t]);
            }
        }
        return out;
    }

    // The residuals e = R x + τ of group g, in a buffer kept from one group to the next.
    ConstValues residuals(size_t g, std::vector<double>& e) const {
        const Eigen::Index k = m_model.groups[g].size();
        e.resize(static_cast<size_t>(k));
        for (Eigen::Index r = 0; r < k; ++r) {
            double sum = m_tau[m_rowStart[g] + static_cast<size_t>(r)];
            for (size_t t = termsBegin(g, r); t < termsEnd(g, r); ++t) {
                sum += m_coefficient[t] * m_x(m_index[t]);
            }
            e[static_cast<size_t>(r)] = sum;
        }
        return {e.data(), k};
    }

    // The weights w of set g's kept directions and, from the forms G of its rows d, the
    // centred forms h_k = G_kk − 2 (G w)_k + wᵀ G w.
    void centredForms(size_t g, const Eigen::MatrixXd& forms) {
        const Eigen::Index k = m_model.groups[g].size();
        const size_t first = m_valueStart[g];
        Values w(&m_weights[first], k);
        for (Eigen::Index i = 0; i < k; ++i) {
            const auto at = first + static_cast<size_t>(i);
            w(i) = m_kept[at] ? m_p[at] : 0;
        }
        const double sum = w.sum();
        if (sum > 0) {
            w /= sum;
        }
        const Eigen::VectorXd gw = forms * w;
        const double wgw = w.dot(gw);
        Values h(&m_forms[first], k);
        h = forms.diagonal() - 2 * gw + Eigen::VectorXd::Constant(k, wgw);
    }

    // The group's weights change by C: the solution moves and the inverse takes one more
    // correction. Only the rows with terms take part (a set's first row, d_1, is zero).
    // A group none of whose rows reaches an unknown (it joins fixed points only) leaves N⁻¹
    // and x as they are: there is no correction, the step changes [pvv] alone.
    const Correction* correct(size_t g, const Eigen::MatrixXd& change) {
        const int32_t n = m_model.unknowns;
        const Eigen::Index k = m_model.groups[g].size();
        std::vector<Eigen::Index> active;
        for (Eigen::Index r = 0; r < k; ++r) {
            if (termsEnd(g, r) > termsBegin(g, r)) {
                active.push_back(r);
            }
        }
        const auto a = static_cast<Eigen::Index>(active.size());
        if (a == 0) {
            return nullptr;
        }
        // Uᵀ Y of the active rows, Y row by row.
        const auto rowsTimes = [&](const auto& y) {
            Eigen::MatrixXd out = Eigen::MatrixXd::Zero(a, y.cols());
            for (Eigen::Index i = 0; i < a; ++i) {
                const Eigen::Index r = active[static_cast<size_t>(i)];
                for (size_t t = termsBegin(g, r); t < termsEnd(g, r); ++t) {
                    out.row(i) += m_coefficient[t] * y.row(m_index[t]);
                }
            }
            return out;
        };
        Eigen::MatrixXd u = Eigen::MatrixXd::Zero(n, a);
        Eigen::MatrixXd c(a, a);
        for (Eigen::Index i = 0; i < a; ++i) {
            const Eigen::Index r = active[static_cast<size_t>(i)];
            for (size_t t = termsBegin(g, r); t < termsEnd(g, r); ++t) {
                u(m_index[t], i) += m_coefficient[t];
            }
            for (Eigen::Index j = 0; j < a; ++j) {
                c(i, j) = change(r, active[static_cast<size_t>(j)]);
            }
        }
        // Z = Q U with Q = N⁻¹ − Σ Y Λ Yᵀ of the earlier steps.
        Eigen::MatrixXd z = m_given.factor.solve(u);
        for (const Correction& earlier : m_corrections) {
            const Eigen::MatrixXd uty = rowsTimes(earlier.y);
            z.noalias() -= earlier.y * (earlier.lambda.asDiagonal() * uty.transpose());
        }
        const Eigen::MatrixXd utz = rowsTimes(z);
        Eigen::MatrixXd m = c * (Eigen::MatrixXd::Identity(a, a) + utz * c).inverse();
        m = (m + m.transpose()) / 2;
        std::vector<double> residual;
        const ConstValues all = residuals(g, residual);
        Eigen::VectorXd e(a);
        for (Eigen::Index i = 0; i < a; ++i) {
            e(i) = all(active[static_cast<size_t>(i)]);
        }
        m_x.noalias() -= z * (m * e);
        const Eigen::SelfAdjointEigenSolver<Eigen::MatrixXd> eigen(m);
        Correction step;
        step.y = z * eigen.eigenvectors();
        step.lambda = eigen.eigenvalues();
        m_corrections.push_back(std::move(step));
        return &m_corrections.back();
    }

    // The figures of a pass over some of the groups, and its work space: a group's residuals,
    // and R_g Y with a row for the set's mean.
    struct Pass {
        std::vector<Tested> tested;
        double sumOfSquares = 0;
        std::vector<double> e;
        std::vector<double> ry;
    };

    // [pvv] and the figures of every observation left in the model, with the forms taking
    // the step's correction; the set whose weights changed has its centred forms made anew
    // from its rows' forms and all the corrections. The second half of the groups goes on a
    // thread of its own when there is one; the halves are the same either way.
    void evaluate(const Correction* step, std::optional<size_t> changed) {
        std::future<void> second =
            std::async(m_apart ? std::launch::async : std::launch::deferred, [&] {
                evaluate(m_half, m_model.groups.size(), step, changed, m_passes[1]);
            });
        evaluate(0, m_half, step, changed, m_passes[0]);
        second.get();
        m_tested = m_passes[0].tested;
        m_tested.insert(m_tested.end(), m_passes[1].tested.begin(), m_passes[1].tested.end());
        m_sumOfSquares = m_passes[0].sumOfSquares + m_passes[1].sumOfSquares;
    }

    void evaluate(size_t first, size_t last, const Correction* step, std::optional<size_t> changed,
                  Pass& pass) {
        pass.tested.clear();
        pass.sumOfSquares = 0;
        for (size_t g = first; g < last; ++g) {
            const ObservationGroup& group = m_model.groups[g];
            const Eigen::Index k = group.size();
            const ConstValues e = residuals(g, pass.e);
            const Eigen::Map<const Eigen::MatrixXd> l(&m_laplacians[m_laplacianStart[g]], k, k);
            for (Eigen::Index i = 0; i < k; ++i) {
                pass.sumOfSquares += e(i) * l.col(i).dot(e);
            }
            if (group.firstObservation < 0) {
                continue;
            }
            Values forms(&m_forms[m_valueStart[g]], k);
            if (changed == g && group.directionSet) {
                Eigen::MatrixXd full = group.forms;
                for (const Correction& c : m_corrections) {
                    const Eigen::MatrixXd ry = groupTimes(g, c.y);
                    full.noalias() -= ry * c.lambda.asDiagonal() * ry.transpose();
                }
                centredForms(g, full);
            } else if (step != nullptr) {
                correctForms(g, *step, forms, pass.ry);
            }
            if (group.directionSet) {
                testSet(g, e, pass.tested);
            } else if (m_kept[m_valueStart[g]]) {
                test(group.firstObservation, forms(0), e(0) / group.weightRoot, e(0),
                     pass.tested);
            }
        }
    }

    // h −= Σ_t λ_t (c y_t)² for the rows c of the group (centred for a set).
    void correctForms(size_t g, const Correction& step, Values& forms,
                      std::vector<double>& buffer) const {
        const Eigen::Index k = m_model.groups[g].size();
        const Eigen::Index width = step.lambda.size();
        buffer.assign(static_cast<size_t>((k + 1) * width), 0);
        Eigen::Map<RowMajor> ry(buffer.data(), k, width);
        for (Eigen::Index r = 0; r < k; ++r) {
            for (size_t t = termsBegin(g, r); t < termsEnd(g, r); ++t) {
                ry.row(r) += m_coefficient[t] * step.y.row(m_index[t]);
            }
        }
        if (m_model.groups[g].directionSet) {
            const ConstValues w(&m_weights[m_valueStart[g]], k);
            Eigen::Map<Eigen::RowVectorXd> mean(buffer.data() + k * width, width);
            mean.noalias() = w.transpose() * ry;
            ry.rowwise() -= mean;
        }
        for (Eigen::Index r = 0; r < k; ++r) {
            forms(r) -= ry.row(r).cwiseAbs2().dot(step.lambda.transpose());
        }
    }

    static void test(int32_t observation, double share, double v, double weightedV,
                     std::vector<Tested>& tested) {
        Tested t;
        t.observation = observation;
        t.r = 1 - share;
        t.v = v;
        if (t.r > static_cast<double>(vanishingRedundancy)) {
            t.w = weightedV / std::sqrt(t.r);
        }
        tested.push_back(t);
    }

    // Directions of a set with its orientation eliminated: v_k = e_k − Σ w_j e_j and
    // q_k = p_k h_k + p_k/Σp.
    void testSet(size_t g, const ConstValues& e, std::vector<Tested>& tested) const {
        const ObservationGroup& group = m_model.groups[g];
        const Eigen::Index n = group.size();
        const size_t first = m_valueStart[g];
        double sum = 0;
        for (size_t i = first; i < first + static_cast<size_t>(n); ++i) {
            sum += m_kept[i] ? m_p[i] : 0;
        }
        if (sum == 0) {
            return;
        }
        const ConstValues w(&m_weights[first], n);
        const double orientation = w.dot(e);
        for (Eigen::Index k = 0; k < n; ++k) {
            const size_t at = first + static_cast<size_t>(k);
            if (!m_kept[at]) {
                continue;
            }
            const double p = m_p[at];
            const double share = p * m_forms[at] + p / sum;
            const double v = e(k) - orientation;
            test(group.firstObservation + static_cast<int32_t>(k), share, v, v * std::sqrt(p),
                 tested);
        }
    }

    const ControlModel& m_model;
    const GivenSolution& m_given;
    bool m_apart;
    Eigen::VectorXd m_x;
    std::vector<Correction> m_corrections;
    // The rows over the unknowns: group g's rows m_rowStart[g] .. m_rowStart[g + 1], row r's
    // terms m_termStart[r] .. m_termStart[r + 1], its τ and (a direction) its p = 1/m².
    std::vector<size_t> m_rowStart;
    std::vector<size_t> m_termStart;
    std::vector<int32_t> m_index;
    std::vector<double> m_coefficient;
    std::vector<double> m_tau;
    std::vector<double> m_p;
    // Per group from m_valueStart[g], one value a row: whether it is kept, its form (a
    // set's centred one) and a set's weight w; from m_laplacianStart[g] its weights L in use.
    std::vector<size_t> m_valueStart;
    std::vector<char> m_kept;
    std::vector<double> m_forms;
    std::vector<double> m_weights;
    std::vector<size_t> m_laplacianStart;
    std::vector<double> m_laplacians;
    size_t m_half = 0; ///< the first group of the pass's second half
    std::array<Pass, 2> m_passes;
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

Snooping snoopData(const ControlModel& model, const GivenSolution& given,
                   const ControlOptions& options) {
    Snooping s;
    s.critical = options.snoopingCritical;
    s.stepLimit = options.snoopingSteps;
    if (!given.regular) {
        s.skipped = "macierz normalna osobliwa (defekt układu)";
        return s;
    }
    Snooper snooper(model, given,
                    options.threads != 1 && std::thread::hardware_concurrency() > 1);
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
