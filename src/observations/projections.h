// Ellipsoid and projection constants of the plane coordinate systems, and the map reductions
// of the Gauss-Krüger systems (1942 strips, 1992, 2000, UTM): grid azimuth, inverse mapping
// and convergence of meridians by Krüger's series to n^4 (Krüger 1912; Karney 2011,
// eqs. (35), (36)), arc-to-chord and length reductions by the classical expansions in
// u = y'/(m0 R). The 1965 family has its own polynomial formulas (zone1965.h).
#pragma once

#include "common/real.h"
#include "observations/coordinate_system.h"

#include <array>
#include <cstdint>
#include <numbers>

namespace ptw3 {

/// Centesimal seconds per radian of computed azimuths and angles and of the coefficients of
/// the angular observation equations.
inline constexpr Real rhoCc = 636619.772368L;
/// Centesimal seconds per radian, rounded to 0.001 cc, in which the Gauss-Krüger arc-to-chord
/// reduction and convergence are expressed.
inline constexpr Real reductionRhoCc = 636619.772L;
/// Arc-seconds per radian, rounded to 0.001", with which the Gauss-Krüger reductions read the
/// latitude of their first point.
inline constexpr Real reductionRhoSec = 206264.806L;
/// Arc-seconds per radian of the inverse mapping and the convergence: 648000/π exactly.
inline constexpr Real arcSecondsPerRadian = 648000.0L / std::numbers::pi_v<Real>;

inline constexpr Real halfCircleCc = 2000000.0L;
inline constexpr Real threeQuarterCircleCc = 3000000.0L;
inline constexpr Real fullCircleCc = 4000000.0L;

/// Which reductions a coordinate system uses.
enum class ProjectionFormulas {
    None,         ///< local system: no projection reductions
    Zone1965,     ///< 1965 polynomial formulas with the 1965 constants
    Zone1965of86, ///< 1965 polynomial formulas with the 1965/86 distortion constants
    GaussKruger,  ///< transverse Mercator series (1942, 1992, 2000, UTM)
};

/// Terms of Krüger's series; coefficient tables hold j = 1..4, slot 0 unused.
inline constexpr int32_t kruegerOrder = 4;
using KruegerCoefficients = std::array<Real, kruegerOrder + 1>;

/// The ellipsoid, projection and derived series constants of one computation.
struct ProjectionParameters {
    CoordinateSystem system = CoordinateSystem::Local;
    ProjectionFormulas formulas = ProjectionFormulas::None;
    Real semiMajorAxis = 0;   ///< a (m)
    Real semiMinorAxis = 0;   ///< b (m)
    Real scaleFactor = 0;     ///< m0, scale on the central meridian
    Real centralMeridian = 0; ///< longitude of the central meridian (degrees)
    Real geoidUndulation = 0; ///< N (m); enters only the height reduction of distances
    int32_t zone1965 = 0;     ///< zone 1..5 of the 1965 family, 0 otherwise
    Real falseNorthing = 0;   ///< stored x of the equator (m): -5 300 000 in the 1992 system
    /// The largest plausible |μ| of a length, in parts per thousand; beyond it the choice of
    /// system or zone is doubtful. The local system has no distortion: any μ is implausible
    /// beyond 2.
    Real distortionLimitPpt = 2;

    // Derived whenever the system is not local.
    Real n = 0;                          ///< third flattening (a - b)/(a + b)
    Real e2 = 0;                         ///< first eccentricity squared
    Real ep2 = 0;                        ///< second eccentricity squared e'^2
    Real e = 0;                          ///< first eccentricity
    Real rectifyingRadius = 0;           ///< A (m), meridian arc per radian of rectifying latitude
    KruegerCoefficients kruegerAlpha{};  ///< forward series (geodetic to grid)
    KruegerCoefficients kruegerBeta{};   ///< inverse series, with the sign they are added with
    KruegerCoefficients latitudeDelta{}; ///< conformal to geodetic latitude
};

/// The constants of a coordinate system; the zone is the 1965 zone or the central meridian
/// in degrees.
ProjectionParameters projectionParameters(SystemZone system);

/// Plane coordinates (m): x north, y east.
struct GridPoint {
    Real x = 0;
    Real y = 0;
};

/// Geodetic latitude and longitude (arc-seconds, east positive).
struct GeodeticPosition {
    Real latitudeSec = 0;
    Real longitudeSec = 0;
};

/// x' on the projection axes from a stored northing x (m): adds back the false northing.
Real planarNorthing(const ProjectionParameters& p, Real x);

/// y' on the projection axes from a stored easting y (m): removes the zone prefix (millions
/// of metres, truncated toward zero) and the 500 km false easting.
Real planarEasting(Real y);

/// A stored point of a Gauss-Krüger system brought to the projection axes.
GridPoint toProjectionAxes(const ProjectionParameters& p, GridPoint stored);

/// Bearing of a line clockwise from +X, in [0, fullCircle), in the units of rho.
/// @param kx, ky direction cosines ΔX/d and ΔY/d of the line; (0, 0) gives 0
/// @param rho units per radian
Real gridAzimuth(Real kx, Real ky, Real rho = rhoCc, Real halfCircle = halfCircleCc,
                 Real fullCircle = fullCircleCc);

/// Geodetic position of a point given on the projection axes (m); reads m0, A, the inverse
/// series and the central meridian.
GeodeticPosition gkToGeodetic(const ProjectionParameters& p, GridPoint q);

/// Arc-to-chord reduction δ12 (cc) of the direction 1→2, both points on the projection axes
/// (m), latitude of point 1 in arc-seconds: the chord's grid bearing is the grid bearing of
/// the projected geodesic at point 1 plus δ12.
Real gkArcToChord(const ProjectionParameters& p, GridPoint p1, GridPoint p2, Real latitude1Sec);

/// Relative length reduction k of the line 1→2 (dimensionless), arguments as gkArcToChord:
/// k = 1 - 1/m, m the mean scale of the line; a length D is reduced by k·D.
Real gkDistanceFactor(const ProjectionParameters& p, GridPoint p1, GridPoint p2, Real latitude1Sec);

/// The convergence of meridians with reversed sign, -γ (cc), at a geodetic position: a
/// geodetic azimuth plus this value is the grid bearing of the same direction.
Real gkConvergence(const ProjectionParameters& p, GeodeticPosition g);

} // namespace ptw3
