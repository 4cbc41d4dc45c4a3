// Angles and directions on the plane of the coordinate system: the angle computed from grid
// bearings, the arc-to-chord reductions that carry an observed angle to the plane, the free
// term and the weighted observation equation, and the rebuilding of the directions of a set
// from the residuals of its Schreiber angles (orientation by the weighted mean).
#pragma once

#include "common/real.h"
#include "observations/projections.h"

#include <cstdint>
#include <span>

namespace ptw3 {

/// A squared line length below this (m²) makes two points nearly coincident; after the person
/// chooses to go on, the line is carried on with this squared length.
inline constexpr Real nearlyCoincidentSquaredM2 = 0.1L;
/// An arc-to-chord reduction larger than this (cc) puts the choice of system and zone in doubt.
inline constexpr Real largeReductionCc = 300;
/// Free terms beyond this (cc) are taken round the circle once.
inline constexpr Real freeTermWrapCc = threeQuarterCircleCc;

/// The increments of the line from a station to a target (m) and its squared length (m²).
struct LineIncrements {
    Real dx = 0;
    Real dy = 0;
    Real d2 = 0;
};

/// The line from station to target at plane coordinates (m).
LineIncrements lineIncrements(GridPoint station, GridPoint target);

/// Angle αc (cc, in [0, full circle)) at a station turned clockwise from the line to the left
/// target to the line to the right target: the difference of their grid bearings.
Real computedAngleCc(const LineIncrements& toLeft, const LineIncrements& toRight);

/// Arc-to-chord reductions δL, δP (cc) of the directions C→L and C→P: the chord's grid bearing
/// is the projected geodesic's bearing plus δ.
struct AngleReductions {
    Real left = 0;
    Real right = 0;
};

/// The reductions of the directions from station C to L and to P, all three points as stored
/// (m): Gauss-Krüger series at the latitude of C, the 1965 zone formulas, or none in the
/// local system.
AngleReductions angleReductions(const ProjectionParameters& p, GridPoint station, GridPoint left,
                                GridPoint right);

/// The observed angle on the plane and its free term.
struct AngleFreeTerm {
    Real reducedCc = 0;  ///< αr = value·10000 + δP − δL
    Real freeTermCc = 0; ///< l = αc − αr, within ±3 000 000
};

/// @param computedCc αc from the coordinates (cc)
/// @param observedGrad the observed angle (grads)
AngleFreeTerm angleFreeTerm(Real computedCc, Real observedGrad, AngleReductions reductions);

/// A free term (cc) beyond ±3 000 000 taken once round the circle towards zero.
Real wrapFreeTermCc(Real freeTermCc);

/// Weight root s = 1/(m + 1e-12) of an angle with mean error m (cc); the small term keeps an
/// error of 0 finite.
Real angleWeightRoot(Real meanErrorCc);

/// The partial derivatives of the computed angle (cc/m), multiplied by the weight root s.
struct AngleCoefficients {
    Real leftX = 0, leftY = 0;
    Real rightX = 0, rightY = 0;
    Real stationX = 0, stationY = 0;
};

/// @param s weight root (1/cc)
AngleCoefficients angleCoefficients(const LineIncrements& toLeft, const LineIncrements& toRight,
                                    Real s);

/// Mean error of an adjusted angle (cc) from the cofactor q of its weighted row, the unit
/// error Mo and the angle's mean error m (cc): √q·Mo·m.
Real adjustedAngleMeanErrorCc(Real q, Real mo, Real meanErrorCc);

/// The square of m_adj/m_obs of one Schreiber angle, summed over a set into Q.
Real meanErrorRatioSquared(Real adjustedCc, Real observedCc);

/// The number of Schreiber angles of a set of n directions, n(n − 1)/2.
int32_t schreiberAngleCount(int32_t n);

/// One direction of a set being rebuilt from its Schreiber angles.
struct SetDirection {
    Real readingCc = 0;   ///< R, the reading reduced to the chord (cc)
    Real meanErrorCc = 0; ///< m (cc)
    Real freeTermCc = 0;  ///< l of the Schreiber angle from the first direction (0 for it)
};

/// Orientation o (cc) of a station: the mean of the angles' free terms weighted by 1/m², the
/// first direction taking part with l = 0.
Real stationOrientationCc(std::span<const SetDirection> directions);

/// F = √(Q/(n − 1)): the mean ratio of the adjusted to the observed mean errors of a set's
/// directions, from the sum Q over its Schreiber angles.
Real directionAccuracyFactor(Real ratioSum, int32_t n);

/// Mean errors (cc) of a direction and of the adjusted direction.
struct DirectionMeanErrors {
    Real observedCc = 0; ///< m_obs = m·Mo
    Real adjustedCc = 0; ///< m_adj
};

/// m_obs = m·Mo and m_adj = m·F·Mo, at most m_obs.
DirectionMeanErrors directionMeanErrors(Real meanErrorCc, Real mo, Real factor);

/// The adjusted reading R + v (cc) in grads, in [0, 400).
Real adjustedReadingGrad(Real readingCc, Real residualCc);

} // namespace ptw3
