// Reductions and observation equation of distances.
//
// The 1965 family gives the point distortion μ(x, y) as a polynomial in kilometres; the mean
// distortion of a line is its integral along the line by Simpson's rule, (μi + 4μmid + μj)/6,
// exact for the quadratic distortion of the stereographic zones. The Gauss-Krüger systems
// take the relative reduction k = 1 − 1/m of the line (gkDistanceFactor), so dD = k·D and
// μ = k·10⁶ with a 1 cm guard on D. The height reduction brings a length measured at the mean
// height of its ends to the ellipsoid with the spherical factor (H + N)/R.
#include "observations/distance_observations.h"

#include "observations/zone1965.h"

#include <cmath>

namespace ptw3 {
namespace {

constexpr Real ppm = 1e-6L;
constexpr Real partsPerMillion = 1e6L;
constexpr Real kmPerM = 0.001L;
constexpr Real kmPerMOfSum = 0.0005L; ///< half the sum of two coordinates in m, in km
constexpr Real lengthGuardM = 0.01L;  ///< keeps μ finite for a zero length
constexpr Real pptPerPpm = 0.001L;

// The 1992 system stores x with a false northing of −5 300 000 m and y with 500 000 m and no
// zone prefix; the other Gauss-Krüger systems carry a zone prefix in the millions of y.
constexpr Real falseEasting1992M = 500000.0L;

GridPoint lengthAxes(const ProjectionParameters& p, GridPoint stored) {
    if (p.system == CoordinateSystem::Cs1992) {
        return {planarNorthing(p, stored.x), stored.y - falseEasting1992M};
    }
    return toProjectionAxes(p, stored);
}

} // namespace

ProjectionReduction projectionReduction(const ProjectionParameters& p, GridPoint i, GridPoint j,
                                        Real lengthM) {
    switch (p.formulas) {
    case ProjectionFormulas::Zone1965:
    case ProjectionFormulas::Zone1965of86: {
        const Real muMid = zone1965Distortion(p.zone1965, p.formulas, (i.x + j.x) * kmPerMOfSum,
                                              (i.y + j.y) * kmPerMOfSum);
        const Real muI = zone1965Distortion(p.zone1965, p.formulas, i.x * kmPerM, i.y * kmPerM);
        const Real muJ = zone1965Distortion(p.zone1965, p.formulas, j.x * kmPerM, j.y * kmPerM);
        const Real mu = (4 * muMid + muI + muJ) / 6;
        return {lengthM * mu * ppm, mu};
    }
    case ProjectionFormulas::GaussKruger: {
        const GridPoint axesI = lengthAxes(p, i);
        const GridPoint axesJ = lengthAxes(p, j);
        const Real latitudeI = gkToGeodetic(p, axesI).latitudeSec;
        const Real k = gkDistanceFactor(p, axesI, axesJ, latitudeI);
        return {k * lengthM, k * lengthM * partsPerMillion / (lengthM + lengthGuardM)};
    }
    case ProjectionFormulas::None:
        break;
    }
    return {};
}

Real heightReduction(Real heightI, Real heightJ, Real geoidUndulationM, Real lengthM) {
    // A difference rather than a negation: no height at all reduces by 0, not by −0.
    return 0 - ((heightI + heightJ) / 2 + geoidUndulationM) * lengthM / earthRadiusM;
}

bool distortionTooLarge(Real distortionPpm, Real limitPpt) {
    return std::fabs(distortionPpm) * pptPerPpm > limitPpt;
}

DistanceEquation distanceEquation(GridPoint i, GridPoint j, Real reducedLengthM) {
    DistanceEquation e;
    e.dx = j.x - i.x;
    e.dy = j.y - i.y;
    e.lengthM = std::sqrt(e.dx * e.dx + e.dy * e.dy);
    e.freeTermM = e.lengthM - reducedLengthM;
    e.nearlyCoincident = e.lengthM < coincidenceLimitM;
    const Real d = e.nearlyCoincident ? coincidenceLimitM : e.lengthM;
    e.coefficients = {-e.dx / d, -e.dy / d, e.dx / d, e.dy / d};
    return e;
}

ScalePostulate scalePostulate(Real sumResidualLength, Real sumLengthSquared) {
    ScalePostulate s;
    if (sumLengthSquared != 0) {
        s.factor = sumResidualLength / sumLengthSquared;
    }
    s.heightChangeM = -s.factor * earthRadiusM;
    return s;
}

} // namespace ptw3
