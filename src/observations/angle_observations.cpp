// Angle observation equations on the plane and the directions rebuilt from Schreiber angles.
//
// Notation: L the left target, C the station, P the right target; dx, dy the increments of a
// line from C (m), d2 its squared length; αc the computed and αr the reduced observed angle,
// l = αc − αr the free term, s the weight root, all angles in cc (4 000 000 to the circle).
// The coefficients are the derivatives of the grid bearing t = atan(dy/dx) of a line from C:
// ∂t/∂x_target = −dy/d², ∂t/∂y_target = dx/d², and the negatives at C (in radians, times ρ).
#include "observations/angle_observations.h"

#include "observations/zone1965.h"

#include <algorithm>
#include <cmath>

namespace ptw3 {
namespace {

constexpr Real ccPerGrad = 10000;
constexpr Real gradPerCc = 1e-4L;
constexpr Real fullCircleGrad = 400;
/// Keeps a direction of mean error 0 from dividing by zero in the orientation (cc²).
constexpr Real orientationGuardCc2 = 1e-8L;
/// Keeps the mean-error ratio of an angle finite when its observed mean error is 0 (cc).
constexpr Real ratioGuardCc = 1e-7L;
/// Keeps the weight root of an angle of mean error 0 finite (cc).
constexpr Real weightGuardCc = 1e-12L;

Real bearingCc(const LineIncrements& line) {
    const Real d = std::sqrt(line.d2);
    return gridAzimuth(line.dx / d, line.dy / d);
}

} // namespace

LineIncrements lineIncrements(GridPoint station, GridPoint target) {
    const Real dx = target.x - station.x;
    const Real dy = target.y - station.y;
    return {dx, dy, dx * dx + dy * dy};
}

Real computedAngleCc(const LineIncrements& toLeft, const LineIncrements& toRight) {
    const Real angle = bearingCc(toRight) - bearingCc(toLeft);
    return angle < 0 ? angle + fullCircleCc : angle;
}

AngleReductions angleReductions(const ProjectionParameters& p, GridPoint station, GridPoint left,
                                GridPoint right) {
    switch (p.formulas) {
    case ProjectionFormulas::None:
        break;
    case ProjectionFormulas::Zone1965:
    case ProjectionFormulas::Zone1965of86:
        return {zone1965ArcToChord(p.zone1965, station, left),
                zone1965ArcToChord(p.zone1965, station, right)};
    case ProjectionFormulas::GaussKruger: {
        // Both series are taken at the station's latitude: the reductions of its two lines.
        const GridPoint c = toProjectionAxes(p, station);
        const Real latitudeSec = gkToGeodetic(p, c).latitudeSec;
        return {gkArcToChord(p, c, toProjectionAxes(p, left), latitudeSec),
                gkArcToChord(p, c, toProjectionAxes(p, right), latitudeSec)};
    }
    }
    return {};
}

Real wrapFreeTermCc(Real freeTermCc) {
    if (std::fabs(freeTermCc) > freeTermWrapCc) {
        return freeTermCc - std::copysign(fullCircleCc, freeTermCc);
    }
    return freeTermCc;
}

AngleFreeTerm angleFreeTerm(Real computedCc, Real observedGrad, AngleReductions reductions) {
    const Real reduced = observedGrad * ccPerGrad + (reductions.right - reductions.left);
    return {reduced, wrapFreeTermCc(computedCc - reduced)};
}

Real angleWeightRoot(Real meanErrorCc) {
    return 1 / (meanErrorCc + weightGuardCc);
}

AngleCoefficients angleCoefficients(const LineIncrements& toLeft, const LineIncrements& toRight,
                                    Real s) {
    const Real k = rhoCc * s;
    AngleCoefficients a;
    a.leftX = k * toLeft.dy / toLeft.d2;
    a.leftY = -k * toLeft.dx / toLeft.d2;
    a.rightX = -k * toRight.dy / toRight.d2;
    a.rightY = k * toRight.dx / toRight.d2;
    a.stationX = -(a.leftX + a.rightX);
    a.stationY = -(a.leftY + a.rightY);
    return a;
}

Real adjustedAngleMeanErrorCc(Real q, Real mo, Real meanErrorCc) {
    return std::sqrt(q) * mo * meanErrorCc;
}

Real meanErrorRatioSquared(Real adjustedCc, Real observedCc) {
    const Real ratio = adjustedCc / (observedCc + ratioGuardCc);
    return ratio * ratio;
}

int32_t schreiberAngleCount(int32_t n) {
    return n * (n - 1) / 2;
}

Real stationOrientationCc(std::span<const SetDirection> directions) {
    const Real m1 = directions.front().meanErrorCc;
    Real weights = 1 / (m1 * m1);
    Real weighted = 0;
    for (const SetDirection& d : directions.subspan(1)) {
        const Real m2 = d.meanErrorCc * d.meanErrorCc + orientationGuardCc2;
        weights += 1 / m2;
        weighted += d.freeTermCc / m2;
    }
    return weighted / weights;
}

Real directionAccuracyFactor(Real ratioSum, int32_t n) {
    return std::sqrt(ratioSum / (n - 1));
}

DirectionMeanErrors directionMeanErrors(Real meanErrorCc, Real mo, Real factor) {
    const Real observed = meanErrorCc * mo;
    return {observed, std::min(meanErrorCc * factor * mo, observed)};
}

Real adjustedReadingGrad(Real readingCc, Real residualCc) {
    Real adjusted = readingCc + residualCc;
    if (adjusted < 0) {
        adjusted += fullCircleCc;
    } else if (adjusted > fullCircleCc) {
        adjusted -= fullCircleCc;
    }
    Real grad = adjusted * gradPerCc;
    if (grad >= fullCircleGrad) {
        grad -= fullCircleGrad;
    }
    return grad;
}

} // namespace ptw3
