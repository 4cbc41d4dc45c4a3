#include "common/encoding.h"
#include "common/folder_files.h"
#include "common/number_format.h"
#include "common/stop.h"
#include "common/text_file.h"
#include "run/calculation_run.h"
#include "run/option_lists.h"
#include "run/working_folder.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace ptw3 {
namespace {

using test::TempFolder;
using test::TestContext;

TEST(IterationField, Rules) {
    struct Case {
        const char* text;
        int32_t iterations;
        bool boost;
        std::optional<std::string> shown;
    };
    const Case cases[] = {
        {"", 4, false, std::nullopt},        {"abc", 4, false, std::nullopt},
        {"1", 2, false, "2"},                {"0", 2, false, "2"},
        {"-5", 2, false, "2"},               {"8361", 4, true, "4"},
        {"100", 100, false, std::nullopt},   {"   7", 7, false, std::nullopt},
        {"7 ", 4, false, std::nullopt},      {"3.5", 4, false, std::nullopt},
        {"+3", 3, false, std::nullopt},      {"99999999999", 4, false, std::nullopt},
        {"2", 2, false, std::nullopt},       {" 8361", 4, true, "4"},
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
    RunChoices choices;

    void SetUp() override {
        folder.write("XY.sta", "A 0 0\r\nB 100 0\r\n");
        folder.write("DLUGOSCI", "A B 100\r\n");
        useWorkingFolder(state, folder.path());
    }
    void run() { runCalculation(state, choices, t.context); }
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
    EXPECT_EQ(line(end - 5), " Przeciętny błąd położenia punktu = 0");
    EXPECT_EQ(line(end - 4), " Maksymalny błąd położenia punktu = 0");
    // The verdicts of the quality control follow the position errors.
    EXPECT_TRUE(line(end - 3).starts_with(" Test globalny: ")) << line(end - 3);
    EXPECT_TRUE(line(end - 2).starts_with(" Punkty nawiązania: ")) << line(end - 2);
    EXPECT_TRUE(line(end - 1).starts_with(" Standard dokładności 0.05 m: ")) << line(end - 1);
    EXPECT_EQ(line(end), " KONIEC OBLICZEŃ:09:05:07");
    EXPECT_EQ(t.user.messages.back(), (std::pair<int32_t, std::string>{end, line(end)}));

    // Without the control the summary is as it was before there was one.
    choices.control = false;
    run();
    const int32_t plainEnd = t.messages.messageLine;
    EXPECT_EQ(line(plainEnd - 2), " Przeciętny błąd położenia punktu = 0");
    EXPECT_EQ(line(plainEnd - 1), " Maksymalny błąd położenia punktu = 0");
    EXPECT_EQ(line(plainEnd), " KONIEC OBLICZEŃ:09:05:07");
}

TEST_F(RunFixture, ListTextsMatchExactlyOrKeepTheChoiceInMemory) {
    using P = AdjustmentPrinciple;
    using M = AnalysisMode;
    struct Case {
        const char* principle;
        const char* mode;
        P expectedPrinciple;
        M expectedMode;
    };
    // Each run starts from the choices the previous one left; a robust run ends in the
    // approximate mode, which an unmatched mode text then keeps.
    const Case cases[] = {
        {"EST. MOCNA dla  Długości  [D]", "z przybliżoną oceną Mv  ", P::RobustDistances,
         M::Approximate},
        {"STANDARD MNK ", "z przybliżoną oceną Mv", P::RobustDistances, M::Approximate},
        {"STANDARD MNK", "PEŁNY  [standard]", P::LeastSquares, M::Full},
        {"EST. MOCNA dla  Kątów [K]    ", "PEŁNY  [standard]", P::RobustAngles, M::Approximate},
        {"est. mocna dla  [d] + [k]", "", P::RobustAngles, M::Approximate},
        {"STANDARD MNK", "", P::LeastSquares, M::Approximate},
        {"EST. MOCNA dla  [D] + [K]", "PEŁNY  [standard]", P::RobustDistancesAndAngles,
         M::Approximate},
        {"STANDARD MNK", "PEŁNY  [standard]", P::LeastSquares, M::Full},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.principle);
        choices.principle = principleByText(c.principle);
        choices.analysisMode = modeByText(c.mode);
        run();
        EXPECT_EQ(state.options.principle, c.expectedPrinciple);
        EXPECT_EQ(state.options.analysisMode, c.expectedMode);
    }
}

TEST(Acceleration, FromTheCheckBoxAndTurboButton) {
    using L = AccelerationLevel;
    struct Case {
        bool accelerate, turbo;
        L level;
    };
    const Case cases[] = {{false, true, L::None},
                          {false, false, L::None},
                          {true, false, L::Standard},
                          {true, true, L::Turbo}};
    for (const Case& c : cases) {
        EXPECT_EQ(accelerationOf(c.accelerate, c.turbo), c.level);
    }
}

TEST_F(RunFixture, TheBoostOfTheIterationFieldLastsOneRun) {
    for (const auto& [text, boost] : {std::pair{"8361", true}, std::pair{"4", false}}) {
        SCOPED_TRACE(text);
        const IterationChoice iterations = interpretIterationField(text);
        choices.iterationCount = iterations.iterationCount;
        choices.accelerationBoost = iterations.accelerationBoost;
        run();
        EXPECT_EQ(state.options.iterationCount, 4);
        EXPECT_EQ(state.options.accelerationBoost, boost);
    }
}

TEST_F(RunFixture, UkladIsRewrittenOnlyWhenItExists) {
    choices.system = SystemZone{CoordinateSystem::Cs2000, 21};
    run();
    EXPECT_FALSE(folder.exists("uklad"));
    EXPECT_EQ(state.options.system, (SystemZone{CoordinateSystem::Cs2000, 21}));

    folder.write("Uklad", "0\r\n0\r\n");
    run();
    EXPECT_EQ(folder.read("Uklad"), "2000\r\n21\r\n");
    const auto names = folder.names();
    EXPECT_EQ(std::count(names.begin(), names.end(), "Uklad"), 1);
    EXPECT_EQ(std::count(names.begin(), names.end(), "uklad"), 0);
}

// A folder in place of uklad: it was passed over in silence, and in another letter case it
// got a second uklad beside it.
TEST_F(RunFixture, AUkladThatCannotBeRewrittenIsAWarningLine) {
    for (const char* name : {"uklad", "Uklad"}) {
        SCOPED_TRACE(name);
        TempFolder withFolder;
        withFolder.copyFilesOf(folder.path());
        std::filesystem::create_directory(withFolder.path() / name);
        useWorkingFolder(state, withFolder.path());
        run();
        EXPECT_EQ(line(4), " UWAGA: nie zapisano pliku uklad");
        EXPECT_EQ(line(t.messages.messageLine), " KONIEC OBLICZEŃ:09:05:07");
        const auto names = withFolder.names();
        EXPECT_EQ(std::count_if(names.begin(), names.end(),
                                [](const std::string& n) { return equalNoCase(n, "uklad"); }),
                  1);
    }
}

TEST_F(RunFixture, NoSystemChosenKeepsTheSystemInMemory) {
    choices.system = SystemZone{CoordinateSystem::Cs1965, 3};
    run();
    choices.system = std::nullopt; // say, "1965 strefa 9": no entry
    run();
    EXPECT_EQ(state.options.system, (SystemZone{CoordinateSystem::Cs1965, 3}));
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

// What a person who may not read a file of the working folder meets when computing it.
struct ChildRun {
    std::string ending; ///< "fatal", "declined", "finished" or what went wrong in the child
    std::string box;    ///< the last information box
    std::string lastMessage;
};

// Runs the computation as the window does, in a child process that first clears the
// permission bits of the file `unreadable` when one is given. Root reads every file whatever
// its bits, so a child of root also becomes the unprivileged user 65534, made owner of the
// folder to write the reports there.
ChildRun computeWithoutReadPermission(const TempFolder& folder, const char* unreadable) {
    constexpr uid_t nobody = 65534;
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) {
        return {"no pipe", {}, {}};
    }
    const pid_t child = fork();
    if (child == 0) {
        close(pipeEnds[0]);
        std::string ending = "finished";
        if (unreadable != nullptr && chmod((folder.path() / unreadable).c_str(), 0) != 0) {
            ending = "chmod failed";
        } else if (geteuid() == 0 &&
                   (chown(folder.path().c_str(), nobody, nobody) != 0 ||
                    setgroups(0, nullptr) != 0 || setgid(nobody) != 0 || setuid(nobody) != 0)) {
            ending = "could not become an unprivileged user";
        }
        TestContext t;
        if (ending == "finished") {
            ProgramState state;
            useWorkingFolder(state, folder.path());
            try {
                runCalculation(state, RunChoices{}, t.context);
            } catch (const Stop& stop) {
                ending = stop.reason() == StopReason::FatalInput ? "fatal" : "declined";
                writeStopLines(stop, t.context);
            }
        }
        const std::string report =
            ending + '\n' + (t.user.informations.empty() ? "" : t.user.informations.back()) +
            '\n' + utf8FromCp1250(t.messages.lines[t.messages.messageLine]);
        const bool written = write(pipeEnds[1], report.data(), report.size()) ==
                             static_cast<ssize_t>(report.size());
        _exit(written ? 0 : 1);
    }
    close(pipeEnds[1]);
    std::string report;
    char buffer[512];
    for (ssize_t n; (n = read(pipeEnds[0], buffer, sizeof buffer)) > 0;) {
        report.append(buffer, static_cast<size_t>(n));
    }
    close(pipeEnds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    if (child < 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        return {"the child failed", {}, {}};
    }
    const size_t first = report.find('\n');
    const size_t second = report.find('\n', first + 1);
    return {report.substr(0, first), report.substr(first + 1, second - first - 1),
            report.substr(second + 1)};
}

// An input file that is there but cannot be read was taken as absent: the computation went
// on without its observations or parameters and ended as a success with other figures.
TEST(UnreadableInputFile, IsAFatalInputErrorThatNamesItAndTheReason) {
    struct Case {
        const char* name; ///< as the folder spells it
        const char* text; ///< the file's content; none: a folder of that name
        const char* reason;
    };
    const Case cases[] = {
        {"Katy", "A B C 50\n", "brak prawa odczytu"},
        {"XY.sta", "A 0 0\nB 100 0\nC 0 100\n", "brak prawa odczytu"},
        {"LIMBUS", "360 5", "brak prawa odczytu"},
        {"tytul", "Sieć próbna\n", "brak prawa odczytu"},
        {"dlugosci.GPS", nullptr, "pod tą nazwą jest folder"},
        {"H.prz", nullptr, "pod tą nazwą jest folder"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder folder;
        folder.write("XY.sta", "A 0 0\r\nB 100 0\r\nC 0 100\r\n");
        folder.write("DLUGOSCI", "A B 100\r\nB C 141.42\r\n");
        if (c.text != nullptr) {
            folder.write(c.name, test::crlf(cp1250(c.text)));
        } else {
            std::filesystem::create_directory(folder.path() / c.name);
        }
        const ChildRun run =
            computeWithoutReadPermission(folder, c.text != nullptr ? c.name : nullptr);
        const std::string fatal =
            std::string(" *** Błąd odczytu pliku <") + c.name + ">: " + c.reason;
        EXPECT_EQ(run.ending, "fatal");
        EXPECT_EQ(run.box, fatal);
        EXPECT_EQ(run.lastMessage, fatal);
        const auto report = splitLines(utf8FromCp1250(folder.read("er3a.ptw")));
        ASSERT_FALSE(report.empty());
        EXPECT_EQ(report.back(), fatal);
    }
}

} // namespace
} // namespace ptw3
