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

TEST(CliArguments, OptionsBecomeTheWindowsControlTexts) {
    const CliArguments a = parsed({"--system", "2000:18", "--principle", "robust-dk", "--mode",
                                   "approx", "--iterations", "abc", "--acceleration",
                                   "standard", "--arithmetic", "extended", "--threads=3", "--yes",
                                   "/data/siec"});
    EXPECT_EQ(a.systemText, "2000  poł. osiowy  18");
    EXPECT_EQ(a.principleText, "EST. MOCNA dla  [D] + [K]");
    EXPECT_EQ(a.modeText, "z przybliżoną oceną Mv  ");
    EXPECT_EQ(a.iterationsText, "abc");
    EXPECT_TRUE(a.accelerate);
    EXPECT_FALSE(a.turbo);
    EXPECT_EQ(a.arithmetic, Arithmetic::Extended);
    EXPECT_EQ(a.threadCount, 3);
    EXPECT_EQ(a.answers, AnswerMode::Yes);
    EXPECT_EQ(a.folder, "/data/siec");
}

TEST(CliArguments, DefaultsAreTheWindowsInitialValues) {
    const CliArguments a = parsed({});
    EXPECT_FALSE(a.systemText.has_value());
    EXPECT_EQ(a.principleText, "STANDARD MNK");
    EXPECT_EQ(a.modeText, "PEŁNY  [standard]");
    EXPECT_EQ(a.iterationsText, "4");
    EXPECT_TRUE(a.accelerate && a.turbo);
    EXPECT_EQ(a.arithmetic, Arithmetic::DoubleDouble);
    EXPECT_EQ(a.threadCount, 0);
    EXPECT_EQ(a.answers, AnswerMode::Ask);
    EXPECT_FALSE(a.folder.has_value());
}

TEST(CliArguments, SystemsByEntryTextOrCodes) {
    struct Case {
        const char* value;
        const char* entry;
    };
    const Case cases[] = {
        {"0:0", "Lokalny (bez redukcji)"},
        {"1965:3", "1965 strefa 3"},
        {"1992:0", "1992  (jednostrefowy)"},
        {"1000:0", "UTM  (na WGS-84)"},
        {"19426:21", "1942  pasy 6*  poł. osiowy   21    "},
        {"1965/86 strefa 5  ", "1965/86 strefa 5  "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        EXPECT_EQ(parsed({"--system", c.value}).systemText, c.entry);
        EXPECT_EQ(parsed({std::string("--system=") + c.value}).systemText, c.entry);
    }
}

TEST(CliArguments, WrongUsage) {
    const std::vector<std::vector<std::string>> cases = {
        {"--system", "2000:17"},      {"--system", "1965 strefa 3 "}, {"--system", "x:y"},
        {"--principle", "robust"},    {"--mode", "PEŁNY"},            {"--acceleration", "max"},
        {"--yes", "--no"},            {"--iterations"},               {"--frobnicate"},
        {"a", "b"},                   {"--yes=1"},                    {"--arithmetic", "double"},
        {"--threads", "-1"},          {"--threads", "2x"},            {"--threads", "99999"},
    };
    for (const auto& args : cases) {
        SCOPED_TRACE(args[0]);
        EXPECT_TRUE(std::holds_alternative<UsageError>(parseCliArguments(args)));
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
