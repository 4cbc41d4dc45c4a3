// The distance block through whole computations on small working folders: the listing of the
// first iteration, the result table, statistics and scale postulate of the last pass, the
// questions, and the mean distortion written back to REDUKCJE. Expected rows are worked out by
// hand from the reductions (comments give the arithmetic); the Gauss-Krüger case is checked
// against coordinates and geodesics from GeographicLib.
#include "common/folder_files.h"
#include "engine/engine_support.h"
#include "engine/observation_blocks.h"

#include <GeographicLib/Geodesic.hpp>
#include <GeographicLib/TransverseMercator.hpp>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <gtest/gtest.h>
#include <map>
#include <string>
#include <vector>

namespace ptw3 {
namespace {

using Lines = std::vector<std::string>;

/// The index of the first line equal to the text at or after `from`; fails the test when absent.
size_t indexOf(const Lines& lines, const std::string& text, size_t from = 0) {
    const auto it = std::find(lines.begin() + static_cast<std::ptrdiff_t>(from), lines.end(), text);
    EXPECT_NE(it, lines.end()) << "missing line [" << text << "]";
    return static_cast<size_t>(it - lines.begin());
}

/// The `count` lines that follow the first line equal to the text ("<none>" past the end).
Lines linesAfter(const Lines& lines, const std::string& text, size_t count, size_t from = 0) {
    const size_t at = indexOf(lines, text, from);
    Lines out;
    for (size_t k = at + 1; out.size() < count; ++k) {
        out.push_back(k < lines.size() ? lines[k] : "<none>");
    }
    return out;
}

size_t occurrences(const Lines& lines, const std::string& text) {
    return static_cast<size_t>(std::count(lines.begin(), lines.end(), text));
}

std::string fourDecimals(double v) {
    char text[64];
    std::snprintf(text, sizeof text, "%.4f", v);
    return text;
}

const std::string listingTitle = "  DŁUGOŚCI BOKÓW, BŁĘDY ŚREDNIE, REDUKCJE ODWZOROWAWCZE";
const std::string freeTermTitle =
    "  DŁUGOŚCI BOKÓW, BŁĘDY ŚREDNIE, REDUKCJE, WYRAZY WOLNE RÓWNAŃ POPRAWEK";
const std::string resultTitle = "  WYRÓWNANIE DŁUGOŚCI BOKÓW";
const std::string outlierTitle = "  WYKAZ \"ODSTAJĄCYCH\" OBSERWACJI DŁUGOŚCI";
const std::string postulateTitle = "    Ocena wielkości błędu:";
const std::string classicalResults =
    "  |      ... długości klasyczne ...                                                     |";
const std::string gpsResults =
    "  |      ... długości jako pseudoobserwacje GPS ...                                     |";

/// The [pLL] line of a control block with the value as printed (15 characters).
std::string pLLLine(const std::string& value) {
    return "   [pLL]           = " + value + " (z wyrazów wolnych równań obserwacji)";
}

// P is determined by two classical lengths and a GPS length from fixed points, in the local
// system at a mean height of 637 m (REDUKCJE): every classical length is shortened by
// D/10 000, the GPS length not at all. P's approximate coordinates (4000, 5000) lie 5000, 4000
// and 3000 m from F1, F2, F3.
const std::map<std::string, std::string> localNetwork = {
    {"XY.sta", "F1 1000 1000\nF2 4000 1000\nF3 1000 5000\n0 0 0\n"},
    {"XY.prz", "P 4000 5000\n"},
    {"DLUGOSCI.b", "F1 P 5000.0000 0.0100\nP F2 4000.2000 0.0200\n"},
    {"DLUGOSCI.gps", "F3 P 3000.1000 0.0050\n"},
    {"REDUKCJE", "0 637\n"},
};

TEST(DistanceBlock, FirstIterationListsReductionsAndFreeTerms) {
    const auto run = test::adjustFolder(localNetwork);
    ASSERT_FALSE(run->stop);
    // F1 P: ends exchanged (P has the smaller position); dD(wys) = −637·5000/6 370 000 = −0.5;
    // D(zred) 4999.5, l = 5000 − 4999.5 = 0.5.
    // P F2: dD(wys) = −0.40002, D(zred) 3999.79998, l = 0.20002.
    // F3 P (GPS): no reduction, l = 3000 − 3000.1 = −0.1.
    const Lines main = {
        "  ------------------------------------------------------------------- tarvel_2006----",
        "  |          PLANY   BOKÓW          | DŁUG.OBS.|BŁ.ŚR |     REDUKCJE    |OBS.ZREDUK.|",
        "  |---------------------------------|          |      |-----------------|           |",
        "  |        Nr(i)   |       Nr(j)    |  D(obs)  |  mD  |dD(odwz)| dD(wys)|  D(zred)  |",
        "  |----------------+----------------+----------+------+--------+--------+-----------|",
        "  |      ... długości klasyczne ...                                                 |",
        "  |               P|              F1| 5000.0000|0.0100|  0.0000| -0.5000|  4999.5000|",
        "  |               P|              F2| 4000.2000|0.0200|  0.0000| -0.4000|  3999.8000|",
        "  |      ... długości jako pseudoobserwacje GPS ...                                 |",
        "  |               P|              F3| 3000.1000|0.0050|  0.0000|  0.0000|  3000.1000|",
        "  -----------------------------------------------------------------------------------",
    };
    const Lines rpw = run->lines("rpw.ptw");
    EXPECT_EQ(rpw[std::max<size_t>(indexOf(rpw, listingTitle), 1) - 1], " ");
    EXPECT_EQ(linesAfter(rpw, listingTitle, main.size()), main);
    EXPECT_EQ(occurrences(rpw, listingTitle), 1U); // the first iteration only

    // clang-format off
    const Lines control = {
        "  ------------------------------------------------------------------- tarvel_2006--------------",
        "  |          PLANY   BOKÓW          | DŁUG.OBS.|BŁ.ŚR |     REDUKCJE    |OBS.ZREDUK.| Wyrazy  |",
        "  |---------------------------------|          |      |-----------------|           | wolne   |",
        "  |        Nr(i)   |       Nr(j)    |  D(obs)  |  mD  |dD(odwz)| dD(wys)|  D(zred)  |         |",
        "  |----------------+----------------+----------+------+--------+--------+-----------+---------|",
        "  |      ... długości klasyczne ...                                                           |",
        "  |               P|              F1| 5000.0000|0.0100|  0.0000| -0.5000|  4999.5000|   0.5000|",
        "  |               P|              F2| 4000.2000|0.0200|  0.0000| -0.4000|  3999.8000|   0.2000|",
        "  |      ... długości jako pseudoobserwacje GPS ...                                           |",
        "  |               P|              F3| 3000.1000|0.0050|  0.0000|  0.0000|  3000.1000|  -0.1000|",
        "  ---------------------------------------------------------------------------------------------",
    };
    // clang-format on
    EXPECT_EQ(linesAfter(run->lines("er3.ptw"), freeTermTitle, control.size()), control);
    // [pLL] of the first iteration: (0.5/0.01)² + (0.20002/0.02)² + (0.1/0.005)² = 2500 +
    // 100.020001 + 400.
    EXPECT_EQ(occurrences(rpw, pLLLine("   3000.0200010")), 1U);
}

TEST(DistanceBlock, LastPassTableStatisticsAndMeanDistortion) {
    const auto run = test::adjustFolder(localNetwork);
    ASSERT_FALSE(run->stop);
    const Lines rpw = run->lines("rpw.ptw");
    EXPECT_EQ(rpw[std::max<size_t>(indexOf(rpw, resultTitle), 1) - 1], " ");
    const Lines header = {
        "  ---------------------------------------------------------------------- tarvel_2006-----",
        "  |           PLANY BOKÓW           |    OBSERWACJE   |       WYNIKI WYRÓWNANIA         |",
        "  |---------------------------------+-----------------+---------------------------------|",
        "  |          Nr(i) |          Nr(j) |D+redukcje| mD*Mo|    V   |  mV  |    Dwyr  | mDwyr|",
        "  |----------------+----------------+----------+------+--------+------+----------+------|",
        classicalResults,
    };
    const Lines table = linesAfter(rpw, resultTitle, 12);
    EXPECT_EQ(Lines(table.begin(), table.begin() + 6), header);
    // The reduced lengths do not depend on the coordinates in the local system.
    EXPECT_TRUE(table[6].starts_with("  |               P|              F1| 4999.5000|"));
    EXPECT_TRUE(table[7].starts_with("  |               P|              F2| 3999.8000|"));
    EXPECT_EQ(table[8], gpsResults);
    EXPECT_TRUE(table[9].starts_with("  |               P|              F3| 3000.1000|"));
    EXPECT_EQ(table[10], "  " + std::string(87, '-'));
    EXPECT_EQ(table[11], "    ANALIZA STATYSTYCZNA POPRAWEK:");
    for (size_t k : {6U, 7U, 9U}) {
        EXPECT_EQ(table[k].size(), 90U); // the marker "| " ends the row
    }

    const Lines er3 = run->lines("er3.ptw");
    EXPECT_EQ(linesAfter(er3, outlierTitle, 5)[0], header[0]);

    // Local system: μ̄ = 0, and the mean height as read; the file is rewritten under the name
    // it already has.
    EXPECT_EQ(run->folder.read("REDUKCJE"), "        0.00000    637.000\r\n");
    const std::vector<std::string> names = run->folder.names();
    EXPECT_EQ(std::count_if(names.begin(), names.end(),
                            [](const std::string& name) { return equalNoCase(name, "redukcje"); }),
              1);
}

// P is exactly determined by two lengths of 1000 m from F1 and F2; the length F1 F2 between
// the fixed points is 5 cm too long. It adds (0.05/0.01)² = 25 to [pLL] and [pvv] but nothing
// to the normal equations, so P stays where it is and Mo = √(25/1).
TEST(DistanceBlock, LengthBetweenFixedPointsAddsOnlyToTheSums) {
    struct Case {
        const char* name;
        AnalysisMode analysisMode;
        std::string pRow;
        std::string fixedRow;
    };
    // m_obs = 0.01·5 for every length. Full analysis: the unweighted row of an exactly
    // determined length has q = mD², so m_adj = m_obs and mV takes the floor √1e-10; the row of
    // fixed ends has q = 0, so mV = m_obs. Otrębski: m_adj = 0.05·√(2/3) = 0.0408 for every
    // length, mV = √(0.0025 − 0.0016667) = 0.0289. |V| = 0.05 stays below 3·mV in both.
    // clang-format off
    const Case cases[] = {
        {"full", AnalysisMode::Full,
         "  |               P|              F1| 1000.0000|0.0500|  0.0000|0.0000| 1000.0000|0.0500| ",
         "  |              F1|              F2| 1200.0500|0.0500| -0.0500|0.0500| 1200.0000|0.0000| "},
        {"Otrębski", AnalysisMode::Approximate,
         "  |               P|              F1| 1000.0000|0.0500|  0.0000|0.0289| 1000.0000|0.0408| ",
         "  |              F1|              F2| 1200.0500|0.0500| -0.0500|0.0289| 1200.0000|0.0408| "},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CalculationOptions options;
        options.iterationCount = 2;
        options.analysisMode = c.analysisMode;
        const auto run = test::adjustFolder(
            {{"XY.sta", "F1 0 0\nF2 0 1200\n0 0 0\n"},
             {"XY.prz", "P 800 600\n"},
             {"DLUGOSCI.b", "F1 P 1000 0.01\nF2 P 1000 0.01\nF2 F1 1200.05 0.01\n"}},
            options);
        ASSERT_FALSE(run->stop);
        const Lines rpw = run->lines("rpw.ptw");
        EXPECT_EQ(occurrences(rpw, pLLLine("     25.0000000")), 2U);
        EXPECT_EQ(occurrences(rpw, "   [pvv]+[pdd]     =      25.0000000  "), 2U);
        EXPECT_EQ(occurrences(rpw, "      NORM(dx,dy)  =           0.000 m"), 2U);
        const Lines rows = linesAfter(rpw, resultTitle, 9);
        EXPECT_EQ(rows[6], c.pRow);
        EXPECT_EQ(rows[8], c.fixedRow);
        // K = Σ l·D·p / Σ D²·p: only F1 F2 has a residual, every length has p = 10⁴.
        const double k = -0.05 * 1200.05 / (2 * 1000.0 * 1000 + 1200.05 * 1200.05);
        char expected[64];
        std::snprintf(expected, sizeof expected, "%15.10f", k);
        EXPECT_EQ(linesAfter(rpw, postulateTitle, 2)[1],
                  std::string("    - współczynnik korekty długości : ") + expected);
    }
}

TEST(DistanceBlock, RobustWeightsFollowTheFreeTerms) {
    // P's lengths fit (l = 0: weight root 10·s); F1 F2 has s·l = 5, so its weight falls to
    // 100/√(1 + 10⁶·25) of the nominal and its (s·l)² to 25·0.02 = 0.5.
    CalculationOptions options;
    options.iterationCount = 2;
    options.principle = AdjustmentPrinciple::RobustDistances;
    const auto run =
        test::adjustFolder({{"XY.sta", "F1 0 0\nF2 0 1200\n0 0 0\n"},
                            {"XY.prz", "P 800 600\n"},
                            {"DLUGOSCI.b", "F1 P 1000 0.01\nF2 P 1000 0.01\nF2 F1 1200.05 0.01\n"}},
                           options);
    ASSERT_FALSE(run->stop);
    EXPECT_EQ(occurrences(run->lines("rpw.ptw"), pLLLine("      0.5000000")), 2U);
}

// Five fixed points on a line, all ten lengths exact but one 10 cm long: Mo = √(100/10), so
// mV = 0.01·√10 = 0.0316 for every length and only the wrong one exceeds 3·mV + 0.0001.
TEST(DistanceBlock, OutlierMarkedAndCounted) {
    std::string distances;
    const double x[] = {0, 1000, 2500, 4000, 7000};
    for (int a = 0; a < 5; ++a) {
        for (int b = a + 1; b < 5; ++b) {
            const double error = a == 1 && b == 3 ? 0.1 : 0;
            distances += "Q" + std::to_string(a + 1) + " Q" + std::to_string(b + 1) + " " +
                         fourDecimals(x[b] - x[a] + error) + " 0.01\n";
        }
    }
    const auto run = test::adjustFolder(
        {{"XY.sta", "Q1 0 0\nQ2 1000 0\nQ3 2500 0\nQ4 4000 0\nQ5 7000 0\n0 0 0\n"},
         {"DLUGOSCI.b", distances}});
    ASSERT_FALSE(run->stop);
    const std::string outlier = "  |              Q2|              Q4| "
                                "3000.1000|0.0316| -0.1000|0.0316| 3000.0000|0.0000 *";
    const Lines rpw = run->lines("rpw.ptw");
    EXPECT_EQ(occurrences(rpw, outlier), 1U);
    EXPECT_EQ(linesAfter(rpw, "    ANALIZA STATYSTYCZNA POPRAWEK:", 4),
              (Lines{"    Liczba poprawek \"-\" istotnych  : 1",
                     "    Liczba poprawek \"+\" istotnych  : 0",
                     "    Liczba poprawek bliskich zera  : 9  (|v| < 0.0001m )",
                     "    Liczba obserwacji \"odstających\": 1  (|v| > 3 * Mv )"}));
    EXPECT_EQ(linesAfter(rpw, "    STWIERDZONO: 1 OBSERWCJI \"ODSTAJĄCYCH\"", 1)[0],
              "    [z poprawkami przekraczającymi błąd graniczny]");

    const Lines er3 = run->lines("er3.ptw");
    const Lines listed = linesAfter(er3, outlierTitle, 8);
    EXPECT_EQ(listed[5], classicalResults);
    EXPECT_EQ(listed[6], outlier);
    EXPECT_EQ(listed[7], "    Liczba obserwacji \"odstających\": 1  (|v| > 3 * Mv )");
}

// Fixed points whose lengths are all measured short by the factor K (l = K·D, heights 0): the
// postulate gives K and Δh = −K·6 370 000 m, with a pointer to the heights when |Δh| > 10 m.
TEST(DistanceBlock, ScalePostulateOfProportionalResiduals) {
    const std::string factor = "    - współczynnik korekty długości : ";
    const Lines redukcjeHint = {"      - zobacz drugi parametr w pliku REDUKCJE ",
                                "        lub wysokości punktów w pliku XYH.sta ]"};
    const Lines noOutliers = {"    STWIERDZONO: 0 OBSERWCJI \"ODSTAJĄCYCH\"",
                              "    [z poprawkami przekraczającymi błąd graniczny]"};
    struct Case {
        const char* name;
        const char *b, *c; ///< coordinates of B (x) and C (y): 1000 and 2000 m times 1 + K
        bool heightFile;
        std::string k, heightChange;
        Lines tail; ///< the two lines after Δh
    };
    const Case cases[] = {
        {"K = 1e-5, no height file", "1000.01", "2000.02", false, "   0.0000100000", "    -63.70",
         redukcjeHint},
        {"K = 1e-5, heights from h.prz",
         "1000.01",
         "2000.02",
         true,
         "   0.0000100000",
         "    -63.70",
         {"      - sprawdź wysokości punktów w pliku H.prz ]", noOutliers[0]}},
        {"K = -2e-6", "999.998", "1999.996", false, "  -0.0000020000", "     12.74", redukcjeHint},
        {"K = 1e-6: |Δh| ≤ 10 m, no pointer", "1000.001", "2000.002", false, "   0.0000010000",
         "     -6.37", noOutliers},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::map<std::string, std::string> files = {
            {"XY.sta", std::string("A 0 0\nB ") + c.b + " 0\nC 0 " + c.c + "\n0 0 0\n"},
            // B C is 1000·√5 long.
            {"DLUGOSCI.b", "A B 1000 0.01\nA C 2000 0.01\nB C 2236.06797749979 0.01\n"}};
        if (c.heightFile) {
            files["h.prz"] = "A 0\nB 0\nC 0\n";
        }
        const auto run = test::adjustFolder(files);
        ASSERT_FALSE(run->stop);
        Lines expected = {
            "    Postulat ewentualnej korekty systematycznej:", factor + c.k,
            "      [ matematyczna eliminacja błędu odpowiada",
            "      np. zmianie wysokości n.p.m. o wartość:", "    " + c.heightChange + "m"};
        expected.insert(expected.end(), c.tail.begin(), c.tail.end());
        EXPECT_EQ(linesAfter(run->lines("rpw.ptw"), postulateTitle, expected.size()), expected);
    }
}

TEST(DistanceBlock, Zone1965ReductionsAndMeanDistortion) {
    // Zone 1 centre C and lines of 10 and 20 km from it: the mean distortion of a line from
    // the centre is K·L²/3 − 200 ppm (K = 0.00613184706, L in km): −199.795605 and −199.182420.
    // Heights 120 m (REDUKCJE): dD(wys) = −120·D/6 370 000.
    // C N: dD(odwz) = −1.997956, dD(wys) = −0.188383, D(zred) = 9997.813661.
    // C E: dD(odwz) = −3.983648, dD(wys) = −0.376766, D(zred) = 19995.639586.
    CalculationOptions options;
    options.system = test::systemZone(1965, 1);
    const auto run = test::adjustFolder(
        {{"XY.sta", "C 5467000 4637000\nN 5477000 4637000\nE 5467000 4657000\n0 0 0\n"},
         {"DLUGOSCI.b", "C N 10000 0.02\nE C 20000 0.02\n"},
         {"REDUKCJE", "-200 120\n"}},
        options);
    ASSERT_FALSE(run->stop);
    const Lines rows = linesAfter(run->lines("rpw.ptw"), listingTitle, 8);
    EXPECT_EQ(
        rows[6],
        "  |               C|               N|10000.0000|0.0200| -1.9980| -0.1884|  9997.8137|");
    EXPECT_EQ(
        rows[7],
        "  |               C|               E|20000.0000|0.0200| -3.9836| -0.3768| 19995.6396|");
    // μ̄ = (−199.795605 − 199.182420)/2.
    EXPECT_EQ(run->folder.read("REDUKCJE"), "     -199.48901    120.000\r\n");
    EXPECT_TRUE(run->t.user.questions.empty());
}

// Two fixed points of the 2000 system, zone 18, from geodetic positions through GeographicLib's
// transverse Mercator; the GPS lengths are the geodesics between them. Reduced to the grid
// they must equal the chords within what the series achieve (0.02 mm/km) and the 0.05 mm of
// the printed figures. A classical length gets the height reduction with the geoid
// undulation of the system: −(300 + 34)·D/6 370 000.
TEST(DistanceBlock, GaussKrugerReductionOfGeodesicsAgainstGeographicLib) {
    const double a = 6378137, f = 1 - 6356752.3141 / a, m0 = 0.999923, meridian = 18;
    const GeographicLib::TransverseMercator tm(a, f, m0);
    const GeographicLib::Geodesic geodesic(a, f);
    struct Station {
        const char* name;
        double lat, lon;
        double x = 0, y = 0;
    };
    Station s[] = {{"A", 52.0, 17.6}, {"B", 0, 0}, {"C", 0, 0}, {"D", 0, 0}};
    struct Line {
        int to;
        double azimuth, length;
    };
    const Line lines[] = {{1, 63, 7000}, {2, 200, 12000}, {3, 301, 2500}};
    for (const Line& line : lines) {
        geodesic.Direct(s[0].lat, s[0].lon, line.azimuth, line.length, s[line.to].lat,
                        s[line.to].lon);
    }
    std::string xy;
    for (Station& st : s) {
        double easting = 0, northing = 0;
        tm.Forward(meridian, st.lat, st.lon, easting, northing);
        st.x = std::round(northing * 1e4) / 1e4;
        st.y = std::round((easting + 6500000) * 1e4) / 1e4;
        xy += std::string(st.name) + " " + fourDecimals(st.x) + " " + fourDecimals(st.y) + "\n";
    }
    CalculationOptions options;
    options.system = test::systemZone(2000, 18);
    const auto run = test::adjustFolder({{"XY.sta", xy + "0 0 0\n"},
                                         {"H.prz", "A 300\nB 300\nC 300\nD 300\n"},
                                         {"DLUGOSCI", "A D 2500\n"},
                                         {"DLUGOSCI.gps", "A B 7000 0.01\nA C 12000 0.01\n"}},
                                        options);
    ASSERT_FALSE(run->stop);
    const Lines rows = linesAfter(run->lines("rpw.ptw"), listingTitle, 10);
    EXPECT_TRUE(rows[6].starts_with("  |               A|               D| 2500.0000|"));
    EXPECT_EQ(rows[6].substr(64, 9), " -0.1311|"); // −334·2500/6 370 000 = −0.13108
    for (size_t k = 0; k < 2; ++k) {
        const std::string& row = rows[8 + k];
        SCOPED_TRACE(row);
        const Station& end = s[k + 1];
        EXPECT_EQ(row.substr(0, 37),
                  "  |               A|               " + std::string(end.name) + "|");
        EXPECT_EQ(row.substr(64, 9), "  0.0000|"); // a GPS length has no height reduction
        const double reduced = std::stod(row.substr(73, 11));
        const double chord = std::hypot(end.x - s[0].x, end.y - s[0].y);
        EXPECT_NEAR(reduced, chord, 0.02e-6 * lines[k].length + 0.00006);
    }
    EXPECT_TRUE(run->t.user.questions.empty());
}

TEST(DistanceBlock, NearlyCoincidentEndsAsk) {
    // P's approximate position is 5 cm from F1. l comes from the true d: 0.05 − 1000.
    const std::map<std::string, std::string> files = {
        {"XY.sta", "F1 0 0\nF2 0 1200\n0 0 0\n"},
        {"XY.prz", "P 0.03 0.04\n"},
        {"DLUGOSCI.b", "F1 P 1000 0.01\nF2 P 1000 0.01\n"}};
    const std::string question = " *** Podobne współrzędne przybliżone punktów: P F1";
    const std::string row = "  |               P|              F1| "
                            "1000.0000|0.0100|  0.0000|  0.0000|  1000.0000|-999.9500|";

    const auto yes = test::adjustFolder(files, {}, std::deque<bool>(20, true));
    ASSERT_FALSE(yes->stop);
    ASSERT_FALSE(yes->t.user.questions.empty());
    EXPECT_EQ(yes->t.user.questions[0], question + "\n     Czy chcesz liczyć dalej?");
    const Lines er3 = yes->lines("er3.ptw");
    EXPECT_EQ(linesAfter(er3, question, 1)[0], row);
    EXPECT_LT(indexOf(er3, freeTermTitle), indexOf(er3, question));

    const auto no = test::adjustFolder(files, {}, {false});
    EXPECT_EQ(no->stop, StopReason::UserDeclined);
    EXPECT_EQ(no->t.user.questions.size(), 1U);
    EXPECT_EQ(no->lines("er3.ptw").back(), question);
}

TEST(DistanceBlock, TooLargeProjectionReductionAsksInEveryPass) {
    // Two fixed points of the 2000 system, zone 18: on the central meridian μ is −77 ppm; 200 km
    // east of it about +415 ppm, beyond the system's 0.2 ‰. Two iterations and the last pass.
    struct Case {
        const char* name;
        const char* easting;
        std::deque<bool> answers;
        size_t questions;
        bool stopped;
    };
    const Case cases[] = {
        {"on the meridian", "6500000", {}, 0, false},
        {"200 km off, Yes", "6700000", {true, true, true}, 3, false},
        {"200 km off, No", "6700000", {false}, 1, true},
    };
    const std::string text = " *** ZBYT DUŻA REDUKCJA ODWZOROWAWCZA DLUGOSCI";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CalculationOptions options;
        options.system = test::systemZone(2000, 18);
        options.iterationCount = 2;
        const auto run =
            test::adjustFolder({{"XY.sta", std::string("A 5800000 ") + c.easting + "\nB 5805000 " +
                                               c.easting + "\n0 0 0\n"},
                                {"DLUGOSCI.b", "A B 5000 0.01\n"}},
                               options, c.answers);
        EXPECT_EQ(run->stop.has_value(), c.stopped);
        ASSERT_EQ(run->t.user.questions.size(), c.questions);
        for (const std::string& q : run->t.user.questions) {
            EXPECT_EQ(q, text + "\n     sprawdź poprawnosc wyboru ukladu i strefy\n"
                                "     Czy chcesz liczyć dalej?");
        }
        const Lines er3 = run->lines("er3.ptw");
        EXPECT_EQ(occurrences(er3, text), c.questions);
        if (c.questions == 3) {
            // The last pass asks where it reaches the line: inside the outlier list.
            const auto last = std::find(er3.rbegin(), er3.rend(), text);
            EXPECT_GT(er3.rend() - last - 1,
                      static_cast<std::ptrdiff_t>(indexOf(er3, outlierTitle)));
        }
    }
}

} // namespace
} // namespace ptw3
