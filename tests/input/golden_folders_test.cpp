// Whole working folders under tests/data/<name>/ with the diagnostic report,
// carried-distance file, questions and outcome worked out by hand in expected/.
// A folder is read as the computation reads it, with the scripted answers.

#include "common/stop.h"
#include "common/text_file.h"
#include "input/read_network_data.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace ptw3 {
namespace {

namespace fs = std::filesystem;

using test::fileText;
using test::firstDifference;

const fs::path dataFolder = PTW3_TEST_DATA_DIR;

class GoldenFolder : public ::testing::TestWithParam<std::string> {};

TEST_P(GoldenFolder, DiagnosticReportQuestionsAndOutcome) {
    const fs::path source = dataFolder / GetParam();
    const fs::path expected = source / "expected";
    test::TempFolder folder;
    folder.copyFilesOf(source);
    test::TestContext t(test::answersFrom(expected / "answers"));
    NetworkData network;
    std::string outcome = "finished";
    try {
        readNetworkData(folder.path(), network, t.context);
    } catch (const Stop& stop) {
        outcome = stop.reason() == StopReason::FatalInput ? "fatal" : "declined";
    }

    EXPECT_EQ(outcome, splitLines(fileText(expected / "outcome")).at(0));
    const std::string report = folder.read("er3a.ptw");
    const std::string expectedReport = fileText(expected / "ER3a.ptw");
    EXPECT_EQ(report, expectedReport) << firstDifference(report, expectedReport);
    EXPECT_EQ(t.user.transcript, splitLines(fileText(expected / "dialog.txt")));
    if (fs::exists(expected / "dlugosci.pom")) {
        const std::string carried = folder.read("dlugosci.pom");
        const std::string expectedCarried = fileText(expected / "dlugosci.pom");
        EXPECT_EQ(carried, expectedCarried) << firstDifference(carried, expectedCarried);
    }
    for (const auto& entry : fs::directory_iterator(source)) {
        if (entry.is_regular_file()) {
            const std::string name = entry.path().filename().string();
            EXPECT_EQ(folder.read(name), fileText(entry.path())) << name << " was modified";
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Data, GoldenFolder,
                         ::testing::ValuesIn(test::goldenFolderNames(dataFolder)),
                         [](const auto& info) { return info.param; });

} // namespace
} // namespace ptw3
