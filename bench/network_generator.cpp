// The generator lays the true points on a square grid of about 1 km with random offsets (or
// a two-point-wide chain, or two grids joined by one line), fixes about one point in twenty,
// and computes every observation from the true coordinates plus normal noise of the mean
// error that the files state for it; lengths measured on the ground are lengthened by the
// height reduction the program will take off them. A field network takes its points, sight
// lines and GPS vectors from field_layout.h instead. Each file draws from its own random
// stream, so switching one file off leaves the others as they are.
#include "bench/network_generator.h"

#include "bench/field_layout.h"
#include "bench/portable_math.h"
#include "bench/random_stream.h"
#include "common/encoding.h"
#include "common/folder_files.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <map>
#include <stdexcept>
#include <system_error>
#include <utility>

namespace ptw3::bench {
namespace {

// Layout of the true points (m): the grid's south-west corner lies 20 km to 30 km from the
// origin on each axis, so that even 20000 points stay inside 10 km to 200 km.
constexpr double gridSpacingM = 1000;
// Uniform offset on each axis: grid neighbours 0.5 km to 1.5 km apart, diagonal ones 0.7 km to
// 2.1 km.
constexpr double gridJitterM = 250;
constexpr double originM = 20000;
constexpr double originSpreadM = 10000;
constexpr double millimetre = 0.001;

// Reference points: one in twenty points, at least three; one in twenty of them carries an
// a-priori mean error and is written with noise of that size.
constexpr int32_t pointsPerFixedPoint = 20;
constexpr int32_t minFixedPoints = 3;
constexpr int32_t fixedPointsPerWeightedPoint = 20;
constexpr double weightedPointErrorM = 0.02;

constexpr double approximateErrorM = 0.3; // error of the approximate coordinates of XY.prz
constexpr double meanHeightM = 150;       // REDUKCJE
constexpr double heightSpreadM = 50;      // heights uniform in mean +- spread

// The instruments as DALMIERZ and LIMBUS describe them: a distance of D metres has the
// mean error sqrt(a^2 + (0.01 b D)^2) m, a direction 10 cc.
constexpr double distanceMeterA = 0.005;
constexpr double distanceMeterB = 0.001;
constexpr double proportionalTermScale = 0.01; // the 0.01 of the formula
constexpr int32_t angleMeasureGrad = 400;
constexpr double directionErrorCc = 10;
constexpr double ccPerGrad = 10000;

constexpr double orthogonalDirectionErrorCc = 15; // KIERUNKI.ort, stated by its end lines
constexpr int32_t gpsDirectionErrorCc[] = {2, 6}; // KIERUNKI.gps, per direction
constexpr int32_t angleGroupSize[] = {5, 20};     // KATY, angles per group record
constexpr int32_t angleGroupErrorCc[] = {10, 20}; // KATY, per group
constexpr int32_t angleErrorCc[] = {10, 30};      // KATY.b, per angle
constexpr int32_t distanceErrorMm[] = {2, 8};     // DLUGOSCI.b, per distance
constexpr int32_t gpsDistanceErrorMm[] = {3, 6};  // DLUGOSCI.gps, per distance
constexpr int32_t azimuthErrorCc[] = {20, 60};    // AZYMUTY, per azimuth
constexpr int32_t gpsAzimuthErrorCc[] = {3, 8};   // AZYMUTY.gps, per azimuth

// The files written for a few stations only: one record (angle, distance, azimuth or
// direction set) for every so many points, at least two.
struct Sampling {
    FileKind kind;
    int32_t pointsPerRecord;
};
constexpr Sampling samplings[] = {
    {FileKind::PolarDirections, 200}, {FileKind::OrthogonalDirections, 200},
    {FileKind::GpsDirections, 200},   {FileKind::Angles, 20},
    {FileKind::AnglesWithErrors, 50}, {FileKind::DistancesWithErrors, 20},
    {FileKind::GpsDistances, 50},     {FileKind::Azimuths, 100},
    {FileKind::GpsAzimuths, 100},
};
constexpr int32_t minSampledRecords = 2;

constexpr uint64_t layoutStream = 0;

struct ShapeEntry {
    NetworkShape shape;
    std::string_view name;
};
constexpr ShapeEntry shapeNames[] = {
    {NetworkShape::Grid, "grid"},
    {NetworkShape::Chain, "chain"},
    {NetworkShape::TwoClusters, "clusters"},
    {NetworkShape::Field, "field"},
};

constexpr int32_t chainColumns = 2;    // the width of a chain, in points
constexpr double clusterGapM = 5000;   // added east of the split of two clusters

// A field network reaches 1.6 times its width northwards: its corner lies 10 km nearer the
// origin than a grid's, so that 20000 points stay within 10 km to 200 km. The near
// neighbours of a point (for angles and azimuths) are its nearest six, the sets of
// KIERUNKI.mod and KIERUNKI.ort go to its nearest eight, a GPS direction set at a base point
// to up to eight far ends of the base's vectors; a GPS vector's length has a mean error of
// 3 mm to 6 mm plus 1 mm per km (rounded to the mm).
constexpr double fieldCornerShiftM = 10000;
constexpr size_t fieldNearNeighbours = 6;
constexpr size_t fieldSetCandidates = 8;
constexpr size_t fieldGpsSetSize = 8;
constexpr double gpsErrorPerLengthM = 1e-6;

// ---------------------------------------------------------------------------------------
// Grid: point i sits in row i / cols (rows grow northwards) and column i % cols (eastwards);
// the last row may be partly filled.

class Grid {
public:
    Grid(int32_t pointCount, NetworkShape shape)
        : m_count(pointCount)
        , m_cols(shape == NetworkShape::Chain
                     ? chainColumns
                     : static_cast<int32_t>(std::ceil(std::sqrt(static_cast<double>(pointCount)))))
        , m_rows((pointCount + m_cols - 1) / m_cols)
        , m_split(shape == NetworkShape::TwoClusters ? m_cols / 2 : 0) {
        if (m_split > 0) {
            const int32_t middleRow = std::min(m_rows / 2, (m_count - m_split) / m_cols);
            m_bridge = {at(middleRow, m_split - 1), at(middleRow, m_split)};
        }
    }

    int32_t count() const { return m_count; }
    int32_t rows() const { return m_rows; }
    int32_t cols() const { return m_cols; }
    int32_t row(int32_t i) const { return i / m_cols; }
    int32_t col(int32_t i) const { return i % m_cols; }

    /// The point at the row and column, or -1 outside the grid.
    int32_t at(int32_t row, int32_t col) const {
        if (row < 0 || col < 0 || col >= m_cols) {
            return -1;
        }
        const int32_t i = row * m_cols + col;
        return i < m_count ? i : -1;
    }

    /// Two clusters: the first column of the eastern one, else 0.
    int32_t split() const { return m_split; }
    /// Whether an observation may join the two points: always, but between two clusters
    /// only along their one bridge line.
    bool linked(int32_t i, int32_t j) const {
        if (i < 0 || j < 0) {
            return false;
        }
        if (m_split == 0 || (col(i) < m_split) == (col(j) < m_split)) {
            return true;
        }
        return (i == m_bridge.first && j == m_bridge.second) ||
               (i == m_bridge.second && j == m_bridge.first);
    }

    /// The points at Chebyshev distance `radius` from point i that it is linked with, in a
    /// fixed order.
    std::vector<int32_t> ring(int32_t i, int32_t radius) const {
        std::vector<int32_t> points;
        for (int32_t dr = -radius; dr <= radius; ++dr) {
            for (int32_t dc = -radius; dc <= radius; ++dc) {
                if (std::max(std::abs(dr), std::abs(dc)) != radius) {
                    continue;
                }
                if (const int32_t j = at(row(i) + dr, col(i) + dc); linked(i, j)) {
                    points.push_back(j);
                }
            }
        }
        return points;
    }

private:
    int32_t m_count;
    int32_t m_cols;
    int32_t m_rows;
    int32_t m_split;
    std::pair<int32_t, int32_t> m_bridge{-1, -1};
};

struct Network {
    GeneratorOptions options;
    Grid grid; ///< the cells of the grid shapes (for a field, a square grid of its count, unused)
    std::optional<FieldLayout> fieldLayout; ///< a field's sight lines and GPS vectors
    std::vector<TruePoint> points;
    std::vector<double> heights;      ///< m
    std::vector<int32_t> fixedPoints; ///< grid order
    std::vector<bool> isFixed;        ///< per point
    /// Per grid cell, named by its south-west corner: true when the cell's diagonal of
    /// DLUGOSCI runs south-west to north-east, false for south-east to north-west.
    std::vector<bool> risingDiagonal;
};

// ---------------------------------------------------------------------------------------
// Text: tokens separated by one blank, lines ended by CR LF, reals through std::to_chars.

class Text {
public:
    Text& field(std::string_view token) {
        if (!m_lineEmpty) {
            m_text += ' ';
        }
        m_text += token;
        m_lineEmpty = false;
        return *this;
    }
    Text& real(double v, int decimals) {
        std::array<char, 64> buffer{};
        const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), v,
                                          std::chars_format::fixed, decimals);
        return field(std::string_view(buffer.data(), result.ptr));
    }
    /// The shortest form that reads back as v (0.005, 150).
    Text& shortest(double v) {
        std::array<char, 64> buffer{};
        const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), v);
        return field(std::string_view(buffer.data(), result.ptr));
    }
    Text& integer(int64_t v) { return field(std::to_string(v)); }
    /// An angle in grads with 4 decimals (1 cc), brought into [0, 400).
    Text& grad(double angleGrad) {
        constexpr double unitsPerCircle = 400 * ccPerGrad;
        double units = std::nearbyint(normalizedGrad(angleGrad) * ccPerGrad);
        if (units >= unitsPerCircle) {
            units -= unitsPerCircle;
        }
        return real(units / ccPerGrad, 4);
    }
    Text& endLine() {
        m_text += "\r\n";
        m_lineEmpty = true;
        return *this;
    }
    std::string take() { return std::move(m_text); }

private:
    std::string m_text;
    bool m_lineEmpty = true;
};

// ---------------------------------------------------------------------------------------
// Geometry and sampling helpers.

double roundedToMillimetre(double v) {
    return std::nearbyint(v / millimetre) * millimetre;
}

double distanceM(const TruePoint& from, const TruePoint& to) {
    const double dx = to.x - from.x;
    const double dy = to.y - from.y;
    return std::sqrt(dx * dx + dy * dy);
}

double bearingBetween(const TruePoint& from, const TruePoint& to) {
    return bearingGrad(to.x - from.x, to.y - from.y);
}

double distanceMeterErrorM(double lengthM) {
    const double proportional = proportionalTermScale * distanceMeterB * lengthM;
    return std::sqrt(distanceMeterA * distanceMeterA + proportional * proportional);
}

double gradFromCc(double cc) {
    return cc / ccPerGrad;
}

int32_t uniformInteger(RandomStream& random, const int32_t (&range)[2]) {
    return range[0] + random.below(range[1] - range[0] + 1);
}

template <class T> void shuffle(std::vector<T>& items, RandomStream& random) {
    for (size_t i = items.size(); i > 1; --i) {
        std::swap(items[i - 1], items[static_cast<size_t>(random.below(static_cast<int32_t>(i)))]);
    }
}

int32_t pointCount(const Network& network) {
    return static_cast<int32_t>(network.points.size());
}

int32_t sampledRecords(const Network& network, FileKind kind) {
    const auto* sampling = std::find_if(std::begin(samplings), std::end(samplings),
                                        [kind](const Sampling& s) { return s.kind == kind; });
    assert(sampling != std::end(samplings));
    return std::max(minSampledRecords, pointCount(network) / sampling->pointsPerRecord);
}

/// `count` distinct entries of the candidates (all when fewer), in grid order.
std::vector<int32_t> sample(std::vector<int32_t> candidates, int32_t count, RandomStream& random) {
    const size_t n = std::min(candidates.size(), static_cast<size_t>(count));
    for (size_t i = 0; i < n; ++i) {
        const auto j =
            i + static_cast<size_t>(random.below(static_cast<int32_t>(candidates.size() - i)));
        std::swap(candidates[i], candidates[j]);
    }
    candidates.resize(n);
    std::sort(candidates.begin(), candidates.end());
    return candidates;
}

std::vector<int32_t> allPoints(const Network& network) {
    std::vector<int32_t> points(static_cast<size_t>(pointCount(network)));
    for (int32_t i = 0; i < pointCount(network); ++i) {
        points[static_cast<size_t>(i)] = i;
    }
    return points;
}

std::vector<int32_t> sampledStations(const Network& network, FileKind kind, RandomStream& random) {
    return sample(allPoints(network), sampledRecords(network, kind), random);
}

/// The first `count` of a field point's nearest points (all when fewer), in index order.
std::vector<int32_t> nearestOf(const Network& network, int32_t i, size_t count) {
    const std::vector<int32_t>& nearest = network.fieldLayout->nearest[static_cast<size_t>(i)];
    std::vector<int32_t> points(nearest.begin(),
                                nearest.begin() + static_cast<std::ptrdiff_t>(
                                                      std::min(count, nearest.size())));
    std::sort(points.begin(), points.end());
    return points;
}

/// The neighbours of a station that angles and azimuths are observed to.
std::vector<int32_t> nearNeighbours(const Network& network, int32_t station) {
    return network.fieldLayout ? nearestOf(network, station, fieldNearNeighbours)
                               : network.grid.ring(station, 1);
}

/// The targets sorted clockwise as a direction set observes them.
std::vector<int32_t> clockwise(const Network& network, int32_t station,
                               std::vector<int32_t> targets) {
    const TruePoint& at = network.points[static_cast<size_t>(station)];
    std::vector<std::pair<double, int32_t>> byBearing;
    for (int32_t t : targets) {
        byBearing.emplace_back(bearingBetween(at, network.points[static_cast<size_t>(t)]), t);
    }
    std::sort(byBearing.begin(), byBearing.end());
    for (size_t k = 0; k < targets.size(); ++k) {
        targets[k] = byBearing[k].second;
    }
    return targets;
}

/// The targets of a direction set at the station: its grid neighbours in random order, the
/// ring beyond them when the grid edge leaves too few (in a field, its nearest points in
/// random order), sorted clockwise as they are observed.
std::vector<int32_t> directionTargets(const Network& network, int32_t station, int32_t count,
                                      RandomStream& random) {
    std::vector<int32_t> targets = network.fieldLayout
                                       ? nearestOf(network, station, fieldSetCandidates)
                                       : network.grid.ring(station, 1);
    shuffle(targets, random);
    if (static_cast<int32_t>(targets.size()) < count && !network.fieldLayout) {
        std::vector<int32_t> outer = network.grid.ring(station, 2);
        shuffle(outer, random);
        targets.insert(targets.end(), outer.begin(), outer.end());
    }
    targets.resize(std::min(targets.size(), static_cast<size_t>(count)));
    return clockwise(network, station, std::move(targets));
}

/// A random point of the ring around the station, or of the nearest ring when the grid is
/// too small for that one; in a field, a random near neighbour.
int32_t randomNeighbour(const Network& network, int32_t station, int32_t radius,
                        RandomStream& random) {
    std::vector<int32_t> ring =
        network.fieldLayout ? nearNeighbours(network, station) : network.grid.ring(station, radius);
    if (ring.empty()) {
        ring = network.grid.ring(station, 1);
    }
    return ring[static_cast<size_t>(random.below(static_cast<int32_t>(ring.size())))];
}

const TruePoint& point(const Network& network, int32_t i) {
    return network.points[static_cast<size_t>(i)];
}

/// The height the program will give the point: its own from H.prz, else the mean height of
/// REDUKCJE, else none.
double heightOf(const Network& network, int32_t i) {
    if (network.options.writes(FileKind::Heights)) {
        return network.heights[static_cast<size_t>(i)];
    }
    return network.options.writes(FileKind::Reductions) ? meanHeightM : 0;
}

/// The length between two points as a distance meter on the ground measures it.
double groundDistanceM(const Network& network, int32_t i, int32_t j) {
    return groundLengthM(distanceM(point(network, i), point(network, j)), heightOf(network, i),
                         heightOf(network, j));
}

// ---------------------------------------------------------------------------------------
// Layout.

std::string pointNumber(int32_t i) {
    // A mix of the numbering styles of real networks, one of them the full 16 characters.
    constexpr int32_t cadastralBase = 100000;
    const int32_t serial = i + 1;
    switch (serial % 4) {
    case 0:
        return "P" + std::to_string(serial);
    case 1:
        return std::to_string(serial);
    case 2:
        return std::to_string(cadastralBase + serial);
    default: {
        std::string digits = std::to_string(serial);
        return "POLIGON-" + std::string(8 - digits.size(), '0') + digits;
    }
    }
}

/// About one point in twenty (the whole of a coarse lattice spread over the grid, so a few
/// more rather than a gap at the north edge).
std::vector<int32_t> chooseFixedPoints(const Grid& grid) {
    const int32_t wanted = std::max(minFixedPoints, grid.count() / pointsPerFixedPoint);
    const double aspect = static_cast<double>(grid.rows()) / grid.cols();
    const int32_t latticeRows =
        std::clamp(static_cast<int32_t>(std::lround(std::sqrt(wanted * aspect))), 1, grid.rows());
    const int32_t latticeCols =
        std::clamp((wanted + latticeRows - 1) / latticeRows, 1, grid.cols());
    std::vector<int32_t> fixed;
    for (int32_t p = 0; p < latticeRows; ++p) {
        for (int32_t q = 0; q < latticeCols; ++q) {
            // The middle of each lattice cell; in the short last row, the point below it.
            const int32_t row = (2 * p + 1) * grid.rows() / (2 * latticeRows);
            const int32_t col = (2 * q + 1) * grid.cols() / (2 * latticeCols);
            fixed.push_back(grid.at(row, col) >= 0 ? grid.at(row, col) : grid.at(row - 1, col));
        }
    }
    std::sort(fixed.begin(), fixed.end());
    fixed.erase(std::unique(fixed.begin(), fixed.end()), fixed.end());
    return fixed;
}

void checkOptions(const GeneratorOptions& options) {
    if (options.pointCount < minGeneratedPoints || options.pointCount > maxGeneratedPoints) {
        throw std::invalid_argument("the point count must be 10 to 20000");
    }
    if (options.directionsPerSet < minDirectionsPerSet ||
        options.directionsPerSet > maxDirectionsPerSet) {
        throw std::invalid_argument("the directions per set must be 2 to 8");
    }
}

double drawnHeightM(RandomStream& random) {
    return std::nearbyint(
               random.uniform(meanHeightM - heightSpreadM, meanHeightM + heightSpreadM) * 100) /
           100;
}

void markFixedPoints(Network& network) {
    network.isFixed.assign(network.points.size(), false);
    for (int32_t i : network.fixedPoints) {
        network.isFixed[static_cast<size_t>(i)] = true;
    }
}

Network layOut(const GeneratorOptions& options) {
    checkOptions(options);
    Network network{options, Grid(options.pointCount, options.shape), {}, {}, {}, {}, {}, {}};
    RandomStream random(options.seed, layoutStream);
    const double originX = originM + std::nearbyint(random.uniform(0, originSpreadM));
    const double originY = originM + std::nearbyint(random.uniform(0, originSpreadM));
    if (options.shape == NetworkShape::Field) {
        network.fieldLayout = layOutField(options.pointCount, originX - fieldCornerShiftM,
                                          originY - fieldCornerShiftM, random);
        for (size_t i = 0; i < network.fieldLayout->points.size(); ++i) {
            const PlanePoint& p = network.fieldLayout->points[i];
            network.points.push_back({pointNumber(static_cast<int32_t>(i)), p.x, p.y});
            network.heights.push_back(drawnHeightM(random));
        }
        network.fixedPoints = network.fieldLayout->fixedPoints;
        markFixedPoints(network);
        return network;
    }
    const Grid& grid = network.grid;
    for (int32_t i = 0; i < grid.count(); ++i) {
        const double x =
            originX + grid.row(i) * gridSpacingM + random.uniform(-gridJitterM, gridJitterM);
        const double gap = grid.split() > 0 && grid.col(i) >= grid.split() ? clusterGapM : 0;
        const double y = originY + gap + grid.col(i) * gridSpacingM +
                         random.uniform(-gridJitterM, gridJitterM);
        network.points.push_back({pointNumber(i), roundedToMillimetre(x), roundedToMillimetre(y)});
        network.heights.push_back(drawnHeightM(random));
        network.risingDiagonal.push_back(random.uniform() < 0.5);
    }
    if (options.shape == NetworkShape::Chain) {
        network.fixedPoints = {0, 1}; // the first rung: the rest hangs from it
    } else {
        network.fixedPoints = chooseFixedPoints(grid);
    }
    markFixedPoints(network);
    return network;
}

// ---------------------------------------------------------------------------------------
// Parameter and title files.

std::string writeTitle(const Network& network, RandomStream&) {
    const std::string points = std::to_string(pointCount(network));
    const std::string seed = std::to_string(network.options.seed);
    Text text;
    for (const std::string& line : {
             std::string("Wykonawca: Pracownia Pomiarów Syntetycznych"),
             "Obiekt: sieć pozioma, " + points + " punktów, ziarno " + seed,
             "Indeks: SYNT-" + points + "-" + seed,
             std::string("-"),
             std::string("Kierunki, kąty, długości i azymuty wyliczone z położeń prawdziwych "
                         "z szumem losowym"),
         }) {
        text.field(cp1250FromUtf8(line)).endLine();
    }
    return text.take();
}

std::string writeSystemZone(const Network&, RandomStream&) {
    constexpr int localSystem = 0;
    constexpr int noZone = 0;
    return Text().integer(localSystem).endLine().integer(noZone).endLine().take();
}

std::string writeDistanceMeter(const Network&, RandomStream&) {
    return Text().shortest(distanceMeterA).shortest(distanceMeterB).endLine().take();
}

std::string writeLimbus(const Network&, RandomStream&) {
    return Text().integer(angleMeasureGrad).shortest(directionErrorCc).endLine().take();
}

std::string writeReductions(const Network&, RandomStream&) {
    constexpr int reductionFirst = 0;
    return Text().integer(reductionFirst).shortest(meanHeightM).endLine().take();
}

// ---------------------------------------------------------------------------------------
// Point files.

std::string writeReferencePoints(const Network& network, RandomStream& random) {
    // The weighted points form the first group, closed by its group record; the error-free
    // points follow without a closing record.
    Text text;
    std::vector<int32_t> errorFree;
    for (size_t k = 0; k < network.fixedPoints.size(); ++k) {
        const TruePoint& p = point(network, network.fixedPoints[k]);
        if (k % fixedPointsPerWeightedPoint != 0) {
            errorFree.push_back(network.fixedPoints[k]);
            continue;
        }
        text.field(p.number)
            .real(p.x + random.normal(weightedPointErrorM), 3)
            .real(p.y + random.normal(weightedPointErrorM), 3)
            .endLine();
    }
    text.integer(0).shortest(weightedPointErrorM).shortest(weightedPointErrorM).endLine();
    for (int32_t i : errorFree) {
        const TruePoint& p = point(network, i);
        text.field(p.number).real(p.x, 3).real(p.y, 3).endLine();
    }
    return text.take();
}

std::string writeApproximatePoints(const Network& network, RandomStream& random) {
    // In random order, as a register of points numbered by no plan would have them.
    std::vector<int32_t> order;
    for (int32_t i = 0; i < pointCount(network); ++i) {
        if (!network.isFixed[static_cast<size_t>(i)]) {
            order.push_back(i);
        }
    }
    shuffle(order, random);
    Text text;
    for (int32_t i : order) {
        const TruePoint& p = point(network, i);
        text.field(p.number)
            .real(p.x + random.normal(approximateErrorM), 2)
            .real(p.y + random.normal(approximateErrorM), 2)
            .endLine();
    }
    return text.integer(0).integer(0).integer(0).endLine().take();
}

std::string writeHeights(const Network& network, RandomStream&) {
    Text text;
    for (int32_t i = 0; i < pointCount(network); ++i) {
        text.field(point(network, i).number)
            .real(network.heights[static_cast<size_t>(i)], 2)
            .endLine();
    }
    return text.take();
}

// ---------------------------------------------------------------------------------------
// Direction files: a station line "station code", direction lines "target reading [third]"
// with readings in grads from an orientation drawn per set, and an end line "0 [m]".

enum class ThirdColumn { None, Distance, MeanErrorCc };

struct DirectionSetStyle {
    std::string_view code;
    ThirdColumn third;
};

/// A set to the targets that chooseTargets() gives (clockwise), called after the set's
/// orientation is drawn.
template <class ChooseTargets>
void writeDirectionSet(Text& text, const Network& network, int32_t station,
                       const DirectionSetStyle& style, double setErrorCc,
                       std::string_view endLineError, RandomStream& random,
                       ChooseTargets chooseTargets) {
    const TruePoint& at = point(network, station);
    const double orientationGrad = random.uniform(0, 400);
    text.field(at.number).field(style.code).endLine();
    for (int32_t t : chooseTargets()) {
        const TruePoint& target = point(network, t);
        const double errorCc = style.third == ThirdColumn::MeanErrorCc
                                   ? uniformInteger(random, gpsDirectionErrorCc)
                                   : setErrorCc;
        const double readingGrad =
            bearingBetween(at, target) - orientationGrad + gradFromCc(random.normal(errorCc));
        text.field(target.number).grad(readingGrad);
        if (style.third == ThirdColumn::Distance) {
            const double lengthM = groundDistanceM(network, station, t);
            text.real(lengthM + random.normal(distanceMeterErrorM(lengthM)), 3);
        } else if (style.third == ThirdColumn::MeanErrorCc) {
            text.shortest(errorCc);
        }
        text.endLine();
    }
    text.integer(0);
    if (!endLineError.empty()) {
        text.field(endLineError);
    }
    text.endLine();
}

/// A set of the grid's size to random neighbours of the station.
void writeNeighbourSet(Text& text, const Network& network, int32_t station,
                       const DirectionSetStyle& style, double setErrorCc,
                       std::string_view endLineError, RandomStream& random) {
    writeDirectionSet(text, network, station, style, setErrorCc, endLineError, random, [&] {
        return directionTargets(network, station, network.options.directionsPerSet, random);
    });
}

std::string writeDirections(const Network& network, RandomStream& random) {
    // One set at every point (in a field, at every station); half of them state the LIMBUS
    // mean error on their end line.
    constexpr DirectionSetStyle plain{"1", ThirdColumn::None};
    Text text;
    for (int32_t i = 0; i < pointCount(network); ++i) {
        if (network.fieldLayout && network.fieldLayout->sets[static_cast<size_t>(i)].empty()) {
            continue;
        }
        const bool stateError = random.uniform() < 0.5;
        const std::string_view endLineError = stateError ? "0.0010" : "";
        if (network.fieldLayout) {
            writeDirectionSet(text, network, i, plain, directionErrorCc, endLineError, random, [&] {
                return clockwise(network, i, network.fieldLayout->sets[static_cast<size_t>(i)]);
            });
        } else {
            writeNeighbourSet(text, network, i, plain, directionErrorCc, endLineError, random);
        }
    }
    return text.take();
}

std::string writePolarDirections(const Network& network, RandomStream& random) {
    constexpr DirectionSetStyle withDistances{"2", ThirdColumn::Distance};
    Text text;
    for (int32_t i : sampledStations(network, FileKind::PolarDirections, random)) {
        writeNeighbourSet(text, network, i, withDistances, directionErrorCc, "", random);
    }
    return text.take();
}

std::string writeOrthogonalDirections(const Network& network, RandomStream& random) {
    constexpr DirectionSetStyle plain{"1", ThirdColumn::None};
    Text endError;
    endError.real(gradFromCc(orthogonalDirectionErrorCc), 4);
    const std::string endLineError = endError.take();
    Text text;
    for (int32_t i : sampledStations(network, FileKind::OrthogonalDirections, random)) {
        writeNeighbourSet(text, network, i, plain, orthogonalDirectionErrorCc, endLineError,
                          random);
    }
    return text.take();
}

std::string writeGpsDirections(const Network& network, RandomStream& random) {
    constexpr DirectionSetStyle ownErrors{"11", ThirdColumn::MeanErrorCc};
    Text text;
    if (network.fieldLayout) {
        // One set at each base point, to far ends of its vectors.
        std::map<int32_t, std::vector<int32_t>> farEnds; // by base point
        for (const auto& [base, far] : network.fieldLayout->gpsVectors) {
            farEnds[base].push_back(far);
        }
        for (const auto& [base, ends] : farEnds) {
            writeDirectionSet(text, network, base, ownErrors, directionErrorCc, "", random, [&] {
                return clockwise(network, base,
                                 sample(ends, static_cast<int32_t>(fieldGpsSetSize), random));
            });
        }
        return text.take();
    }
    for (int32_t i : sampledStations(network, FileKind::GpsDirections, random)) {
        writeNeighbourSet(text, network, i, ownErrors, directionErrorCc, "", random);
    }
    return text.take();
}

// ---------------------------------------------------------------------------------------
// Angle files: "left station right value [meanError]", the angle clockwise from left to
// right between two neighbours of the station.

struct AngleAt {
    int32_t left, station, right;
    double valueGrad; ///< true value
};

AngleAt angleAt(const Network& network, int32_t station, RandomStream& random) {
    const std::vector<int32_t> targets = sample(nearNeighbours(network, station), 2, random);
    const bool swap = random.uniform() < 0.5;
    const int32_t left = targets[swap ? 1 : 0];
    const int32_t right = targets[swap ? 0 : 1];
    const TruePoint& at = point(network, station);
    return {left, station, right,
            bearingBetween(at, point(network, right)) - bearingBetween(at, point(network, left))};
}

std::string writeAngles(const Network& network, RandomStream& random) {
    // Groups of 5 to 20 angles, each closed by "0 0 0 m" with m in grads.
    Text text;
    const std::vector<int32_t> stations = sampledStations(network, FileKind::Angles, random);
    size_t k = 0;
    while (k < stations.size()) {
        const auto groupSize = static_cast<size_t>(uniformInteger(random, angleGroupSize));
        const double errorCc = uniformInteger(random, angleGroupErrorCc);
        for (size_t end = std::min(stations.size(), k + groupSize); k < end; ++k) {
            const AngleAt a = angleAt(network, stations[k], random);
            text.field(point(network, a.left).number)
                .field(point(network, a.station).number)
                .field(point(network, a.right).number)
                .grad(a.valueGrad + gradFromCc(random.normal(errorCc)))
                .endLine();
        }
        text.integer(0).integer(0).integer(0).real(gradFromCc(errorCc), 4).endLine();
    }
    return text.take();
}

std::string writeAnglesWithErrors(const Network& network, RandomStream& random) {
    Text text;
    for (int32_t station : sampledStations(network, FileKind::AnglesWithErrors, random)) {
        const AngleAt a = angleAt(network, station, random);
        const int32_t errorCc = uniformInteger(random, angleErrorCc);
        text.field(point(network, a.left).number)
            .field(point(network, a.station).number)
            .field(point(network, a.right).number)
            .grad(a.valueGrad + gradFromCc(random.normal(errorCc)))
            .integer(errorCc)
            .endLine();
    }
    return text.take();
}

// ---------------------------------------------------------------------------------------
// Distance files: "from to length [meanError]" in metres.

/// A line of a distance file: the true length (m) with noise of the mean error.
void writeDistance(Text& text, const Network& network, int32_t from, int32_t to, double lengthM,
                   double errorM, bool writeError, RandomStream& random) {
    text.field(point(network, from).number)
        .field(point(network, to).number)
        .real(lengthM + random.normal(errorM), 3);
    if (writeError) {
        text.real(errorM, 3);
    }
    text.endLine();
}

/// The diagonal of the cell whose south-west corner is i, or (-1, -1) outside the grid.
std::pair<int32_t, int32_t> cellDiagonal(const Grid& grid, int32_t i, bool rising) {
    const int32_t r = grid.row(i);
    const int32_t c = grid.col(i);
    return rising ? std::pair(grid.at(r, c), grid.at(r + 1, c + 1))
                  : std::pair(grid.at(r, c + 1), grid.at(r + 1, c));
}

/// A field's sight lines, measured by the distance meter or not.
std::vector<std::pair<int32_t, int32_t>> sightLines(const FieldLayout& field, bool measured) {
    std::vector<std::pair<int32_t, int32_t>> lines;
    for (size_t k = 0; k < field.sightLines.size(); ++k) {
        if (field.measured[k] == measured) {
            lines.push_back(field.sightLines[k]);
        }
    }
    return lines;
}

std::string writeDistances(const Network& network, RandomStream& random) {
    Text text;
    if (network.fieldLayout) {
        for (const auto& [from, to] : sightLines(*network.fieldLayout, true)) {
            const double lengthM = groundDistanceM(network, from, to);
            writeDistance(text, network, from, to, lengthM, distanceMeterErrorM(lengthM), false,
                          random);
        }
        return text.take();
    }
    // Three lines a point: to the east and north neighbours and one diagonal of the cell.
    const Grid& grid = network.grid;
    for (int32_t i = 0; i < grid.count(); ++i) {
        const std::pair<int32_t, int32_t> diagonal =
            cellDiagonal(grid, i, network.risingDiagonal[static_cast<size_t>(i)]);
        const int32_t ends[][2] = {{i, grid.at(grid.row(i), grid.col(i) + 1)},
                                   {i, grid.at(grid.row(i) + 1, grid.col(i))},
                                   {diagonal.first, diagonal.second}};
        for (const auto& end : ends) {
            if (grid.linked(end[0], end[1])) {
                const double lengthM = groundDistanceM(network, end[0], end[1]);
                writeDistance(text, network, end[0], end[1], lengthM, distanceMeterErrorM(lengthM),
                              false, random);
            }
        }
    }
    return text.take();
}

std::string writeDistancesWithErrors(const Network& network, RandomStream& random) {
    if (network.fieldLayout) {
        // Sight lines that DLUGOSCI leaves out.
        const std::vector<std::pair<int32_t, int32_t>> lines =
            sightLines(*network.fieldLayout, false);
        std::vector<int32_t> indices(lines.size());
        for (size_t k = 0; k < lines.size(); ++k) {
            indices[k] = static_cast<int32_t>(k);
        }
        Text text;
        for (int32_t k :
             sample(indices, sampledRecords(network, FileKind::DistancesWithErrors), random)) {
            const auto [from, to] = lines[static_cast<size_t>(k)];
            const double errorM = uniformInteger(random, distanceErrorMm) * millimetre;
            writeDistance(text, network, from, to, groundDistanceM(network, from, to), errorM,
                          true, random);
        }
        return text.take();
    }
    // The other diagonal of some cells, so that no line of DLUGOSCI is measured again.
    const Grid& grid = network.grid;
    std::vector<int32_t> cells;
    for (int32_t i = 0; i < grid.count(); ++i) {
        const auto d = cellDiagonal(grid, i, !network.risingDiagonal[static_cast<size_t>(i)]);
        if (grid.linked(d.first, d.second)) {
            cells.push_back(i);
        }
    }
    Text text;
    for (int32_t i :
         sample(cells, sampledRecords(network, FileKind::DistancesWithErrors), random)) {
        const auto d = cellDiagonal(grid, i, !network.risingDiagonal[static_cast<size_t>(i)]);
        const double errorM = uniformInteger(random, distanceErrorMm) * millimetre;
        writeDistance(text, network, d.first, d.second, groundDistanceM(network, d.first, d.second),
                      errorM, true, random);
    }
    return text.take();
}

std::string writeGpsDistances(const Network& network, RandomStream& random) {
    if (network.fieldLayout) {
        // Every GPS vector, with a mean error growing with its length.
        Text text;
        for (const auto& [base, far] : network.fieldLayout->gpsVectors) {
            const double lengthM = distanceM(point(network, base), point(network, far));
            const double errorM = roundedToMillimetre(
                uniformInteger(random, gpsDistanceErrorMm) * millimetre +
                gpsErrorPerLengthM * lengthM);
            writeDistance(text, network, base, far, lengthM, errorM, true, random);
        }
        return text.take();
    }
    // Lines over two grid steps, east or north, from stations that have such a partner.
    const Grid& grid = network.grid;
    const auto linkedOrNone = [&grid](int32_t i, int32_t j) { return grid.linked(i, j) ? j : -1; };
    const auto twoStepsEast = [&](int32_t i) {
        return linkedOrNone(i, grid.at(grid.row(i), grid.col(i) + 2));
    };
    const auto twoStepsNorth = [&](int32_t i) {
        return linkedOrNone(i, grid.at(grid.row(i) + 2, grid.col(i)));
    };
    std::vector<int32_t> stations;
    for (int32_t i = 0; i < grid.count(); ++i) {
        if (twoStepsEast(i) >= 0 || twoStepsNorth(i) >= 0) {
            stations.push_back(i);
        }
    }
    Text text;
    for (int32_t i : sample(stations, sampledRecords(network, FileKind::GpsDistances), random)) {
        const bool preferEast = random.uniform() < 0.5;
        const int32_t to = (preferEast && twoStepsEast(i) >= 0) || twoStepsNorth(i) < 0
                               ? twoStepsEast(i)
                               : twoStepsNorth(i);
        const double errorM = uniformInteger(random, gpsDistanceErrorMm) * millimetre;
        writeDistance(text, network, i, to, distanceM(point(network, i), point(network, to)),
                      errorM, true, random);
    }
    return text.take();
}

// ---------------------------------------------------------------------------------------
// Azimuth files: "from to azimuth meanError" in grads and cc.

void writeAzimuth(Text& text, const Network& network, int32_t from, int32_t to,
                  const int32_t (&errorRangeCc)[2], RandomStream& random) {
    const int32_t errorCc = uniformInteger(random, errorRangeCc);
    const TruePoint& a = point(network, from);
    const TruePoint& b = point(network, to);
    text.field(a.number)
        .field(b.number)
        .grad(bearingBetween(a, b) + gradFromCc(random.normal(errorCc)))
        .integer(errorCc)
        .endLine();
}

std::string writeAzimuthFile(const Network& network, FileKind kind, int32_t radius,
                             const int32_t (&errorRangeCc)[2], RandomStream& random) {
    Text text;
    if (kind == FileKind::GpsAzimuths && network.fieldLayout) {
        // Every GPS vector.
        for (const auto& [base, far] : network.fieldLayout->gpsVectors) {
            writeAzimuth(text, network, base, far, errorRangeCc, random);
        }
        return text.take();
    }
    for (int32_t from : sampledStations(network, kind, random)) {
        const int32_t to = randomNeighbour(network, from, radius, random);
        writeAzimuth(text, network, from, to, errorRangeCc, random);
    }
    return text.take();
}

std::string writeAzimuths(const Network& network, RandomStream& random) {
    return writeAzimuthFile(network, FileKind::Azimuths, 1, azimuthErrorCc, random);
}

std::string writeGpsAzimuths(const Network& network, RandomStream& random) {
    return writeAzimuthFile(network, FileKind::GpsAzimuths, 2, gpsAzimuthErrorCc, random);
}

// ---------------------------------------------------------------------------------------
// The files, in the order of FileKind.

using Writer = std::string (*)(const Network&, RandomStream&);

struct FileEntry {
    FileKind kind;
    std::string_view name;
    Writer write;
};

// clang-format off
constexpr FileEntry fileEntries[] = {
    {FileKind::Title,                "tytul",        writeTitle},
    {FileKind::SystemZone,           "uklad",        writeSystemZone},
    {FileKind::DistanceMeter,        "DALMIERZ",     writeDistanceMeter},
    {FileKind::Limbus,               "LIMBUS",       writeLimbus},
    {FileKind::Reductions,           "REDUKCJE",     writeReductions},
    {FileKind::ReferencePoints,      "XY.sta",       writeReferencePoints},
    {FileKind::ApproximatePoints,    "XY.prz",       writeApproximatePoints},
    {FileKind::Heights,              "H.prz",        writeHeights},
    {FileKind::Directions,           "KIERUNKI",     writeDirections},
    {FileKind::PolarDirections,      "KIERUNKI.mod", writePolarDirections},
    {FileKind::OrthogonalDirections, "KIERUNKI.ort", writeOrthogonalDirections},
    {FileKind::GpsDirections,        "KIERUNKI.gps", writeGpsDirections},
    {FileKind::Angles,               "KATY",         writeAngles},
    {FileKind::AnglesWithErrors,     "KATY.b",       writeAnglesWithErrors},
    {FileKind::Distances,            "DLUGOSCI",     writeDistances},
    {FileKind::DistancesWithErrors,  "DLUGOSCI.b",   writeDistancesWithErrors},
    {FileKind::GpsDistances,         "DLUGOSCI.gps", writeGpsDistances},
    {FileKind::Azimuths,             "AZYMUTY",      writeAzimuths},
    {FileKind::GpsAzimuths,          "AZYMUTY.gps",  writeGpsAzimuths},
};
// clang-format on

constexpr bool entriesInKindOrder() {
    int index = 0;
    for (const FileEntry& entry : fileEntries) {
        if (static_cast<int>(entry.kind) != index++) {
            return false;
        }
    }
    return index == fileKindCount;
}
static_assert(entriesInKindOrder(), "one entry per FileKind, in the order of the enumeration");

const FileEntry& entryOf(FileKind kind) {
    return fileEntries[static_cast<size_t>(kind)];
}

/// The random stream of a file: streams 1 and up, after the layout's stream 0.
uint64_t streamOf(FileKind kind) {
    return static_cast<uint64_t>(kind) + 1;
}

void writeFile(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
        throw std::runtime_error("cannot write " + path.string());
    }
}

} // namespace

std::optional<NetworkShape> shapeNamed(std::string_view name) {
    const auto* found = std::find_if(std::begin(shapeNames), std::end(shapeNames),
                                     [name](const ShapeEntry& e) { return e.name == name; });
    return found == std::end(shapeNames) ? std::nullopt : std::optional(found->shape);
}

double groundLengthM(double planeM, double heightI, double heightJ) {
    return planeM / (1 - (heightI + heightJ) / (2 * earthRadiusM));
}

std::string_view fileName(FileKind kind) {
    return entryOf(kind).name;
}

std::vector<TruePoint> truePoints(const GeneratorOptions& options) {
    return layOut(options).points;
}

void generateNetwork(const std::filesystem::path& folder, const GeneratorOptions& options) {
    const Network network = layOut(options);
    std::filesystem::create_directories(folder);
    for (const FileEntry& entry : fileEntries) {
        if (options.writes(entry.kind)) {
            RandomStream random(options.seed, streamOf(entry.kind));
            writeFile(pathForWriting(folder, entry.name), entry.write(network, random));
        }
    }
}

} // namespace ptw3::bench
