#include "design/design_advisor.h"

#include "control/control_model.h"
#include "engine/report_preamble.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <unordered_set>

namespace ptw3 {
namespace {

constexpr double ccPerRadian = 2'000'000 / std::numbers::pi;

uint64_t pairKey(int32_t i, int32_t j) {
    return static_cast<uint64_t>(std::min(i, j)) << 32 | static_cast<uint64_t>(std::max(i, j));
}

// A candidate's row over the unknowns (0-based), weighted: a distance's direction cosines
// over its mean error; a direction added to the station's set, which with the station's
// orientation eliminated is the row b − b̄ (b̄ the set's weighted mean bearing row) with the
// weight p·Σp/(Σp + p).
class CandidateRows {
public:
    CandidateRows(const NetworkData& network, const AdjustmentOutcome& outcome)
        : m_network(network)
        , m_outcome(outcome) {}

    std::optional<SparseRow> row(const CandidateObservation& c) const {
        if (c.kind == ListedKind::Distance) {
            const auto [dx, dy, s2] = increments(c.from, c.to);
            const double s = std::sqrt(s2);
            SparseRow r;
            add(r, c.to, dx / s, dy / s, 1 / static_cast<double>(c.meanError));
            add(r, c.from, -dx / s, -dy / s, 1 / static_cast<double>(c.meanError));
            return r;
        }
        const DirectionSet* set = nullptr;
        for (const DirectionSet& s : m_network.directionSets) {
            if (s.station == c.from) {
                set = &s;
                break;
            }
        }
        if (set == nullptr) {
            return std::nullopt;
        }
        double sum = 0;
        for (const Direction& d : set->directions) {
            sum += 1 / static_cast<double>(d.meanError * d.meanError);
        }
        const double p = 1 / static_cast<double>(c.meanError * c.meanError);
        const double weight = std::sqrt(p * sum / (sum + p));
        SparseRow r;
        bearing(r, c.from, c.to, weight);
        for (const Direction& d : set->directions) {
            const double w = 1 / static_cast<double>(d.meanError * d.meanError) / sum;
            bearing(r, c.from, d.target, -w * weight);
        }
        return r;
    }

private:
    struct Increments {
        double dx, dy, s2;
    };
    Increments increments(int32_t from, int32_t to) const {
        const WorkingPoint& a = m_outcome.coordinates[from];
        const WorkingPoint& b = m_outcome.coordinates[to];
        const auto dx = static_cast<double>(b.x - a.x);
        const auto dy = static_cast<double>(b.y - a.y);
        return {dx, dy, dx * dx + dy * dy};
    }

    void add(SparseRow& r, int32_t point, double cx, double cy, double factor) const {
        const int32_t q = m_network.ordering.position[point];
        if (q > m_network.determinedCount()) {
            return;
        }
        for (const auto& [at, c] : {std::pair{2 * q - 2, cx}, std::pair{2 * q - 1, cy}}) {
            const int32_t index = at; // a structured binding cannot be captured in C++20
            const auto same = std::find_if(r.begin(), r.end(),
                                           [&](const auto& e) { return e.first == index; });
            if (same == r.end()) {
                r.emplace_back(index, c * factor);
            } else {
                same->second += c * factor;
            }
        }
    }

    // The bearing's row (cc per m) from station to target, times the factor.
    void bearing(SparseRow& r, int32_t station, int32_t target, double factor) const {
        const auto [dx, dy, s2] = increments(station, target);
        add(r, target, -ccPerRadian * dy / s2, ccPerRadian * dx / s2, factor);
        add(r, station, ccPerRadian * dy / s2, -ccPerRadian * dx / s2, factor);
    }

    const NetworkData& m_network;
    const AdjustmentOutcome& m_outcome;
};

struct Block {
    double qxx = 0, qxy = 0, qyy = 0;
    double mp() const { return std::sqrt(std::fabs(qxx + qyy)); }
};

} // namespace

DesignAdvice adviseDesign(const NetworkData& network, const AdjustmentOutcome& outcome,
                          const PlanOptions& options,
                          const std::vector<CandidateObservation>& candidates,
                          const PreAnalysis& plan) {
    DesignAdvice advice;
    const auto limit = static_cast<double>(options.mpLimit);
    const int32_t determined = network.determinedCount();
    std::vector<Block> blocks(static_cast<size_t>(determined) + 1);
    std::vector<int32_t> links(static_cast<size_t>(network.lp()) + 1, 0);
    for (int32_t p = 1; p <= network.lp(); ++p) {
        links[static_cast<size_t>(p)] = network.points[p].linkCount;
    }
    for (const PlannedPoint& p : plan.points) {
        const PointCofactor& q = outcome.model.points[p.point];
        blocks[static_cast<size_t>(p.point)] = {static_cast<double>(q.qxx),
                                                static_cast<double>(q.qxy),
                                                static_cast<double>(q.qyy)};
    }
    const auto fails = [&](int32_t p, double mp) {
        return mp > limit || links[static_cast<size_t>(p)] < fewestLinksForControl;
    };
    const auto state = [&](Real& worst, int32_t& failing) {
        worst = 0;
        failing = 0;
        for (int32_t p = 1; p <= determined; ++p) {
            const double mp = blocks[static_cast<size_t>(p)].mp();
            worst = std::max(worst, static_cast<Real>(mp));
            failing += fails(p, mp) ? 1 : 0;
        }
    };
    state(advice.worstMpBefore, advice.failingBefore);

    // The usable candidates and their weighted rows.
    const CandidateRows maker(network, outcome);
    std::vector<CandidateObservation> usable;
    std::vector<SparseRow> rows;
    for (const CandidateObservation& c : candidates) {
        if (std::optional<SparseRow> r = maker.row(c); r && !r->empty()) {
            usable.push_back(c);
            rows.push_back(std::move(*r));
        }
    }
    advice.candidates = static_cast<int32_t>(usable.size());
    if (usable.empty()) {
        advice.skipped = "brak kandydatów (plik KANDYDACI lub --candidates-within)";
        return advice;
    }
    // Z holds a column of the unknowns for every candidate.
    constexpr double largestZ = 1.5e8; // elements, 1.2 GB
    if (static_cast<double>(usable.size()) * 2 * determined > largestZ) {
        advice.skipped = "za dużo kandydatów (" + std::to_string(usable.size()) +
                         "): zmniejsz promień lub wybierz ich mniej";
        return advice;
    }
    std::string reason;
    const std::optional<ControlModel> model = buildControlModel(network, outcome, reason);
    if (!model) {
        advice.skipped = reason;
        return advice;
    }
    UnknownMap map(static_cast<size_t>(model->extended), -1);
    for (int32_t i = 0; i < model->unknowns; ++i) {
        map[static_cast<size_t>(i)] = i;
    }
    SparseFactor factor;
    if (!factor.factorise(normalMatrix(*model, map, model->unknowns, {}))) {
        advice.skipped = "macierz normalna osobliwa (defekt układu)";
        return advice;
    }
    // Z = N⁻¹ Aᵀ of the candidates and s = a N⁻¹ aᵀ of each.
    const auto k = static_cast<Eigen::Index>(usable.size());
    Eigen::MatrixXd z = Eigen::MatrixXd::Zero(model->unknowns, k);
    for (Eigen::Index c = 0; c < k; ++c) {
        for (const auto& [index, value] : rows[static_cast<size_t>(c)]) {
            z(index, c) = value;
        }
    }
    z = factor.solve(z);
    const auto rowTimes = [&](const SparseRow& row, Eigen::Index column) {
        double sum = 0;
        for (const auto& [index, value] : row) {
            sum += value * z(index, column);
        }
        return sum;
    };
    Eigen::VectorXd s(k);
    for (Eigen::Index c = 0; c < k; ++c) {
        s(c) = rowTimes(rows[static_cast<size_t>(c)], c);
    }
    std::unordered_set<uint64_t> joined;
    for (const LineCofactor& line : outcome.model.lines) {
        joined.insert(pairKey(line.from, line.to));
    }
    std::vector<bool> used(static_cast<size_t>(k), false);
    const auto unknownsOf = [&](int32_t p) { return 2 * network.ordering.position[p] - 2; };

    for (;;) {
        std::vector<int32_t> failing;
        double worstFailing = 0;
        for (int32_t p = 1; p <= determined; ++p) {
            const double mp = blocks[static_cast<size_t>(p)].mp();
            if (fails(p, mp)) {
                failing.push_back(p);
                worstFailing = std::max(worstFailing, mp);
            }
        }
        if (failing.empty()) {
            advice.goalMet = true;
            advice.stopReason = "cel osiągnięty: wszystkie punkty spełniają standard";
            break;
        }
        if (static_cast<int32_t>(advice.proposals.size()) >= options.advisorBudget) {
            advice.stopReason = "wyczerpany limit propozycji";
            break;
        }
        // The candidate after which the worst Mp among the failing points is smallest.
        Eigen::Index best = -1;
        double bestWorst = worstFailing;
        int32_t bestUnder = 0;
        for (Eigen::Index c = 0; c < k; ++c) {
            if (used[static_cast<size_t>(c)]) {
                continue;
            }
            const CandidateObservation& cand = usable[static_cast<size_t>(c)];
            const bool newLink = !joined.contains(pairKey(cand.from, cand.to));
            const double d = 1 + s(c);
            double worst = 0;
            int32_t under = 0;
            for (const int32_t p : failing) {
                const int32_t u = unknownsOf(p);
                const Block& b = blocks[static_cast<size_t>(p)];
                const double zx = z(u, c);
                const double zy = z(u + 1, c);
                const double mp = std::sqrt(std::fabs(b.qxx - zx * zx / d + b.qyy - zy * zy / d));
                const int32_t linked = links[static_cast<size_t>(p)] +
                                       (newLink && (p == cand.from || p == cand.to) ? 1 : 0);
                if (mp > limit || linked < fewestLinksForControl) {
                    worst = std::max(worst, mp);
                } else {
                    ++under;
                }
            }
            if (worst < bestWorst - 1e-7 || (worst <= bestWorst + 1e-7 && under > bestUnder)) {
                best = c;
                bestWorst = worst;
                bestUnder = under;
            }
        }
        if (best < 0) {
            advice.stopReason = "żaden z pozostałych kandydatów nie poprawia planu";
            break;
        }
        // The accepted observation updates every point's block and every candidate's Z.
        used[static_cast<size_t>(best)] = true;
        const CandidateObservation& chosen = usable[static_cast<size_t>(best)];
        const double d = 1 + s(best);
        const Eigen::VectorXd zb = z.col(best);
        Eigen::RowVectorXd az = Eigen::RowVectorXd::Zero(k);
        for (const auto& [index, value] : rows[static_cast<size_t>(best)]) {
            az += value * z.row(index);
        }
        z -= zb * (az / d);
        s -= az.transpose().cwiseProduct(az.transpose()) / d;
        for (int32_t p = 1; p <= determined; ++p) {
            const int32_t u = unknownsOf(p);
            Block& b = blocks[static_cast<size_t>(p)];
            b.qxx -= zb(u) * zb(u) / d;
            b.qxy -= zb(u) * zb(u + 1) / d;
            b.qyy -= zb(u + 1) * zb(u + 1) / d;
        }
        if (joined.insert(pairKey(chosen.from, chosen.to)).second) {
            ++links[static_cast<size_t>(chosen.from)];
            ++links[static_cast<size_t>(chosen.to)];
        }
        Proposal proposal;
        proposal.candidate = chosen;
        state(proposal.worstMp, proposal.failing);
        advice.proposals.push_back(proposal);
    }
    return advice;
}

} // namespace ptw3
