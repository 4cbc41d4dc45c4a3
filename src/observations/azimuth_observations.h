// Azimuths on the plane of the coordinate system: the reduction of a GPS azimuth (the azimuth of
// a geodesic line at its first end) to the grid bearing of the chord by the convergence of
// meridians and the arc-to-chord reduction, the orientation of a line by the order of its ends,
// the free term with its wrap across the zero bearing, and the observation equation of a
// bearing. Angles in centesimal seconds [cc] (4 000 000 to the circle) unless a name says grads.
#pragma once

#include "common/real.h"
#include "observations/projections.h"

namespace ptw3 {

/// Ends closer than this (m) are taken as nearly coincident approximate coordinates; the
/// equation of such a line is formed with d² = 0.01 m².
inline constexpr Real nearlyCoincidentLengthM = 0.1L;
inline constexpr Real nearlyCoincidentSquareM2 = 0.01L;

/// The line from the first to the second end of an observation (m, m²).
struct LineVector {
    Real dX = 0, dY = 0; ///< coordinate differences, second end minus first
    Real d = 0;          ///< length
    Real d2 = 0;         ///< length squared
};

/// The line between two stored points (m).
LineVector lineBetween(GridPoint from, GridPoint to);

/// The reduction V (cc) of a GPS azimuth observed at `from` towards `to` (stored coordinates,
/// m): the observed geodetic azimuth plus V is the grid bearing of the chord. The arc-to-chord
/// reduction of the line at `from` plus the convergence of meridians −γ there; 0 in the local
/// system.
Real gpsAzimuthReduction(const ProjectionParameters& p, GridPoint from, GridPoint to);

/// An angle turned by half a circle: v + halfCircle, less fullCircle when that comes out above
/// fullCircle (in the units of the two circles).
Real turnedByHalfCircle(Real v, Real halfCircle = halfCircleCc, Real fullCircle = fullCircleCc);

/// A bearing (cc) brought into [0, 4 000 000] by whole circles.
Real bearingWithinCircle(Real bearingCc);

/// The free term l = Ac − Ar (cc) of an azimuth.
struct AzimuthFreeTerm {
    Real listedCc = 0; ///< with a difference beyond ±350 g taken across the zero bearing
    Real cc = 0;       ///< the listed one brought within ±300 g: the term of the equation
};
/// @param computedCc bearing Ac from the coordinates (cc)
/// @param reducedCc reduced observed bearing Ar (cc)
AzimuthFreeTerm azimuthFreeTerm(Real computedCc, Real reducedCc);

/// The weight root s (1/cc) of an azimuth with the mean error mA (cc); a mean error of 0 is
/// guarded by 1e-7 cc.
Real azimuthWeightRoot(Real meanErrorCc);

/// Partial derivatives (cc/m) of the bearing of a line from its first end i to its second
/// end j, times the weight root.
struct BearingCoefficients {
    Real dXi = 0, dYi = 0, dXj = 0, dYj = 0;
};
/// @param dX, dY the line from i to j (m)
/// @param d2 its length squared (m²)
/// @param weightRoot s (1/cc)
BearingCoefficients bearingCoefficients(Real dX, Real dY, Real d2, Real weightRoot);

/// One azimuth at the working coordinates, its ends in the order the reports list them.
struct AzimuthEquation {
    bool exchanged = false;   ///< the ends are listed to to from
    Real listedValueGrad = 0; ///< the observed value, turned by 200 g when exchanged
    Real computedCc = 0;      ///< Ac, bearing of the listed line from the coordinates
    Real reducedCc = 0;       ///< Ar, reduced observed bearing of the listed line
    AzimuthFreeTerm freeTerm; ///< Ac − Ar
    Real weightRoot = 0;      ///< s (1/cc)
    BearingCoefficients row;  ///< for the listed ends: i the first, j the second
};

/// Forms the observation equation of an azimuth. The bearing Ac is that of the line as it
/// stands; a line shorter than nearlyCoincidentLengthM enters the row with d² = 0.01 m², and a
/// line of length 0 has the bearing 0.
/// @param line the line from the observation's `from` to its `to` point, in file order
/// @param valueGrad observed azimuth (grads)
/// @param reductionCc V (cc), 0 for a topographic azimuth
/// @param meanErrorCc mA (cc)
/// @param exchangeEnds list the line from `to` to `from`
AzimuthEquation azimuthEquation(const LineVector& line, Real valueGrad, Real reductionCc,
                                Real meanErrorCc, bool exchangeEnds);

} // namespace ptw3
