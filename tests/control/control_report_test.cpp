// KONTROLA.ptw and the verdict lines, written for quality controls made by hand on a small
// network adjusted for real: P at the centre of the fixed triangle A B C, Q to the north-east
// and R hanging on P by one distance and one direction (a point without control). The
// expected reports are in tests/data/control/ (README there gives the arithmetic of the rows).

#include "common/encoding.h"
#include "control/control_report.h"
#include "engine/adjustment.h"
#include "input/read_network_data.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

namespace ptw3 {
namespace {

namespace fs = std::filesystem;

const fs::path controlData = fs::path(PTW3_TEST_DATA_DIR) / "control";

struct HandNetwork {
    test::TempFolder folder;
    test::TestContext t;
    NetworkData network;
    AdjustmentOutcome outcome;

    HandNetwork() {
        folder.write("tytul", test::crlf("Pracownia kontroli\nSieć testowa kontroli\nKT-1\n\n"
                                         "Kontrola jakości na sieci wzorcowej\n"));
        folder.write("XY.sta", test::crlf("A 6000 5000\nB 4500 5866.0254\nC 4500 4133.9746\n"));
        folder.write("XY.prz", test::crlf("P 5000.02 4999.97\nQ 5400.03 5500.02\nR 5000 4300\n"));
        folder.write("DLUGOSCI.b", test::crlf("P A 1000.003 0.005\nP B 999.998 0.005\n"
                                              "P C 1000.001 0.005\nQ A 781.027 0.005\n"
                                              "Q B 971.580 0.005\nQ P 640.312 0.005\n"
                                              "P R 700.000 0.005\n"));
        folder.write("KIERUNKI", test::crlf("P 11\nA 0 10\nB 133.3335 10\nC 266.6664 10\n"
                                            "Q 57.0448 10\nR 300.0000 10\n0\n"
                                            "Q 11\nA 0 10\nB 219.6379 10\nP 301.2732 10\n0\n"));
        folder.write("KATY.b", test::crlf("B Q A 180.3622 14\n"));
        readNetworkData(folder.path(), network, t.context);
        CalculationOptions options;
        options.workingFolder = folder.path();
        options.accelerationLevel = AccelerationLevel::None;
        CalculationResults results;
        adjustNetwork(options, network, results, t.context, &outcome);
    }

    int32_t point(std::string_view number) const { return test::pointIndex(network, number); }
    /// The index in the outcome's list of the observation of that kind between the points
    /// (an angle's station and right target; a direction's station and target).
    int32_t observation(ListedKind kind, std::string_view from, std::string_view to) const {
        const int32_t i = point(from), j = point(to);
        for (size_t k = 0; k < outcome.observations.size(); ++k) {
            const AdjustedObservation& o = outcome.observations[k];
            if (o.kind == kind && o.from == i && o.to == j) {
                return static_cast<int32_t>(k);
            }
        }
        ADD_FAILURE() << "no observation " << from << " " << to;
        return 0;
    }

    /// A control that found everything it can find.
    QualityControl fullControl() const {
        QualityControl c;
        // χ²(8) quantiles from the tables: 2.1797 (0.025), 17.5345 (0.975), 15.5073 (0.95).
        c.global = {std::nullopt, 8, 21.0L, std::sqrt(21.0L / 8), 0.05L, 2.1797L, 17.5345L,
                    15.5073L, GlobalTest::Verdict::MoTooLarge};

        c.snooping.critical = 3.29L;
        c.snooping.stepLimit = 10;
        c.snooping.largestW = 4.87L;
        c.snooping.largestObservation = observation(ListedKind::Direction, "Q", "A");
        c.snooping.steps = {
            {observation(ListedKind::Direction, "Q", "A"), std::nullopt, -4.87L, -38.24L, 1.215L,
             7, 3.52L, observation(ListedKind::Distance, "Q", "B")},
            {observation(ListedKind::Distance, "Q", "B"), std::nullopt, 3.52L, 0.04172L, 0.98766L,
             6, 3.31L, observation(ListedKind::Direction, "Q", "B")},
            {observation(ListedKind::Direction, "Q", "B"),
             observation(ListedKind::Direction, "Q", "P"), 3.31L, 25.04L, 0.9L, 4, std::nullopt,
             std::nullopt},
        };

        // F(2, f) quantiles at 0.999: 27.00 (f = 6), 61.25 (f = 4).
        ReferencePointTest a{point("A"), false, true, 0.0453L, -0.0121L, 0.0052L * 0.0052L, 0,
                             0.0048L * 0.0048L, 31.40L, 27.00L, 6};
        ReferencePointTest b{point("B"), true, true, -0.0038L, 0.0021L, 0.0041L * 0.0041L, 0,
                             0.0039L * 0.0039L, 2.05L, 27.00L, 6};
        ReferencePointTest cPoint{point("C"), false, false, 0, 0, 0, 0, 0, 0, 0, 0};
        c.reference.alpha = 0.001L;
        c.reference.rounds = {{{a, b, cPoint}, 0}, {{b, cPoint}, std::nullopt}};
        c.reference.rounds[1].points[0].statistic = 3.05L;
        c.reference.rounds[1].points[0].critical = 61.25L;
        c.reference.rounds[1].points[0].f = 4;
        c.reference.doubtfulPoints = {point("A")};

        c.relative.lines = {
            {point("P"), point("R"), 700.00012L, 0.01234L, 0.00205L, 99.87L, 0.00205L, 2.93L,
             112.25L},
            {point("Q"), point("B"), 971.58349L, 0.00431L, 0.00302L, 183.4L, 0.00387L, 3.98L,
             22.6L},
        };

        c.standard.limit = 0.002L;
        c.standard.checked = 3;
        c.standard.failing = {point("R")};
        c.standard.largestPoint = point("R");
        c.standard.largestMp = outcome.accuracy[point("R")].mp;
        return c;
    }

    /// A control whose parts were skipped or found nothing.
    QualityControl quietControl() const {
        QualityControl c;
        c.global.skipped = "brak nadwymiarowości (f = 0)";
        c.snooping.stepLimit = 0;
        c.snooping.largestW = 3.5L;
        c.snooping.largestObservation = observation(ListedKind::Angle, "Q", "A");
        c.snooping.limitReached = true;
        c.reference.skipped = "sieć bez nadwymiarowych punktów nawiązania";
        c.standard.limit = 0.1L;
        c.standard.checked = 3;
        c.standard.largestPoint = point("R");
        c.standard.largestMp = outcome.accuracy[point("R")].mp;
        return c;
    }
};

TEST(ControlReport, GoldenReports) {
    const HandNetwork hand;
    struct Case {
        const char* file;
        QualityControl control;
    };
    const Case cases[] = {
        {"KONTROLA.ptw", hand.fullControl()},
        {"KONTROLA-bez-wynikow.ptw", hand.quietControl()},
    };
    setenv("LC_ALL", "C", 1);
    const LocalDateTime now{2026, 12, 8, 9, 5, 7};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const std::string actual = controlReportText(hand.network, hand.outcome, c.control, now);
        EXPECT_TRUE(test::matchesGolden(actual, controlData / c.file));

        // Written whole in place of a report of any letter case, and gone when removed.
        hand.folder.write("Kontrola.PTW", "old");
        ASSERT_TRUE(writeControlReport(hand.folder.path(), actual));
        EXPECT_EQ(hand.folder.read("Kontrola.PTW"), actual);
        EXPECT_FALSE(hand.folder.exists("kontrola.ptw"));
        removeControlReport(hand.folder.path());
        EXPECT_FALSE(hand.folder.exists("Kontrola.PTW"));
    }
    unsetenv("LC_ALL");
}

// The message list is narrow: the three verdicts stay short whatever the control found.
TEST(ControlReport, VerdictLines) {
    NetworkData network;
    for (const char* number :
         {"12", "7", "KONTROLNY-00001", "KONTROLNY-00002", "KONTROLNY-00003"}) {
        network.points.append(Point{number});
    }
    using V = GlobalTest::Verdict;
    struct Case {
        const char* what;
        std::optional<std::string> globalSkipped;
        V verdict;
        std::optional<std::string> referenceSkipped;
        std::vector<int32_t> doubtful;
        int32_t failing;
        Real limit;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {"all good", std::nullopt, V::Accepted, std::nullopt, {}, 0, 0.05L,
         {" Test globalny: model przyjęty", " Punkty nawiązania: brak wątpliwych",
          " Standard dokładności 0.05 m: spełniony"}},
        {"Mo too large, one doubtful, one failing", std::nullopt, V::MoTooLarge, std::nullopt,
         {1}, 1, 0.1L,
         {" Test globalny: model odrzucony: Mo za duże", " Punkty nawiązania: wątpliwy punkt 12",
          " Standard dokładności 0.1 m: niespełniony (1 punkt)"}},
        {"Mo too small, two doubtful, three failing", std::nullopt, V::MoTooSmall, std::nullopt,
         {1, 2}, 3, 0.05L,
         {" Test globalny: model odrzucony: Mo za małe", " Punkty nawiązania: wątpliwe 12, 7",
          " Standard dokładności 0.05 m: niespełniony (3 punkty)"}},
        {"long names counted, five failing", std::nullopt, V::Accepted, std::nullopt, {3, 4, 5},
         5, 0.05L,
         {" Test globalny: model przyjęty", " Punkty nawiązania: 3 wątpliwe punkty",
          " Standard dokładności 0.05 m: niespełniony (5 punktów)"}},
        {"skipped, twelve failing", "f = 0", V::Accepted, "brak punktów", {}, 12, 0.05L,
         {" Test globalny: pominięty (f = 0)", " Punkty nawiązania: kontrola pominięta "
          "(brak punktów)", " Standard dokładności 0.05 m: niespełniony (12 punktów)"}},
        {"22 failing", std::nullopt, V::Accepted, std::nullopt, {}, 22, 0.05L,
         {" Test globalny: model przyjęty", " Punkty nawiązania: brak wątpliwych",
          " Standard dokładności 0.05 m: niespełniony (22 punkty)"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QualityControl control;
        control.global.skipped = c.globalSkipped;
        control.global.verdict = c.verdict;
        control.reference.skipped = c.referenceSkipped;
        control.reference.doubtfulPoints = c.doubtful;
        control.standard.failing.assign(static_cast<size_t>(c.failing), 1);
        control.standard.limit = c.limit;
        std::vector<std::string> lines;
        for (const std::string& line : controlVerdictLines(network, control)) {
            lines.push_back(utf8FromCp1250(line));
            EXPECT_LE(line.size(), 60u) << lines.back();
        }
        EXPECT_EQ(lines, c.lines);
    }
}

} // namespace
} // namespace ptw3
