// Notation: g_j is the gradient of the bearing of direction j with respect to its target's
// coordinates, (−ρ·ΔY/d², ρ·ΔX/d²) in cc/m; the station's gradient is −g_j. The rows of all
// directions are formed first and their quadratic forms computed on all cores.
#include "engine/direction_cofactors.h"

#include "engine/observation_blocks.h"
#include "observations/angle_observations.h"

#include <algorithm>
#include <cmath>
#include <thread>

namespace ptw3 {
namespace {

struct Gradient {
    Real x = 0, y = 0;
};

/// The rows √p_k·(a_k − ā) of the set's directions appended to `terms`, one offset each, and
/// the orientation's part p_k/Σp of each appended to `orientationParts`.
void appendSetRows(const AdjustmentState& s, const DirectionSet& set,
                   std::vector<EquationTerm>& terms, std::vector<size_t>& offsets,
                   std::vector<Real>& orientationParts) {
    const NetworkData& n = s.network;
    const GridPoint station = workingPoint(s, set.station);
    std::vector<Gradient> g;
    std::vector<Real> p;
    Real weightSum = 0;
    for (const Direction& d : set.directions) {
        const LineIncrements line = lineIncrements(station, workingPoint(s, d.target));
        // A nearly coincident pair is carried on with the length the angle block takes.
        const Real d2 = std::max(line.d2, nearlyCoincidentSquaredM2);
        g.push_back({-rhoCc * line.dy / d2, rhoCc * line.dx / d2});
        p.push_back(1 / (d.meanError * d.meanError));
        weightSum += p.back();
    }
    Gradient mean;
    for (size_t j = 0; j < g.size(); ++j) {
        mean.x += p[j] / weightSum * g[j].x;
        mean.y += p[j] / weightSum * g[j].y;
    }
    const PointUnknowns c = unknownsOf(n, set.station);
    for (size_t k = 0; k < g.size(); ++k) {
        const Real root = std::sqrt(p[k]);
        for (size_t j = 0; j < g.size(); ++j) {
            const Real share = (j == k ? 1 : 0) - p[j] / weightSum;
            const PointUnknowns t = unknownsOf(n, set.directions[static_cast<int32_t>(j) + 1].target);
            terms.push_back({t.dx, root * share * g[j].x});
            terms.push_back({t.dy, root * share * g[j].y});
        }
        terms.push_back({c.dx, root * (mean.x - g[k].x)});
        terms.push_back({c.dy, root * (mean.y - g[k].y)});
        offsets.push_back(terms.size());
        orientationParts.push_back(p[k] / weightSum);
    }
}

} // namespace

std::vector<Real> directionCofactorShares(const AdjustmentState& s, Real neglectThreshold) {
    std::vector<EquationTerm> terms;
    std::vector<size_t> offsets{0};
    std::vector<Real> q;
    for (const DirectionSet& set : s.network.directionSets) {
        appendSetRows(s, set, terms, offsets, q);
    }
    const size_t count = q.size();
    const size_t threads =
        std::clamp<size_t>(std::thread::hardware_concurrency(), 1, std::max<size_t>(1, count / 64));
    const auto work = [&](size_t first) {
        for (size_t i = first; i < count; i += threads) {
            const std::span<const EquationTerm> row(terms.data() + offsets[i],
                                                    offsets[i + 1] - offsets[i]);
            q[i] += s.normal.ComputeObservationCofactor(row, neglectThreshold);
        }
    };
    {
        std::vector<std::jthread> pool;
        for (size_t t = 1; t < threads; ++t) {
            pool.emplace_back(work, t);
        }
        work(0);
    }
    return q;
}

} // namespace ptw3
