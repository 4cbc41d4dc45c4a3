// The layout of a field-shaped network: points scattered with an irregular density
// (settlements, open country, sparse woods), a direction set at many of them to points
// chosen among their nearest, and a few base points whose GPS vectors reach far across the
// area. Positions only; the observations are drawn from it by the network generator.
#pragma once

#include "bench/random_stream.h"

#include <cstdint>
#include <utility>
#include <vector>

namespace ptw3::bench {

/// A position in the plane (m), rounded to the mm.
struct PlanePoint {
    double x = 0; ///< north
    double y = 0; ///< east
};

/// Sizes of the direction sets of a field network.
inline constexpr int32_t minFieldSetSize = 6;
inline constexpr int32_t maxFieldSetSize = 15;

struct FieldLayout {
    /// In the order they were drawn, which is spatially random.
    std::vector<PlanePoint> points;
    /// Per point: the targets of its direction set; empty at a point that is no station.
    std::vector<std::vector<int32_t>> sets;
    /// Per point: its nearest points, nearest first: the candidates of its sight lines.
    std::vector<std::vector<int32_t>> nearest;
    /// The lines of the direction sets, each once as (i, j) with i < j, in ascending order.
    std::vector<std::pair<int32_t, int32_t>> sightLines;
    /// Per sight line: whether a distance meter measured it as well.
    std::vector<bool> measured;
    /// About one point in 350, spread over the area; ascending.
    std::vector<int32_t> fixedPoints;
    /// GPS vectors (base point, far point): a handful of determined base points, each with
    /// lines to points at least a third of the area's shorter side away.
    std::vector<std::pair<int32_t, int32_t>> gpsVectors;
};

/// Lays out a field network of pointCount points (10 or more) whose area has its south-west
/// corner at (x0, y0) (m), about one point per square kilometre.
FieldLayout layOutField(int32_t pointCount, double x0, double y0, RandomStream& random);

} // namespace ptw3::bench
