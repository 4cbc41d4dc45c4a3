// Points by dart throwing (random sequential adsorption): candidate positions from a
// mixture of settlements (normal deviates about their centres) and open country (uniform,
// thinned inside sparse woods), each kept when no point lies within the minimum separation.
// Neighbours come from a bucket grid of one mean spacing, searched ring by ring. Every point
// to be determined that is no station is sighted from three stations at least, and the
// sight lines join all points into one network. Distances are squared sums of exact
// differences and every sort has a total order, so the layout is the same everywhere.
#include "bench/field_layout.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstddef>
#include <numeric>
#include <tuple>

namespace ptw3::bench {
namespace {

constexpr double spacingM = 1000;      // mean spacing: one point per square kilometre
constexpr double aspect = 1.6;         // north extent over east extent
constexpr double minSeparationM = 200; // 1/17 of the saturation density of dart throwing
constexpr double millimetre = 0.001;

constexpr int32_t pointsPerSettlement = 400;
constexpr double settlementShare = 0.2; // of the candidate positions
constexpr double settlementSigmaM[] = {600, 1800};
constexpr int32_t pointsPerSparseArea = 1500;
constexpr double sparseRadiusM[] = {2000, 6000};
constexpr double sparseKeep = 0.25; // share of open-country candidates kept in a sparse area

// Direction sets: 6 + floor(10 u^2) targets for u uniform in [0, 1), mostly small sets,
// chosen among the station's 16 nearest points (sight lines up to about 2.5 local spacings),
// the nearer and the less sighted ones first.
constexpr int32_t candidateCount = 16;
constexpr double stationShare = 0.5;   // of the points, before the ones coverage adds
constexpr int32_t minSightings = 3;    // stations sighting a determined point that is no station
constexpr double sightJitter = 0.5;    // relative random lengthening of a candidate's distance
constexpr double neededBonus = 0.75;   // factor on the distance of a point short of sightings
constexpr double measuredShare = 0.45; // sight lines measured by a distance meter as well

constexpr int32_t pointsPerFixedPoint = 350;
constexpr int32_t minFixedPoints = 3;
constexpr int32_t pointsPerBasePoint = 4000;
constexpr int32_t minBasePoints = 2;
constexpr int32_t pointsPerGpsVector = 100;
constexpr int32_t minGpsVectors = 4;
constexpr double gpsReachShare = 1.0 / 3; // shortest GPS vector, of the east-west extent
constexpr double maxGpsSlope = 0.05;      // |dx| / |dy| of a GPS vector: 2.9 degrees
constexpr double farSlopePenalty = 1e6;   // ranks lines shorter than the reach last
constexpr int32_t maxDraws = 1000;     // draws of a constrained choice before it yields

struct Disc {
    PlanePoint centre;
    double radiusM;
};

double squaredDistance(const PlanePoint& a, const PlanePoint& b) {
    const double dx = b.x - a.x;
    const double dy = b.y - a.y;
    return dx * dx + dy * dy;
}

double roundedToMillimetre(double v) {
    return std::nearbyint(v / millimetre) * millimetre;
}

// ---------------------------------------------------------------------------------------
// Buckets of one mean spacing over the area; a search visits rings of buckets around the
// one of the position until the nearest points found are nearer than any bucket not yet
// visited.

class Buckets {
public:
    Buckets(const PlanePoint& corner, double northM, double eastM,
            const std::vector<PlanePoint>& points)
        : m_corner(corner)
        , m_rows(static_cast<int32_t>(northM / spacingM) + 1)
        , m_cols(static_cast<int32_t>(eastM / spacingM) + 1)
        , m_cells(static_cast<size_t>(m_rows) * static_cast<size_t>(m_cols))
        , m_points(points) {}

    void add(int32_t i) { m_cells[cellOf(m_points[static_cast<size_t>(i)])].push_back(i); }

    /// Whether a point lies nearer than r (at most one spacing) to p.
    bool anyWithin(const PlanePoint& p, double r) const {
        assert(r <= spacingM);
        bool found = false;
        for (int32_t ring = 0; ring <= 1 && !found; ++ring) {
            visitRing(p, ring, [&](int32_t j) {
                found = found || squaredDistance(p, m_points[static_cast<size_t>(j)]) < r * r;
            });
        }
        return found;
    }

    /// The k nearest points to p that `accept` lets through, nearest first (fewer when not
    /// so many are accepted).
    template <class Accept>
    std::vector<int32_t> nearest(const PlanePoint& p, size_t k, Accept accept) const {
        using Found = std::pair<double, int32_t>; // squared distance, point: a total order
        std::vector<Found> found;
        const int32_t lastRing = std::max(m_rows, m_cols);
        for (int32_t ring = 0; ring <= lastRing; ++ring) {
            visitRing(p, ring, [&](int32_t j) {
                if (accept(j)) {
                    found.emplace_back(squaredDistance(p, m_points[static_cast<size_t>(j)]), j);
                }
            });
            // Rings 0 to `ring` hold every point within `ring` spacings of p.
            const double seenM = ring * spacingM;
            if (found.size() >= k) {
                std::nth_element(found.begin(), found.begin() + static_cast<std::ptrdiff_t>(k - 1),
                                 found.end());
                if (found[k - 1].first <= seenM * seenM) {
                    break;
                }
            }
        }
        std::sort(found.begin(), found.end());
        found.resize(std::min(found.size(), k));
        std::vector<int32_t> points;
        for (const Found& f : found) {
            points.push_back(f.second);
        }
        return points;
    }

private:
    int32_t clampedIndex(double offsetM, int32_t count) const {
        return std::clamp(static_cast<int32_t>(std::floor(offsetM / spacingM)), 0, count - 1);
    }
    int32_t rowOf(const PlanePoint& p) const { return clampedIndex(p.x - m_corner.x, m_rows); }
    int32_t colOf(const PlanePoint& p) const { return clampedIndex(p.y - m_corner.y, m_cols); }
    size_t cellOf(const PlanePoint& p) const {
        return static_cast<size_t>(rowOf(p)) * static_cast<size_t>(m_cols) +
               static_cast<size_t>(colOf(p));
    }

    /// Calls visit(j) for every point in the buckets `ring` steps (Chebyshev) from p's.
    template <class Visit> void visitRing(const PlanePoint& p, int32_t ring, Visit visit) const {
        const int32_t row = rowOf(p);
        const int32_t col = colOf(p);
        for (int32_t r = std::max(0, row - ring); r <= std::min(m_rows - 1, row + ring); ++r) {
            const bool edgeRow = std::abs(r - row) == ring;
            const int32_t step = edgeRow ? 1 : std::max(1, 2 * ring);
            for (int32_t c = col - ring; c <= col + ring; c += step) {
                if (c < 0 || c >= m_cols) {
                    continue;
                }
                for (int32_t j : m_cells[static_cast<size_t>(r) * static_cast<size_t>(m_cols) +
                                         static_cast<size_t>(c)]) {
                    visit(j);
                }
            }
        }
    }

    PlanePoint m_corner;
    int32_t m_rows;
    int32_t m_cols;
    std::vector<std::vector<int32_t>> m_cells;
    const std::vector<PlanePoint>& m_points;
};

// ---------------------------------------------------------------------------------------
// The area and its points.

struct Area {
    PlanePoint corner; ///< south-west
    double northM = 0;
    double eastM = 0;

    bool contains(const PlanePoint& p) const {
        return p.x >= corner.x && p.x < corner.x + northM && p.y >= corner.y &&
               p.y < corner.y + eastM;
    }
    PlanePoint uniformPoint(RandomStream& random) const {
        const double x = corner.x + random.uniform(0, northM);
        return {x, corner.y + random.uniform(0, eastM)};
    }
};

double uniformIn(RandomStream& random, const double (&range)[2]) {
    return random.uniform(range[0], range[1]);
}

std::vector<Disc> drawDiscs(const Area& area, int32_t count, const double (&sizeM)[2],
                            RandomStream& random) {
    std::vector<Disc> discs;
    for (int32_t k = 0; k < count; ++k) {
        const PlanePoint centre = area.uniformPoint(random);
        discs.push_back({centre, uniformIn(random, sizeM)});
    }
    return discs;
}

bool insideAny(const std::vector<Disc>& discs, const PlanePoint& p) {
    return std::any_of(discs.begin(), discs.end(), [&p](const Disc& d) {
        return squaredDistance(p, d.centre) < d.radiusM * d.radiusM;
    });
}

void drawPoints(const Area& area, int32_t count, Buckets& buckets,
                std::vector<PlanePoint>& points, RandomStream& random) {
    const std::vector<Disc> settlements =
        drawDiscs(area, std::max(1, count / pointsPerSettlement), settlementSigmaM, random);
    const std::vector<Disc> sparseAreas =
        drawDiscs(area, std::max(1, count / pointsPerSparseArea), sparseRadiusM, random);
    while (static_cast<int32_t>(points.size()) < count) {
        PlanePoint c;
        if (random.uniform() < settlementShare) {
            const Disc& s = settlements[static_cast<size_t>(
                random.below(static_cast<int32_t>(settlements.size())))];
            const double x = s.centre.x + random.normal(s.radiusM);
            c = {x, s.centre.y + random.normal(s.radiusM)};
        } else {
            c = area.uniformPoint(random);
            if (insideAny(sparseAreas, c) && random.uniform() >= sparseKeep) {
                continue;
            }
        }
        c = {roundedToMillimetre(c.x), roundedToMillimetre(c.y)};
        if (area.contains(c) && !buckets.anyWithin(c, minSeparationM)) {
            points.push_back(c);
            buckets.add(static_cast<int32_t>(points.size()) - 1);
        }
    }
}

/// About one point in 350: those nearest to the middles of a lattice over the area.
std::vector<int32_t> chooseFixedPoints(const Area& area, int32_t count, const Buckets& buckets) {
    const int32_t wanted = std::max(minFixedPoints, count / pointsPerFixedPoint);
    const auto rows = std::max<int32_t>(
        1, static_cast<int32_t>(std::lround(std::sqrt(wanted * area.northM / area.eastM))));
    const auto cols = std::max<int32_t>(1, static_cast<int32_t>(std::lround(
                                               static_cast<double>(wanted) / rows)));
    std::vector<int32_t> fixed;
    for (int32_t p = 0; p < rows; ++p) {
        for (int32_t q = 0; q < cols; ++q) {
            const PlanePoint middle{area.corner.x + (p + 0.5) * area.northM / rows,
                                    area.corner.y + (q + 0.5) * area.eastM / cols};
            fixed.push_back(buckets.nearest(middle, 1, [](int32_t) { return true; }).at(0));
        }
    }
    std::sort(fixed.begin(), fixed.end());
    fixed.erase(std::unique(fixed.begin(), fixed.end()), fixed.end());
    return fixed;
}

// ---------------------------------------------------------------------------------------
// Stations and their direction sets.

class SetPlanner {
public:
    SetPlanner(FieldLayout& layout, const std::vector<bool>& isFixed, RandomStream& random)
        : m_layout(layout)
        , m_isFixed(isFixed)
        , m_random(random)
        , m_isStation(layout.points.size(), false)
        , m_sightings(layout.points.size(), 0) {}

    /// A station at roughly every other point, then every determined point that is no
    /// station sighted three times: from stations near it with room in their sets, else
    /// from new stations among its nearest points, else itself made a station.
    void plan() {
        const auto n = static_cast<int32_t>(m_layout.points.size());
        for (int32_t i = 0; i < n; ++i) {
            if (m_random.uniform() < stationShare) {
                makeStation(i, -1);
            }
        }
        for (int32_t p = 0; p < n; ++p) {
            if (m_isStation[idx(p)] || m_isFixed[idx(p)]) {
                continue;
            }
            for (int32_t j : m_layout.nearest[idx(p)]) {
                if (m_sightings[idx(p)] < minSightings && m_isStation[idx(j)] &&
                    hasRoom(j) && !sights(j, p)) {
                    addTarget(j, p);
                }
            }
            for (int32_t j : m_layout.nearest[idx(p)]) {
                if (m_sightings[idx(p)] < minSightings && !m_isStation[idx(j)]) {
                    makeStation(j, p);
                }
            }
            if (m_sightings[idx(p)] < minSightings) {
                makeStation(p, -1);
            }
        }
    }

    bool isStation(int32_t i) const { return m_isStation[idx(i)]; }
    bool hasRoom(int32_t i) const { return m_layout.sets[idx(i)].size() < maxFieldSetSize; }
    bool sights(int32_t station, int32_t target) const {
        const std::vector<int32_t>& set = m_layout.sets[idx(station)];
        return std::find(set.begin(), set.end(), target) != set.end();
    }
    void addTarget(int32_t station, int32_t target) {
        m_layout.sets[idx(station)].push_back(target);
        ++m_sightings[idx(target)];
    }

    /// Gives point i a direction set: `forced` (when not -1) and the candidates of smallest
    /// distance, randomly lengthened, and shortened for points still short of sightings.
    void makeStation(int32_t i, int32_t forced) {
        m_isStation[idx(i)] = true;
        const double u = m_random.uniform();
        const auto wanted = static_cast<size_t>(
            minFieldSetSize +
            static_cast<int32_t>(u * u * (maxFieldSetSize - minFieldSetSize + 1)));
        const PlanePoint& at = m_layout.points[idx(i)];
        std::vector<std::pair<double, int32_t>> ranked;
        for (int32_t j : m_layout.nearest[idx(i)]) {
            const bool needed = !m_isStation[idx(j)] && !m_isFixed[idx(j)] &&
                                m_sightings[idx(j)] < minSightings;
            const double score = std::sqrt(squaredDistance(at, m_layout.points[idx(j)])) *
                                 (1 + sightJitter * m_random.uniform()) *
                                 (needed ? neededBonus : 1);
            ranked.emplace_back(j == forced ? -1 : score, j);
        }
        std::sort(ranked.begin(), ranked.end());
        if (forced >= 0 && (ranked.empty() || ranked.front().second != forced)) {
            ranked.insert(ranked.begin(), {-1, forced});
        }
        for (size_t k = 0; k < std::min(wanted, ranked.size()); ++k) {
            addTarget(i, ranked[k].second);
        }
    }

private:
    static size_t idx(int32_t i) { return static_cast<size_t>(i); }

    FieldLayout& m_layout;
    const std::vector<bool>& m_isFixed;
    RandomStream& m_random;
    std::vector<bool> m_isStation;
    std::vector<int32_t> m_sightings;
};

// The connected parts of the network by its sight lines: per point, the lowest point of
// its part (union-find with path halving).
std::vector<int32_t> parts(const FieldLayout& layout) {
    std::vector<int32_t> parent(layout.points.size());
    std::iota(parent.begin(), parent.end(), 0);
    const auto root = [&parent](int32_t i) {
        while (parent[static_cast<size_t>(i)] != i) {
            i = parent[static_cast<size_t>(i)] =
                parent[static_cast<size_t>(parent[static_cast<size_t>(i)])];
        }
        return i;
    };
    for (size_t i = 0; i < layout.sets.size(); ++i) {
        for (int32_t j : layout.sets[i]) {
            const int32_t a = root(static_cast<int32_t>(i));
            const int32_t b = root(j);
            parent[static_cast<size_t>(std::max(a, b))] = std::min(a, b);
        }
    }
    std::vector<int32_t> part(layout.points.size());
    for (size_t i = 0; i < part.size(); ++i) {
        part[i] = root(static_cast<int32_t>(i));
    }
    return part;
}

/// Joins every part that the sight lines leave apart from the one of point 0 by three sight
/// lines from its points to the nearest points outside it, each to a distinct outside point
/// and from a point with room in its set (or a new station) while there is one.
void joinParts(FieldLayout& layout, SetPlanner& planner, const Buckets& buckets) {
    constexpr size_t linesBetweenParts = 3;
    struct Link {
        bool full; ///< from a station whose set has no room
        double squaredM;
        int32_t from, to;
        bool operator<(const Link& o) const {
            return std::tie(full, squaredM, from, to) < std::tie(o.full, o.squaredM, o.from, o.to);
        }
    };
    for (;;) {
        const std::vector<int32_t> part = parts(layout);
        const auto apart = std::find_if(part.begin(), part.end(), [](int32_t r) { return r != 0; });
        if (apart == part.end()) {
            return;
        }
        const int32_t own = *apart;
        std::vector<Link> links;
        for (size_t i = 0; i < part.size(); ++i) {
            if (part[i] != own) {
                continue;
            }
            const auto p = static_cast<int32_t>(i);
            const PlanePoint& at = layout.points[i];
            const int32_t q = buckets.nearest(at, 1, [&](int32_t j) {
                return part[static_cast<size_t>(j)] != own;
            })[0];
            links.push_back({planner.isStation(p) && !planner.hasRoom(p),
                             squaredDistance(at, layout.points[static_cast<size_t>(q)]), p, q});
        }
        std::sort(links.begin(), links.end());
        std::vector<int32_t> reached;
        for (const Link& link : links) {
            if (reached.size() == linesBetweenParts ||
                std::find(reached.begin(), reached.end(), link.to) != reached.end()) {
                continue;
            }
            if (planner.isStation(link.from)) {
                planner.addTarget(link.from, link.to);
            } else {
                planner.makeStation(link.from, link.to);
            }
            reached.push_back(link.to);
        }
    }
}

std::vector<std::pair<int32_t, int32_t>> sightLinesOf(const FieldLayout& layout) {
    std::vector<std::pair<int32_t, int32_t>> lines;
    for (size_t i = 0; i < layout.sets.size(); ++i) {
        for (int32_t j : layout.sets[i]) {
            lines.push_back(std::minmax(static_cast<int32_t>(i), j));
        }
    }
    std::sort(lines.begin(), lines.end());
    lines.erase(std::unique(lines.begin(), lines.end()), lines.end());
    return lines;
}

/// A determined point that is no station gets its shortest sight line measured when none
/// is: three directions alone may cross at a narrow angle.
void measureOneLineAtEachTarget(FieldLayout& layout, const SetPlanner& planner,
                                const std::vector<bool>& isFixed) {
    constexpr size_t none = static_cast<size_t>(-1);
    std::vector<size_t> shortest(layout.points.size(), none);
    std::vector<bool> hasMeasured(layout.points.size(), false);
    const auto lengthOf = [&layout](size_t k) {
        const auto [i, j] = layout.sightLines[k];
        return squaredDistance(layout.points[static_cast<size_t>(i)],
                               layout.points[static_cast<size_t>(j)]);
    };
    for (size_t k = 0; k < layout.sightLines.size(); ++k) {
        for (const int32_t end : {layout.sightLines[k].first, layout.sightLines[k].second}) {
            const auto e = static_cast<size_t>(end);
            hasMeasured[e] = hasMeasured[e] || layout.measured[k];
            if (shortest[e] == none || lengthOf(k) < lengthOf(shortest[e])) {
                shortest[e] = k;
            }
        }
    }
    for (size_t p = 0; p < layout.points.size(); ++p) {
        if (!hasMeasured[p] && !isFixed[p] && !planner.isStation(static_cast<int32_t>(p)) &&
            shortest[p] != none) {
            layout.measured[shortest[p]] = true;
        }
    }
}

// ---------------------------------------------------------------------------------------
// GPS vectors: from a handful of base points, spread over the area and determined by the
// network, across it to points at least a third of its width away, within 3 degrees of
// east-west. Lines at every angle would join points that the ordering's sweep from the
// north or south reaches far apart, and a few dozen of them put the normal matrix's profile
// beyond its capacity; across the sweep they widen it by a tenth or so.

/// The points a base point's vectors may reach, the most nearly east-west first when fewer
/// than `count` lie within the slope (in a small network).
std::vector<int32_t> farPointsAcross(const FieldLayout& layout, int32_t base, double reachM,
                                     size_t count) {
    const PlanePoint& b = layout.points[static_cast<size_t>(base)];
    std::vector<std::pair<double, int32_t>> slopes; // |dx| / |dy|, point
    for (size_t j = 0; j < layout.points.size(); ++j) {
        const double dx = std::abs(layout.points[j].x - b.x);
        const double dy = std::abs(layout.points[j].y - b.y);
        if (static_cast<int32_t>(j) != base && dy > 0) {
            slopes.emplace_back((dy >= reachM ? 0 : farSlopePenalty) + dx / dy,
                                static_cast<int32_t>(j));
        }
    }
    std::sort(slopes.begin(), slopes.end());
    std::vector<int32_t> points;
    for (const auto& [slope, j] : slopes) {
        if (slope > maxGpsSlope && points.size() >= count) {
            break;
        }
        points.push_back(j);
    }
    return points;
}

std::vector<std::pair<int32_t, int32_t>> drawGpsVectors(const FieldLayout& layout,
                                                        const std::vector<bool>& isFixed,
                                                        double reachM, RandomStream& random) {
    const auto n = static_cast<int32_t>(layout.points.size());
    std::vector<int32_t> bases;
    const int32_t baseCount = std::max(minBasePoints, n / pointsPerBasePoint);
    for (int32_t draws = 0; static_cast<int32_t>(bases.size()) < baseCount; ++draws) {
        const int32_t b = random.below(n);
        const PlanePoint& at = layout.points[static_cast<size_t>(b)];
        const auto apart = [&](int32_t a) {
            return squaredDistance(layout.points[static_cast<size_t>(a)], at) >= reachM * reachM;
        };
        const bool spread = draws > maxDraws || std::all_of(bases.begin(), bases.end(), apart);
        if (!isFixed[static_cast<size_t>(b)] && spread &&
            std::find(bases.begin(), bases.end(), b) == bases.end()) {
            bases.push_back(b);
        }
    }
    const int32_t vectorCount = std::max(minGpsVectors, n / pointsPerGpsVector);
    std::vector<std::pair<int32_t, int32_t>> vectors;
    for (int32_t k = 0; k < baseCount; ++k) {
        const int32_t base = bases[static_cast<size_t>(k)];
        const auto count = static_cast<size_t>(vectorCount / baseCount +
                                               (k < vectorCount % baseCount ? 1 : 0));
        std::vector<int32_t> far = farPointsAcross(layout, base, reachM, count);
        for (size_t v = 0; v < std::min(count, far.size()); ++v) {
            std::swap(far[v], far[v + static_cast<size_t>(random.below(
                                            static_cast<int32_t>(far.size() - v)))]);
            vectors.emplace_back(base, far[v]);
        }
    }
    return vectors;
}

} // namespace

FieldLayout layOutField(int32_t pointCount, double x0, double y0, RandomStream& random) {
    assert(pointCount > minFieldSetSize);
    const double areaM2 = pointCount * spacingM * spacingM;
    const double eastM = std::sqrt(areaM2 / aspect);
    const Area area{{x0, y0}, aspect * eastM, eastM};

    FieldLayout layout;
    Buckets buckets(area.corner, area.northM, area.eastM, layout.points);
    drawPoints(area, pointCount, buckets, layout.points, random);
    for (size_t i = 0; i < layout.points.size(); ++i) {
        layout.nearest.push_back(buckets.nearest(
            layout.points[i], candidateCount,
            [i](int32_t j) { return static_cast<size_t>(j) != i; }));
    }
    layout.fixedPoints = chooseFixedPoints(area, pointCount, buckets);
    std::vector<bool> isFixed(layout.points.size(), false);
    for (int32_t i : layout.fixedPoints) {
        isFixed[static_cast<size_t>(i)] = true;
    }

    layout.sets.resize(layout.points.size());
    SetPlanner planner(layout, isFixed, random);
    planner.plan();
    joinParts(layout, planner, buckets);
    layout.sightLines = sightLinesOf(layout);
    for (size_t k = 0; k < layout.sightLines.size(); ++k) {
        layout.measured.push_back(random.uniform() < measuredShare);
    }
    measureOneLineAtEachTarget(layout, planner, isFixed);
    layout.gpsVectors = drawGpsVectors(layout, isFixed, gpsReachShare * area.eastM, random);
    return layout;
}

} // namespace ptw3::bench
