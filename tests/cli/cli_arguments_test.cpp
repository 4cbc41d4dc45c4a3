#include "cli/cli_arguments.h"
#include "cli/terminal_interaction.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace ptw3 {
namespace {

CliArguments parsed(std::vector<std::string> args) {
    auto result = parseCliArguments(args);
    EXPECT_TRUE(std::holds_alternative<CliArguments>(result))
        << std::get<UsageError>(result).message;
    return std::get<CliArguments>(result);
}

TEST(CliArguments, WordsBecomeTheTypedChoices) {
    const CliArguments a = parsed({"--system", "2000:18", "--principle", "robust-dk", "--mode",
                                   "approx", "--iterations", "8361", "--acceleration",
                                   "standard", "--arithmetic", "extended", "--threads=3", "--yes",
                                   "--no-extra-files", "/data/siec"});
    const RunChoices& c = a.choices;
    EXPECT_EQ(c.system, (SystemZone{CoordinateSystem::Cs2000, 18}));
    EXPECT_EQ(c.principle, AdjustmentPrinciple::RobustDistancesAndAngles);
    EXPECT_EQ(c.analysisMode, AnalysisMode::Approximate);
    EXPECT_EQ(c.iterationCount, 4);
    EXPECT_TRUE(c.accelerationBoost);
    EXPECT_EQ(c.acceleration, AccelerationLevel::Standard);
    EXPECT_EQ(c.arithmetic, Arithmetic::Extended);
    EXPECT_EQ(c.threadCount, 3);
    EXPECT_EQ(a.answers, AnswerMode::Yes);
    EXPECT_FALSE(c.extraFiles);
    EXPECT_EQ(a.folder, "/data/siec");
}

TEST(CliArguments, DefaultsAreTheWindowsInitialValues) {
    const CliArguments a = parsed({});
    const RunChoices& c = a.choices;
    EXPECT_FALSE(c.system.has_value()); // the folder's uklad decides
    EXPECT_EQ(c.principle, AdjustmentPrinciple::LeastSquares);
    EXPECT_EQ(c.analysisMode, AnalysisMode::Full);
    EXPECT_EQ(c.iterationCount, 4);
    EXPECT_FALSE(c.accelerationBoost);
    EXPECT_EQ(c.acceleration, AccelerationLevel::Turbo);
    EXPECT_EQ(c.arithmetic, Arithmetic::DoubleDouble);
    EXPECT_EQ(c.threadCount, 0);
    EXPECT_EQ(a.answers, AnswerMode::Ask);
    EXPECT_TRUE(c.extraFiles);
    EXPECT_FALSE(a.folder.has_value());
}

TEST(CliArguments, ChoicesByWordsCodesOrTheWindowsEntryTexts) {
    struct Case {
        std::vector<std::string> args;
        SystemZone system;
        AdjustmentPrinciple principle;
        AnalysisMode mode;
    };
    using C = CoordinateSystem;
    using P = AdjustmentPrinciple;
    const Case cases[] = {
        {{"--system", "0:0"}, {C::Local, 0}, P::LeastSquares, AnalysisMode::Full},
        {{"--system=1965:3"}, {C::Cs1965, 3}, P::LeastSquares, AnalysisMode::Full},
        {{"--system", "1992:0"}, {C::Cs1992, 0}, P::LeastSquares, AnalysisMode::Full},
        {{"--system", "1000:0"}, {C::Utm, 0}, P::LeastSquares, AnalysisMode::Full},
        {{"--system", "1942  pasy 6*  poł. osiowy   21    ", "--principle",
          "EST. MOCNA dla  Kątów [K]    "},
         {C::Cs1942Strips6, 21}, P::RobustAngles, AnalysisMode::Full},
        {{"--system=1965/86 strefa 5  ", "--mode", "z przybliżoną oceną Mv  "},
         {C::Cs1965of86, 5}, P::LeastSquares, AnalysisMode::Approximate},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[0]);
        const RunChoices choices = parsed(c.args).choices;
        EXPECT_EQ(choices.system, c.system);
        EXPECT_EQ(choices.principle, c.principle);
        EXPECT_EQ(choices.analysisMode, c.mode);
    }
}

TEST(CliArguments, WrongUsage) {
    const std::vector<std::vector<std::string>> cases = {
        {"--system", "2000:17"},      {"--system", "1965 strefa 3 "}, {"--system", "x:y"},
        {"--principle", "robust"},    {"--mode", "PEŁNY"},            {"--acceleration", "max"},
        {"--yes", "--no"},            {"--iterations"},               {"--frobnicate"},
        {"a", "b"},                   {"--yes=1"},                    {"--arithmetic", "double"},
        {"--threads", "-1"},          {"--threads", "2x"},            {"--threads", "99999"},
        {"--no-extra-files=1"},
        {"--no-control=yes"},         {"--snooping-critical", "0"},   {"--snooping-critical", "-3"},
        {"--snooping-critical", "inf"}, {"--snooping-critical", "3,29"}, {"--snooping-critical"},
        {"--snooping-steps", "1001"}, {"--snooping-steps", "-1"},     {"--snooping-steps", "2.5"},
        {"--mp-limit", "nan"},        {"--mp-limit", "0"},            {"--mp-limit", "Detailed"},
        {"--mp-limit", "1e5000"},
        {"--pre-analysis=1"},         {"--advise"},
        {"--pre-analysis", "--advise=yes"},
        {"--pre-analysis", "--candidates-within", "300"},
        {"--pre-analysis", "--advise", "--candidates-within", "0"},
        {"--pre-analysis", "--advise", "--candidates-within", "-5"},
        {"--pre-analysis", "--advise", "--candidate-kinds", "distance"},
        {"--pre-analysis", "--advise", "--candidates-within", "300", "--candidate-kinds", "angle"},
        {"--pre-analysis", "--advise", "--candidates-within", "300", "--candidate-kinds", ""},
        {"--pre-analysis", "--advise", "--candidates-within", "300", "--candidate-kinds",
         "distance,"},
        {"--pre-analysis", "--advise", "--candidates-within", "300",
         "--candidate-distance-error", "0"},
        {"--pre-analysis", "--advise", "--candidates-within", "300",
         "--candidate-direction-error", "nan"},
        {"--pre-analysis", "--advise", "--advisor-budget", "0"},
        {"--pre-analysis", "--advise", "--advisor-budget", "1001"},
        {"--pre-analysis", "--advise", "--advisor-min-redundancy", "1"},
        {"--pre-analysis", "--advise", "--advisor-min-redundancy", "0"},
        {"--pre-analysis", "--advisor-min-redundancy", "0.3"},
    };
    for (const auto& args : cases) {
        SCOPED_TRACE(args[0]);
        EXPECT_TRUE(std::holds_alternative<UsageError>(parseCliArguments(args)));
    }
}

TEST(CliArguments, QualityControlOptions) {
    struct Case {
        std::vector<std::string> args;
        bool control;
        Real critical;
        int32_t steps;
        Real mpLimit;
    };
    const Case cases[] = {
        {{}, true, 3.29L, 10, 0.05L},
        {{"--no-control"}, false, 3.29L, 10, 0.05L},
        {{"--snooping-critical", "4.0", "--snooping-steps=0"}, true, 4, 0, 0.05L},
        {{"--snooping-steps", "1000", "--mp-limit", "survey"}, true, 3.29L, 1000, 0.1L},
        {{"--mp-limit=detailed", "--snooping-critical=2.5e0"}, true, 2.5L, 10, 0.05L},
        {{"--mp-limit", "0.02"}, true, 3.29L, 10, 0.02L},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.empty() ? "defaults" : c.args[0]);
        const RunChoices choices = parsed(c.args).choices;
        EXPECT_EQ(choices.control, c.control);
        EXPECT_DOUBLE_EQ(static_cast<double>(choices.controlOptions.snoopingCritical),
                         static_cast<double>(c.critical));
        EXPECT_EQ(choices.controlOptions.snoopingSteps, c.steps);
        EXPECT_DOUBLE_EQ(static_cast<double>(choices.controlOptions.mpLimit),
                         static_cast<double>(c.mpLimit));
    }
}

TEST(CliArguments, PreAnalysisOptions) {
    struct Case {
        std::vector<std::string> args;
        bool preAnalysis, advise;
        std::optional<Real> within;
        bool distances, directions;
        Real distanceError, directionError;
        int32_t budget;
        std::optional<Real> minRedundancy;
        Real mpLimit;
    };
    const Case cases[] = {
        {{}, false, false, std::nullopt, true, true, 0.005L, 10, 50, std::nullopt, 0.05L},
        {{"--pre-analysis", "--mp-limit", "survey"}, true, false, std::nullopt, true, true,
         0.005L, 10, 50, std::nullopt, 0.1L},
        {{"--pre-analysis", "--advise", "--advisor-budget=7", "--advisor-min-redundancy", "0.3"},
         true, true, std::nullopt, true, true, 0.005L, 10, 7, 0.3L, 0.05L},
        {{"--advise", "--candidates-within", "450", "--pre-analysis", "--candidate-kinds",
          "direction", "--candidate-direction-error", "5"},
         true, true, 450, false, true, 0.005L, 5, 50, std::nullopt, 0.05L},
        {{"--pre-analysis", "--advise", "--candidates-within=300.5",
          "--candidate-kinds=distance,direction", "--candidate-distance-error", "0.003",
          "--mp-limit", "0.02"},
         true, true, 300.5L, true, true, 0.003L, 10, 50, std::nullopt, 0.02L},
        {{"--pre-analysis", "--advise", "--candidates-within", "300", "--candidate-kinds",
          "distance"},
         true, true, 300, true, false, 0.005L, 10, 50, std::nullopt, 0.05L},
    };
    const auto same = [](Real a, Real b) {
        EXPECT_DOUBLE_EQ(static_cast<double>(a), static_cast<double>(b));
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.empty() ? "defaults" : c.args.back());
        const RunChoices choices = parsed(c.args).choices;
        const PlanOptions& plan = choices.plan;
        EXPECT_EQ(choices.preAnalysis, c.preAnalysis);
        EXPECT_EQ(plan.advise, c.advise);
        EXPECT_EQ(plan.candidatesWithin.has_value(), c.within.has_value());
        same(plan.candidatesWithin.value_or(0), c.within.value_or(0));
        EXPECT_EQ(plan.candidateDistances, c.distances);
        EXPECT_EQ(plan.candidateDirections, c.directions);
        same(plan.candidateDistanceError, c.distanceError);
        same(plan.candidateDirectionError, c.directionError);
        EXPECT_EQ(plan.advisorBudget, c.budget);
        EXPECT_EQ(plan.minRedundancy.has_value(), c.minRedundancy.has_value());
        same(plan.minRedundancy.value_or(0), c.minRedundancy.value_or(0));
        same(plan.mpLimit, c.mpLimit);
        same(choices.controlOptions.mpLimit, c.mpLimit);
    }
}

TEST(CliArguments, DoubleDashEndsTheOptions) {
    EXPECT_EQ(parsed({"--", "--odd-folder"}).folder, "--odd-folder");
}

TEST(TerminalInteraction, AnswersFromFlagsAndNoWithoutATerminal) {
    std::FILE* sink = std::tmpfile();
    std::FILE* notATerminal = std::tmpfile();
    std::fputs("t\n", notATerminal);
    std::rewind(notATerminal);
    EXPECT_TRUE(TerminalInteraction(AnswerMode::Yes, sink, sink, nullptr).confirm("?"));
    EXPECT_FALSE(TerminalInteraction(AnswerMode::No, sink, sink, nullptr).confirm("?"));
    EXPECT_FALSE(TerminalInteraction(AnswerMode::Ask, sink, sink, notATerminal).confirm("?"));
    std::fclose(sink);
    std::fclose(notATerminal);
}

} // namespace
} // namespace ptw3
