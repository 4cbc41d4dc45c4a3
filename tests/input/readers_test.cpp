#include "input/input_support.h"

#include <gtest/gtest.h>

#include <cmath>

namespace ptw3 {
namespace {

using test::readFolder;

constexpr double cc = 1e-9;  // tolerance for values in cc
constexpr double grad = 1e-12;

double d(Real v) { return static_cast<double>(v); }

TEST(CoordinateFiles, GroupRecordsGiveAPrioriErrorsAndFixedPointsGoLast) {
    const auto run = readFolder({
        {"XY.sta", "A 1 1\nB 2 2\n0 0.02 0.02\nC 3 3\nD 4 4\n"},
        {"XY.prz", "N 5 5\nC 9 9\n0 0 0\nM 6 6\n"},
        {"DLUGOSCI", "A B 1\nC D 1\nN A 1\nM A 1\n"},
    });
    const NetworkData& n = run->network;
    ASSERT_EQ(n.lp(), 5);
    EXPECT_EQ(n.ls, 2);
    const std::vector<std::string> order = {"A", "B", "N", "C", "D"};
    for (int32_t i = 1; i <= n.lp(); ++i) {
        EXPECT_EQ(n.points[i].number, order[static_cast<size_t>(i) - 1]);
    }
    EXPECT_EQ(n.points[1].mx, 0.02L);
    EXPECT_EQ(n.points[1].my, 0.02L);
    EXPECT_EQ(n.points[1].mh, -1); // the group record has no third value
    EXPECT_EQ(n.points[3].mx, -1);  // an approximate point
    EXPECT_EQ(n.points[4].x, 3);    // the XY.sta coordinates win over XY.prz
    EXPECT_EQ(n.points[4].mx, 0);
    EXPECT_EQ(n.lrsxy, 4);
    EXPECT_EQ(run->point("M"), 0); // after the end record of XY.prz
}

TEST(CoordinateFiles, FixedPointsGoLastAlsoWithoutApproximateFile) {
    const auto run = readFolder({
        {"XY.sta", "F1 1 1\n0 0 0\nW 2 2\n0 0.01 0.01\nF2 3 3\nOUT 7 7\n"},
        {"DLUGOSCI", "F1 W 1\nW F2 1\n"},
    });
    const NetworkData& n = run->network;
    ASSERT_EQ(n.lp(), 3);
    EXPECT_EQ(n.points[1].number, "W");
    EXPECT_EQ(n.points[2].number, "F1");
    EXPECT_EQ(n.points[3].number, "F2");
    EXPECT_EQ(n.ls, 2);
    const auto lines = run->reportLines();
    EXPECT_NE(std::find(lines.begin(), lines.end(), " * Punkt poza siecią:              OUT"),
              lines.end());
}

TEST(CoordinateFiles, HeightsFromFilesAndTheirMean) {
    struct Case {
        const char* name;
        std::map<std::string, std::string> files;
        std::vector<Real> heights; // of A, B, C
    };
    const std::string obs = "A B 1\nB C 1\n";
    const Case cases[] = {
        {"no heights, REDUKCJE mean height",
         {{"XY.sta", "A 0 0\nB 1 1\nC 2 2\n"}, {"REDUKCJE", "0 250"}},
         {250, 250, 250}},
        {"XYH.sta heights, missing ones get the mean",
         {{"XYH.sta", "A 0 0 100\nB 1 1\nC 2 2 200\n"}},
         {100, 150, 200}},
        {"H.prz replaces XYH.sta, cut to 16 characters",
         {{"XYH.sta", "A 0 0 100\nB 1 1 120\nC 2 2\n"},
          {"H.prz", "B 130\n0 999\nX 5\nC 140.0000000000000001\n"}},
         {100, 130, 140}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto files = c.files;
        files["DLUGOSCI"] = obs;
        const auto run = readFolder(files);
        ASSERT_FALSE(run->stop.has_value());
        for (size_t i = 0; i < c.heights.size(); ++i) {
            const int32_t p = run->point(std::string(1, static_cast<char>('A' + i)));
            EXPECT_EQ(run->network.points[p].h, c.heights[i]);
        }
    }
}

TEST(AngleFiles, GroupAndIndividualMeanErrors) {
    struct Case {
        const char* name;
        std::map<std::string, std::string> files;
        std::vector<Real> values;      // grads
        std::vector<Real> meanErrors;  // cc
    };
    const Real ma = 14.12L;
    const Case cases[] = {
        {"KATY groups",
         {{"KATY", "A B C 1\nA B C 2\nA B C 3\n0 0 0 0.0015\nA B C 4\nA B C 5\n"}},
         {1, 2, 3, 4, 5},
         {15, 15, 15, ma, ma}},
        {"KATY group without a usable value leaves ma",
         {{"KATY", "A B C 1 99\n0 0 0 x\nA B C 2\n0 0 0 0\n"}},
         {1, 2},
         {ma, ma}},
        {"KATY.b own errors, ma without",
         {{"KATY.b", "A B C 1 30\nA B C 2\n0 0 0 0.0015\nA B C 3 7\n"}},
         {1, 2, 3},
         {30, ma, 7}},
        {"degrees",
         {{"LIMBUS", "360 5"},
          {"KATY", "A B C 256.2845\n0 0 0 0.0003\n"},
          {"KATY.b", "A B C 90 30\n"}},
         {(256 * 3600 + 28 * 60 + 45) / 3240.0L, 100},
         {3 / 3240.0L * 10000, 30 * 3.0864L}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto files = c.files;
        files["XY.sta"] = "A 0 0\nB 1 1\nC 2 2\n";
        const auto run = readFolder(files, std::deque<bool>(20, true)); // the angles repeat
        const NetworkData& n = run->network;
        ASSERT_EQ(n.lka1, static_cast<int32_t>(c.values.size()));
        for (int32_t i = 1; i <= n.lka1; ++i) {
            SCOPED_TRACE(i);
            EXPECT_NEAR(d(n.angles[i].value), d(c.values[static_cast<size_t>(i) - 1]), grad);
            EXPECT_NEAR(d(n.angles[i].meanError), d(c.meanErrors[static_cast<size_t>(i) - 1]),
                        cc);
        }
    }
}

TEST(DirectionFiles, SetMeanErrorsIndividualErrorsAndCarriedDistances) {
    const auto run = readFolder({
        {"XY.sta", "S 0 0\nA 1 0\nB 0 1\nC 1 1\n"},
        {"LIMBUS", "400 8"},
        {"KIERUNKI", "S 11\nA 0 5\nB 100\nC 50 3\n0 0.0012\n"
                     "\n"
                     "S 2\nA 0 100.12344\nB 100 141.0\nX 10 99\n0\n"},
    });
    const NetworkData& n = run->network;
    ASSERT_EQ(n.lst(), 2);
    const Table<Direction>& first = n.directionSets[1].directions;
    EXPECT_EQ(first[1].meanError, 5);
    EXPECT_EQ(first[2].meanError, 12); // the set's 0.0012 grads
    EXPECT_EQ(first[3].meanError, 3);
    const Table<Direction>& second = n.directionSets[2].directions;
    EXPECT_EQ(second.count(), 2);
    EXPECT_EQ(second[1].meanError, 8); // mk: the third column is a distance
    EXPECT_EQ(n.ldpom, 2);            // X is rejected again by the distance reader
    EXPECT_EQ(n.ld(), 2);
    EXPECT_NEAR(d(n.distances[1].value), 100.1234, 1e-12);
    EXPECT_EQ(run->folder.read("dlugosci.pom"),
              "               S                A     100.1234  -1 \r\n"
              "               S                B     141.0000  -1 \r\n"
              "               S                X      99.0000  -1 \r\n");
    EXPECT_EQ(n.lki, 5);
}

TEST(DirectionFiles, SchreiberAnglesAndMergedDirections) {
    const auto run = readFolder({
        {"XY.sta", "S 0 0\nA 1 0\nB 0 1\nC 1 1\nD 2 2\n"},
        {"KIERUNKI", "S 11\nA 0 10\nB 100 10\nC 150 20\nD 300 20\n0\n"
                     "S 1\nA 0\nB 50\nA 0.0003\nA 399.9997\n0\n"},
    });
    const NetworkData& n = run->network;
    ASSERT_EQ(n.lst(), 2);
    EXPECT_EQ(n.lka1, 0);
    EXPECT_EQ(n.lka(), 6 + 1);
    // S = 2/100 + 2/400 = 0.025; the angle A-S-B has m = √S · 10 · 10.
    EXPECT_NEAR(d(n.angles[1].meanError), std::sqrt(0.025) * 100, cc);
    EXPECT_NEAR(d(n.angles[1].value), 100, grad);
    EXPECT_NEAR(d(n.angles[6].meanError), std::sqrt(0.025) * 400, cc); // C-S-D
    // Second set: A read three times, merged to the mean with m/√3, then B.
    const Table<Direction>& merged = n.directionSets[2].directions;
    ASSERT_EQ(merged.count(), 2);
    EXPECT_EQ(merged[1].target, run->point("A"));
    EXPECT_NEAR(d(merged[1].value), 0, grad);
    EXPECT_NEAR(d(merged[1].meanError), 10 / std::sqrt(3.0), cc);
    EXPECT_NEAR(d(n.angles[7].value), 50, 1e-11);
    EXPECT_EQ(n.reducedDirectionCount, 3 + 1);
}

TEST(DistanceFiles, DefaultAndIndividualMeanErrors) {
    const auto run = readFolder({
        {"XY.sta", "A 0 0\nB 1000 0\n"},
        {"DLUGOSCI", "A B 1000 0.5\n"},
        {"DLUGOSCI.b", "A B 1000 0.003\nA B 1000\nA B 1000 0\n0 0 0\nA B 5\n"},
        {"DLUGOSCI.gps", "B A 1000.001 0.002\n"},
    });
    const NetworkData& n = run->network;
    ASSERT_EQ(n.ld(), 5);
    EXPECT_NEAR(d(n.distances[1].meanError), std::sqrt(2e-4), 1e-15);
    EXPECT_EQ(n.distances[2].meanError, 0.003L);
    EXPECT_NEAR(d(n.distances[3].meanError), std::sqrt(2e-4), 1e-15);
    EXPECT_NEAR(d(n.distances[4].meanError), std::sqrt(2e-4), 1e-15); // zero replaced
    EXPECT_EQ(n.ldk, 4);
    EXPECT_EQ(n.ldgps, 1);
    const auto lines = run->reportLines();
    EXPECT_NE(std::find(lines.begin(), lines.end(),
                        " * Zerowy błąd średni długości:                A                B 1000"),
              lines.end());
    EXPECT_NE(std::find(lines.begin(), lines.end(), "                  Przyjęto md =     0.0141"),
              lines.end());
}

// "1e5000" overflows even the extended range, and "inf" and "nan" are not numbers of the
// input files: each reader takes its path for a token that is not a number.
TEST(DataInput, NonFiniteNumbersAreNotNumbersInEveryReader) {
    struct Case {
        const char* name;
        std::map<std::string, std::string> files;
        std::optional<StopReason> stop;
        std::string line; // a line of ER3a.ptw that shows the path taken
    };
    const std::string points = "A 0 0\nB 100 0\nC 0 100\n";
    const std::string lengths = "A B 100\nB C 141.42\n";
    const Case cases[] = {
        {"XY.sta x", {{"XY.sta", "A 1e5000 0\n"}}, StopReason::FatalInput,
         " *** Brak współrzędnej x punktu: A"},
        {"XY.prz y", {{"XY.sta", points}, {"XY.prz", "N 0 inf\n"}, {"DLUGOSCI", "A N 1\n"}},
         StopReason::FatalInput, " *** Brak współrzędnej y punktu: N"},
        {"XYH.sta h is missing", {{"XYH.sta", "A 0 0 nan\nB 100 0 -1e9999\n"},
                                  {"DLUGOSCI", "A B 100\n"}},
         std::nullopt, "         2 lp      punktów sieci"},
        {"H.prz", {{"XY.sta", points}, {"DLUGOSCI", lengths}, {"H.prz", "A inf\n"}},
         StopReason::FatalInput, " *** Blad w pliku <H.prz>: A inf"},
        {"KATY value", {{"XY.sta", points}, {"KATY", "A B C -inf\n"}}, StopReason::FatalInput,
         " *** Błąd odczytu kąta:                A                B                C"},
        {"KATY.b mean error", {{"XY.sta", points}, {"KATY.b", "A B C 50 nan\n"}},
         std::nullopt, "         1 lka1    kątów"},
        {"KIERUNKI reading", {{"XY.sta", points}, {"KIERUNKI", "A 1\nB 0\nC 1e5000\n0\n"}},
         StopReason::FatalInput,
         " *** Błąd odczytu kierunku:                A -                C"},
        {"DLUGOSCI value", {{"XY.sta", points}, {"DLUGOSCI", "A B 1E+5000\n"}},
         StopReason::FatalInput, " *** Błąd odczytu dlugosci:                A -                B"},
        {"DLUGOSCI.b mean error", {{"XY.sta", points}, {"DLUGOSCI.b", "A B 100 inf\n"}},
         std::nullopt, "         1 ld      długości razem"},
        {"AZYMUTY value", {{"XY.sta", points}, {"AZYMUTY", "A B NaN 5\n"}},
         StopReason::FatalInput, " *** Błąd odczytu azumutu:                A -                B"},
        {"AZYMUTY mean error", {{"XY.sta", points}, {"AZYMUTY", "A B 100 1e5000\n"}},
         std::nullopt, " * Brak błędu średniego azymutu:                A                B 100"},
        {"DALMIERZ", {{"XY.sta", points}, {"DLUGOSCI", lengths}, {"DALMIERZ", "inf 0.001"}},
         std::nullopt, " ** Błąd w pliku <DALMIERZ> - przyjęto domyslnie: a=0.01, b=0.001"},
        {"LIMBUS", {{"XY.sta", points}, {"DLUGOSCI", lengths}, {"LIMBUS", "400 1e5000"}},
         std::nullopt, " ** Błąd w pliku <LIMBUS> - przyjęto parametry domyślne:  400 10 10"},
        {"REDUKCJE", {{"XY.sta", points}, {"DLUGOSCI", lengths}, {"REDUKCJE", "0 nan"}},
         std::nullopt, " ** Błąd w pliku <REDUKCJE> - przyjęto parametry zerowe: 0.00  0.00"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto run = readFolder(c.files);
        EXPECT_EQ(run->stop, c.stop);
        const auto lines = run->reportLines();
        EXPECT_NE(std::find(lines.begin(), lines.end(), c.line), lines.end());
        for (const Point& p : run->network.points) {
            EXPECT_TRUE(std::isfinite(p.h) && std::isfinite(p.x) && std::isfinite(p.y));
        }
    }
}

// A mean error of 0, or one whose weight 1/m² overflows, takes the default (a zero one in
// KATY.b made the solver find a defect and the results fail).
TEST(DataInput, ZeroAndVanishingMeanErrorsTakeTheDefaultWithTheirLines) {
    const auto run = readFolder({
        {"XY.sta", "A 0 0\nB 100 0\nC 0 100\n"},
        {"LIMBUS", "400 5"},
        {"KATY", "A B C 50\n0 0 0 1e-3000\n"},
        {"KATY.b", "A B C 50 0\nA B C 50 1e-200\nA B C 50 2e-154\n"},
        {"KIERUNKI", "A 11\nB 0 0\nC 100 1e-160\n0 1e-3000\n"},
        {"DLUGOSCI.b", "A B 100 1e-3000\n"},
    }, std::deque<bool>(20, true));
    const NetworkData& n = run->network;
    const Real ma = 1.412L * 5;
    ASSERT_EQ(n.lka1, 4);
    EXPECT_EQ(n.angles[1].meanError, ma); // the group record's tiny m
    EXPECT_EQ(n.angles[2].meanError, ma);
    EXPECT_EQ(n.angles[3].meanError, ma);
    EXPECT_EQ(n.angles[4].meanError, 2e-154L); // its weight still fits
    const Table<Direction>& set = n.directionSets[1].directions;
    EXPECT_EQ(set[1].meanError, 5); // mk: the set's tiny m is none either
    EXPECT_EQ(set[2].meanError, 5);
    EXPECT_NEAR(d(n.distances[1].meanError), std::sqrt(1e-4 + 1e-6), 1e-15); // a, b·D/100
    const auto lines = run->reportLines();
    for (const char* expected : {
             " * Zerowy błąd średni kąta:                A                B                C 50",
             "                  Przyjęto ma =        7.1",
             " * Zerowy błąd średni kierunku:                A                B 0",
             " * Zerowy błąd średni kierunku:                A                C 100",
             "                  Przyjęto mk =        5.0",
             " * Zerowy błąd średni długości:                A                B 100",
         }) {
        EXPECT_NE(std::find(lines.begin(), lines.end(), expected), lines.end()) << expected;
    }
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "                  Przyjęto ma =        7.1"),
              2);
}

TEST(DataInput, AFixedPointWhoseObservationsWereRejectedDisappears) {
    const auto run = readFolder({
        {"XY.sta", "A 0 0\nB 1 0\nF 5 5\n"},
        {"XY.prz", "N 2 2\n0 0 0\n"},
        {"DLUGOSCI", "A N 1\nB N 1\nF N -1\n"},
    });
    EXPECT_EQ(run->network.lp(), 3);
    EXPECT_EQ(run->network.ls, 2);
    EXPECT_EQ(run->point("F"), 0);
}

TEST(DataInput, Utf8FilesAndPolishPointNumbers) {
    test::TempFolder folder;
    folder.write("XY.sta", "Łąka1 0 0\r\nB 1 1\r\n");                        // UTF-8
    folder.write("DLUGOSCI", std::string("\xA3\xB9ka1 B 1.4142\r\n"));      // Windows-1250
    test::TestContext t;
    NetworkData n;
    readNetworkData(folder.path(), n, t.context);
    ASSERT_EQ(n.ld(), 1);
    EXPECT_EQ(n.points[1].number, "\xA3\xB9ka1");
}

TEST(DataInput, InputFilesAreNeverModified) {
    const std::map<std::string, std::string> files = {
        {"XY.sta", "A 0 0\nB 1 0\n"},   {"XY.prz", "N 2 2\n0 0 0\n"},
        {"KIERUNKI", "A 2\nB 0 1\nN 50 2\n0\n"}, {"DLUGOSCI", "A N 2.1\n"},
        {"REDUKCJE", "0 100"},          {"H.prz", "A 1\n"},
    };
    const auto run = readFolder(files);
    ASSERT_FALSE(run->stop.has_value());
    for (const auto& [name, text] : files) {
        EXPECT_EQ(run->folder.read(name), test::crlf(text)) << name;
    }
    std::vector<std::string> expected;
    for (const auto& [name, text] : files) {
        expected.push_back(name);
    }
    expected.push_back("dlugosci.pom");
    expected.push_back("er3a.ptw");
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(run->folder.names(), expected);
}

TEST(DataInput, StopsAndTheirReports) {
    struct Case {
        const char* name;
        std::map<std::string, std::string> files;
        std::deque<bool> answers;
        std::optional<StopReason> stop;
        std::string lastLine;
        std::vector<std::string> boxes;
    };
    const Case cases[] = {
        {"no reference points",
         {{"XY.prz", "A 0 0\n"}},
         {},
         StopReason::FatalInput,
         "*** Brak zbioru wspólrzędnych punktów nawiązania",
         {"*** Brak zbioru wspólrzędnych punktów nawiązania"}},
        {"x not a number",
         {{"XY.sta", "A 1,5 0\n"}},
         {},
         StopReason::FatalInput,
         " *** Brak współrzędnej x punktu: A",
         {" *** Brak współrzędnej x lub y punktu: A"}},
        {"repetition beyond the threshold, answer No",
         {{"XY.sta", "A 0 0\nB 1 0\n"}, {"DLUGOSCI", "A B 100\nB A 100.3\n"}},
         {false},
         StopReason::UserDeclined,
         std::string(20 + 15, ' ') + "A                B   100.0000  md =     0.0100 r = " +
             "   -0.3000 *** ",
         {}},
        {"repetition beyond the threshold, answer Yes",
         {{"XY.sta", "A 0 0\nB 1 0\n"}, {"DLUGOSCI", "A B 100\nB A 100.3\n"}},
         {true},
         std::nullopt,
         "         0 lazgps  azymutów - pseudoobserwacji gps",
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto run = readFolder(c.files, c.answers);
        EXPECT_EQ(run->stop, c.stop);
        ASSERT_FALSE(run->reportLines().empty());
        EXPECT_EQ(run->reportLines().back(), c.lastLine);
        EXPECT_EQ(run->t.user.informations, c.boxes);
    }
}

} // namespace
} // namespace ptw3
