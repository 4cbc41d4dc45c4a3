#include "design/design_advisor.h"

#include "control/control_model.h"
#include "engine/report_preamble.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <sstream>
#include <unordered_set>

namespace ptw3 {
namespace {

constexpr double ccPerRadian = 2'000'000 / std::numbers::pi;
constexpr double smallestShortfallGain = 0.01;

uint64_t pairKey(int32_t i, int32_t j) {
    return static_cast<uint64_t>(std::min(i, j)) << 32 | static_cast<uint64_t>(std::max(i, j));
}

// A direction set as the advisor sees it: its station and its directions' targets and
// weights p = 1/m², those of the plan and those the advisor has added.
struct SetState {
    int32_t station = 0;
    std::vector<std::pair<int32_t, double>> members; ///< target, p
    double sum() const {
        double s = 0;
        for (const auto& [target, p] : members) {
            s += p;
        }
        return s;
    }
};

// An observation whose redundancy number the second goal watches: a single equation with
// its weighted row, or a direction of a set, whose row changes as the set grows.
struct Watched {
    SparseRow row;      ///< ρ: r = 1 − ρ N⁻¹ ρᵀ − (a direction) p/Σp
    int32_t set = -1;   ///< index into the sets, −1 for a single equation
    int32_t target = 0; ///< a direction's
    double p = 0;       ///< a direction's weight
};

// A candidate's weighted row a over the unknowns (0-based), for the rank-one update
// N + aᵀ a: a distance's direction cosines over its mean error; a direction added to its
// station's set, which with the orientation eliminated is ω (b − b̄), b the bearing's row,
// b̄ the set's weighted mean of them, ω² = p·Σp/(Σp + p). Once added, its redundancy number
// is c/(1 + a N⁻¹ aᵀ), with c = 1 for a distance and Σp/(Σp + p) for a direction.
struct CandidateRow {
    SparseRow row;
    double keep = 1;  ///< c
    int32_t set = -1; ///< a direction's set
    double p = 0, sum = 0, omega = 0;
};

class Rows {
public:
    Rows(const NetworkData& network, const AdjustmentOutcome& outcome)
        : m_network(network)
        , m_outcome(outcome) {}

    CandidateRow distance(int32_t from, int32_t to, double meanError) const {
        const auto [dx, dy, s2] = increments(from, to);
        const double s = std::sqrt(s2);
        CandidateRow r;
        add(r.row, to, dx / s, dy / s, 1 / meanError);
        add(r.row, from, -dx / s, -dy / s, 1 / meanError);
        return r;
    }

    CandidateRow direction(const SetState& set, int32_t index, int32_t target,
                           double meanError) const {
        CandidateRow r;
        r.set = index;
        r.p = 1 / (meanError * meanError);
        r.sum = set.sum();
        r.omega = std::sqrt(r.p * r.sum / (r.sum + r.p));
        r.keep = r.sum / (r.sum + r.p);
        r.row = centred(set, target, r.omega);
        return r;
    }

    // √p (b − b̄) of a member of the set.
    SparseRow member(const SetState& set, int32_t target, double p) const {
        return centred(set, target, std::sqrt(p));
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

    // factor × (b_target − b̄) of the set.
    SparseRow centred(const SetState& set, int32_t target, double factor) const {
        const double sum = set.sum();
        SparseRow r;
        bearing(r, set.station, target, factor);
        for (const auto& [member, p] : set.members) {
            bearing(r, set.station, member, -p / sum * factor);
        }
        return r;
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

double dot(const SparseRow& row, const Eigen::MatrixXd& z, Eigen::Index column) {
    double sum = 0;
    for (const auto& [index, value] : row) {
        sum += value * z(index, column);
    }
    return sum;
}

// The plan's cofactors Q = N⁻¹ as one factorisation and the rank-one updates the accepted
// candidates made: Q_j = Q_{j−1} − u_j u_jᵀ / d_j.
class Cofactors {
public:
    explicit Cofactors(const SparseFactor& factor)
        : m_factor(factor) {}

    Eigen::VectorXd times(const SparseRow& row, Eigen::Index unknowns) const {
        Eigen::VectorXd x = Eigen::VectorXd::Zero(unknowns);
        for (const auto& [index, value] : row) {
            x(index) += value;
        }
        Eigen::VectorXd q = m_factor.solve(x);
        for (const auto& [u, d] : m_updates) {
            q -= u * (u.dot(x) / d);
        }
        return q;
    }
    void update(Eigen::VectorXd u, double d) { m_updates.emplace_back(std::move(u), d); }

private:
    const SparseFactor& m_factor;
    std::vector<std::pair<Eigen::VectorXd, double>> m_updates;
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

    // The direction sets; a candidate direction joins the first set of its station.
    std::vector<SetState> sets;
    std::vector<int32_t> setOfStation(static_cast<size_t>(network.lp()) + 1, -1);
    for (const DirectionSet& s : network.directionSets) {
        SetState set;
        set.station = s.station;
        for (const Direction& d : s.directions) {
            set.members.emplace_back(d.target,
                                     1 / static_cast<double>(d.meanError * d.meanError));
        }
        int32_t& first = setOfStation[static_cast<size_t>(s.station)];
        first = first < 0 ? static_cast<int32_t>(sets.size()) : first;
        sets.push_back(std::move(set));
    }

    // The usable candidates and their weighted rows.
    const Rows maker(network, outcome);
    const auto rowOf = [&](const CandidateObservation& c) -> std::optional<CandidateRow> {
        const auto m = static_cast<double>(c.meanError);
        if (c.kind == ListedKind::Distance) {
            return maker.distance(c.from, c.to, m);
        }
        const int32_t set = setOfStation[static_cast<size_t>(c.from)];
        if (set < 0) {
            return std::nullopt;
        }
        return maker.direction(sets[static_cast<size_t>(set)], set, c.to, m);
    };
    std::vector<CandidateObservation> usable;
    std::vector<CandidateRow> rows;
    std::unordered_set<uint64_t> offered; // a candidate offered twice is considered once
    for (const CandidateObservation& c : candidates) {
        const uint64_t key = (c.kind == ListedKind::Distance ? pairKey(c.from, c.to)
                                                             : static_cast<uint64_t>(c.from) << 32 |
                                                                   static_cast<uint64_t>(c.to)) *
                                 2 +
                             (c.kind == ListedKind::Distance ? 1 : 0);
        if (!offered.insert(key).second) {
            continue;
        }
        if (std::optional<CandidateRow> r = rowOf(c); r && !r->row.empty()) {
            usable.push_back(c);
            rows.push_back(std::move(*r));
        }
    }
    advice.candidates = static_cast<int32_t>(usable.size());
    if (usable.empty()) {
        advice.skipped = "brak kandydatów (plik KANDYDACI lub --candidates-within)";
        return advice;
    }
    const double goal = static_cast<double>(options.minRedundancy.value_or(0));
    std::vector<int32_t> weakAtStart;
    if (options.minRedundancy) {
        for (const PlannedObservation& o : plan.observations) {
            if (outcome.observations[static_cast<size_t>(o.observation)].share &&
                static_cast<double>(o.r) < goal) {
                weakAtStart.push_back(o.observation);
            }
        }
    }
    advice.weakBefore = static_cast<int32_t>(weakAtStart.size());
    // Z holds a column of the unknowns for every candidate, G a row for every weak observation.
    constexpr double largestZ = 1.5e8; // elements, 1.2 GB
    if (static_cast<double>(usable.size()) *
            (2.0 * determined + static_cast<double>(weakAtStart.size())) > largestZ) {
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
    SparseFactor factor;
    if (!factor.factorise(normalMatrix(*model))) {
        advice.skipped = "macierz normalna osobliwa (defekt układu)";
        return advice;
    }
    Cofactors q(factor);
    // The model's direction groups are the sets in their order.
    std::vector<int32_t> setOfObservation(outcome.observations.size(), -1);
    int32_t setIndex = 0;
    for (const ObservationGroup& group : model->groups) {
        if (group.directionSet) {
            for (int32_t i = 0; i < group.size(); ++i) {
                setOfObservation[static_cast<size_t>(group.firstObservation + i)] = setIndex;
            }
            ++setIndex;
        }
    }
    const Eigen::Index n = model->unknowns;
    // Z = N⁻¹ Aᵀ of the candidates and s = a N⁻¹ aᵀ of each.
    const auto k = static_cast<Eigen::Index>(usable.size());
    // Solved a block of columns at a time, which keeps the solver's work in the cache.
    Eigen::MatrixXd z(n, k);
    constexpr Eigen::Index columnsAtOnce = 64;
    for (Eigen::Index first = 0; first < k; first += columnsAtOnce) {
        const Eigen::Index count = std::min(columnsAtOnce, k - first);
        Eigen::MatrixXd b = Eigen::MatrixXd::Zero(n, count);
        for (Eigen::Index c = 0; c < count; ++c) {
            for (const auto& [index, value] : rows[static_cast<size_t>(first + c)].row) {
                b(index, c) += value;
            }
        }
        z.middleCols(first, count) = factor.solve(b);
    }
    Eigen::VectorXd s(k);
    for (Eigen::Index c = 0; c < k; ++c) {
        s(c) = dot(rows[static_cast<size_t>(c)].row, z, c);
    }
    // The watched observations (r below the second goal): their r and G = R Z of their rows.
    std::vector<Watched> watched;
    std::vector<double> r;
    for (const int32_t o : weakAtStart) {
        Watched w;
        w.set = setOfObservation[static_cast<size_t>(o)];
        if (w.set >= 0) {
            const AdjustedObservation& a = outcome.observations[static_cast<size_t>(o)];
            w.target = a.to;
            w.p = 1 / static_cast<double>(a.meanError * a.meanError);
            w.row = maker.member(sets[static_cast<size_t>(w.set)], w.target, w.p);
        } else {
            for (const ObservationGroup& group : model->groups) {
                if (group.firstObservation == o) {
                    for (const auto& [index, value] : group.rows[0]) {
                        if (index < n) {
                            w.row.emplace_back(index, value);
                        }
                    }
                }
            }
        }
        watched.push_back(std::move(w));
        r.push_back(static_cast<double>(plan.observations[static_cast<size_t>(o)].r));
    }
    Eigen::MatrixXd g(std::ssize(watched), k);
    const auto fillRow = [&](size_t i) {
        for (Eigen::Index c = 0; c < k; ++c) {
            g(static_cast<Eigen::Index>(i), c) = dot(watched[i].row, z, c);
        }
    };
    for (size_t i = 0; i < watched.size(); ++i) {
        fillRow(i);
    }
    const auto weakCount = [&] {
        return static_cast<int32_t>(std::ranges::count_if(r, [&](double x) { return x < goal; }));
    };

    std::unordered_set<uint64_t> joined;
    for (const LineCofactor& line : outcome.model.lines) {
        joined.insert(pairKey(line.from, line.to));
    }
    std::vector<bool> used(static_cast<size_t>(k), false);
    const auto unknownsOf = [&](int32_t p) { return 2 * network.ordering.position[p] - 2; };

    // Point p's Mp once candidate c is added, and whether p would still fail.
    const auto pointAfter = [&](Eigen::Index c, int32_t p) {
        const CandidateObservation& cand = usable[static_cast<size_t>(c)];
        const bool newLink =
            (p == cand.from || p == cand.to) && !joined.contains(pairKey(cand.from, cand.to));
        const int32_t u = unknownsOf(p);
        const Block& b = blocks[static_cast<size_t>(p)];
        const double d = 1 + s(c);
        const double zx = z(u, c);
        const double zy = z(u + 1, c);
        const double mp = std::sqrt(std::fabs(b.qxx - zx * zx / d + b.qyy - zy * zy / d));
        return std::pair{mp, mp > limit || links[static_cast<size_t>(p)] + (newLink ? 1 : 0) <
                                               fewestLinksForControl};
    };
    // Watched observation i's r once candidate c is added. A direction of the set the
    // candidate joins has its row changed as well: ρ' = ρ − β a with β = √p_i p/((Σp + p) ω),
    // and its share of the set's mean falls from p_i/Σp to p_i/(Σp + p).
    const auto redundancyAfter = [&](Eigen::Index c, size_t i) {
        const CandidateRow& cr = rows[static_cast<size_t>(c)];
        const double d = 1 + s(c);
        const double gic = g(static_cast<Eigen::Index>(i), c);
        const Watched& w = watched[i];
        if (w.set < 0 || w.set != cr.set) {
            return r[i] + gic * gic / d;
        }
        const double beta = std::sqrt(w.p) * cr.p / ((cr.sum + cr.p) * cr.omega);
        const double e = gic - beta * s(c);
        return r[i] + w.p * cr.p / (cr.sum * (cr.sum + cr.p)) + 2 * beta * gic -
               beta * beta * s(c) + e * e / d;
    };

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
        std::vector<size_t> weak;
        double shortfallNow = 0;
        for (size_t i = 0; i < r.size(); ++i) {
            if (r[i] < goal) {
                weak.push_back(i);
                shortfallNow += goal - r[i];
            }
        }
        if (failing.empty() && weak.empty()) {
            advice.goalMet = true;
            advice.stopReason = "cel osiągnięty: wszystkie punkty spełniają standard";
            if (options.minRedundancy) {
                std::ostringstream t;
                t << goal;
                advice.stopReason += ", wszystkie obserwacje mają r >= " + t.str();
            }
            break;
        }
        if (static_cast<int32_t>(advice.proposals.size()) >= options.advisorBudget) {
            advice.stopReason = "wyczerpany limit propozycji";
            break;
        }
        // While points fail: the candidate after which the worst Mp among them is smallest
        // (ties: the one that brings more of them under the limit). Then: the one after which
        // the weak observations, the candidate among them, fall least short of the goal in
        // all, Σ (goal − r)₊ (ties: the one that lifts more of them to it).
        Eigen::Index best = -1;
        double bestValue = failing.empty() ? shortfallNow : worstFailing;
        int32_t bestCount = 0;
        for (Eigen::Index c = 0; c < k; ++c) {
            if (used[static_cast<size_t>(c)]) {
                continue;
            }
            double value = 0;
            int32_t count = 0;
            if (!failing.empty()) {
                for (const int32_t p : failing) {
                    const auto [mp, still] = pointAfter(c, p);
                    value = still ? std::max(value, mp) : value;
                    count += still ? 0 : 1;
                }
            } else {
                value = std::max(0.0, goal - rows[static_cast<size_t>(c)].keep / (1 + s(c)));
                for (const size_t i : weak) {
                    const double now = redundancyAfter(c, i);
                    value += now < goal ? goal - now : 0;
                    count += now < goal ? 0 : 1;
                }
            }
            // A step must lower the worst Mp by 0.1 µm, or the shortfall of the redundancy
            // numbers by 0.01: less is not worth a measurement.
            const double tolerance = failing.empty() ? smallestShortfallGain : 1e-7;
            if (value < bestValue - tolerance ||
                (value <= bestValue + tolerance && count > bestCount)) {
                best = c;
                bestValue = value;
                bestCount = count;
            }
        }
        if (best < 0) {
            advice.stopReason = "żaden z pozostałych kandydatów nie poprawia planu";
            break;
        }
        // The accepted observation: first the watched observations' r, then the rank-one
        // update of the points' blocks and of every candidate's Z, s and G.
        used[static_cast<size_t>(best)] = true;
        const CandidateObservation& chosen = usable[static_cast<size_t>(best)];
        const CandidateRow accepted = rows[static_cast<size_t>(best)];
        const double d = 1 + s(best);
        for (size_t i = 0; i < r.size(); ++i) {
            r[i] = redundancyAfter(best, i);
        }
        const Eigen::VectorXd zb = z.col(best);
        const Eigen::VectorXd gb = g.col(best);
        Eigen::RowVectorXd az = Eigen::RowVectorXd::Zero(k);
        for (const auto& [index, value] : accepted.row) {
            az += value * z.row(index);
        }
        z.noalias() -= zb * (az / d);
        s -= az.transpose().cwiseProduct(az.transpose()) / d;
        g.noalias() -= gb * (az / d);
        q.update(zb, d);
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
        // A direction grows its set: the rows of the set's other candidates and watched
        // directions are made again with its mean, and their columns of Z and rows of G.
        if (accepted.set >= 0) {
            SetState& set = sets[static_cast<size_t>(accepted.set)];
            set.members.emplace_back(chosen.to, accepted.p);
            for (size_t i = 0; i < watched.size(); ++i) {
                if (watched[i].set == accepted.set) {
                    watched[i].row = maker.member(set, watched[i].target, watched[i].p);
                }
            }
            for (Eigen::Index c = 0; c < k; ++c) {
                if (!used[static_cast<size_t>(c)] && rows[static_cast<size_t>(c)].set == accepted.set) {
                    const CandidateObservation& cand = usable[static_cast<size_t>(c)];
                    rows[static_cast<size_t>(c)] = *rowOf(cand);
                    z.col(c) = q.times(rows[static_cast<size_t>(c)].row, n);
                    s(c) = dot(rows[static_cast<size_t>(c)].row, z, c);
                    for (size_t i = 0; i < watched.size(); ++i) {
                        g(static_cast<Eigen::Index>(i), c) = dot(watched[i].row, z, c);
                    }
                }
            }
            for (size_t i = 0; i < watched.size(); ++i) {
                if (watched[i].set == accepted.set) {
                    fillRow(i);
                }
            }
        }
        // The accepted observation is watched itself when it is weak.
        if (options.minRedundancy && accepted.keep / d < goal) {
            Watched w;
            w.set = accepted.set;
            w.target = chosen.to;
            w.p = accepted.p;
            w.row = w.set >= 0 ? maker.member(sets[static_cast<size_t>(w.set)], w.target, w.p)
                               : accepted.row;
            watched.push_back(std::move(w));
            r.push_back(accepted.keep / d);
            g.conservativeResize(g.rows() + 1, Eigen::NoChange);
            fillRow(watched.size() - 1);
        }
        Proposal proposal;
        proposal.candidate = chosen;
        state(proposal.worstMp, proposal.failing);
        proposal.weakObservations = weakCount();
        advice.proposals.push_back(proposal);
    }
    return advice;
}

} // namespace ptw3
