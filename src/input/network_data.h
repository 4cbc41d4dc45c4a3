// The network as the data input leaves it for the adjustment: points with their
// coordinates, heights and a-priori mean errors, the observations of every kind,
// the direction sets, the adjacency and ordering of the unknowns, the counters
// of the count summary and the measurement parameters.
//
// Units: coordinates, heights, lengths and their mean errors in metres; angular
// values in grads (400 to the circle); angular mean errors in centesimal seconds
// [cc] (1 grad = 10000 cc). The value -1 exactly marks a value that is not given.
#pragma once

#include "common/real.h"
#include "common/table.h"

#include <array>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>

namespace ptw3 {

// Capacities: limits that the readers check and report, not allocations.
inline constexpr int32_t maxPoints = 20000;          ///< lp, and distinct observed numbers
inline constexpr int32_t maxAngles = 500000;         ///< lka, Schreiber angles included
inline constexpr int32_t maxDistances = 100000;      ///< ld, all distance files together
inline constexpr int32_t maxAzimuths = 100000;       ///< laz, both azimuth files together
inline constexpr int32_t maxDirectionsPerSet = 500;  ///< directions of one direction set
inline constexpr int32_t maxDirectionSets = 40000;   ///< lst
inline constexpr int32_t maxNeighbours = 500;        ///< distinct neighbours of one point
inline constexpr int32_t maxTokensPerRecord = 500;   ///< tokens of one record line

/// How a reader takes the mean errors of a file: from group records or the distance-meter
/// formula (KATY, DLUGOSCI, dlugosci.pom, XY.sta, XYH.sta), or per record (KATY.b,
/// DLUGOSCI.b, DLUGOSCI.gps, XY.prz).
enum class ReadMode { Grouped = 1, Individual = 2 };

/// True when a mean error cannot become a weight 1/m²: zero, or so small that the weight
/// would overflow the double precision of the solver's kernels (|m| < 1.5e-154). The readers
/// replace such a mean error by their default, as they do a zero one.
inline bool tooSmallToWeight(Real meanError) {
    return !(meanError * meanError >= std::numeric_limits<double>::min());
}

/// A point identifier as written in the files: at most 16 Windows-1250 bytes, compared
/// byte for byte ("12" and "012" are different points).
using PointNumber = std::string;
inline constexpr size_t pointNumberLength = 16;

/// The point number a token stands for: its first 16 characters.
inline PointNumber toPointNumber(std::string_view token) {
    return PointNumber(token.substr(0, pointNumberLength));
}

/// Where an observation was read: an entry of NetworkData::inputFiles and the line in that
/// file, both from 1 (0: not read from a file).
struct SourceLine {
    int32_t file = 0;
    int32_t line = 0;
};

struct Point {
    PointNumber number;
    Real x = 0, y = 0;   ///< coordinates as given (first and second column), m
    Real h = missingValue; ///< normal height, m
    /// A-priori mean errors of a reference point, m: -1 for an approximate point, 0 for an
    /// error-free fixed point, positive for a weighted coordinate pseudo-observation.
    Real mx = missingValue, my = missingValue, mh = missingValue;
    int32_t observationCount = 0; ///< observation ends that touch the point
    int32_t linkCount = 0;        ///< distinct observation links of the point
};

struct Angle {
    int32_t left = 0, station = 0, right = 0; ///< point indices
    Real value = 0;     ///< from left to right, grads
    Real meanError = 0; ///< cc
    SourceLine source;  ///< none for a Schreiber angle
};

struct Direction {
    int32_t target = 0; ///< point index
    Real value = 0;     ///< reading, grads
    Real meanError = 0; ///< cc
    SourceLine source;  ///< of the first reading when repeated readings were merged
};

/// One occupation of a station in a direction file.
struct DirectionSet {
    int32_t station = 0;
    Table<Direction> directions; ///< count() is the number of directions, at most 500
};

/// A distance (value and mean error in m) or an azimuth (value in grads, mean error in cc).
struct LineObservation {
    int32_t from = 0, to = 0; ///< point indices, in file order
    Real value = 0;
    Real meanError = 0;
    SourceLine source;
};

/// The point order of the normal matrix: rows k = 1 to lp - ls are the points to be
/// determined, each owning unknowns 2k-1 (dX) and 2k (dY).
struct UnknownOrdering {
    Table<int32_t> order;    ///< at position k, the point index placed there
    Table<int32_t> position; ///< at point p, its position (the inverse of order)
    Table<int32_t> halfBand; ///< at position k, the half-band width of row k, in points
};

struct MeasurementParameters {
    Real distanceA = 0.01L;          ///< constant term a of the distance mean error, m
    Real distanceB = 0.001L;         ///< length-proportional term b of the distance mean error
    int32_t angleMeasure = 400;      ///< 400 grads or 360 degrees for angles and directions
    Real directionMeanError = 10;    ///< mk, cc
    Real angleMeanError = 14.12L;    ///< ma = 1.412 mk, cc
    Real reductionFirst = 0;         ///< first number of REDUKCJE
    Real meanHeight = 0;             ///< mean normal height of the area, m
};

/// Lines of the title file tytul: executor, object, job index, unused, description.
inline constexpr size_t titleLineCount = 5;

/// Everything the data input reads; tables are numbered from 1 and slot 0 is unused.
struct NetworkData {
    Table<Point> points;                 ///< lp entries: to be determined first, fixed last
    Table<PointNumber> observedNumbers;  ///< numbers the observation files mention
    Table<Angle> angles;                 ///< file angles 1..lka1, then Schreiber angles
    Table<DirectionSet> directionSets;   ///< lst entries
    Table<LineObservation> distances;    ///< classical 1..ldk, then GPS
    Table<LineObservation> azimuths;     ///< topographic 1..lazt, then GPS
    Table<Table<int32_t>> neighbours;    ///< at each point, its neighbours by neighbour count
    Table<std::string> inputFiles;       ///< observation files read, names as found in the folder
    UnknownOrdering ordering;
    MeasurementParameters parameters;
    /// The title file's lines; " " each when there is no such file, "" past the end of a
    /// short one.
    std::array<std::string, titleLineCount> title{" ", " ", " ", " ", " "};
    bool heightFileFound = false; ///< H.prz exists in the folder

    int32_t ls = 0;       ///< error-free fixed reference points (the last ls points)
    int32_t lrsxy = 0;    ///< coordinate pseudo-observations
    int32_t lki = 0;      ///< directions of all sets together
    int32_t lka1 = 0;     ///< angles of KATY and KATY.b
    int32_t ldk = 0;      ///< classical distances
    int32_t ldgps = 0;    ///< GPS distances
    int32_t lazt = 0;     ///< topographic azimuths
    int32_t lazgps = 0;   ///< GPS azimuths
    int32_t ldpom = 0;    ///< distances carried from direction sets into dlugosci.pom
    int32_t reducedDirectionCount = 0; ///< sum over the direction sets of count - 1

    int32_t lp() const { return points.count(); }
    int32_t lst() const { return directionSets.count(); }
    int32_t lka() const { return angles.count(); }
    int32_t lka2() const { return lka() - lka1; }
    int32_t ld() const { return distances.count(); }
    int32_t laz() const { return azimuths.count(); }
    int32_t identifiedCount() const { return observedNumbers.count(); }
    /// Points to be determined: entries 1 to lp - ls.
    int32_t determinedCount() const { return lp() - ls; }
};

} // namespace ptw3
