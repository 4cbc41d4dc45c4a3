// Angle observations against values from outside the code: hand computation from the rules,
// bearings by atan2, derivatives by central differences, and the reduction of an angle
// observed between geodesics on the ellipsoid (GeographicLib) to the angle between the chords
// of the projected points.
#include "observations/angle_observations.h"
#include "test_support.h"

#include <GeographicLib/Geodesic.hpp>
#include <GeographicLib/TransverseMercator.hpp>
#include <cmath>
#include <gtest/gtest.h>
#include <numbers>
#include <vector>

namespace ptw3 {
namespace {

double d(Real v) {
    return static_cast<double>(v);
}

constexpr Real pi = std::numbers::pi_v<Real>;
/// Centesimal seconds per radian from π itself, independent of the program's rounded ρ.
constexpr Real ccPerRadian = 2000000 / pi;

/// The angle (cc) at C from L to P by atan2, in [0, 4 000 000).
Real atan2Angle(GridPoint c, GridPoint l, GridPoint p) {
    Real a = std::atan2(p.y - c.y, p.x - c.x) - std::atan2(l.y - c.y, l.x - c.x);
    if (a < 0) {
        a += 2 * pi;
    }
    return a * ccPerRadian;
}

TEST(ComputedAngle, ClockwiseFromLeftToRight) {
    struct Case {
        const char* name;
        GridPoint c, l, p;
        Real expectedCc; // hand values on the axes and diagonals; atan2 elsewhere
    };
    const GridPoint o{0, 0};
    const GridPoint far{5712345.678L, 6512345.678L}; // a station with coordinates of 2000
    const Case cases[] = {
        {"north to north-east", o, {1, 0}, {1, 1}, 500000},
        {"north-east back to north wraps", o, {1, 1}, {1, 0}, 3500000},
        {"south-west to south-east", o, {-1, -1}, {1, -1}, 1000000},
        {"west to east across north", o, {0, -1}, {0, 1}, 2000000},
        {"both targets on one line", o, {2, 0}, {5, 0}, 0},
        {"general lines", o, {3, 4}, {-5, 12}, atan2Angle(o, {3, 4}, {-5, 12})},
        {"station far from the origin",
         far,
         {far.x + 300.25L, far.y - 1200.5L},
         {far.x - 800.75L, far.y + 20.125L},
         atan2Angle(far, {far.x + 300.25L, far.y - 1200.5L}, {far.x - 800.75L, far.y + 20.125L})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Real angle = computedAngleCc(lineIncrements(c.c, c.l), lineIncrements(c.c, c.p));
        // ρ of the program differs from 2 000 000/π by 7e-13 relative: 3e-6 cc at a full circle.
        EXPECT_NEAR(d(angle), d(c.expectedCc), 1e-5); // tolerance 0.00001 cc
        EXPECT_GE(angle, 0);
        EXPECT_LT(angle, fullCircleCc);
    }
}

TEST(AngleFreeTerm, ReducedAngleAndWrapRoundTheCircle) {
    struct Case {
        const char* name;
        Real computedCc, observedGrad;
        AngleReductions reductions;
        Real reducedCc, freeTermCc; // by hand: αr = value·10000 + δP − δL, l = αc − αr
    };
    const Case cases[] = {
        {"plain", 1234567.8L, 123.4560L, {}, 1234560, 7.8L},
        {"reductions enter as δP − δL", 1000000, 100, {-3.25L, 4.5L}, 1000007.75L, -7.75L},
        {"399.9999 g computed, 0.0001 g observed", 3999999, 0.0001L, {}, 1, -2},
        {"0.0001 g computed, 399.9999 g observed", 1, 399.9999L, {}, 3999999, 2},
        {"reduction carries the observation below zero", 3999998, 0.00001L, {5, 0}, -4.9L, 2.9L},
        {"exactly three quarters stays", 3000000, 0, {}, 0, 3000000},
        {"just beyond three quarters wraps", 3000000.5L, 0, {}, 0, -999999.5L},
        {"minus three quarters stays", 0, 300, {}, 3000000, -3000000},
        {"just below minus three quarters wraps", 0, 300.00001L, {}, 3000000.1L, 999999.9L},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const AngleFreeTerm t = angleFreeTerm(c.computedCc, c.observedGrad, c.reductions);
        EXPECT_NEAR(d(t.reducedCc), d(c.reducedCc), 1e-6); // tolerance 0.000001 cc
        EXPECT_NEAR(d(t.freeTermCc), d(c.freeTermCc), 1e-6);
    }
}

TEST(AngleWeightRoot, ReciprocalOfTheMeanErrorKeptFinite) {
    // 1/(m + 1e-12) = (1/m)(1 − 1e-12/m) to first order: 0.1 − 1e-14 for m = 10 cc.
    EXPECT_NEAR(d((angleWeightRoot(10) - 0.1L) * 1e14L), -1, 1e-6);
    EXPECT_NEAR(d((angleWeightRoot(20) - 0.05L) * 1e15L), -2.5, 1e-6);
    EXPECT_NEAR(d(angleWeightRoot(0)), 1e12, 1e-3); // a mean error of 0: s = 10^12
}

TEST(AngleCoefficients, PartialDerivativesOfTheAngleTimesTheWeightRoot) {
    struct Case {
        const char* name;
        GridPoint c, l, p;
        Real s;
    };
    const Case cases[] = {
        {"axes", {0, 0}, {1000, 0}, {0, 1000}, 0.1L},
        {"general", {100, 200}, {1100, 700}, {-300, 1500}, 1 / 14.12L},
        {"short and long lines", {5712000, 6512000}, {5712030, 6511990}, {5702000, 6530000}, 0.05L},
        {"left and right on one line", {0, 0}, {300, 400}, {600, 800}, 1},
    };
    // Central differences of the atan2 angle in cc per metre: the step's truncation error is
    // (h/d)² relative, so tolerance 1e-7 relative.
    constexpr Real h = 1e-3L;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const AngleCoefficients a =
            angleCoefficients(lineIncrements(c.c, c.l), lineIncrements(c.c, c.p), c.s);
        const auto derivative = [&](int point, bool alongX) {
            GridPoint plus[3] = {c.l, c.c, c.p};
            GridPoint minus[3] = {c.l, c.c, c.p};
            (alongX ? plus[point].x : plus[point].y) += h;
            (alongX ? minus[point].x : minus[point].y) -= h;
            Real diff =
                atan2Angle(plus[1], plus[0], plus[2]) - atan2Angle(minus[1], minus[0], minus[2]);
            if (diff > fullCircleCc / 2) {
                diff -= fullCircleCc;
            } else if (diff < -fullCircleCc / 2) {
                diff += fullCircleCc;
            }
            return c.s * diff / (2 * h);
        };
        const struct {
            const char* which;
            Real coefficient, expected;
        } terms[] = {
            {"dX of L", a.leftX, derivative(0, true)},
            {"dY of L", a.leftY, derivative(0, false)},
            {"dX of C", a.stationX, derivative(1, true)},
            {"dY of C", a.stationY, derivative(1, false)},
            {"dX of P", a.rightX, derivative(2, true)},
            {"dY of P", a.rightY, derivative(2, false)},
        };
        for (const auto& t : terms) {
            SCOPED_TRACE(t.which);
            EXPECT_NEAR(d(t.coefficient), d(t.expected), 1e-7 * std::fabs(d(t.expected)) + 1e-12);
        }
    }
}

TEST(AngleReductions, ByCoordinateSystem) {
    // 1965 zones 1 to 4: δ12 = [(x1 − x2)(y1 − Y0) − (y1 − y2)(x1 − X0)]·K in km; zone 1 has
    // X0 = 5467 km, Y0 = 4637 km, K = 0.003908536. Zone 5: δ12 = (x1 − x2)·2.605e-6·(2y1 + y2
    // − 711000)·0.001. Worked by hand for a station 10 km from the zone-1 centre each way.
    constexpr Real k1 = 0.003908536L;
    struct Case {
        const char* name;
        int32_t system, zone;
        GridPoint c, l, p;
        Real left, right; // cc
    };
    // clang-format off
    const Case cases[] = {
        // name                                 system zone C                   L                   P
        {"local: none, however far out",         0,    0, {5712000, 6512000}, {5812000, 6512000}, {5712000, 7512000},
         0, 0},
        {"1965 zone 1",                          1965, 1, {5477000, 4647000}, {5487000, 4647000}, {5477000, 4657000},
         -100 * k1, 100 * k1},
        {"1965/86 zone 1, the same formulas",    1986, 1, {5477000, 4647000}, {5487000, 4647000}, {5477000, 4657000},
         -100 * k1, 100 * k1},
        {"1965 zone 5",                          1965, 5, {5500000, 300000},  {5510000, 300000},  {5490000, 310000},
         -10000 * 2.605e-6L * 189, 10000 * 2.605e-6L * 199},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const AngleReductions r =
            angleReductions(projectionParameters(test::systemZone(c.system, c.zone)), c.c, c.l, c.p);
        EXPECT_NEAR(d(r.left), d(c.left), 1e-9); // tolerance 1e-9 cc
        EXPECT_NEAR(d(r.right), d(c.right), 1e-9);
    }
}

TEST(AngleReductions, GaussKrugerAngleBetweenGeodesicsToAngleBetweenChords) {
    // An angle observed at C between the geodesics to L and P (GeographicLib's azimuths on the
    // ellipsoid), reduced by δP − δL, must equal the angle between the chords of the points
    // projected by GeographicLib's transverse Mercator. Achieved: 0.00002 cc on 10 km lines in
    // every case, against reductions of 0.2 to 15 cc; tolerance 0.0002 cc.
    struct Ellipsoid {
        double a, b;
    };
    constexpr Ellipsoid grs80{6378137, 6356752.3141};
    constexpr Ellipsoid krasovsky{6378245, 6356863.01877};
    struct Case {
        const char* name;
        int32_t system, zone;
        Ellipsoid ellipsoid;
        double m0, meridian, falseNorthing, prefix;
        double latitude, longitude; // station, degrees
        double azimuthL, azimuthP;  // geodesic azimuths at the station, degrees
        double lengthM;
    };
    // clang-format off
    const Case cases[] = {
        // name                                system zone ellipsoid  m0        meridian N     prefix
        //                                     station φ, λ  azimuths L, P   length
        {"2000 zone 18, near the meridian",   2000,  18,  grs80,     0.999923, 18, 0,        6e6,
                                              52.2, 18.3,   10,  95,      10000},
        {"2000 zone 18, 1.4° east",           2000,  18,  grs80,     0.999923, 18, 0,        6e6,
                                              50.1, 19.4,   350, 170,     10000},
        {"2000 zone 18, 1.4° west, obtuse",   2000,  18,  grs80,     0.999923, 18, 0,        6e6,
                                              54.5, 16.6,   200, 30,      10000},
        {"2000 zone 18, short lines",         2000,  18,  grs80,     0.999923, 18, 0,        6e6,
                                              53.0, 19.2,   45,  300,     1000},
        {"1992, far east",                    1992,  0,   grs80,     0.9993,   19, -5300000, 0,
                                              50.5, 23.8,   120, 250,     10000},
        {"1942, 3° strip 21°",                19423, 21,  krasovsky, 1,        21, 0,        7e6,
                                              51.0, 22.3,   5,   280,     10000},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const double f = 1 - c.ellipsoid.b / c.ellipsoid.a;
        const GeographicLib::Geodesic geodesic(c.ellipsoid.a, f);
        const GeographicLib::TransverseMercator tm(c.ellipsoid.a, f, c.m0);
        const auto stored = [&](double lat, double lon) {
            double easting = 0, northing = 0;
            tm.Forward(c.meridian, lat, lon, easting, northing);
            return GridPoint{northing + c.falseNorthing, easting + 500000 + c.prefix};
        };
        double latL = 0, lonL = 0, latP = 0, lonP = 0;
        geodesic.Direct(c.latitude, c.longitude, c.azimuthL, c.lengthM, latL, lonL);
        geodesic.Direct(c.latitude, c.longitude, c.azimuthP, c.lengthM, latP, lonP);
        const GridPoint station = stored(c.latitude, c.longitude);
        const GridPoint left = stored(latL, lonL);
        const GridPoint right = stored(latP, lonP);

        double observedDeg = c.azimuthP - c.azimuthL;
        if (observedDeg < 0) {
            observedDeg += 360;
        }
        const AngleReductions r =
            angleReductions(projectionParameters(test::systemZone(c.system, c.zone)), station, left, right);
        const AngleFreeTerm t =
            angleFreeTerm(atan2Angle(station, left, right), observedDeg / 0.9L, r);
        EXPECT_NEAR(d(t.freeTermCc), 0, 0.0002); // tolerance 0.0002 cc
        // The reductions themselves are of the expected size (cc), not zero.
        EXPECT_GT(std::fabs(d(r.right - r.left)), 0.01);
    }
}

TEST(SchreiberAngles, CountOfASet) {
    EXPECT_EQ(schreiberAngleCount(2), 1);
    EXPECT_EQ(schreiberAngleCount(3), 3);
    EXPECT_EQ(schreiberAngleCount(4), 6);
    EXPECT_EQ(schreiberAngleCount(500), 124750);
}

TEST(StationOrientation, WeightedMeanOfTheAngleFreeTerms) {
    struct Case {
        const char* name;
        std::vector<SetDirection> directions; // R is not used
        Real expectedCc;                      // by hand: Σ l/m² / Σ 1/m², l1 = 0
    };
    const Case cases[] = {
        {"symmetric", {{0, 10, 0}, {0, 10, -7.5L}, {0, 10, 7.5L}}, 0},
        {"equal weights: the mean", {{0, 10, 0}, {0, 10, 6}, {0, 10, 9}}, 5},
        {"two directions", {{0, 10, 0}, {0, 10, -25.5L}}, -12.75L},
        {"weights 1/m²", {{0, 10, 0}, {0, 20, 8}, {0, 5, -4}}, (8 / 400.0L - 4 / 25.0L) / 0.0525L},
        {"the first direction weighs in though its term is 0",
         {{0, 5, 0}, {0, 10, 10}},
         10 / 100.0L / (1 / 25.0L + 1 / 100.0L)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // The 1e-8 cc² guard of the later directions: tolerance 1e-8 cc.
        EXPECT_NEAR(d(stationOrientationCc(c.directions)), d(c.expectedCc), 1e-8);
    }
}

TEST(DirectionAccuracy, FactorMeanErrorsAndCap) {
    struct Case {
        const char* name;
        Real ratioSum;
        int32_t n;
        Real m, mo;
        Real observed, adjusted; // by hand: F = √(Q/(n − 1)), m_adj = min(m·F·Mo, m·Mo)
    };
    const Case cases[] = {
        {"two directions: F = √Q", 0.36L, 2, 10, 1.5L, 15, 9},
        {"three directions", 0.98L, 3, 10, 2, 20, 14},
        {"ratios summing past n − 1 are capped", 3.2L, 3, 10, 2, 20, 20},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const DirectionMeanErrors m =
            directionMeanErrors(c.m, c.mo, directionAccuracyFactor(c.ratioSum, c.n));
        EXPECT_NEAR(d(m.observedCc), d(c.observed), 1e-12); // tolerance 1e-12 cc
        EXPECT_NEAR(d(m.adjustedCc), d(c.adjusted), 1e-12);
    }
    // The ratio of a Schreiber angle, guarded against an observed mean error of 0.
    EXPECT_NEAR(d(meanErrorRatioSquared(6, 12)), 0.25, 1e-8);
    EXPECT_EQ(meanErrorRatioSquared(0, 0), 0);
    EXPECT_NEAR(d(adjustedAngleMeanErrorCc(0.25L, 2, 10)), 10, 1e-15);
}

TEST(AdjustedReading, WrappedIntoTheCircle) {
    struct Case {
        const char* name;
        Real readingCc, residualCc;
        Real expectedGrad;
    };
    const Case cases[] = {
        {"inside", 1234567, 3.3L, 123.45703L},
        {"past the full circle", 3999990, 20, 0.001L},
        {"below zero", 5, -20, 399.9985L},
        {"exactly the full circle", 3999990, 10, 0},
        {"a reading reduced past the circle", 4000003, 0, 0.0003L},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Real grad = adjustedReadingGrad(c.readingCc, c.residualCc);
        EXPECT_NEAR(d(grad), d(c.expectedGrad), 1e-10); // tolerance 1e-6 cc
        EXPECT_GE(grad, 0);
        EXPECT_LT(grad, 400);
    }
}

} // namespace
} // namespace ptw3
