// Distances: the reduction of a measured length to the plane of the coordinate system (the
// projection reduction, and for lengths measured on the ground the height reduction to the
// ellipsoid), the observation equation of a length between working coordinates, the limit of
// a plausible projection distortion, and the systematic scale postulate of the residuals.
//
// Notation: D measured length, d length computed from coordinates, D(zred) = D + dD(odwz) +
// dD(wys) the reduced length, l = d − D(zred) the free term; μ the projection distortion of a
// line in parts per million ((m − 1)·10⁶); i and j the two ends of the line.
#pragma once

#include "common/real.h"
#include "observations/projections.h"

#include <array>
#include <cstdint>

namespace ptw3 {

/// The mean radius of the Earth (m) of the height reduction and of the scale postulate.
inline constexpr Real earthRadiusM = 6370000.0L;
/// Ends closer than this (m) at the working coordinates are nearly coincident.
inline constexpr Real coincidenceLimitM = 0.1L;

/// The projection reduction of one length.
struct ProjectionReduction {
    Real lengthM = 0;       ///< dD(odwz), m
    Real distortionPpm = 0; ///< μ, parts per million
};

/// dD(odwz) and μ of a length D (m) between the stored points i and j (m) of the coordinate
/// system. The 1965 family integrates the point distortion along the line by Simpson's rule
/// (ends and midpoint); the Gauss-Krüger systems take the length factor of the line with the
/// latitude of end i; the local system has none.
ProjectionReduction projectionReduction(const ProjectionParameters& p, GridPoint i, GridPoint j,
                                        Real lengthM);

/// dD(wys) (m): the height reduction −((hi + hj)/2 + N)·D/R of a length D (m) measured between
/// ends at the normal heights hi, hj (m), above a geoid with the undulation N (m).
Real heightReduction(Real heightI, Real heightJ, Real geoidUndulationM, Real lengthM);

/// True when |μ| (ppm) exceeds the limit (parts per thousand).
bool distortionTooLarge(Real distortionPpm, Real limitPpt);

/// The observation equation of a reduced length between working coordinates.
struct DistanceEquation {
    Real dx = 0, dy = 0;           ///< ΔX = xj − xi, ΔY = yj − yi (m)
    Real lengthM = 0;              ///< d (m), the true length
    Real freeTermM = 0;            ///< l = d − D(zred) (m)
    bool nearlyCoincident = false; ///< d < 0.1 m: the coefficients take d = 0.1 m
    /// ∂d/∂xi, ∂d/∂yi, ∂d/∂xj, ∂d/∂yj (dimensionless).
    std::array<Real, 4> coefficients{};
};

/// l and the partial derivatives of d for the ends i and j (working coordinates, m) and the
/// reduced length D(zred) (m).
DistanceEquation distanceEquation(GridPoint i, GridPoint j, Real reducedLengthM);

/// The systematic scale correction of the distances that least squares fits to the residuals.
struct ScalePostulate {
    Real factor = 0;        ///< K = Σ(l·D·p)/Σ(D²·p), residual per metre of length
    Real heightChangeM = 0; ///< Δh = −K·R, the height change whose reduction gives that scale
};

/// K and Δh from the sums Σ(l·D·p) and Σ(D²·p) over the distances, p = s² the weights (1/m²),
/// so both sums are pure numbers; K = 0 when the second sum is 0.
ScalePostulate scalePostulate(Real sumResidualLength, Real sumLengthSquared);

} // namespace ptw3
