// Azimuth reductions and observation equations.
//
// Notation: Ac the bearing computed from coordinates, Ar the observed azimuth reduced to the
// grid bearing of the chord, V the reduction, l = Ac − Ar the free term, s the weight root.
// A geodetic azimuth α at point 1 becomes the grid bearing α − γ of the projected geodesic, and
// the chord's bearing differs from that by the arc-to-chord reduction δ12; both reductions are
// those of the map functions (projections.h, zone1965.h).
#include "observations/azimuth_observations.h"

#include "observations/zone1965.h"

#include <cmath>

namespace ptw3 {
namespace {

constexpr Real ccPerGrad = 10000.0L;
constexpr Real halfCircleGrad = 200.0L;
constexpr Real fullCircleGrad = 400.0L;
/// A difference Ac − Ar beyond this (cc) straddles the zero bearing.
constexpr Real straddlingFreeTermCc = 3500000.0L;
/// Weight root guard against a mean error of 0 (cc).
constexpr Real meanErrorGuardCc = 1e-7L;
/// Beyond this many turns a bearing is brought within the circle by fmod (cc).
constexpr Real manyTurnsCc = 1000 * fullCircleCc;

} // namespace

LineVector lineBetween(GridPoint from, GridPoint to) {
    LineVector line;
    line.dX = to.x - from.x;
    line.dY = to.y - from.y;
    line.d2 = line.dX * line.dX + line.dY * line.dY;
    line.d = std::sqrt(line.d2);
    return line;
}

Real gpsAzimuthReduction(const ProjectionParameters& p, GridPoint from, GridPoint to) {
    switch (p.formulas) {
    case ProjectionFormulas::GaussKruger: {
        const GridPoint i = toProjectionAxes(p, from);
        const GridPoint j = toProjectionAxes(p, to);
        const GeodeticPosition g = gkToGeodetic(p, i);
        return gkArcToChord(p, i, j, g.latitudeSec) + gkConvergence(p, g);
    }
    case ProjectionFormulas::Zone1965:
    case ProjectionFormulas::Zone1965of86:
        return zone1965ArcToChord(p.zone1965, from, to) -
               zone1965Convergence(p.zone1965, from.x, from.y);
    case ProjectionFormulas::None:
        break;
    }
    return 0;
}

Real turnedByHalfCircle(Real v, Real halfCircle, Real fullCircle) {
    v += halfCircle;
    if (v > fullCircle) {
        v -= fullCircle;
    }
    return v;
}

Real bearingWithinCircle(Real bearingCc) {
    // Whole circles, so that a value written beyond one turn still names its bearing. A value
    // of more turns than anyone writes is first taken modulo one circle, exactly, since
    // subtracting turn by turn would never end once a turn falls below its last digit.
    if (std::fabs(bearingCc) > manyTurnsCc) {
        bearingCc = std::fmod(bearingCc, fullCircleCc);
    }
    while (bearingCc > fullCircleCc) {
        bearingCc -= fullCircleCc;
    }
    while (bearingCc < 0) {
        bearingCc += fullCircleCc;
    }
    return bearingCc;
}

AzimuthFreeTerm azimuthFreeTerm(Real computedCc, Real reducedCc) {
    AzimuthFreeTerm l;
    l.listedCc = computedCc - reducedCc;
    if (l.listedCc < -straddlingFreeTermCc) {
        l.listedCc += fullCircleCc;
    }
    if (l.listedCc > straddlingFreeTermCc) {
        l.listedCc -= fullCircleCc;
    }
    l.cc = l.listedCc;
    if (std::fabs(l.cc) > threeQuarterCircleCc) {
        l.cc -= std::copysign(fullCircleCc, l.cc);
    }
    return l;
}

Real azimuthWeightRoot(Real meanErrorCc) {
    return 1 / (meanErrorCc + meanErrorGuardCc);
}

BearingCoefficients bearingCoefficients(Real dX, Real dY, Real d2, Real weightRoot) {
    // Bearing t = atan(ΔY/ΔX): ∂t/∂Xi = ΔY/d², ∂t/∂Yi = −ΔX/d², and the opposite at j.
    const Real k = rhoCc * weightRoot / d2;
    return {k * dY, -k * dX, -k * dY, k * dX};
}

AzimuthEquation azimuthEquation(const LineVector& line, Real valueGrad, Real reductionCc,
                                Real meanErrorCc, bool exchangeEnds) {
    AzimuthEquation e;
    e.exchanged = exchangeEnds;
    e.listedValueGrad = valueGrad;
    // The substitute length only tempers the derivatives of a nearly coincident pair: the
    // direction cosines come from the line itself, so the bearing stays that of the line.
    e.computedCc = line.d > 0 ? gridAzimuth(line.dX / line.d, line.dY / line.d) : 0;
    const Real d2 = line.d < nearlyCoincidentLengthM ? nearlyCoincidentSquareM2 : line.d2;
    e.reducedCc = valueGrad * ccPerGrad + reductionCc;
    Real dX = line.dX;
    Real dY = line.dY;
    if (exchangeEnds) {
        // The reduction stays that of the observed end; only the sense of the line turns.
        e.reducedCc = turnedByHalfCircle(e.reducedCc);
        e.computedCc = turnedByHalfCircle(e.computedCc);
        e.listedValueGrad = turnedByHalfCircle(valueGrad, halfCircleGrad, fullCircleGrad);
        dX = -dX;
        dY = -dY;
    }
    e.reducedCc = bearingWithinCircle(e.reducedCc);
    e.freeTerm = azimuthFreeTerm(e.computedCc, e.reducedCc);
    e.weightRoot = azimuthWeightRoot(meanErrorCc);
    e.row = bearingCoefficients(dX, dY, d2, e.weightRoot);
    return e;
}

} // namespace ptw3
