// Distance reductions and the observation equation against values worked out by hand (the mean
// distortion of a 1965 line as the integral of the quadratic point distortion, the spherical
// height reduction) and against GeographicLib: a geodesic reduced to a Gauss-Krüger grid must
// come out as the chord between its projected ends.
#include "observations/distance_observations.h"
#include "test_support.h"

#include <GeographicLib/Geodesic.hpp>
#include <GeographicLib/TransverseMercator.hpp>
#include <algorithm>
#include <array>
#include <cmath>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace ptw3 {
namespace {

double d(Real v) {
    return static_cast<double>(v);
}

TEST(HeightReduction, ShortensByMeanHeightAboveTheEllipsoid) {
    struct Case {
        const char* name;
        Real hi, hj, n, lengthM;
        Real expectedM;
    };
    const Case cases[] = {
        {"637 m: a ten-thousandth", 637, 637, 0, 1000, -0.1L},
        {"mean of unequal ends", 600, 674, 0, 2500, -0.25L},
        {"geoid undulation adds to the height", 300, 300, 34, 6370, -0.334L},
        {"sea level, no undulation", 0, 0, 0, 500, 0},
        {"below the ellipsoid lengthens", -20, -14, 0, 637000, 1.7L},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_NEAR(d(heightReduction(c.hi, c.hj, c.n, c.lengthM)), d(c.expectedM),
                    1e-12); // tolerance 1 pm
    }
    // No reduction is 0, which the listing shows as 0.0000 rather than -0.0000.
    EXPECT_FALSE(std::signbit(heightReduction(0, 0, 0, 500)));
}

// The point distortion of the 1965 stereographic zones is K·r² + M (r the distance from the
// zone centre in km), of zone 5 K·(y − 237)² + M, so the mean over a straight line is K times
// the mean of r² along it, plus M: for a line from the centre to r = L that mean is L²/3.
TEST(ProjectionReduction, Zone1965MeanDistortionOfTheLine) {
    struct Case {
        const char* name;
        int32_t system, zone;
        Real xiKm, yiKm, xjKm, yjKm;
        Real expectedPpm;
    };
    const Case cases[] = {
        {"zone 1, centre to 10 km north", 1965, 1, 5467, 4637, 5477, 4637,
         0.00613184706L * 100 / 3 - 200},
        {"zone 1 of 1965/86, same line", 1986, 1, 5467, 4637, 5477, 4637,
         0.00613184972L * 100 / 3 - 199.566L},
        {"zone 1, 8 km line 5 km off the centre", 1965, 1, 5470, 4641, 5470, 4633,
         0.00613184706L * (9 + 16.0L / 3) - 200},
        {"zone 3, oblique line", 1965, 3, 5997, 3501, 6001, 3507, 0.00613434346L * 40 / 3 - 200},
        {"zone 4 of 1965/86, reversed line", 1986, 4, 5627, 3713, 5627, 3703,
         0.00613699001L * 100 / 3 - 201.512L},
        {"zone 5, 10 km east of its meridian", 1965, 5, 5800, 237, 5800, 247,
         0.012271L * 100 / 3 - 17},
        {"zone 5 of 1965/86", 1986, 5, 5800, 237, 5810, 247, 0.012271L * 100 / 3 - 14.24L},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ProjectionParameters p = projectionParameters(test::systemZone(c.system, c.zone));
        const GridPoint i{c.xiKm * 1000, c.yiKm * 1000};
        const GridPoint j{c.xjKm * 1000, c.yjKm * 1000};
        const Real lengthM = 12345.678L;
        const ProjectionReduction r = projectionReduction(p, i, j, lengthM);
        EXPECT_NEAR(d(r.distortionPpm), d(c.expectedPpm), 1e-9);              // tolerance 1e-9 ppm
        EXPECT_NEAR(d(r.lengthM), d(lengthM * c.expectedPpm * 1e-6L), 1e-12); // tolerance 1 pm
    }
}

TEST(ProjectionReduction, LocalSystemAndCentralMeridian) {
    // Local: nothing, wherever the points lie.
    const ProjectionParameters local = projectionParameters(test::systemZone(0, 0));
    const ProjectionReduction none =
        projectionReduction(local, {5800000, 6500000}, {5810000, 6300000}, 22360.68L);
    EXPECT_EQ(none.lengthM, 0);
    EXPECT_EQ(none.distortionPpm, 0);

    // On the central meridian a short line has k = 1 − 1/m0; μ carries the 1 cm guard:
    // k·D·10⁶/(D + 0.01). Stored eastings hold the zone prefix and the false easting (2000,
    // 1942) or the false easting alone with a false northing of −5 300 000 m (1992).
    struct Case {
        int32_t system, zone;
        Real northingM, eastingM;
        Real m0;
    };
    const Case cases[] = {
        {2000, 18, 5800000, 6500000, 0.999923L},
        {2000, 24, 5600000, 8500000, 0.999923L},
        {1992, 0, 500000, 500000, 0.9993L},
        {19423, 21, 5700000, 7500000, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.system);
        const ProjectionParameters p = projectionParameters(test::systemZone(c.system, c.zone));
        const Real lengthM = 1000;
        const ProjectionReduction r = projectionReduction(p, {c.northingM, c.eastingM}, {c.northingM + lengthM, c.eastingM}, lengthM);
        const Real k = 1 - 1 / c.m0;
        EXPECT_NEAR(d(r.lengthM), d(k * lengthM), 1e-10); // tolerance 0.0001 mm/km
        EXPECT_NEAR(d(r.distortionPpm), d(k * 1e6L * lengthM / (lengthM + 0.01L)), 1e-7);
    }
}

// A geodesic between two points, both projected by GeographicLib's transverse Mercator and
// stored as the system stores them: the geodesic length plus its projection reduction must be
// the chord between the stored points. The series and the kept k = 1 − 1/m (rather than m − 1,
// short by (m − 1)²/m) leave 0.014 mm/km inside a 2000 zone, 0.04 mm/km at the edge of a 3°
// strip of the 1942 system (scale 1 on its meridian) and 1.0 mm/km 5° off the 1992 meridian.
TEST(ProjectionReduction, GeodesicReducedToTheGridIsTheChord) {
    struct System {
        const char* name;
        int32_t system, zone;
        double a, b, m0, meridian, falseNorthing, prefix;
        double halfWidthDeg;
        double toleranceMmPerKm; ///< largest reduced length minus chord, mm per km
    };
    const System systems[] = {
        {"2000, zone 18", 2000, 18, 6378137, 6356752.3141, 0.999923, 18, 0, 6, 1.6, 0.02},
        {"1942, 3° strip 21", 19423, 21, 6378245, 6356863.01877, 1, 21, 0, 7, 1.6, 0.05},
        {"1992", 1992, 0, 6378137, 6356752.3141, 0.9993, 19, -5300000, 0, 5.0, 1.2},
    };
    for (const System& sys : systems) {
        SCOPED_TRACE(sys.name);
        const ProjectionParameters p = projectionParameters(test::systemZone(sys.system, sys.zone));
        const double f = 1 - sys.b / sys.a;
        const GeographicLib::TransverseMercator tm(sys.a, f, sys.m0);
        const GeographicLib::Geodesic geodesic(sys.a, f);
        const auto stored = [&](double lat, double lon) {
            double easting = 0, northing = 0;
            tm.Forward(sys.meridian, lat, lon, easting, northing);
            return GridPoint{northing + sys.falseNorthing, easting + 500000 + sys.prefix * 1e6};
        };
        double worstMmPerKm = 0;
        for (const double lat : {49.2, 52.0, 54.7}) {
            for (const double offset : {-1.0, -0.5, 0.0, 0.3, 1.0}) {
                const double lon = sys.meridian + offset * sys.halfWidthDeg;
                for (const double s : {500.0, 5000.0, 20000.0}) {
                    for (const double azimuth : {0.0, 37.0, 90.0, 151.0, 260.0, 313.0}) {
                        double lat2 = 0, lon2 = 0;
                        geodesic.Direct(lat, lon, azimuth, s, lat2, lon2);
                        const GridPoint i = stored(lat, lon);
                        const GridPoint j = stored(lat2, lon2);
                        const Real chord = std::hypot(j.x - i.x, j.y - i.y);
                        const Real reduced =
                            s + projectionReduction(p, i, j, s).lengthM;
                        worstMmPerKm =
                            std::max(worstMmPerKm, d(std::fabs(reduced - chord)) / s * 1e6);
                    }
                }
            }
        }
        EXPECT_LE(worstMmPerKm, sys.toleranceMmPerKm);
    }
}

TEST(DistortionLimit, ParticularToTheSystem) {
    struct Case {
        int32_t system, zone;
        Real withinPpm; ///< |μ| just inside the limit
        Real beyondPpm; ///< just outside
    };
    const Case cases[] = {
        {1965, 1, 299.9L, 300.1L},    {1986, 1, 299.9L, 300.1L}, {1992, 0, 999.9L, 1000.1L},
        {19426, 15, 599.9L, 600.1L},  {1000, 0, 599.9L, 600.1L}, {19423, 15, 299.9L, 300.1L},
        {2000, 18, 199.9L, 200.1L},   {0, 0, 1999.9L, 2000.1L},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.system);
        const Real limit = projectionParameters(test::systemZone(c.system, c.zone)).distortionLimitPpt;
        EXPECT_FALSE(distortionTooLarge(c.withinPpm, limit));
        EXPECT_FALSE(distortionTooLarge(-c.withinPpm, limit));
        EXPECT_TRUE(distortionTooLarge(c.beyondPpm, limit));
        EXPECT_TRUE(distortionTooLarge(-c.beyondPpm, limit));
    }
}

TEST(DistanceEquation, FreeTermAndDirectionCosines) {
    struct Case {
        const char* name;
        GridPoint i, j;
        Real reducedM;
        Real lengthM, freeTermM;
        bool coincident;
        std::array<Real, 4> coefficients;
    };
    const Case cases[] = {
        {"3-4-5 north-east", {0, 0}, {3, 4}, 4.99L, 5, 0.01L, false, {-0.6L, -0.8L, 0.6L, 0.8L}},
        {"south-west, longer than measured",
         {10, 10},
         {4, 2},
         10.02L,
         10,
         -0.02L,
         false,
         {0.6L, 0.8L, -0.6L, -0.8L}},
        {"exactly 0.1 m is not coincident", {0, 0}, {0.1L, 0}, 0.1L, 0.1L, 0, false, {-1, 0, 1, 0}},
        {"5 cm: cosines over 0.1 m, l from the true d",
         {100, 100},
         {100, 99.95L},
         0.02L,
         0.05L,
         0.03L,
         true,
         {0, 0.5L, 0, -0.5L}},
        {"identical points", {3, 3}, {3, 3}, 12.5L, 0, -12.5L, true, {0, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const DistanceEquation e = distanceEquation(c.i, c.j, c.reducedM);
        EXPECT_NEAR(d(e.lengthM), d(c.lengthM), 1e-12);
        EXPECT_NEAR(d(e.freeTermM), d(c.freeTermM), 1e-12); // tolerance 1 pm
        EXPECT_EQ(e.nearlyCoincident, c.coincident);
        for (size_t k = 0; k < 4; ++k) {
            EXPECT_NEAR(d(e.coefficients[k]), d(c.coefficients[k]), 1e-12);
        }
    }
}

TEST(ScalePostulate, FactorOfProportionalResidualsAndItsHeight) {
    struct Distance {
        Real lengthM, weightRoot, residualM;
    };
    struct Case {
        const char* name;
        std::vector<Distance> distances;
        Real factor, heightChangeM;
    };
    const Case cases[] = {
        {"l = 2e-5 D, any weights",
         {{1000, 100, 0.02L}, {2500, 50, 0.05L}, {400, 200, 0.008L}},
         2e-5L,
         -127.4L},
        {"l = -1e-6 D", {{3000, 30, -0.003L}, {700, 80, -0.0007L}}, -1e-6L, 6.37L},
        {"opposite residuals cancel", {{1000, 100, 0.01L}, {1000, 100, -0.01L}}, 0, 0},
        {"weights decide",
         {{1000, 100, 0.01L}, {1000, 10, 0}},
         0.01L / 1000 * 10000 / 10100,
         -0.01L / 1000 * 10000 / 10100 * 6370000},
        {"no length", {{0, 100, 0.01L}}, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Real sumResidualLength = 0, sumLengthSquared = 0;
        for (const Distance& x : c.distances) {
            const Real p = x.weightRoot * x.weightRoot;
            sumResidualLength += x.residualM * x.lengthM * p;
            sumLengthSquared += x.lengthM * x.lengthM * p;
        }
        const ScalePostulate s = scalePostulate(sumResidualLength, sumLengthSquared);
        EXPECT_NEAR(d(s.factor), d(c.factor), 1e-17);
        EXPECT_NEAR(d(s.heightChangeM), d(c.heightChangeM), 1e-9); // tolerance 1 nm
    }
}

} // namespace
} // namespace ptw3
