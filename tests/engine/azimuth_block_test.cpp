// The azimuth block through whole computations on small working folders: the listings of the
// first iteration, the result table against an independent dense adjustment done here with
// atan2 bearings and numerical derivatives, GPS azimuths reduced in the 2000 system against
// GeographicLib, and the question about nearly coincident points in every pass.
#include "common/stop.h"
#include "engine/engine_support.h"

#include <GeographicLib/Geodesic.hpp>
#include <GeographicLib/TransverseMercator.hpp>
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <gtest/gtest.h>
#include <map>
#include <string>
#include <vector>

namespace ptw3 {
namespace {

using test::adjustFolder;
using test::findLine;
using Lines = std::vector<std::string>;

constexpr Real ccPerGrad = 10000;
// The system's cc per radian, which exceeds 2 000 000/π by 4e-7 cc: the acute angle of a
// bearing is converted with it, so a bearing near 250 g differs from the exact one by 3e-7 cc,
// which [pLL] shows in its seventh decimal.
constexpr Real systemCcPerRadian = 636619.772368L;

struct Xy {
    Real x, y;
};

// Lines of the azimuth tables as the reports hold them.
const std::string topographicListing =
    "  |    ... kąty kierunkowe ...                                              |";
const std::string topographicControlListing =
    "  |    ... kąty kierunkowe ...                                                        |";
const std::string topographicResults =
    "  |    ... kąty kierunkowe ...                                                   |";
const std::string gpsListing =
    "  |    ... azymuty jako pseudoobserwacje GPS ...                            |";
const std::string gpsResults =
    "  |    ... azymuty jako pseudoobserwacje GPS ...                                  |";
const std::string listingEnd =
    "  ---------------------------------------------------------------------------";
const std::string controlListingEnd =
    "  -------------------------------------------------------------------------------------";
const std::string resultsEnd =
    "  --------------------------------------------------------------------------------";
const std::string outliersTopRule =
    "  ----------------------------------------------------------------- tarvel_2006---";

/// Bearing (cc, clockwise from +X) from a to b: the acute angle against the X axis by atan,
/// then its quadrant.
Real bearingCc(Xy a, Xy b) {
    const Real dX = b.x - a.x;
    const Real dY = b.y - a.y;
    const Real theta = std::atan2(std::fabs(dY), std::fabs(dX)) * systemCcPerRadian;
    if (dX > 0 && dY >= 0) {
        return theta;
    }
    if (dX >= 0 && dY < 0) {
        return 4000000 - theta;
    }
    return dY > 0 ? 2000000 - theta : 2000000 + theta;
}

/// An angle difference (cc) brought into (−200 g, 200 g].
Real wrapped(Real cc) {
    cc -= std::nearbyint(cc / 4000000) * 4000000;
    return cc;
}

std::string number(Real v, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*Lf", decimals, v);
    return text;
}

/// The fields of a table row between its bars (the leading "  " dropped).
std::vector<std::string> fields(const std::string& row) {
    std::vector<std::string> out;
    size_t start = row.find('|') + 1;
    for (size_t bar = row.find('|', start); bar != std::string::npos;
         start = bar + 1, bar = row.find('|', start)) {
        out.push_back(row.substr(start, bar - start));
    }
    out.push_back(row.substr(start));
    return out;
}

Real value(const std::string& field) {
    return std::strtold(field.c_str(), nullptr);
}

/// The text right-aligned in a field of the width.
std::string pad(const std::string& text, size_t width) {
    return std::string(width > text.size() ? width - text.size() : 0, ' ') + text;
}

/// A row of a table naming the two points as listed.
std::string rowOf(const Lines& lines, const std::string& i, const std::string& j, size_t from) {
    const std::string ends =
        std::string(16 - i.size(), ' ') + i + "|" + std::string(16 - j.size(), ' ') + j + "|";
    const size_t k = findLine(lines, ends, from);
    return k < lines.size() ? lines[k] : std::string();
}

// A point P (approximately 5 cm off) intersected by three azimuths from the fixed points F1, F2
// and F3 in the local system; errors of +3, −2 and −4 cc, the last observed across 400 g.
struct Observed {
    std::string from, to;
    Real valueGrad, meanErrorCc;
};
const Xy f1{0, 0}, f2{0, 2000}, f3{2000, 1000}, approximateP{1000.05L, 999.97L};
const Observed intersection[] = {
    {"F1", "P", 50.0003L, 10},
    {"F2", "P", 349.9998L, 10},
    {"P", "F3", 399.9996L, 10},
};

std::map<std::string, std::string> intersectionFolder() {
    std::string azimuths;
    for (const Observed& o : intersection) {
        azimuths += o.from + " " + o.to + " " + number(o.valueGrad, 4) + " " +
                    number(o.meanErrorCc, 0) + "\n";
    }
    return {{"XY.sta", "F1 0.000 0.000\nF2 0.000 2000.000\nF3 2000.000 1000.000\n"},
            {"XY.prz", "P 1000.050 999.970\n0 0 0\n"},
            {"AZYMUTY", azimuths}};
}

Xy fixedPoint(const std::string& name) {
    return name == "F1" ? f1 : name == "F2" ? f2 : f3;
}

/// The least-squares intersection done densely: free terms l = Ac − Ar (cc), rows by central
/// differences of the atan2 bearing, weights 1/mA², ten Gauss-Newton steps.
struct DenseIntersection {
    Xy p = approximateP;
    Real n11 = 0, n12 = 0, n22 = 0;     ///< normal matrix at p
    std::vector<Real> l;                ///< free terms at p (cc)
    std::vector<std::array<Real, 2>> a; ///< rows at p (cc/m), unweighted

    void linearise() {
        l.clear();
        a.clear();
        n11 = n12 = n22 = 0;
        for (const Observed& o : intersection) {
            const auto bearing = [&](Xy q) {
                const Xy from = o.from == "P" ? q : fixedPoint(o.from);
                const Xy to = o.to == "P" ? q : fixedPoint(o.to);
                return bearingCc(from, to);
            };
            constexpr Real h = 1e-4L;
            const Real ax = wrapped(bearing({p.x + h, p.y}) - bearing({p.x - h, p.y})) / (2 * h);
            const Real ay = wrapped(bearing({p.x, p.y + h}) - bearing({p.x, p.y - h})) / (2 * h);
            l.push_back(wrapped(bearing(p) - o.valueGrad * ccPerGrad));
            a.push_back({ax, ay});
            const Real w = 1 / (o.meanErrorCc * o.meanErrorCc);
            n11 += w * ax * ax;
            n12 += w * ax * ay;
            n22 += w * ay * ay;
        }
    }

    void solve() {
        for (int32_t step = 0; step < 10; ++step) {
            linearise();
            Real b1 = 0, b2 = 0;
            for (size_t k = 0; k < l.size(); ++k) {
                const Real w = 1 / (intersection[k].meanErrorCc * intersection[k].meanErrorCc);
                b1 += w * a[k][0] * l[k];
                b2 += w * a[k][1] * l[k];
            }
            const Real det = n11 * n22 - n12 * n12;
            p.x -= (n22 * b1 - n12 * b2) / det;
            p.y -= (n11 * b2 - n12 * b1) / det;
        }
        linearise();
    }

    /// q = a N⁻¹ aᵀ of observation k, its row weighted by 1/mA.
    Real cofactor(size_t k) const {
        const Real s = 1 / intersection[k].meanErrorCc;
        const Real x = a[k][0] * s, y = a[k][1] * s;
        const Real det = n11 * n22 - n12 * n12;
        return (n22 * x * x - 2 * n12 * x * y + n11 * y * y) / det;
    }

    Real mo() const {
        Real sum = 0;
        for (size_t k = 0; k < l.size(); ++k) {
            sum += (l[k] / intersection[k].meanErrorCc) * (l[k] / intersection[k].meanErrorCc);
        }
        return std::sqrt(sum / (3 - 2));
    }
};

CalculationOptions exactAnalysis() {
    CalculationOptions o;
    o.accelerationLevel = AccelerationLevel::None; // no neglect: the cofactors are compared to the last digit
    return o;
}

TEST(AzimuthBlock, FirstIterationListsEndsByPositionWithTheirFreeTerms) {
    const auto run = adjustFolder(intersectionFolder(), exactAnalysis());
    ASSERT_FALSE(run->stop);
    const Lines rpw = run->lines("rpw.ptw");
    const Lines er3 = run->lines("er3.ptw");

    // P is determined (position 1), the fixed points follow it: F1 P and F2 P are listed from P
    // with their values turned by 200 g; P F3 stays. Topographic azimuths are never reduced.
    struct Case {
        std::string i, j;
        Real listedValueGrad, reducedGrad;
        Xy from, to; // the listed line at the approximate coordinates
    };
    const Case cases[] = {
        {"P", "F1", 250.0003L, 250.0003L, approximateP, f1},
        {"P", "F2", 149.9998L, 149.9998L, approximateP, f2},
        {"P", "F3", 399.9996L, 399.9996L, approximateP, f3},
    };
    Real pLL = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.i + " " + c.j);
        const std::string listed = rowOf(rpw, c.i, c.j, findLine(rpw, "  AZYMUTY, B"));
        EXPECT_EQ(listed, "  |" + pad(c.i, 16) + "|" + pad(c.j, 16) + "|" +
                              pad(number(c.listedValueGrad, 5), 10) + "|  10.0|      0.0|" +
                              pad(number(c.reducedGrad, 5), 11) + "|");
        const std::string withFreeTerm = rowOf(er3, c.i, c.j, 0);
        ASSERT_EQ(withFreeTerm.substr(0, listed.size()), listed);
        ASSERT_EQ(withFreeTerm.size(), listed.size() + 10); // l 10:1 and no closing bar
        const Real l = wrapped(bearingCc(c.from, c.to) - c.reducedGrad * ccPerGrad);
        EXPECT_NEAR(value(withFreeTerm.substr(listed.size())), l, 0.05 + 1e-6); // printed to 0.1 cc
        pLL += (l / (10 + 1e-7L)) * (l / (10 + 1e-7L));
    }
    // The listed free term across 400 g: 19.1 cc of the approximate line less −4 cc.
    EXPECT_EQ(rowOf(er3, "P", "F3", 0).substr(77), "      23.1");

    // The whole layout of the listing in the main report.
    const size_t head = findLine(rpw, "  AZYMUTY, BŁEDY ŚREDNIE, REDUKCJE ODWZOROWAWCZE");
    ASSERT_LT(head, rpw.size());
    EXPECT_EQ(rpw[head - 1], " ");
    EXPECT_EQ(rpw[head + 6], topographicListing);
    EXPECT_EQ(rpw[head + 10], listingEnd);
    EXPECT_EQ(findLine(rpw, "pseudoobserwacje GPS"), rpw.size());
    const size_t controlHead = findLine(er3, "WYRAZY WOLNE RÓWNAŃ POPRAWEK");
    EXPECT_EQ(er3[controlHead + 6], topographicControlListing);
    EXPECT_EQ(er3[controlHead + 10], controlListingEnd);

    // [pLL] of the first iteration holds the weighted squares of these free terms.
    const size_t control = findLine(rpw, "   [pLL]           = ");
    ASSERT_LT(control, rpw.size());
    EXPECT_NEAR(value(rpw[control].substr(21, 15)), pLL, 1e-7 + pLL * 1e-12);
}

TEST(AzimuthBlock, ResultTableAgreesWithADenseAdjustment) {
    DenseIntersection dense;
    dense.solve();
    const Real mo = dense.mo();

    struct Mode {
        const char* name;
        AnalysisMode analysisMode;
    };
    for (const Mode mode : {Mode{"full analysis", AnalysisMode::Full},
                            Mode{"Otrębski's approximation", AnalysisMode::Approximate}}) {
        SCOPED_TRACE(mode.name);
        CalculationOptions options = exactAnalysis();
        options.analysisMode = mode.analysisMode;
        const auto run = adjustFolder(intersectionFolder(), options);
        ASSERT_FALSE(run->stop);
        const Lines rpw = run->lines("rpw.ptw");
        const Lines er3 = run->lines("er3.ptw");
        const size_t title = findLine(rpw, "  AZYMUTY", findLine(rpw, "  WYNIKI WYRÓWNANIA SIECI"));
        ASSERT_LT(title, rpw.size());
        EXPECT_EQ(rpw[title - 1], "  ");

        const std::string ends[][2] = {{"P", "F1"}, {"P", "F2"}, {"P", "F3"}};
        int32_t negative = 0, positive = 0, nearZero = 0;
        for (size_t k = 0; k < 3; ++k) {
            SCOPED_TRACE(ends[k][1]);
            const std::vector<std::string> f = fields(rowOf(rpw, ends[k][0], ends[k][1], title));
            ASSERT_EQ(f.size(), 9u);
            const bool exchanged = k < 2;
            const Real reducedGrad =
                intersection[k].valueGrad + (exchanged ? 200 : 0) - (k == 1 ? 400 : 0);
            const Xy from = dense.p;
            const Xy to = fixedPoint(ends[k][1]);
            const Real v = dense.l[k];
            const Real mObs = 10 * mo;
            const Real mAdj = mode.analysisMode == AnalysisMode::Full
                                  ? std::sqrt(dense.cofactor(k)) * mo * 10
                                  : 10 * std::sqrt(2.0L / 3) * mo;
            const Real mV = std::sqrt(mObs * mObs - mAdj * mAdj);
            EXPECT_NEAR(value(f[2]), reducedGrad, 0.000005 + 1e-9); // 9:5 grads
            EXPECT_NEAR(value(f[3]), mObs, 0.05 + 1e-6);            // 5:1 cc
            EXPECT_NEAR(value(f[4]), v, 0.05 + 1e-6);
            EXPECT_NEAR(value(f[5]), mV, 0.05 + 1e-6);
            EXPECT_NEAR(value(f[6]), bearingCc(from, to) / ccPerGrad, 0.000005 + 1e-9);
            EXPECT_NEAR(value(f[7]), mAdj, 0.05 + 1e-6);
            EXPECT_EQ(f[8], " ") << "no outlier, so the ordinary end of the row";
            (std::fabs(v) < 0.1 ? nearZero : v >= 0.1 ? positive : negative) += 1;
        }
        const size_t end = findLine(rpw, resultsEnd, title);
        ASSERT_LT(end + 5, rpw.size());
        EXPECT_EQ(rpw[end + 1], "    ANALIZA STATYSTYCZNA POPRAWEK AZYMUTÓW: ");
        EXPECT_EQ(rpw[end + 2],
                  "     Liczba poprawek \"-\" istotnych  : " + std::to_string(negative));
        EXPECT_EQ(rpw[end + 3],
                  "     Liczba poprawek \"+\" istotnych  : " + std::to_string(positive));
        EXPECT_EQ(rpw[end + 4], "     Liczba poprawek bliskich zera  : " +
                                    std::to_string(nearZero) + "   (|v| < 0.1[cc])");
        EXPECT_EQ(rpw[end + 5], "     Liczba azymutów \"odstających\"  : 0   (|v| > 3 * Mv)");

        // The control report lists no outlier: its table is the head, the section and the end.
        const size_t outliers = findLine(er3, "  WYKAZ \"ODSTAJĄCYCH\" AZYMUTÓW ");
        ASSERT_LT(outliers + 8, er3.size());
        EXPECT_EQ(er3[outliers + 1], outliersTopRule);
        EXPECT_EQ(er3[outliers + 6], topographicResults);
        EXPECT_EQ(er3[outliers + 7], resultsEnd);
        EXPECT_EQ(er3[outliers + 8], "     Liczba azymutów \"odstających\"  : 0   (|v| > 3 * Mv)");
    }
}

TEST(AzimuthBlock, RobustEstimationLeavesAzimuthsWeightedByTheirMeanErrors) {
    DenseIntersection dense;
    dense.solve();
    for (const AdjustmentPrinciple principle :
         {AdjustmentPrinciple::RobustDistances, AdjustmentPrinciple::RobustAngles, AdjustmentPrinciple::RobustDistancesAndAngles}) {
        SCOPED_TRACE(static_cast<int>(principle));
        CalculationOptions options = exactAnalysis();
        options.principle = principle;
        const auto run = adjustFolder(intersectionFolder(), options);
        ASSERT_FALSE(run->stop);
        const Lines rpw = run->lines("rpw.ptw");
        const size_t title = findLine(rpw, "  AZYMUTY", findLine(rpw, "  WYNIKI WYRÓWNANIA SIECI"));
        const std::string ends[] = {"F1", "F2", "F3"};
        for (size_t k = 0; k < 3; ++k) {
            const std::vector<std::string> f = fields(rowOf(rpw, "P", ends[k], title));
            ASSERT_EQ(f.size(), 9u);
            EXPECT_NEAR(value(f[4]), dense.l[k], 0.05 + 1e-6);
            EXPECT_NEAR(value(f[6]), bearingCc(dense.p, fixedPoint(ends[k])) / ccPerGrad,
                        0.000005 + 1e-9);
        }
    }
}

TEST(AzimuthBlock, WrapOfTheFreeTermBetweenFixedPoints) {
    // Lines between fixed points enter [pLL] and the tables but not the normal matrix; each
    // observation here is set against the bearing of its line, worked out with atan2.
    // A 10 km line at 0.0010 g: ΔY = 10000·tan(10 cc) = 0.15708 m.
    const auto run = adjustFolder(
        {{"XY.sta", "A 0.000 0.000\nB 10000.000 0.15708\nC 0.000 1000.000\nD 500.000 500.000\n"},
         {"XY.prz", "P 500.010 999.990\n0 0 0\n"},
         {"AZYMUTY", "A B 399.9990 10\n" // computed 0.0010 g: l = +20 cc
                     "A C 160.0000 10\n" // computed 100 g: l = −60 g, no wrap
                     "A D 10.0000 10\n"  // computed 50 g: l = +40 g
                     "D P 100.0000 10\n" // P at (500, 1000), determined by these two
                     "C P 0.0000 10\n"}},
        exactAnalysis());
    ASSERT_FALSE(run->stop);
    const Lines er3 = run->lines("er3.ptw");
    const Real bearingAB = bearingCc({0, 0}, {10000, 0.15708L});
    EXPECT_NEAR(value(rowOf(er3, "A", "B", 0).substr(77)), bearingAB + 10, 0.05 + 1e-6);
    EXPECT_NEAR(bearingAB + 10, 20, 0.01);
    EXPECT_EQ(rowOf(er3, "A", "C", 0).substr(77), " -600000.0");
    EXPECT_EQ(rowOf(er3, "A", "D", 0).substr(77), "  400000.0");
    // The same free terms are the residuals of the last pass, the points being fixed.
    const Lines rpw = run->lines("rpw.ptw");
    const size_t title = findLine(rpw, "  AZYMUTY", findLine(rpw, "  WYNIKI WYRÓWNANIA SIECI"));
    EXPECT_NEAR(value(fields(rowOf(rpw, "A", "B", title))[4]), 20, 0.05 + 0.01);
    EXPECT_EQ(fields(rowOf(rpw, "A", "C", title))[4], "-600000.0");
}

// Three fixed points around P and a GPS azimuth from each of them in the 2000 system, zone 18,
// worked out with GeographicLib from the coordinates as stored; a topographic azimuth between
// two of the fixed points carries their grid bearing.
TEST(AzimuthBlock, GpsAzimuthsIn2000Zone18ReducedToTheChord) {
    constexpr double a = 6378137;
    constexpr double f = 1 - 6356752.3141 / a;
    const GeographicLib::Geodesic geodesic(a, f);
    const GeographicLib::TransverseMercator tm(a, f, 0.999923);
    struct Station {
        std::string name;
        double lat, lon;
        Xy stored{};
        double latStored = 0, lonStored = 0; // geodetic position of the stored coordinates
    };
    Station stations[] = {
        {"A", 52.0, 17.5}, {"B", 52.05, 17.62}, {"C", 51.96, 17.71}, {"P", 52.0, 17.6}};
    for (Station& s : stations) {
        double easting = 0, northing = 0;
        tm.Forward(18, s.lat, s.lon, easting, northing);
        s.stored = {std::nearbyint(Real(northing) * 1000) / 1000,
                    std::nearbyint((Real(easting) + 6500000) * 1000) / 1000};
        tm.Reverse(18, double(s.stored.y - 6500000), double(s.stored.x), s.latStored, s.lonStored);
    }
    const Station& A = stations[0];
    const Station& B = stations[1];
    const Station& C = stations[2];
    const Station& P = stations[3];

    struct Gps {
        const Station& from;
        const Station& to;
        Real valueGrad = 0;
        Real expectedReductionCc = 0; // chord bearing less geodesic azimuth
    };
    Gps gps[] = {{A, P}, {B, P}, {P, C}};
    std::string gpsFile;
    for (Gps& g : gps) {
        double s12 = 0, azi1 = 0, azi2 = 0;
        geodesic.Inverse(g.from.latStored, g.from.lonStored, g.to.latStored, g.to.lonStored, s12,
                         azi1, azi2);
        g.valueGrad = Real(azi1 < 0 ? azi1 + 360 : azi1) * 400 / 360;
        g.expectedReductionCc =
            wrapped(bearingCc(g.from.stored, g.to.stored) - g.valueGrad * ccPerGrad);
        gpsFile += g.from.name + " " + g.to.name + " " + number(g.valueGrad, 9) + " 1\n";
    }
    const Real topographicGrad = bearingCc(A.stored, B.stored) / ccPerGrad;
    std::string fixed;
    for (const Station* s : {&A, &B, &C}) {
        fixed += s->name + " " + number(s->stored.x, 3) + " " + number(s->stored.y, 3) + "\n";
    }
    CalculationOptions options = exactAnalysis();
    options.system = test::systemZone(2000, 18);
    const auto run = adjustFolder({{"XY.sta", fixed},
                                   {"XY.prz", "P " + number(P.stored.x + 0.04L, 3) + " " +
                                                  number(P.stored.y - 0.03L, 3) + "\n"},
                                   {"AZYMUTY", "A B " + number(topographicGrad, 9) + " 5\n"},
                                   {"AZYMUTY.gps", gpsFile}},
                                  options);
    ASSERT_FALSE(run->stop);
    const Lines rpw = run->lines("rpw.ptw");

    // The listing: the topographic section, A B unreduced, the GPS section, the reduced rows.
    const size_t head = findLine(rpw, "  AZYMUTY, BŁEDY ŚREDNIE, REDUKCJE ODWZOROWAWCZE");
    ASSERT_LT(head + 11, rpw.size());
    EXPECT_EQ(rpw[head + 6], topographicListing);
    EXPECT_EQ(fields(rpw[head + 7])[4], "      0.0");
    EXPECT_EQ(rpw[head + 8], gpsListing);
    EXPECT_EQ(rpw[head + 12], listingEnd);
    const std::string listed[][2] = {{"P", "A"}, {"P", "B"}, {"P", "C"}};
    for (size_t k = 0; k < 3; ++k) {
        SCOPED_TRACE(gps[k].from.name + " " + gps[k].to.name);
        const std::vector<std::string> row = fields(rpw[head + 9 + k]);
        ASSERT_EQ(row.size(), 7u);
        EXPECT_EQ(row[1], std::string(15, ' ') + listed[k][1]);
        // V of a GPS azimuth from P is taken at P's approximate position, 5 cm off: 0.006 cc.
        EXPECT_NEAR(value(row[4]), gps[k].expectedReductionCc, 0.05 + 0.01);
        EXPECT_GT(std::fabs(gps[k].expectedReductionCc), 1000) << "a reduction worth checking";
    }

    // Consistent observations leave residuals of the series' size, below 0.05 cc.
    const size_t title = findLine(rpw, "  AZYMUTY", findLine(rpw, "  WYNIKI WYRÓWNANIA SIECI"));
    ASSERT_LT(title + 10, rpw.size());
    EXPECT_EQ(rpw[title + 6], topographicResults);
    EXPECT_EQ(rpw[title + 8], gpsResults);
    for (const size_t r : {title + 7, title + 9, title + 10, title + 11}) {
        SCOPED_TRACE(rpw[r]);
        EXPECT_LE(std::fabs(value(fields(rpw[r])[4])), 0.05);
    }
    const Lines er3 = run->lines("er3.ptw");
    const size_t outliers = findLine(er3, "  WYKAZ \"ODSTAJĄCYCH\" AZYMUTÓW ");
    ASSERT_LT(outliers + 8, er3.size());
    EXPECT_EQ(er3[outliers + 6], topographicResults);
    EXPECT_EQ(er3[outliers + 7], gpsResults);
}

// Fixed points F4 and F5 five centimetres apart with an azimuth between them meet the question
// in every pass; a gross error on the fixed line F1 F3 is an outlier of the last pass, listed
// before it. Consistent lines among eight fixed points give the redundancy the outlier test
// needs (|v| > 3·mV with mV = Mo·mA for a line between fixed points).
std::map<std::string, std::string> coincidentFolder() {
    const std::pair<std::string, Xy> fixed[] = {
        {"F1", {0, 0}},       {"F2", {0, 2000}},    {"F3", {2000, 1000}}, {"F4", {500, 500}},
        {"G1", {1500, 2500}}, {"G2", {-500, 1200}}, {"G3", {2500, -300}}, {"G4", {-800, -900}},
    };
    std::string xy;
    for (const auto& [name, p] : fixed) {
        xy += name + " " + number(p.x, 3) + " " + number(p.y, 3) + "\n";
    }
    xy += "F5 500.030 500.040\n";
    std::string azimuths =
        "F1 F3 " + number(bearingCc(f1, f3) / ccPerGrad + 0.01L, 8) + " 10\n" + "F4 F5 " +
        number(bearingCc({500, 500}, {500.03L, 500.04L}) / ccPerGrad, 8) + " 10\n";
    for (const Observed& o : intersection) {
        azimuths += o.from + " " + o.to + " " + number(o.valueGrad, 4) + " 10\n";
    }
    for (size_t i = 0; i < std::size(fixed); ++i) {
        for (size_t j = i + 1; j < std::size(fixed); ++j) {
            if (fixed[i].first == "F1" && fixed[j].first == "F3") {
                continue;
            }
            azimuths += fixed[i].first + " " + fixed[j].first + " " +
                        number(bearingCc(fixed[i].second, fixed[j].second) / ccPerGrad, 8) +
                        " 10\n";
        }
    }
    return {{"XY.sta", xy}, {"XY.prz", "P 1000.050 999.970\n0 0 0\n"}, {"AZYMUTY", azimuths}};
}

TEST(AzimuthBlock, NearlyCoincidentPointsAskInEveryPassAndKeepTheTableOrder) {
    CalculationOptions options = exactAnalysis();
    options.iterationCount = 2;
    const auto run = adjustFolder(coincidentFolder(), options, {true, true, true});
    ASSERT_FALSE(run->stop);
    const std::string question = "confirm:  ***  Podobne współrzędne przybliżone punktów: F4 F5\\n"
                                 "      Czy chcesz liczyć dalej?";
    EXPECT_EQ(std::count(run->t.user.transcript.begin(), run->t.user.transcript.end(), question),
              3);

    const Lines er3 = run->lines("er3.ptw");
    const std::string line = " podobne współrzędne przybliżone punktów: F4 F5";
    EXPECT_EQ(std::count(er3.begin(), er3.end(), line), 3);
    EXPECT_EQ(findLine(run->lines("rpw.ptw"), "podobne"), run->lines("rpw.ptw").size());

    // First iteration: the line stands just before the listed row of the pair.
    const size_t first = findLine(er3, line);
    ASSERT_LT(first + 1, er3.size());
    EXPECT_NE(er3[first + 1].find("              F4|              F5|"), std::string::npos);
    EXPECT_NE(er3[first - 1].find("              F1|              F3|"), std::string::npos);

    // Last pass: the outlier F1 F3, the line, and the end of the table with one outlier.
    const size_t outliers = findLine(er3, "  WYKAZ \"ODSTAJĄCYCH\" AZYMUTÓW ");
    ASSERT_LT(outliers + 10, er3.size());
    EXPECT_EQ(er3[outliers + 6], topographicResults);
    const std::vector<std::string> gross = fields(er3[outliers + 7]);
    ASSERT_EQ(gross.size(), 8u);
    EXPECT_EQ(gross[0] + "|" + gross[1], "              F1|              F3");
    EXPECT_NEAR(value(gross[4]), -100, 0.05 + 0.001);
    EXPECT_EQ(gross[7].substr(5), " *");
    EXPECT_EQ(er3[outliers + 8], line);
    EXPECT_EQ(er3[outliers + 9], resultsEnd);
    EXPECT_EQ(er3[outliers + 10], "     Liczba azymutów \"odstających\"  : 1   (|v| > 3 * Mv)");
}

TEST(AzimuthBlock, NoToNearlyCoincidentPointsClosesBothReports) {
    const auto run = adjustFolder(coincidentFolder(), exactAnalysis(), {false});
    ASSERT_TRUE(run->stop);
    EXPECT_EQ(*run->stop, StopReason::UserDeclined);
    const Lines er3 = run->lines("er3.ptw");
    ASSERT_FALSE(er3.empty());
    EXPECT_EQ(er3.back(), " podobne współrzędne przybliżone punktów: F4 F5");
    const Lines rpw = run->lines("rpw.ptw");
    ASSERT_FALSE(rpw.empty());
    EXPECT_NE(rpw.back().find("              F1|              F3|"), std::string::npos)
        << "the main report ends with the row listed before the question";
}

} // namespace
} // namespace ptw3
