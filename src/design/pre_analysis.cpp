#include "design/pre_analysis.h"

#include "common/encoding.h"
#include "common/folder_files.h"
#include "common/number_parse.h"
#include "common/text_file.h"
#include "control/reliability.h"
#include "design/design_advisor.h"
#include "engine/report_preamble.h"
#include "observations/angle_observations.h"
#include "observations/azimuth_observations.h"
#include "observations/distance_observations.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <sstream>
#include <unordered_set>

namespace ptw3 {
namespace {

constexpr Real gradsPerRadian = 200 / std::numbers::pi_v<Real>;
constexpr Real ccPerGrad = 10000;

// The plane bearing from one point to another, grads in [0, 400).
Real bearingGrad(const NetworkData& n, int32_t from, int32_t to) {
    const Point& a = n.points[from];
    const Point& b = n.points[to];
    Real t = std::atan2(b.y - a.y, b.x - a.x) * gradsPerRadian;
    if (t < 0) {
        t += 400;
    }
    return t;
}

Real angleGrad(Real fromGrad, Real toGrad) {
    Real t = toGrad - fromGrad;
    if (t < 0) {
        t += 400;
    }
    return t;
}

uint64_t pairKey(int32_t i, int32_t j) {
    return static_cast<uint64_t>(std::min(i, j)) << 32 | static_cast<uint64_t>(std::max(i, j));
}

} // namespace

void computePlannedValues(NetworkData& n, SystemZone system) {
    const ProjectionParameters projection = projectionParameters(system);
    const auto grid = [&](int32_t p) { return GridPoint{n.points[p].x, n.points[p].y}; };
    // The arc-to-chord reduction (cc) of the line from the station to the target.
    const auto chord = [&](int32_t station, int32_t target) {
        return angleReductions(projection, grid(station), grid(target), grid(target)).left;
    };
    // Each value less its reduction to the plane, so that reduced it is the plane's.
    const auto less = [](Real grad, Real cc) {
        Real t = grad - cc / ccPerGrad;
        return t < 0 ? t + 400 : t >= 400 ? t - 400 : t;
    };
    for (int32_t k = 1; k <= n.lka1; ++k) {
        Angle& a = n.angles[k];
        a.value = less(angleGrad(bearingGrad(n, a.station, a.left),
                                 bearingGrad(n, a.station, a.right)),
                       chord(a.station, a.right) - chord(a.station, a.left));
    }
    // The Schreiber angles follow the directions of their sets, as the data input formed them.
    int32_t k = n.lka1;
    for (DirectionSet& set : n.directionSets) {
        for (Direction& d : set.directions) {
            d.value = less(bearingGrad(n, set.station, d.target), chord(set.station, d.target));
        }
        const Table<Direction>& dirs = set.directions;
        for (int32_t i = 1; i < dirs.count(); ++i) {
            for (int32_t j = i + 1; j <= dirs.count(); ++j) {
                n.angles[++k].value = angleGrad(dirs[i].value, dirs[j].value);
            }
        }
    }
    // A length D reduces to D + dD(odwz)(D) + dD(wys)(D), nearly proportional to D: a few
    // substitutions find the D that reduces to the plane's length.
    for (int32_t i = 1; i <= n.distances.count(); ++i) {
        LineObservation& d = n.distances[i];
        const Point& a = n.points[d.from];
        const Point& b = n.points[d.to];
        const Real plane = std::hypot(b.x - a.x, b.y - a.y);
        const bool gps = i > n.ldk; // a GPS length lies on the ellipsoid already
        d.value = plane;
        for (int round = 0; round < 4; ++round) {
            const Real reduction =
                projectionReduction(projection, grid(d.from), grid(d.to), d.value).lengthM +
                (gps ? 0 : heightReduction(a.h, b.h, projection.geoidUndulation, d.value));
            d.value = plane - reduction;
        }
    }
    for (int32_t i = 1; i <= n.azimuths.count(); ++i) {
        LineObservation& a = n.azimuths[i];
        const bool gps = i > n.lazt;
        a.value = less(bearingGrad(n, a.from, a.to),
                       gps ? gpsAzimuthReduction(projection, grid(a.from), grid(a.to)) : 0);
    }
}

std::vector<CandidateObservation> readCandidates(const std::filesystem::path& folder,
                                                 const NetworkData& network,
                                                 std::vector<std::string>& refused) {
    std::vector<CandidateObservation> candidates;
    const std::optional<std::filesystem::path> file = findFileNoCase(folder, "KANDYDACI");
    if (!file) {
        return candidates;
    }
    const std::optional<std::vector<std::string>> lines = readTextLines(*file);
    if (!lines) {
        refused.push_back("nie można odczytać pliku KANDYDACI");
        return candidates;
    }
    const auto pointOf = [&](const std::string& number) {
        for (int32_t p = 1; p <= network.lp(); ++p) {
            if (network.points[p].number == number) {
                return p;
            }
        }
        return 0;
    };
    for (size_t i = 0; i < lines->size(); ++i) {
        const std::string text = utf8FromCp1250((*lines)[i]);
        std::istringstream in(text);
        std::string kind, from, to, value, error;
        in >> kind >> from >> to >> value >> error;
        if (kind.empty()) {
            continue;
        }
        const auto refuse = [&](const std::string& why) {
            refused.push_back("wiersz " + std::to_string(i + 1) + ": " + why);
        };
        CandidateObservation c;
        c.line = static_cast<int32_t>(i + 1);
        if (kind == "D" || kind == "d") {
            c.kind = ListedKind::Distance;
        } else if (kind == "K" || kind == "k") {
            c.kind = ListedKind::Direction;
        } else {
            refuse("nieznany rodzaj obserwacji \"" + kind + "\" (D lub K)");
            continue;
        }
        c.from = pointOf(from);
        c.to = pointOf(to);
        if (c.from == 0 || c.to == 0 || c.from == c.to) {
            refuse("nieznany punkt " + (c.from == 0 ? from : to));
            continue;
        }
        const std::optional<Real> m = parseReal(error);
        if (!m || !(*m > 0) || !std::isfinite(static_cast<double>(*m))) {
            refuse("brak dodatniego błędu średniego");
            continue;
        }
        c.meanError = *m;
        candidates.push_back(c);
    }
    return candidates;
}

std::vector<CandidateObservation> generateCandidates(const NetworkData& network,
                                                     const AdjustmentOutcome& outcome,
                                                     const PlanOptions& options) {
    std::vector<CandidateObservation> candidates;
    if (!options.candidatesWithin) {
        return candidates;
    }
    std::unordered_set<uint64_t> joined;
    for (const LineCofactor& line : outcome.model.lines) {
        joined.insert(pairKey(line.from, line.to));
    }
    std::vector<bool> hasSet(static_cast<size_t>(network.lp()) + 1, false);
    for (const DirectionSet& set : network.directionSets) {
        hasSet[static_cast<size_t>(set.station)] = true;
    }
    const Real within = *options.candidatesWithin;
    // Points sorted by X, so that only a band of them is compared with each.
    std::vector<int32_t> byX;
    for (int32_t p = 1; p <= network.lp(); ++p) {
        byX.push_back(p);
    }
    const auto x = [&](int32_t p) { return outcome.coordinates[p].x; };
    const auto y = [&](int32_t p) { return outcome.coordinates[p].y; };
    std::sort(byX.begin(), byX.end(), [&](int32_t a, int32_t b) { return x(a) < x(b); });
    const int32_t determined = network.determinedCount();
    for (size_t a = 0; a < byX.size(); ++a) {
        for (size_t b = a + 1; b < byX.size() && x(byX[b]) - x(byX[a]) <= within; ++b) {
            const int32_t i = byX[a];
            const int32_t j = byX[b];
            if ((i > determined && j > determined) || joined.contains(pairKey(i, j)) ||
                std::hypot(x(j) - x(i), y(j) - y(i)) > within) {
                continue;
            }
            const int32_t first = std::min(i, j);
            const int32_t second = std::max(i, j);
            if (options.candidateDistances) {
                candidates.push_back(
                    {ListedKind::Distance, first, second, options.candidateDistanceError, {}});
            }
            if (options.candidateDirections) {
                for (const auto& [station, target] : {std::pair{first, second},
                                                      std::pair{second, first}}) {
                    if (hasSet[static_cast<size_t>(station)]) {
                        candidates.push_back({ListedKind::Direction, station, target,
                                              options.candidateDirectionError, {}});
                    }
                }
            }
        }
    }
    return candidates;
}

PreAnalysis analysePlan(const NetworkData& network, const AdjustmentOutcome& outcome,
                        const PlanOptions& options,
                        const std::vector<CandidateObservation>& candidates) {
    PreAnalysis plan;
    Table<Real> mp;
    for (int32_t p = 1; p <= network.lp(); ++p) {
        const PointCofactor& q = outcome.model.points[p];
        PlannedPoint point;
        point.point = p;
        point.mx = std::sqrt(std::fabs(q.qxx));
        point.my = std::sqrt(std::fabs(q.qyy));
        point.mp = std::hypot(point.mx, point.my);
        const ErrorEllipseAxes e = errorEllipse(q.qxx, q.qyy, q.qxy);
        point.a = e.a;
        point.b = e.b;
        point.fi = e.fi;
        point.controlled = network.points[p].linkCount >= fewestLinksForControl;
        mp.append(p <= network.determinedCount() ? point.mp : 0);
        if (p <= network.determinedCount()) {
            plan.points.push_back(point);
        }
    }
    for (size_t i = 0; i < outcome.observations.size(); ++i) {
        const AdjustedObservation& o = outcome.observations[i];
        PlannedObservation planned;
        planned.observation = static_cast<int32_t>(i);
        if (o.share) {
            const ReliabilityFigures f = reliabilityFigures(*o.share, 0, o.meanError, 1);
            planned.r = f.r;
            planned.mdb = f.mdb;
        }
        plan.observations.push_back(planned);
    }
    plan.lines = relativeAccuracy(outcome, 1);
    plan.standard = accuracyStandard(network, mp, options.mpLimit);
    if (options.advise) {
        plan.advice = adviseDesign(network, outcome, options, candidates, plan);
    }
    return plan;
}

} // namespace ptw3
