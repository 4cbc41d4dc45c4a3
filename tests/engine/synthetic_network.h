// Synthetic local networks for the tests: points scattered at random, observations of
// every kind computed from their true coordinates with normal noise.
#pragma once

#include "common/real.h"

#include <map>
#include <random>
#include <string>
#include <vector>

namespace ptw3::test {

struct TruePoint {
    std::string number;
    Real x, y;
    bool fixed;
};

/// `count` points over 3 km × 3 km at least 300 m apart; the first `fixed` are fixed.
std::vector<TruePoint> scatter(int count, int fixed, std::mt19937& random);

/// The grid bearing in cc: the acute angle against the X axis times ρ, placed in its
/// quadrant with the half and full circle taken as exactly 2 000 000 and 4 000 000 cc.
Real azimuthCc(Real dx, Real dy);

/// The indices of the `count` nearest points to point i.
std::vector<int> nearest(const std::vector<TruePoint>& points, int i, int count);

/// Working-folder files (UTF-8 texts, LF): XY.sta, XY.prz, direction sets to the four nearest
/// points (5 cc), distances to the two nearest (3 mm, DLUGOSCI.b), some angles (10 cc,
/// KATY.b) and topographic azimuths (8 cc).
std::map<std::string, std::string> networkFiles(const std::vector<TruePoint>& points,
                                                std::mt19937& random);

} // namespace ptw3::test
