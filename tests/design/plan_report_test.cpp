// PROJEKT.ptw and its message lines, written for pre-analyses made by hand on a small network
// adjusted for real (it names the points, the observations and their input files): the fixed
// triangle A B C, P at its centre, Q to the north-east and R hanging on P. The expected
// reports are in tests/data/plan/ (README there gives what each shows).

#include "common/encoding.h"
#include "design/plan_report.h"
#include "engine/adjustment.h"
#include "input/read_network_data.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

namespace ptw3 {
namespace {

namespace fs = std::filesystem;

const fs::path planData = fs::path(PTW3_TEST_DATA_DIR) / "plan";

struct PlanNetwork {
    test::TempFolder folder;
    test::TestContext t;
    NetworkData network;
    AdjustmentOutcome outcome;

    PlanNetwork() {
        folder.write("tytul", test::crlf("Pracownia projektowa\nProjekt sieci testowej\nPR-1\n\n"
                                         "Analiza przedwykonawcza sieci wzorcowej\n"));
        folder.write("XY.sta", test::crlf("A 6000 5000\nB 4500 5866.0254\nC 4500 4133.9746\n"));
        folder.write("XY.prz", test::crlf("P 5000.02 4999.97\nQ 5400.03 5500.02\nR 5000 4300\n"));
        folder.write("DLUGOSCI.b", test::crlf("P A 1000.003 0.005\nP B 999.998 0.005\n"
                                              "P C 1000.001 0.005\nQ A 781.027 0.005\n"
                                              "Q B 971.580 0.005\nP R 700.000 0.005\n"));
        folder.write("KIERUNKI", test::crlf("P 11\nA 0 10\nB 133.3335 10\nC 266.6664 10\n"
                                            "Q 57.0448 10\nR 300.0000 10\n0\n"));
        readNetworkData(folder.path(), network, t.context);
        CalculationOptions options;
        options.workingFolder = folder.path();
        options.iterationCount = 1;
        CalculationResults results;
        adjustNetwork(options, network, results, t.context, &outcome);
    }

    int32_t point(std::string_view number) const { return test::pointIndex(network, number); }

    /// Every observation with a redundancy number from the list in turn, its MDB δ0·m/√r
    /// (none for r = 0).
    std::vector<PlannedObservation> observations(const std::vector<Real>& r) const {
        std::vector<PlannedObservation> planned;
        for (size_t i = 0; i < outcome.observations.size(); ++i) {
            const Real ri = r[i % r.size()];
            planned.push_back({static_cast<int32_t>(i), ri,
                               ri > 0 ? std::optional(4.13L * outcome.observations[i].meanError /
                                                      std::sqrt(ri))
                                      : std::nullopt});
        }
        return planned;
    }

    /// A plan that fails its standard at R (one distance from P) until the advisor adds a
    /// candidate distance from the file and a generated direction; two lines of KANDYDACI
    /// refused.
    PreAnalysis advised() const {
        PreAnalysis a;
        a.points = {
            {point("P"), 0.0012L, 0.0009L, 0.0015L, 0.0013L, 0.0008L, 37.5L, true},
            {point("Q"), 0.0021L, 0.0016L, 0.00264L, 0.0023L, 0.0013L, 151.25L, true},
            {point("R"), 0.0081L, 0.0612L, 0.06173L, 0.0612L, 0.0081L, 99.98L, false},
        };
        a.observations = observations({0.532L, 0.054L, 0.004L, 0, 0.25L});
        a.lines.lines = {
            {point("P"), point("R"), 700.0L, 0.0611L, 0.0049L, 100.02L, 0.0049L, 7.0L, 555.7L},
            {point("Q"), point("B"), 971.583L, 0.0031L, 0.0022L, 183.4L, 0.0027L, 2.78L, 14.3L},
        };
        a.standard.limit = 0.05L;
        a.standard.checked = 3;
        a.standard.failing = {point("R")};
        a.standard.largestPoint = point("R");
        a.standard.largestMp = 0.06173L;
        DesignAdvice d;
        d.candidates = 12;
        d.worstMpBefore = 0.06173L;
        d.failingBefore = 1;
        d.weakBefore = 3;
        d.proposals = {
            {{ListedKind::Distance, point("R"), point("C"), 0.005L, 2}, 0.0061L, 0, 2},
            {{ListedKind::Direction, point("R"), point("Q"), 10, std::nullopt}, 0.0043L, 0, 0},
        };
        d.goalMet = true;
        d.stopReason = "cel osiągnięty";
        a.advice = d;
        return a;
    }

    /// A plan that meets its standard, whose advisor had nothing to consider.
    PreAnalysis quiet() const {
        PreAnalysis a;
        a.points = {
            {point("P"), 0.0012L, 0.0009L, 0.0015L, 0.0013L, 0.0008L, 37.5L, true},
            {point("Q"), 0.0021L, 0.0016L, 0.00264L, 0.0023L, 0.0013L, 151.25L, true},
            {point("R"), 0.0031L, 0.0022L, 0.0038L, 0.0032L, 0.0021L, 2.5L, true},
        };
        a.observations = observations({0.61L});
        a.lines.skipped = "brak pełnej analizy dokładności";
        a.standard.limit = 0.1L;
        a.standard.checked = 3;
        a.standard.largestPoint = point("R");
        a.standard.largestMp = 0.0038L;
        DesignAdvice d;
        d.skipped = "brak kandydatów (plik KANDYDACI pusty, nie podano odległości)";
        a.advice = d;
        return a;
    }
};

TEST(PlanReport, GoldenReports) {
    const PlanNetwork plan;
    PlanOptions withSecondGoal;
    withSecondGoal.minRedundancy = 0.3L;
    struct Case {
        const char* file;
        PreAnalysis analysis;
        PlanOptions options;
        std::vector<std::string> refused;
    };
    const Case cases[] = {
        {"PROJEKT.ptw", plan.advised(), withSecondGoal,
         {"wiersz 5: nieznany punkt X9", "wiersz 7: nieznany rodzaj obserwacji Z"}},
        {"PROJEKT-bez-propozycji.ptw", plan.quiet(), PlanOptions{}, {}},
    };
    setenv("LC_ALL", "C", 1);
    const LocalDateTime now{2026, 12, 8, 9, 5, 7};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const std::string actual =
            planReportText(plan.network, plan.outcome, c.analysis, c.options, c.refused, now);
        EXPECT_TRUE(test::matchesGolden(actual, planData / c.file));

        // Written whole in place of a report of any letter case, and gone when removed.
        plan.folder.write("Projekt.PTW", "old");
        ASSERT_TRUE(writePlanReport(plan.folder.path(), actual));
        EXPECT_EQ(plan.folder.read("Projekt.PTW"), actual);
        EXPECT_FALSE(plan.folder.exists("projekt.ptw"));
        removePlanReport(plan.folder.path());
        EXPECT_FALSE(plan.folder.exists("Projekt.PTW"));
    }
    unsetenv("LC_ALL");
}

// The message list is narrow: the standard and the advisor's result each in one short line,
// the count of proposals in its Polish number.
TEST(PlanReport, VerdictLines) {
    struct Case {
        int32_t failing;
        std::optional<int32_t> proposals; // no advice without
        bool goalMet;
        std::optional<std::string> skipped;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {0, std::nullopt, false, std::nullopt, {" Standard dokładności 0.05 m: spełniony"}},
        {3, 1, true, std::nullopt,
         {" Standard dokładności 0.05 m: niespełniony (3 punkty)",
          " Doradca projektu: 1 propozycja, cel osiągnięty"}},
        {5, 4, false, std::nullopt,
         {" Standard dokładności 0.05 m: niespełniony (5 punktów)",
          " Doradca projektu: 4 propozycje, cel nieosiągnięty"}},
        {1, 12, false, std::nullopt,
         {" Standard dokładności 0.05 m: niespełniony (1 punkt)",
          " Doradca projektu: 12 propozycji, cel nieosiągnięty"}},
        {22, 22, true, std::nullopt,
         {" Standard dokładności 0.05 m: niespełniony (22 punkty)",
          " Doradca projektu: 22 propozycje, cel osiągnięty"}},
        {2, 0, false, "brak kandydatów",
         {" Standard dokładności 0.05 m: niespełniony (2 punkty)",
          " Doradca projektu: pominięty (brak kandydatów)"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.lines.back());
        PreAnalysis a;
        a.standard.failing.assign(static_cast<size_t>(c.failing), 1);
        if (c.proposals) {
            DesignAdvice d;
            d.proposals.resize(static_cast<size_t>(*c.proposals));
            d.goalMet = c.goalMet;
            d.skipped = c.skipped;
            a.advice = d;
        }
        std::vector<std::string> lines;
        for (const std::string& line : planVerdictLines(a)) {
            lines.push_back(utf8FromCp1250(line));
            EXPECT_LE(line.size(), 60u) << lines.back();
        }
        EXPECT_EQ(lines, c.lines);
    }
}

} // namespace
} // namespace ptw3
