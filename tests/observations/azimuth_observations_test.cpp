// Azimuth formulas against hand computation, an independent bearing (atan2) with numerical
// derivatives, and GeographicLib's geodesics and transverse Mercator mapping for the reduction
// of GPS azimuths.
#include "observations/azimuth_observations.h"
#include "test_support.h"

#include <GeographicLib/Geodesic.hpp>
#include <GeographicLib/TransverseMercator.hpp>
#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <numbers>

namespace ptw3 {
namespace {

constexpr Real pi = std::numbers::pi_v<Real>;
constexpr Real ccPerRadian = 2000000 / pi;

/// Bearing (cc, clockwise from +X) of the line (dX, dY), independent of gridAzimuth.
Real bearingCc(Real dX, Real dY) {
    const Real t = std::atan2(dY, dX) * ccPerRadian;
    return t < 0 ? t + fullCircleCc : t;
}

/// A line of the given length (m) whose bearing is t (cc).
LineVector lineAt(Real tCc, Real lengthM) {
    return lineBetween(
        {0, 0}, {lengthM * std::cos(tCc / ccPerRadian), lengthM * std::sin(tCc / ccPerRadian)});
}

TEST(AzimuthTurns, HalfCircleTurnsAndWholeCircles) {
    struct Case {
        const char* name;
        Real v, half, full, expected;
    };
    const Case turns[] = {
        {"north turns south", 0, halfCircleCc, fullCircleCc, 2000000},
        {"east turns west", 1000000, halfCircleCc, fullCircleCc, 3000000},
        {"west turns east", 3000000, halfCircleCc, fullCircleCc, 1000000},
        {"south turns to a full circle, not zero", 2000000, halfCircleCc, fullCircleCc, 4000000},
        {"just past south", 2000000.5L, halfCircleCc, fullCircleCc, 0.5L},
        {"grads: 150 g", 150, 200, 400, 350},
        {"grads: 250 g", 250, 200, 400, 50},
        {"grads: 200 g stays 400 g", 200, 200, 400, 400},
    };
    for (const Case& c : turns) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(turnedByHalfCircle(c.v, c.half, c.full), c.expected); // exact
    }

    struct Within {
        Real bearingCc, expectedCc;
    };
    const Within within[] = {
        {0, 0},
        {4000000, 4000000}, // the closed interval keeps a full circle
        {-10, 3999990},
        {4000010, 10},
        {-3000000, 1000000}, // −300 g written for 100 g
        {17000000, 1000000}, // 1700 g: four whole circles, not one
        {-4000010, 3999990},
        {4000000e6L + 10, 10}, // a million turns: taken modulo the circle
        {-4000000e6L - 10, 3999990},
    };
    for (const Within& c : within) {
        SCOPED_TRACE(testing::Message() << "Ar " << double(c.bearingCc));
        EXPECT_EQ(bearingWithinCircle(c.bearingCc), c.expectedCc); // exact
    }
    // So many turns that one turn is below the value's last digit: ends, within the circle.
    const Real far = bearingWithinCircle(4.1e88L);
    EXPECT_TRUE(far >= 0 && far <= 4000000) << double(far);
}

TEST(AzimuthFreeTerm, WrapsAcrossTheZeroBearingThenWithinThreeQuarters) {
    struct Case {
        const char* name;
        Real computedCc, reducedCc;
        Real listedCc, cc; // hand-worked: l = Ac − Ar, ±4 000 000 beyond ±3.5 M, then beyond ±3 M
    };
    const Case cases[] = {
        {"observed 399.9990 g, computed 0.0010 g", 10, 3999990, 20, 20},
        {"observed 0.0010 g, computed 399.9990 g", 3999990, 10, -20, -20},
        {"ordinary difference", 1234567.8L, 1234560, 7.8L, 7.8L},
        {"-60 g stays", 1000000, 1600000, -600000, -600000},
        {"+60 g stays", 1600000, 1000000, 600000, 600000},
        {"350 g exactly is listed unwrapped", 3500000, 0, 3500000, -500000},
        {"-350 g exactly is listed unwrapped", 0, 3500000, -3500000, 500000},
        {"320 g is listed as 320 g, enters as -80 g", 3200000, 0, 3200000, -800000},
        {"-320 g is listed as -320 g, enters as +80 g", 0, 3200000, -3200000, 800000},
        {"360 g is listed and enters as -40 g", 3600000, 0, -400000, -400000},
        {"300 g exactly stays", 3000000, 0, 3000000, 3000000},
        {"-300 g exactly stays", 0, 3000000, -3000000, -3000000},
        {"250 g stays", 2500000, 0, 2500000, 2500000},
        {"a full circle from the closed interval", 0, 4000000, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const AzimuthFreeTerm l = azimuthFreeTerm(c.computedCc, c.reducedCc);
        EXPECT_NEAR(l.listedCc, c.listedCc, 1e-9); // tolerance 1e-9 cc
        EXPECT_NEAR(l.cc, c.cc, 1e-9);
    }
}

TEST(BearingCoefficients, AreThePartialDerivativesOfTheBearingTimesTheWeightRoot) {
    // Central differences of the atan2 bearing in each coordinate of either end.
    const Real s = azimuthWeightRoot(4);
    const GridPoint ends[][2] = {
        {{5000000, 7500000}, {5000300, 7500400}},
        {{1000, 1000}, {-2000, 1500}},
        {{1000, 1000}, {900, -3000}},
        {{0, 0}, {-0.03L, -0.08L}}, // short, but the derivative is the same rule
    };
    for (const auto& [i, j] : ends) {
        SCOPED_TRACE(testing::Message() << "to " << double(j.x) << ", " << double(j.y));
        const LineVector line = lineBetween(i, j);
        const BearingCoefficients a = bearingCoefficients(line.dX, line.dY, line.d2, s);
        const Real h = 1e-6L * std::hypot(j.x - i.x, j.y - i.y);
        const auto derivative = [&](Real dxi, Real dyi, Real dxj, Real dyj) {
            const Real plus =
                bearingCc(j.x + dxj * h - i.x - dxi * h, j.y + dyj * h - i.y - dyi * h);
            const Real minus =
                bearingCc(j.x - dxj * h - i.x + dxi * h, j.y - dyj * h - i.y + dyi * h);
            return (plus - minus) / (2 * h) * s;
        };
        const Real relative = 1e-9L * std::fabs(rhoCc * s / std::hypot(j.x - i.x, j.y - i.y));
        EXPECT_NEAR(a.dXi, derivative(1, 0, 0, 0), relative); // tolerance 1e-9 of the largest
        EXPECT_NEAR(a.dYi, derivative(0, 1, 0, 0), relative);
        EXPECT_NEAR(a.dXj, derivative(0, 0, 1, 0), relative);
        EXPECT_NEAR(a.dYj, derivative(0, 0, 0, 1), relative);
    }
}

TEST(AzimuthWeightRoot, ReciprocalOfTheMeanErrorGuardedAtZero) {
    // s = 1/(mA + 1e-7): the guard is visible at the ninth digit.
    struct Case {
        Real meanErrorCc, expected;
    };
    const Case cases[] = {{10, 0.099999999L}, {2.5L, 0.399999984L}, {0, 1e7L}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "mA " << double(c.meanErrorCc));
        EXPECT_NEAR(azimuthWeightRoot(c.meanErrorCc), c.expected,
                    1e-10L * c.expected); // 1e-10 relative
    }
}

TEST(AzimuthEquation, OrientationReductionAndFreeTerm) {
    struct Case {
        const char* name;
        Real bearingCc; // of the line from the observation's `from` to its `to`
        Real valueGrad, reductionCc;
        bool exchange;
        // Worked by hand from the rules.
        Real listedValueGrad, computedCc, reducedCc, listedFreeTermCc, freeTermCc;
    };
    const Case cases[] = {
        {"as observed", 500000, 50.0003L, 0, false, 50.0003L, 500000, 500003, -3, -3},
        {"exchanged: ends and values turned", 500000, 50.0003L, 0, true, 250.0003L, 2500000,
         2500003, -3, -3},
        {"the reduction belongs to the observed end", 500000, 50, 12.5L, true, 250, 2500000,
         2500012.5L, -12.5L, -12.5L},
        {"observed 399.9990 g against 0.0010 g", 10, 399.999L, 0, false, 399.999L, 10, 3999990, 20,
         20},
        {"the same exchanged", 10, 399.999L, 0, true, 199.999L, 2000010, 1999990, 20, 20},
        {"free term -60 g", 1000000, 160, 0, false, 160, 1000000, 1600000, -600000, -600000},
        {"reduction takes Ar below zero", 30, 0.0001L, -5, false, 0.0001L, 30, 3999996, 34, 34},
        {"1700 g names 100 g", 1000000, 1700, 0, false, 1700, 1000000, 1000000, 0, 0},
        {"exchanged 200 g lists 400 g", 2000000, 200, 0, true, 400, 4000000, 4000000, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const LineVector line = lineAt(c.bearingCc, 1000);
        const AzimuthEquation e = azimuthEquation(line, c.valueGrad, c.reductionCc, 5, c.exchange);
        EXPECT_EQ(e.exchanged, c.exchange);
        EXPECT_NEAR(e.listedValueGrad, c.listedValueGrad, 1e-12); // tolerance 1e-8 cc
        EXPECT_NEAR(e.computedCc, c.computedCc, 1e-6);            // tolerance 1e-6 cc
        EXPECT_NEAR(e.reducedCc, c.reducedCc, 1e-6);
        EXPECT_NEAR(e.freeTerm.listedCc, c.listedFreeTermCc, 1e-6);
        EXPECT_NEAR(e.freeTerm.cc, c.freeTermCc, 1e-6);
        EXPECT_NEAR(e.weightRoot, 0.2L, 1e-8);

        // The row is that of the listed line: the same derivatives for the same points.
        const BearingCoefficients asObserved =
            bearingCoefficients(line.dX, line.dY, line.d2, e.weightRoot);
        if (c.exchange) {
            EXPECT_NEAR(e.row.dXi, asObserved.dXj, 1e-12);
            EXPECT_NEAR(e.row.dYi, asObserved.dYj, 1e-12);
            EXPECT_NEAR(e.row.dXj, asObserved.dXi, 1e-12);
            EXPECT_NEAR(e.row.dYj, asObserved.dYi, 1e-12);
        } else {
            EXPECT_NEAR(e.row.dXi, asObserved.dXi, 1e-12);
            EXPECT_NEAR(e.row.dYj, asObserved.dYj, 1e-12);
        }
    }
}

TEST(AzimuthEquation, NearlyCoincidentEndsKeepTheirBearingAndTemperTheRow) {
    // A line of 5 cm (0.03, 0.04 m): the bearing is that of the line, atan2(0.04, 0.03) =
    // 59.03345 g, while the row takes d² = 0.01 m² instead of 0.0025 m²:
    // k = 636619.772368·s/0.01 with s = 1/(10 + 1e-7), so dX of i = 0.04·k = 254647.9064 cc/m.
    const Real s = 1 / (10 + 1e-7L);
    const Real k = 636619.772368L * s / 0.01L;
    const AzimuthEquation e =
        azimuthEquation(lineBetween({500, 500}, {500.03L, 500.04L}), 59, 0, 10, false);
    EXPECT_NEAR(e.computedCc, bearingCc(0.03L, 0.04L), 1e-6); // tolerance 1e-6 cc
    EXPECT_NEAR(e.computedCc, 590334.5, 0.1);
    EXPECT_NEAR(e.freeTerm.cc, 334.5, 0.1);
    EXPECT_NEAR(e.row.dXi, 0.04L * k, 1e-6); // tolerance 1e-6 cc/m
    EXPECT_NEAR(e.row.dYi, -0.03L * k, 1e-6);
    EXPECT_NEAR(e.row.dXj, -0.04L * k, 1e-6);
    EXPECT_NEAR(e.row.dYj, 0.03L * k, 1e-6);
    EXPECT_NEAR(e.row.dXi, 254647.9064L, 1e-3);

    // Ends at the same place: the bearing is 0 and the row is empty.
    const AzimuthEquation same = azimuthEquation(lineBetween({7, 8}, {7, 8}), 12.5L, 0, 10, false);
    EXPECT_EQ(same.computedCc, 0);
    EXPECT_NEAR(same.freeTerm.cc, -125000, 1e-9);
    EXPECT_EQ(same.row.dXi, 0);
    EXPECT_EQ(same.row.dYj, 0);
}

TEST(GpsAzimuthReduction, LocalSystemAndThe1965Zones) {
    EXPECT_EQ(gpsAzimuthReduction(projectionParameters(test::systemZone(0, 0)), {1000, 2000}, {5000, 9000}), 0);

    // V = δ12 − γ, worked by hand from the zone formulas:
    // zone 1, point 1 10 km north and east of the centre (5467, 4637 km), line 10 km north:
    //   γ = 121.40101985·10 + 0.0309680292·100 + 0.00000663468234·1000 − 0.00000221156082·1000
    //       + 1.5207165e-9·1e4 − 1.4567221e-9·1e4 = 1217.1114252 cc
    //   δ12 = (−10 km·10 km − 0)·0.003908536 = −0.3908536 cc
    // zone 5, point 1 at X = 900 km, Y = 250 − 237 = 13 km, line 10 km north:
    //   P = 0.0383423077·20 + 120.20815884 + 0.0000072463768·400 = 120.9779035447
    //   Q = 1.69082e-9·24 + 0.000002390983057 + 4.15477e-13·576 = 2.4318020518e-6
    //   γ = 13·P − 2197·Q = 1572.7074034 cc
    //   δ12 = −10000·0.000002605·(500000 + 250000 − 711000)·0.001 = −1.01595 cc
    struct Case {
        int32_t system, zone;
        GridPoint from, to;
        Real expectedCc;
    };
    const Case cases[] = {
        {1965, 1, {5477000, 4647000}, {5487000, 4647000}, -1217.5022788L},
        {1986, 1, {5477000, 4647000}, {5487000, 4647000}, -1217.5022788L},
        {1965, 5, {900000, 250000}, {910000, 250000}, -1573.7233534L},
        {1986, 5, {900000, 250000}, {910000, 250000}, -1573.7233534L},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.system << " zone " << c.zone);
        EXPECT_NEAR(gpsAzimuthReduction(projectionParameters(test::systemZone(c.system, c.zone)), c.from, c.to),
                    c.expectedCc, 1e-6); // tolerance 1e-6 cc
    }
}

TEST(GpsAzimuthReduction, GeodesicAzimuthBecomesTheChordBearingIn2000Zone18) {
    // 10 km geodesics from a grid of points over the zone (49° to 55°, 16.5° to 19.5°) in eight
    // directions: GeographicLib's azimuth at the first end plus V against the atan2 bearing of the
    // chord between the ends projected by GeographicLib and stored with the zone prefix 6.
    constexpr double a = 6378137;
    constexpr double f = 1 - 6356752.3141 / a;
    const GeographicLib::Geodesic geodesic(a, f);
    const GeographicLib::TransverseMercator tm(a, f, 0.999923);
    const ProjectionParameters p = projectionParameters(test::systemZone(2000, 18));
    const auto stored = [&](double lat, double lon) {
        double easting = 0, northing = 0;
        tm.Forward(18, lat, lon, easting, northing);
        return GridPoint{northing, 6500000 + Real(easting)};
    };
    Real worst = 0;
    for (int32_t i = 0; i <= 6; ++i) {
        for (int32_t j = 0; j <= 6; ++j) {
            const double lat1 = 49 + i;
            const double lon1 = 16.5 + 0.5 * j;
            for (int32_t k = 0; k < 8; ++k) {
                const double alpha = 45 * k + 7;
                double lat2 = 0, lon2 = 0;
                geodesic.Direct(lat1, lon1, alpha, 10000, lat2, lon2);
                const GridPoint from = stored(lat1, lon1);
                const GridPoint to = stored(lat2, lon2);
                const Real chord = bearingCc(to.x - from.x, to.y - from.y);
                Real diff =
                    Real(alpha) * fullCircleCc / 360 + gpsAzimuthReduction(p, from, to) - chord;
                diff -= std::nearbyint(diff / fullCircleCc) * fullCircleCc;
                worst = std::max(worst, std::fabs(diff));
            }
        }
    }
    // Achieved: 0.00002 cc, the truncation of the convergence and arc-to-chord series; V itself
    // exceeds 13 000 cc at the zone edges.
    EXPECT_LT(worst, 0.0001L); // tolerance 0.0001 cc
}

} // namespace
} // namespace ptw3
