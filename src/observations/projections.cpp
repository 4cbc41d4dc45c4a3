// Projection constants and the Gauss-Krüger reductions.
//
// Notation: phi geodetic latitude, chi conformal latitude, lambda longitude; xi, eta the grid
// coordinates divided by m0 A, primes marking their spherical (Gauss-Schreiber) counterparts;
// t = tan phi, eta2 = e'^2 cos^2 phi; u = y'/(m0 R) with R = √(MN) the Gaussian mean radius
// at the first point of a line, dx and dy the line's increments divided by m0 R.
// Sums over j run over the four terms of Krüger's series (Krüger 1912; Karney 2011).
#include "observations/projections.h"

#include <cmath>
#include <iterator>
#include <span>

namespace ptw3 {
namespace {

constexpr Real pi = std::numbers::pi_v<Real>;
constexpr Real secondsPerDegree = 3600.0L;
constexpr Real secondsPerHalfCircle = 648000.0L;
constexpr Real zonePrefixM = 1000000.0L;
constexpr Real falseEastingM = 500000.0L;

struct Ellipsoid {
    Real a; ///< semi-major axis (m)
    Real b; ///< semi-minor axis (m)
};
constexpr Ellipsoid krasovsky{6378245.0L, 6356863.01877L};
// GRS 80; the UTM system takes the same two values for WGS 84 (whose b differs by 0.15 mm).
constexpr Ellipsoid grs80{6378137.0L, 6356752.3141L};

struct SystemConstants {
    CoordinateSystem system;
    ProjectionFormulas formulas;
    Ellipsoid ellipsoid;
    Real scaleFactor;
    bool meridianFromZone; ///< the central meridian is `zone` degrees, else the column below
    Real centralMeridian;  ///< degrees
    Real geoidUndulation;  ///< m
    Real falseNorthing;    ///< m
    Real distortionLimitPpt; ///< the largest plausible |μ| of a length, parts per thousand
};

// clang-format off
constexpr SystemConstants systems[] = {
    // system                        formulas                      ellipsoid  m0         from zone meridian N   northing  |μ| limit
    {CoordinateSystem::Cs1965,        ProjectionFormulas::Zone1965,     krasovsky, 0.9998L,   false,    0,  0,  0,        0.3L},
    {CoordinateSystem::Cs1965of86,    ProjectionFormulas::Zone1965of86, krasovsky, 0.9998L,   false,    0,  0,  0,        0.3L},
    {CoordinateSystem::Cs1942Strips6, ProjectionFormulas::GaussKruger,  krasovsky, 1.0L,      true,     0,  0,  0,        0.6L},
    {CoordinateSystem::Cs1942Strips3, ProjectionFormulas::GaussKruger,  krasovsky, 1.0L,      true,     0,  0,  0,        0.3L},
    {CoordinateSystem::Cs1992,        ProjectionFormulas::GaussKruger,  grs80,     0.9993L,   false,    19, 34, -5300000, 1.0L},
    {CoordinateSystem::Cs2000,        ProjectionFormulas::GaussKruger,  grs80,     0.999923L, true,     0,  34, 0,        0.2L},
    {CoordinateSystem::Utm,           ProjectionFormulas::GaussKruger,  grs80,     0.9996L,   true,     0,  34, 0,        0.6L},
};

// Krüger's series to n^4. Row j holds the coefficients of n^j ... n^4.
constexpr Real kruegerAlphaSeries[] = {  // geodetic to grid (Karney 2011, eq. (35))
    1.0L / 2,     -2.0L / 3,     5.0L / 16,      41.0L / 180,      // alpha1
                  13.0L / 48,    -3.0L / 5,      557.0L / 1440,    // alpha2
                                 61.0L / 240,    -103.0L / 140,    // alpha3
                                                 49561.0L / 161280, // alpha4
};
constexpr Real kruegerBetaSeries[] = {   // grid to geodetic (eq. (36)), negated
    -1.0L / 2,    2.0L / 3,      -37.0L / 96,    1.0L / 360,       // beta1
                  -1.0L / 48,    -1.0L / 15,     437.0L / 1440,    // beta2
                                 -17.0L / 480,   37.0L / 840,      // beta3
                                                 -4397.0L / 161280, // beta4
};
constexpr Real latitudeDeltaSeries[] = { // conformal to geodetic latitude (Krüger 1912)
    2.0L,         -2.0L / 3,     -2.0L,          116.0L / 45,      // delta1
                  7.0L / 3,      -8.0L / 5,      -227.0L / 45,     // delta2
                                 56.0L / 15,     -136.0L / 35,     // delta3
                                                 4279.0L / 630,    // delta4
};
// Rectifying radius A = a/(1 + n) · (...) in powers of n^2 (Helmert 1880).
constexpr Real rectifyingRadiusSeries[] = {
    1.0L, 1.0L / 4, 1.0L / 64, 1.0L / 256, 25.0L / 16384,          // n^0, n^2, n^4, n^6, n^8
};
// 1/cosh u in powers of u^2 (Euler numbers): the inverse point scale of the sphere.
constexpr Real inverseScaleSeries[] = {
    1.0L, -1.0L / 2, 5.0L / 24, -61.0L / 720,                        // u^0, u^2, u^4, u^6
};
// clang-format on

constexpr size_t triangularSize = kruegerOrder * (kruegerOrder + 1) / 2;
static_assert(std::size(kruegerAlphaSeries) == triangularSize);
static_assert(std::size(kruegerBetaSeries) == triangularSize);
static_assert(std::size(latitudeDeltaSeries) == triangularSize);
static_assert(std::size(rectifyingRadiusSeries) == 5);
static_assert(std::size(inverseScaleSeries) == 4);

/// c[0] + c[1]·t + c[2]·t^2 + ... by Horner's rule.
Real polyval(std::span<const Real> c, Real t) {
    Real sum = 0;
    for (auto k = c.rbegin(); k != c.rend(); ++k) {
        sum = sum * t + *k;
    }
    return sum;
}

KruegerCoefficients kruegerCoefficients(std::span<const Real, triangularSize> series, Real n) {
    KruegerCoefficients coefficients{};
    size_t row = 0;
    Real nj = 1;
    for (int32_t j = 1; j <= kruegerOrder; ++j) {
        const size_t length = static_cast<size_t>(kruegerOrder - j + 1);
        nj *= n;
        coefficients[static_cast<size_t>(j)] = nj * polyval(series.subspan(row, length), n);
        row += length;
    }
    return coefficients;
}

/// The quantities the arc-to-chord and length reductions share.
struct LineTerms {
    Real t;    ///< tan phi1
    Real eta2; ///< e'^2 cos^2 phi1
    Real u1;   ///< y1'/(m0 R)
    Real dx;   ///< (x2' - x1')/(m0 R)
    Real dy;   ///< (y2' - y1')/(m0 R)
};

LineTerms lineTerms(const ProjectionParameters& p, GridPoint p1, GridPoint p2, Real latitude1Sec) {
    const Real phi = latitude1Sec / reductionRhoSec;
    const Real sinPhi = std::sin(phi);
    const Real cosPhi = std::cos(phi);
    const Real inverseM0R =
        (1 - p.e2 * sinPhi * sinPhi) / (std::sqrt(1 - p.e2) * p.semiMajorAxis * p.scaleFactor);
    return {std::tan(phi), p.ep2 * cosPhi * cosPhi, p1.y * inverseM0R, (p2.x - p1.x) * inverseM0R,
            (p2.y - p1.y) * inverseM0R};
}

} // namespace

ProjectionParameters projectionParameters(SystemZone chosen) {
    ProjectionParameters p;
    p.system = chosen.system;
    const int32_t zone = chosen.zone;
    for (const SystemConstants& s : systems) {
        if (s.system != chosen.system) {
            continue;
        }
        p.distortionLimitPpt = s.distortionLimitPpt;
        p.formulas = s.formulas;
        p.semiMajorAxis = s.ellipsoid.a;
        p.semiMinorAxis = s.ellipsoid.b;
        p.scaleFactor = s.scaleFactor;
        p.centralMeridian = s.meridianFromZone ? static_cast<Real>(zone) : s.centralMeridian;
        p.geoidUndulation = s.geoidUndulation;
        p.falseNorthing = s.falseNorthing;
        if (s.formulas == ProjectionFormulas::Zone1965 ||
            s.formulas == ProjectionFormulas::Zone1965of86) {
            p.zone1965 = zone;
        }

        const Real r = p.semiMinorAxis / p.semiMajorAxis;
        p.n = (1 - r) / (1 + r);
        p.e2 = (1 + r) * (1 - r);
        p.ep2 = p.e2 / (1 - p.e2);
        p.e = std::sqrt(p.e2);
        p.rectifyingRadius =
            p.semiMajorAxis / (1 + p.n) * polyval(rectifyingRadiusSeries, p.n * p.n);
        p.kruegerAlpha = kruegerCoefficients(kruegerAlphaSeries, p.n);
        p.kruegerBeta = kruegerCoefficients(kruegerBetaSeries, p.n);
        p.latitudeDelta = kruegerCoefficients(latitudeDeltaSeries, p.n);
        break;
    }
    return p;
}

Real planarNorthing(const ProjectionParameters& p, Real x) {
    return x - p.falseNorthing;
}

Real planarEasting(Real y) {
    return y - std::trunc(y / zonePrefixM) * zonePrefixM - falseEastingM;
}

GridPoint toProjectionAxes(const ProjectionParameters& p, GridPoint stored) {
    return {planarNorthing(p, stored.x), planarEasting(stored.y)};
}

Real gridAzimuth(Real kx, Real ky, Real rho, Real halfCircle, Real fullCircle) {
    // Acute angle against the X axis by the better-conditioned inverse function.
    const Real theta = std::fabs(kx) >= std::fabs(ky) ? std::asin(std::fabs(ky)) * rho
                                                      : std::acos(std::fabs(kx)) * rho;
    if (kx > 0 && ky >= 0) {
        return theta;
    }
    if (kx >= 0 && ky < 0) {
        return fullCircle - theta;
    }
    if (ky > 0 && kx <= 0) {
        return halfCircle - theta;
    }
    if (kx < 0 && ky <= 0) {
        return halfCircle + theta;
    }
    return 0;
}

GeodeticPosition gkToGeodetic(const ProjectionParameters& p, GridPoint q) {
    const Real xi = q.x / (p.scaleFactor * p.rectifyingRadius);
    const Real eta = q.y / (p.scaleFactor * p.rectifyingRadius);
    Real xiP = xi;
    Real etaP = eta;
    for (int32_t j = 1; j <= kruegerOrder; ++j) {
        const Real beta = p.kruegerBeta[static_cast<size_t>(j)];
        xiP += beta * std::sin(2 * j * xi) * std::cosh(2 * j * eta);
        etaP += beta * std::cos(2 * j * xi) * std::sinh(2 * j * eta);
    }
    // Gauss-Schreiber sphere: chiStar is the Gudermannian of etaP.
    const Real chiStar = 2 * std::atan(std::exp(etaP)) - pi / 2;
    const Real chi = std::asin(std::cos(chiStar) * std::sin(xiP));
    const Real dLambda = std::atan(std::tan(chiStar) / std::cos(xiP));
    Real phi = chi;
    for (int32_t j = 1; j <= kruegerOrder; ++j) {
        phi += p.latitudeDelta[static_cast<size_t>(j)] * std::sin(2 * j * chi);
    }
    return {phi * arcSecondsPerRadian,
            dLambda * arcSecondsPerRadian + p.centralMeridian * secondsPerDegree};
}

Real gkArcToChord(const ProjectionParameters& p, GridPoint p1, GridPoint p2, Real latitude1Sec) {
    const auto [t, eta2, u1, dx, dy] = lineTerms(p, p1, p2, latitude1Sec);
    return reductionRhoCc *
           (-dx * (u1 / 2 - u1 * u1 * u1 / 6) - eta2 * t * u1 * u1 * dy +
            2.0L / 3 * eta2 * t * u1 * dx * dx - dy * dx * (1.0L / 6 - u1 * u1 / 4) -
            2.0L / 3 * eta2 * t * u1 * dy * dy);
}

Real gkDistanceFactor(const ProjectionParameters& p, GridPoint p1, GridPoint p2,
                      Real latitude1Sec) {
    const auto [t, eta2, u1, dx, dy] = lineTerms(p, p1, p2, latitude1Sec);
    const Real T = u1 * u1;
    // Mean inverse point scale along the line, relative to m0.
    const Real S = polyval(inverseScaleSeries, T) + eta2 * t * dx * T - u1 * dy / 2 +
                   5.0L / 12 * dy * u1 * T - T * dx * dx / 24 + 4.0L / 3 * eta2 * t * dy * u1 * dx -
                   dy * dy / 6 + 5.0L / 12 * T * dy * dy;
    return 1 - S / p.scaleFactor;
}

Real gkConvergence(const ProjectionParameters& p, GeodeticPosition g) {
    const Real phi = g.latitudeSec * pi / secondsPerHalfCircle;
    const Real dLambda =
        (g.longitudeSec - p.centralMeridian * secondsPerDegree) * pi / secondsPerHalfCircle;
    const Real eSinPhi = p.e * std::sin(phi);
    const Real chi = 2 * std::atan(std::pow((1 - eSinPhi) / (1 + eSinPhi), p.e / 2) *
                                   std::tan((g.latitudeSec / 2 + 45 * secondsPerDegree) * pi /
                                            secondsPerHalfCircle)) -
                     pi / 2;
    const Real xiP = std::atan(std::sin(chi) / (std::cos(chi) * std::cos(dLambda)));
    const Real cosChiSinDLambda = std::cos(chi) * std::sin(dLambda);
    const Real etaP = std::log((1 + cosChiSinDLambda) / (1 - cosChiSinDLambda)) / 2;
    Real pSum = 1;
    Real qSum = 0;
    for (int32_t j = 1; j <= kruegerOrder; ++j) {
        const Real twoJAlpha = 2 * j * p.kruegerAlpha[static_cast<size_t>(j)];
        pSum += twoJAlpha * std::cos(2 * j * xiP) * std::cosh(2 * j * etaP);
        qSum -= twoJAlpha * std::sin(2 * j * xiP) * std::sinh(2 * j * etaP);
    }
    // Sphere part atan(sin chi tan dLambda) plus the series' rotation atan(q/p), both reversed.
    return (std::atan(qSum / pSum) - std::atan(std::sin(chi) * std::tan(dLambda))) * reductionRhoCc;
}

} // namespace ptw3
