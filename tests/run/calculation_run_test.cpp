#include "common/encoding.h"
#include "common/number_format.h"
#include "common/stop.h"
#include "run/calculation_run.h"
#include "run/window_setup.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace ptw3 {
namespace {

using test::TempFolder;
using test::TestContext;

TEST(IterationField, Rules) {
    struct Case {
        const char* text;
        int32_t iterations;
        int32_t boost;
        std::optional<std::string> shown;
    };
    const Case cases[] = {
        {"", 4, 0, std::nullopt},        {"abc", 4, 0, std::nullopt},
        {"1", 2, 0, "2"},                {"0", 2, 0, "2"},
        {"-5", 2, 0, "2"},               {"8361", 4, 1, "4"},
        {"100", 100, 0, std::nullopt},   {"   7", 7, 0, std::nullopt},
        {"7 ", 4, 0, std::nullopt},      {"3.5", 4, 0, std::nullopt},
        {"+3", 3, 0, std::nullopt},      {"99999999999", 4, 0, std::nullopt},
        {"2", 2, 0, std::nullopt},       {" 8361", 4, 1, "4"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const IterationChoice choice = interpretIterationField(c.text);
        EXPECT_EQ(choice.iterationCount, c.iterations);
        EXPECT_EQ(choice.accelerationBoost, c.boost);
        EXPECT_EQ(choice.correctedText, c.shown);
    }
}

TEST(SummaryRounding, PositionErrorsAndIncrementNorm) {
    struct Case {
        Real value;
        const char* shown;
    };
    const Case positions[] = {
        {0.030941L, "0.0309"}, {0.03096L, "0.031"}, {0.05L, "0.05"}, {0, "0"},
        {0.00004L, "0"},       {1.23456L, "1.2346"},
    };
    for (const Case& c : positions) {
        SCOPED_TRACE(c.shown);
        EXPECT_EQ(general(roundPositionError(c.value)), c.shown);
    }

    struct NormCase {
        Real value;
        bool warning;
    };
    const NormCase norms[] = {
        {0.0005L, false},    {0.00051L, true},      {0.000504L, false}, // 0.000504 + 1e-7 -> 0.0005
        {0.0004999L, false}, {0.000505L, true},     {0, false},
    };
    for (const NormCase& c : norms) {
        SCOPED_TRACE(static_cast<double>(c.value));
        EXPECT_EQ(needsMoreIterations(roundIncrementNorm(c.value)), c.warning);
    }
}

// A network of two fixed points: nothing to determine, so every run ends with its summary;
// questions (a length check when the chosen system does not fit the coordinates) are
// answered Yes.
struct RunFixture : ::testing::Test {
    TempFolder folder;
    ProgramState state;
    TestContext t{std::deque<bool>(100, true)};
    RunControls controls;

    void SetUp() override {
        folder.write("XY.sta", "A 0 0\r\nB 100 0\r\n");
        folder.write("DLUGOSCI", "A B 100\r\n");
        setUpWindow(state, folder.path());
    }
    void run() { runCalculation(state, controls, t.context); }
    std::string line(int32_t i) const { return utf8FromCp1250(t.messages.lines[i]); }
};

TEST_F(RunFixture, AFatalInputErrorStopsTheRunBeforeTheSummary) {
    folder.write("XY.sta", "A 1,5 0\r\n");
    try {
        run();
        FAIL() << "the run went on";
    } catch (const Stop& stop) {
        EXPECT_EQ(stop.reason(), StopReason::FatalInput);
    }
    EXPECT_EQ(t.messages.messageLine, 3);
    EXPECT_EQ(t.user.informations.size(), 1u);
}

TEST_F(RunFixture, WritesTheStartAndSummaryLines) {
    run();
    EXPECT_EQ(line(2), " POCZĄTEK OBLICZEŃ:09:05:07");
    EXPECT_EQ(line(1), " ");
    EXPECT_EQ(line(3), " CZYTANIE I KONTROLA DANYCH - proszę czekać");
    EXPECT_EQ(line(4), " Liczba punktów sieci              lp = 2"); // the engine follows
    const int32_t end = t.messages.messageLine;
    EXPECT_EQ(line(end - 2), " Przeciętny błąd położenia punktu = 0");
    EXPECT_EQ(line(end - 1), " Maksymalny błąd położenia punktu = 0");
    EXPECT_EQ(line(end), " KONIEC OBLICZEŃ:09:05:07");
    EXPECT_EQ(t.user.messages.back(), (std::pair<int32_t, std::string>{end, line(end)}));
}

TEST_F(RunFixture, OptionTextsMatchExactlyOrKeepThePreviousCode) {
    struct Case {
        const char* principle;
        const char* mode;
        int32_t expectedPrinciple, expectedMode;
    };
    // Each run starts from the codes the previous one left; a robust run ends in the
    // approximate mode, which an unmatched mode text then keeps.
    const Case cases[] = {
        {"EST. MOCNA dla  Długości  [D]", "z przybliżoną oceną Mv  ", 1010, 2},
        {"STANDARD MNK ", "z przybliżoną oceną Mv", 1010, 2}, // trailing blank, missing blanks
        {"STANDARD MNK", "PEŁNY  [standard]", 1, 1},
        {"EST. MOCNA dla  Kątów [K]    ", "PEŁNY  [standard]", 1001, 2},
        {"est. mocna dla  [d] + [k]", "", 1001, 2},
        {"STANDARD MNK", "", 1, 2},
        {"EST. MOCNA dla  [D] + [K]", "PEŁNY  [standard]", 1011, 2},
        {"STANDARD MNK", "PEŁNY  [standard]", 1, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.principle);
        controls.principleText = c.principle;
        controls.modeText = c.mode;
        run();
        EXPECT_EQ(state.options.adjustmentPrinciple, c.expectedPrinciple);
        EXPECT_EQ(state.options.analysisMode, c.expectedMode);
    }
}

TEST_F(RunFixture, AccelerationFromTheCheckBoxAndTurboButton) {
    struct Case {
        bool accelerate, turbo;
        int32_t level;
    };
    const Case cases[] = {{false, true, 0}, {false, false, 0}, {true, false, 1}, {true, true, 2}};
    for (const Case& c : cases) {
        controls.accelerate = c.accelerate;
        controls.turbo = c.turbo;
        run();
        EXPECT_EQ(state.options.accelerationLevel, c.level);
    }
}

TEST_F(RunFixture, IterationFieldIsCorrectedAndBoostLastsOneRun) {
    controls.iterationsText = "8361";
    run();
    EXPECT_EQ(controls.iterationsText, "4");
    EXPECT_EQ(state.options.iterationCount, 4);
    EXPECT_EQ(state.options.accelerationBoost, 1);
    run();
    EXPECT_EQ(state.options.accelerationBoost, 0);

    controls.iterationsText = "abc";
    run();
    EXPECT_EQ(controls.iterationsText, "abc");
    EXPECT_EQ(state.options.iterationCount, 4);
}

TEST_F(RunFixture, UkladIsRewrittenOnlyWhenItExists) {
    controls.systemText = "2000  poł. osiowy  21";
    run();
    EXPECT_FALSE(folder.exists("uklad"));
    EXPECT_EQ(state.options.coordinateSystem, 2000);
    EXPECT_EQ(state.options.zone, 21);

    folder.write("Uklad", "0\r\n0\r\n");
    run();
    EXPECT_EQ(folder.read("Uklad"), "2000\r\n21\r\n");
    const auto names = folder.names();
    EXPECT_EQ(std::count(names.begin(), names.end(), "Uklad"), 1);
    EXPECT_EQ(std::count(names.begin(), names.end(), "uklad"), 0);
}

TEST_F(RunFixture, AnUnknownSystemTextKeepsTheSystem) {
    controls.systemText = "1965 strefa 3";
    run();
    controls.systemText = "1965 strefa 9";
    run();
    EXPECT_EQ(state.options.coordinateSystem, 1965);
    EXPECT_EQ(state.options.zone, 3);
}

TEST_F(RunFixture, LinesAboveThirtyOfAnEarlierRunStayAndLinesPast160AreDropped) {
    t.messages.lines[31] = "earlier line 31";
    t.messages.lines[29] = "earlier line 29";
    t.messages.lines[0] = "line 0";
    run();
    EXPECT_EQ(t.messages.lines[31], "earlier line 31");
    EXPECT_EQ(t.messages.lines[29], " ");
    EXPECT_EQ(t.messages.lines[0], "line 0");

    // A writer that runs past the last line: everything after index 160 is dropped.
    t.context.messageAt(158, "a");
    const size_t shownBefore = t.user.messages.size();
    for (const char* text : {"b", "c", "d", "e"}) {
        t.context.message(text);
    }
    EXPECT_EQ(t.messages.lines[159], "b");
    EXPECT_EQ(t.messages.lines[160], "c");
    EXPECT_EQ(t.messages.messageLine, 162);
    EXPECT_EQ(t.user.messages.size(), shownBefore + 2);
}

} // namespace
} // namespace ptw3
