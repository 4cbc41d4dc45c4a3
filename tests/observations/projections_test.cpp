// Projections and map reductions against independent references: GeographicLib's transverse
// Mercator (accurate to 5 nm), geodesics (15 nm) and ellipsoid, and the 1965 zones rebuilt from
// their geodetic definitions.
//
// Conventions under test. GeographicLib's γ is the bearing of grid north clockwise from true
// north, so a direction of geodetic azimuth α has the grid bearing T = α − γ.
// - gkConvergence returns −γ: T = α + gkConvergence.
// - δ12 = t − T, t the grid bearing of the chord 1→2 and T that of the projected geodesic at 1:
//   the GPS azimuth reduction V = δ12 + (−γ) turns the geodetic azimuth of a line into the grid
//   bearing of its chord; zone1965ArcToChord follows the same convention.
// - gkDistanceFactor k = 1 − s/d = 1 − 1/m for a geodesic of length s whose chord is d.
#include "observations/projections.h"
#include "observations/zone1965.h"
#include "test_support.h"

#include <GeographicLib/Ellipsoid.hpp>
#include <GeographicLib/Geodesic.hpp>
#include <GeographicLib/TransverseMercator.hpp>
#include <algorithm>
#include <cmath>
#include <functional>
#include <gtest/gtest.h>
#include <numbers>

namespace ptw3 {
namespace {

using GeographicLib::Geodesic;
using GeographicLib::TransverseMercator;

constexpr Real ccPerDegree = fullCircleCc / 360;
constexpr double secondsPerDegree = 3600;
constexpr double pi = std::numbers::pi;

/// An angle difference (cc) brought into (−half circle, half circle].
Real wrapCc(Real v) {
    while (v > halfCircleCc) {
        v -= fullCircleCc;
    }
    while (v <= -halfCircleCc) {
        v += fullCircleCc;
    }
    return v;
}

// The ellipsoids as the systems define them (m).
struct TestEllipsoid {
    double a, b;
};
constexpr TestEllipsoid krasovsky1940{6378245, 6356863.01877};
constexpr TestEllipsoid grs80{6378137, 6356752.3141};

TEST(GridAzimuth, AxesQuadrantsAndZeroLine) {
    const Real h = std::sqrt(0.5L);
    struct Case {
        Real kx, ky, expectedCc;
    };
    const Case cases[] = {
        {1, 0, 0},        {0, 1, 1000000},     {-1, 0, 2000000}, {0, -1, 3000000},
        {0, 0, 0},        {h, h, 500000},      {-h, h, 1500000}, {-h, -h, 2500000},
        {h, -h, 3500000}, {-0.0L, 1, 1000000}, {1, -0.0L, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "kx " << double(c.kx) << " ky " << double(c.ky));
        // rhoCc exceeds 2 000 000/π by 4e-7, which shows as 7e-7 cc at a quarter circle.
        EXPECT_NEAR(gridAzimuth(c.kx, c.ky), c.expectedCc, 1e-5); // tolerance 0.00001 cc
    }
    EXPECT_NEAR(gridAzimuth(0.5L, -std::sqrt(3.0L) / 2, 180 / std::numbers::pi_v<Real>, 180, 360),
                300, 1e-15);
}

TEST(GridAzimuth, FollowsTheBearingAllRoundTheCircle) {
    // Every branch and both inverse functions, against atan2, including lines a hair off an axis.
    for (int32_t k = 0; k < 4000; ++k) {
        for (const Real offset : {0.0L, 1e-15L, -1e-15L, 0.37L}) {
            const Real angle = (k * 0.1L + offset) * std::numbers::pi_v<Real> / 200;
            const Real kx = std::cos(angle);
            const Real ky = std::sin(angle);
            Real expected = std::atan2(ky, kx) * rhoCc;
            if (expected < 0) {
                expected += 2 * std::numbers::pi_v<Real> * rhoCc;
            }
            const Real azimuth = gridAzimuth(kx, ky);
            SCOPED_TRACE(testing::Message() << "grads " << double(k * 0.1L + offset));
            EXPECT_GE(azimuth, 0);
            EXPECT_LT(azimuth, fullCircleCc);
            // rhoCc·π exceeds the half circle by 1.3e-6 cc: tolerance 0.00001 cc.
            EXPECT_NEAR(double(wrapCc(azimuth - expected)), 0, 1e-5);
        }
    }
}

TEST(ProjectionParameters, DerivedConstantsAgreeWithGeographicLib) {
    struct Case {
        int32_t system;
        TestEllipsoid ellipsoid;
    };
    const Case cases[] = {{1965, krasovsky1940},  {1986, krasovsky1940}, {19426, krasovsky1940},
                          {19423, krasovsky1940}, {1992, grs80},         {2000, grs80},
                          {1000, grs80}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.system);
        const ProjectionParameters p = projectionParameters(test::systemZone(c.system, 0));
        const GeographicLib::Ellipsoid ellipsoid(c.ellipsoid.a, 1 - c.ellipsoid.b / c.ellipsoid.a);
        EXPECT_EQ(p.semiMajorAxis, static_cast<Real>(c.ellipsoid.a));
        EXPECT_NEAR(double(p.semiMinorAxis), c.ellipsoid.b, 1e-9);
        // GeographicLib works from f in double: tolerance 1e-15.
        EXPECT_NEAR(double(p.n), ellipsoid.ThirdFlattening(), 1e-15);
        EXPECT_NEAR(double(p.e2), ellipsoid.EccentricitySq(), 1e-15);
        EXPECT_NEAR(double(p.ep2), ellipsoid.SecondEccentricitySq(), 1e-15);
        EXPECT_NEAR(double(p.e), std::sqrt(ellipsoid.EccentricitySq()), 1e-15);
        // The series for A against the quarter meridian by elliptic integrals: tolerance 1 µm.
        EXPECT_NEAR(double(p.rectifyingRadius), ellipsoid.QuarterMeridian() * 2 / pi, 1e-6);
    }
    const ProjectionParameters local = projectionParameters(test::systemZone(0, 0));
    EXPECT_EQ(local.formulas, ProjectionFormulas::None);
    EXPECT_EQ(local.semiMajorAxis, 0);
    EXPECT_EQ(projectionParameters(test::systemZone(1965, 3)).zone1965, 3);
    EXPECT_EQ(projectionParameters(test::systemZone(2000, 21)).zone1965, 0);
}

TEST(ProjectionParameters, StoredCoordinatesToProjectionAxes) {
    struct Case {
        int32_t system, zone;
        Real x, y;
        Real expectedX, expectedY;
    };
    const Case cases[] = {
        {1992, 0, 450123.25L, 350000, 5750123.25L, -150000}, // false northing and easting
        {2000, 15, 5800000, 5543210.5L, 5800000, 43210.5L},  // zone prefix 5
        {2000, 24, 5600000, 8400000, 5600000, -100000},      // prefix 8, west of the meridian
        {19426, 21, 5700000, 4612345, 5700000, 112345},      // 6° strip 4
        {19423, 18, 5700000, 6387654.321L, 5700000, -112345.679L},
        {1000, 0, 5500000, 500000, 5500000, 0},         // UTM: no prefix
        {2000, 18, 5700000, -250000, 5700000, -750000}, // truncation toward zero, not floor
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.system << " y " << double(c.y));
        const GridPoint q = toProjectionAxes(projectionParameters(test::systemZone(c.system, c.zone)), {c.x, c.y});
        EXPECT_NEAR(q.x, c.expectedX, 1e-9); // tolerance 1 nm
        EXPECT_NEAR(q.y, c.expectedY, 1e-9);
    }
}

// A Gauss-Krüger system as published, the area its grid covers, and the tolerances the series
// achieve there (a small margin over the largest differences found).
struct GaussKrugerCase {
    const char* name;
    int32_t system, zone;
    TestEllipsoid ellipsoid;
    double m0, meridian;             ///< meridian in degrees
    double falseNorthing;            ///< m
    int32_t prefix;                  ///< million digits of the stored easting
    double latitudeFrom, latitudeTo; ///< degrees
    double longitudeHalfWidth;       ///< degrees either side of the central meridian
    double positionMm;               ///< inverse mapping
    double convergenceCc;
    double arcToChordCcPerKm; ///< per km of line length
    double factorMmPerKm;     ///< k against 1 − s/d
    double keptMmPerKm;       ///< bound on (m − 1) − k = (m − 1)²/m on 1 km lines
};

// clang-format off
const GaussKrugerCase gaussKrugerCases[] = {
    // name                 system zone ellipsoid      m0        meridian N         prefix
    //                      lat      half  pos    conv  a2c     k       kept
    {"1942, 6° strip 21°",  19426, 21,  krasovsky1940, 1,        21,      0,        4,
                            49, 55,  3.0,  0.002, 5e-5, 1.5e-5, 0.0075, 0.4},
    {"1942, 3° strip 18°",  19423, 18,  krasovsky1940, 1,        18,      0,        6,
                            49, 55,  1.5,  0.002, 5e-5, 4e-6,   0.001,  0.025},
    {"1992",                1992,  0,   grs80,         0.9993,   19,      -5300000, 0,
                            49, 55,  5.2,  0.002, 5e-5, 7e-5,   0.05,   1.2},
    {"2000, meridian 15°",  2000,  15,  grs80,         0.999923, 15,      0,        5,
                            49, 55,  1.5,  0.002, 5e-5, 4e-6,   0.001,  0.006},
    {"2000, meridian 24°",  2000,  24,  grs80,         0.999923, 24,      0,        8,
                            49, 55,  1.5,  0.002, 5e-5, 4e-6,   0.001,  0.006},
    {"UTM zone 34",         1000,  21,  grs80,         0.9996,   21,      0,        0,
                            0,  84,  3.0,  0.003, 5e-5, 5e-5,   0.012,  1.0},
    {"UTM as stored, 0°",   1000,  0,   grs80,         0.9996,   0,       0,        0,
                            0,  84,  3.0,  0.003, 5e-5, 5e-5,   0.012,  1.0},
};
// clang-format on

struct GaussKrugerErrors {
    double positionMm = 0, convergenceCc = 0, arcToChordCcPerKm = 0, factorMmPerKm = 0,
           keptMmPerKm = 0;
};

// Largest differences over a 13 × 13 grid of points and lines of 1, 10 and 30 km in eight
// directions from each. The lines are geodesics; both ends go through GeographicLib's forward
// mapping and are stored as the system stores them.
GaussKrugerErrors gaussKrugerErrors(const GaussKrugerCase& c) {
    const ProjectionParameters p = projectionParameters(test::systemZone(c.system, c.zone));
    const double meridian = c.meridian;
    const double f = 1 - c.ellipsoid.b / c.ellipsoid.a;
    const TransverseMercator tm(c.ellipsoid.a, f, c.m0);
    const Geodesic geodesic(c.ellipsoid.a, f);
    const auto projected = [&](double lat, double lon, double& gamma) {
        double easting = 0, northing = 0, k = 0;
        tm.Forward(meridian, lat, lon, easting, northing, gamma, k);
        const GridPoint stored{northing + c.falseNorthing, easting + 500000 + c.prefix * 1e6};
        return toProjectionAxes(p, stored);
    };

    GaussKrugerErrors worst;
    constexpr int32_t steps = 12;
    for (int32_t i = 0; i <= steps; ++i) {
        for (int32_t j = 0; j <= steps; ++j) {
            const double lat1 = c.latitudeFrom + (c.latitudeTo - c.latitudeFrom) * i / steps;
            const double lon1 = meridian + c.longitudeHalfWidth * (2.0 * j / steps - 1);
            double gamma1 = 0;
            const GridPoint p1 = projected(lat1, lon1, gamma1);
            const GeodeticPosition back = gkToGeodetic(p, p1);
            const double northMm =
                double(back.latitudeSec / secondsPerDegree - lat1) * pi / 180 * c.ellipsoid.a * 1e3;
            const double eastMm = double(back.longitudeSec / secondsPerDegree - lon1) * pi / 180 *
                                  c.ellipsoid.a * 1e3 * std::cos(lat1 * pi / 180);
            worst.positionMm = std::max(worst.positionMm, std::hypot(northMm, eastMm));

            const GeodeticPosition g1{lat1 * secondsPerDegree, lon1 * secondsPerDegree};
            const Real convergence = gkConvergence(p, g1);
            worst.convergenceCc = std::max(worst.convergenceCc,
                                           double(std::fabs(convergence + gamma1 * ccPerDegree)));

            for (const double s : {1000.0, 10000.0, 30000.0}) {
                for (int32_t k = 0; k < 8; ++k) {
                    const double alpha = 45 * k + 5 * (k % 2);
                    double lat2 = 0, lon2 = 0, gamma2 = 0;
                    geodesic.Direct(lat1, lon1, alpha, s, lat2, lon2);
                    const GridPoint p2 = projected(lat2, lon2, gamma2);
                    const Real dx = p2.x - p1.x;
                    const Real dy = p2.y - p1.y;
                    const Real d = std::sqrt(dx * dx + dy * dy);
                    const Real chordBearing = gridAzimuth(dx / d, dy / d);
                    const Real geodesicBearing = (alpha - gamma1) * ccPerDegree;
                    const Real delta = gkArcToChord(p, p1, p2, g1.latitudeSec);
                    worst.arcToChordCcPerKm =
                        std::max(worst.arcToChordCcPerKm,
                                 double(std::fabs(wrapCc(chordBearing - geodesicBearing) - delta)) /
                                     (s / 1000));
                    const Real k12 = gkDistanceFactor(p, p1, p2, g1.latitudeSec);
                    worst.factorMmPerKm =
                        std::max(worst.factorMmPerKm, double(std::fabs(k12 - (1 - s / d))) * 1e6);
                    if (s == 1000.0) {
                        worst.keptMmPerKm =
                            std::max(worst.keptMmPerKm, double((d / s - 1) - k12) * 1e6);
                    }
                }
            }
        }
    }
    return worst;
}

TEST(GaussKruger, InverseMappingAgainstGeographicLib) {
    // Achieved: 0.0013 mm in the 1942, 1992 and 2000 systems, 0.0025 mm for UTM up to 84°:
    // the truncation of the series at n^4.
    for (const GaussKrugerCase& c : gaussKrugerCases) {
        SCOPED_TRACE(c.name);
        EXPECT_LE(gaussKrugerErrors(c).positionMm, c.positionMm); // tolerance 0.002-0.003 mm
    }
}

TEST(GaussKruger, ConvergenceAgainstGeographicLib) {
    // Achieved: 0.00003 cc everywhere.
    for (const GaussKrugerCase& c : gaussKrugerCases) {
        SCOPED_TRACE(c.name);
        EXPECT_LE(gaussKrugerErrors(c).convergenceCc, c.convergenceCc); // tolerance 0.00005 cc
    }
}

TEST(GaussKruger, ArcToChordAgainstGeodesics) {
    // Achieved on 10 km lines: 0.0006 cc at the 1992 edges (380 km from the meridian), 0.0004 cc
    // for UTM near the equator, 0.0001 cc in 6° strips, 0.00001 cc in 3° zones; growing about
    // linearly with length (0.0015 cc on 30 km lines in 1992).
    for (const GaussKrugerCase& c : gaussKrugerCases) {
        SCOPED_TRACE(c.name);
        EXPECT_LE(gaussKrugerErrors(c).arcToChordCcPerKm, c.arcToChordCcPerKm);
    }
}

TEST(GaussKruger, DistanceFactorIsOneMinusInverseMeanScale) {
    // k matches 1 − s/d to 0.046 mm/km in 1992, 0.006 mm/km in 6° strips, 0.01 mm/km for UTM
    // and 0.0008 mm/km in 3° zones. The 1992 figure is the series' own: it takes R at the latitude
    // of point 1, not at the foot point of the meridian, which leaves an η²t²u⁴ term (0.04 mm/km at
    // the 1992 edges; 0.006 mm/km with R at the foot point).
    //
    // Kept on purpose: k is 1 − 1/m, not m − 1, so dD = k·D falls short of the scale reduction by
    // (m − 1)²/m: up to 1.2 mm/km on this 1992 grid (1.4 mm/km where a 30 km line reaches
    // 410 km from the meridian), 0.006 mm/km inside a 2000 zone. Stored results rely on it.
    for (const GaussKrugerCase& c : gaussKrugerCases) {
        SCOPED_TRACE(c.name);
        const GaussKrugerErrors e = gaussKrugerErrors(c);
        EXPECT_LE(e.factorMmPerKm, c.factorMmPerKm);
        EXPECT_LE(e.keptMmPerKm, c.keptMmPerKm);
    }
}

TEST(GaussKruger, CentralMeridianEdgeCases) {
    // On the meridian γ = 0 and k of a short line is exactly 1 − 1/m0 (m0 − 1 would be off by
    // (m0 − 1)²: 0.006 mm/km in 2000, 0.49 mm/km in 1992).
    struct Case {
        int32_t system, zone;
        Real expectedFactor;
    };
    const Case cases[] = {
        {2000, 18, -0.0000770059294566L},
        {1992, 0, -0.000700490343240L},
        {1000, 21, -0.000400160064026L},
        {19426, 15, 0},
        {19423, 24, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.system);
        const ProjectionParameters p = projectionParameters(test::systemZone(c.system, c.zone));
        for (const Real x : {5500000.0L, 6100000.0L}) {
            const GridPoint onMeridian{x, 0};
            const GeodeticPosition g = gkToGeodetic(p, onMeridian);
            EXPECT_NEAR(gkConvergence(p, g), 0, 1e-9); // tolerance 1e-9 cc
            EXPECT_NEAR(gkArcToChord(p, onMeridian, {x + 100, 0}, g.latitudeSec), 0, 1e-9);
            // A 100 m line north, and one 1 m east: tolerance 1e-14 = 0.00000001 mm/km.
            EXPECT_NEAR(gkDistanceFactor(p, onMeridian, {x + 100, 0}, g.latitudeSec),
                        c.expectedFactor, 1e-14);
            EXPECT_NEAR(gkDistanceFactor(p, onMeridian, {x, 1}, g.latitudeSec), c.expectedFactor,
                        1e-14);
        }
    }
}

TEST(GaussKruger, ConvergenceAfterInverseIgnoresTheCentralMeridian) {
    ProjectionParameters p = projectionParameters(test::systemZone(2000, 0));
    for (const GridPoint q :
         {GridPoint{5500000, 250000}, GridPoint{6050000, -120000}, GridPoint{5800000, 1000}}) {
        const Real reference = gkConvergence(p, gkToGeodetic(p, q));
        for (const Real meridian : {15.0L, 19.0L, 24.0L, -120.5L, 177.0L}) {
            SCOPED_TRACE(testing::Message() << double(meridian) << " " << double(q.y));
            p.centralMeridian = meridian;
            EXPECT_NEAR(gkConvergence(p, gkToGeodetic(p, q)), reference, 1e-9); // 1e-9 cc
        }
        p.centralMeridian = 0;
    }
}

TEST(Zone1965, ZoneCentres) {
    // Tolerances 1e-12 ppm and 1e-12 cc, 1e-9 ppm where K enters.
    const GridPoint centre1{5467000, 4637000};
    EXPECT_NEAR(zone1965Distortion(1, ProjectionFormulas::Zone1965, 5467, 4637), -200, 1e-12);
    EXPECT_NEAR(zone1965Distortion(1, ProjectionFormulas::Zone1965of86, 5467, 4637), -199.566,
                1e-12);
    EXPECT_NEAR(zone1965Distortion(5, ProjectionFormulas::Zone1965, 800, 237), -17, 1e-12);
    EXPECT_NEAR(zone1965Distortion(5, ProjectionFormulas::Zone1965of86, 800, 237), -14.24, 1e-12);
    // 100 km from the centre of zone 1: 10 000 km² · K + M, by hand.
    EXPECT_NEAR(zone1965Distortion(1, ProjectionFormulas::Zone1965, 5567, 4637), -138.6815294,
                1e-9);
    EXPECT_EQ(zone1965Distortion(0, ProjectionFormulas::Zone1965, 5467, 4637), 0);
    EXPECT_EQ(zone1965Convergence(0, 5467000, 4737000), 0);
    EXPECT_EQ(zone1965ArcToChord(0, centre1, {5477000, 4647000}), 0);
    EXPECT_EQ(zone1965ArcToChord(6, centre1, {5477000, 4647000}), 0);

    struct Case {
        int32_t zone;
        GridPoint centre;
    };
    const Case cases[] = {
        {1, centre1}, {2, {5806000, 4603000}}, {3, {5999000, 3501000}}, {4, {5627000, 3703000}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.zone);
        EXPECT_NEAR(zone1965Convergence(c.zone, c.centre.x, c.centre.y), 0, 1e-12);
        for (const GridPoint offset :
             {GridPoint{25000, 0}, GridPoint{-7000, 31000}, GridPoint{120000, -95000}}) {
            const GridPoint p2{c.centre.x + offset.x, c.centre.y + offset.y};
            EXPECT_NEAR(zone1965ArcToChord(c.zone, c.centre, p2), 0, 1e-12);
        }
    }
    EXPECT_NEAR(zone1965Convergence(5, 880000, 237000), 0, 1e-12);
}

// The 1965 zones from their geodetic definitions on the Krasovsky ellipsoid: zones 1 to 4 are
// stereographic projections of Gauss's conformal sphere touching at the zone centre (the
// double projection, EPSG method 9809), zone 5 a transverse Mercator strip.
struct Zone1965Definition {
    int32_t zone;
    double latitude0, longitude0; ///< degrees
    double m0;
    double falseNorthing, falseEasting;
    double convergenceCc, distortionPpm, arcToChordCc; ///< tolerances
};

constexpr double dms(double degrees, double minutes, double seconds) {
    return degrees + minutes / 60 + seconds / secondsPerDegree;
}

// clang-format off
const Zone1965Definition zone1965Definitions[] = {
    // zone φ0               λ0               m0        north     east     conv  dist  a2c
    {1,     dms(50, 37, 30), dms(21, 5, 0),   0.9998,   5467000,  4637000, 0.03, 0.2,  0.002},
    {2,     dms(53, 0, 7),   dms(21, 30, 10), 0.9998,   5806000,  4603000, 0.03, 0.02, 0.002},
    {3,     dms(53, 35, 0),  dms(17, 0, 30),  0.9998,   5999000,  3501000, 0.03, 0.02, 0.002},
    {4,     dms(51, 40, 15), dms(16, 40, 20), 0.9998,   5627000,  3703000, 0.03, 0.02, 0.002},
    {5,     0,               dms(18, 57, 30), 0.999983, -4700000, 237000,  0.25, 0.1,  0.002},
};
// clang-format on

using ForwardMapping = std::function<GridPoint(double lat, double lon)>;

ForwardMapping zone1965Mapping(const Zone1965Definition& z, double a, double b) {
    if (z.zone == 5) {
        const TransverseMercator tm(a, 1 - b / a, z.m0);
        return [=](double lat, double lon) {
            double easting = 0, northing = 0;
            tm.Forward(z.longitude0, lat, lon, easting, northing);
            return GridPoint{northing + z.falseNorthing, easting + z.falseEasting};
        };
    }
    const double e2 = 1 - b * b / (a * a);
    const double e = std::sqrt(e2);
    const double phi0 = z.latitude0 * pi / 180;
    const double s0 = std::sin(phi0);
    const double radius = a * std::sqrt(1 - e2) / (1 - e2 * s0 * s0); // √(ρν) at φ0
    const double n = std::sqrt(1 + e2 * std::pow(std::cos(phi0), 4) / (1 - e2));
    const auto isometric = [=](double sinPhi) {
        return std::pow(
            (1 + sinPhi) / (1 - sinPhi) * std::pow((1 - e * sinPhi) / (1 + e * sinPhi), e), n);
    };
    const double w1 = isometric(s0);
    const double sinChi1 = (w1 - 1) / (w1 + 1);
    const double c = (n + s0) * (1 - sinChi1) / ((n - s0) * (1 + sinChi1));
    const double chi0 = std::asin((c * w1 - 1) / (c * w1 + 1));
    return [=](double lat, double lon) {
        const double w = c * isometric(std::sin(lat * pi / 180));
        const double chi = std::asin((w - 1) / (w + 1));
        const double dLambda = n * (lon - z.longitude0) * pi / 180;
        const double bDenominator =
            1 + std::sin(chi) * std::sin(chi0) + std::cos(chi) * std::cos(chi0) * std::cos(dLambda);
        const double k = 2 * radius * z.m0 / bDenominator;
        return GridPoint{z.falseNorthing + k * (std::sin(chi) * std::cos(chi0) -
                                                std::cos(chi) * std::sin(chi0) * std::cos(dLambda)),
                         z.falseEasting + k * std::cos(chi) * std::sin(dLambda)};
    };
}

TEST(Zone1965, FormulasAgainstTheZoneDefinitions) {
    // Achieved: convergence 0.02 cc in zones 1-4 and 0.2 cc in zone 5 (its P·Y − Q·Y³ is a
    // coarser fit), arc-to-chord 0.0017 cc on 10 km lines, distortion 0.013 ppm in zones 2-4
    // and 0.06 ppm in zone 5. Zone 1's distortion is off by 0.17 ppm at 150 km from the centre,
    // growing with the square of the distance: its K 0.00613184706 (and 0.00613184972 of
    // 1965/86) reads like 0.00613814706 with two digits swapped. That value is 1e6/(4 R0² m0)
    // of the zone's sphere, as the K of zones 2-4 are theirs to 0.001 %, it keeps the ratio of
    // arc-to-chord K to distortion K of the other zones, and it brings the difference down to
    // 0.02 ppm. The constant is kept as the system has always used it. Only the 1965 constants
    // have a definition to check against.
    const auto [a, b] = krasovsky1940;
    const Geodesic geodesic(a, 1 - b / a);
    for (const Zone1965Definition& z : zone1965Definitions) {
        SCOPED_TRACE(z.zone);
        const ForwardMapping forward = zone1965Mapping(z, a, b);
        // Zone 5 spans about 49.2° to 51° and 1.2° either side of its meridian.
        const double lat0 = z.zone == 5 ? 50.1 : z.latitude0;
        const double latHalf = z.zone == 5 ? 0.9 : 1.0;
        const double lonHalf = z.zone == 5 ? 1.2 : 1.5;
        double convergence = 0, distortion = 0, arcToChord = 0;
        for (int32_t i = -5; i <= 5; ++i) {
            for (int32_t j = -5; j <= 5; ++j) {
                const double lat = lat0 + latHalf * i / 5;
                const double lon = z.longitude0 + lonHalf * j / 5;
                const GridPoint p1 = forward(lat, lon);
                // Grid north's bearing and the point scale from a 2 m stretch of meridian.
                const double h = 1e-5;
                const GridPoint north = forward(lat + h, lon);
                const GridPoint south = forward(lat - h, lon);
                const double gammaCc =
                    -std::atan2(double(north.y - south.y), double(north.x - south.x)) *
                    double(rhoCc);
                double s = 0;
                geodesic.Inverse(lat - h, lon, lat + h, lon, s);
                const double scale =
                    std::hypot(double(north.x - south.x), double(north.y - south.y)) / s;
                convergence =
                    std::max(convergence,
                             std::fabs(gammaCc - double(zone1965Convergence(z.zone, p1.x, p1.y))));
                distortion = std::max(
                    distortion,
                    std::fabs((scale - 1) * 1e6 -
                              double(zone1965Distortion(z.zone, ProjectionFormulas::Zone1965,
                                                        p1.x / 1000, p1.y / 1000))));
                for (int32_t k = 0; k < 8; ++k) {
                    const double alpha = 45 * k + 10;
                    double lat2 = 0, lon2 = 0;
                    geodesic.Direct(lat, lon, alpha, 10000, lat2, lon2);
                    const GridPoint p2 = forward(lat2, lon2);
                    const Real chordBearing = std::atan2(p2.y - p1.y, p2.x - p1.x) * rhoCc;
                    const Real truth = wrapCc(chordBearing - (alpha * ccPerDegree - gammaCc));
                    arcToChord = std::max(
                        arcToChord, double(std::fabs(truth - zone1965ArcToChord(z.zone, p1, p2))));
                }
            }
        }
        EXPECT_LE(convergence, z.convergenceCc);
        EXPECT_LE(distortion, z.distortionPpm);
        EXPECT_LE(arcToChord, z.arcToChordCc);
    }
}

} // namespace
} // namespace ptw3
