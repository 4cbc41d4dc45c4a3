// Whole working folders under tests/data/<name>/ with the diagnostic report,
// carried-distance file, questions and outcome worked out by hand in expected/.
// A folder is read as the computation reads it, with the scripted answers.

#include "common/stop.h"
#include "common/text_file.h"
#include "input/read_network_data.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

namespace ptw3 {
namespace {

namespace fs = std::filesystem;

const fs::path dataFolder = PTW3_TEST_DATA_DIR;

std::vector<std::string> folderNames() {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dataFolder)) {
        if (fs::is_directory(entry.path() / "expected")) {
            names.push_back(entry.path().filename().string());
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string fileText(const fs::path& path) { return readFileBytes(path).value_or(""); }

// The first differing line of two texts, for a readable failure.
std::string firstDifference(const std::string& actual, const std::string& expected) {
    const auto a = splitLines(actual);
    const auto e = splitLines(expected);
    for (size_t i = 0; i < std::max(a.size(), e.size()); ++i) {
        const std::string al = i < a.size() ? a[i] : "<none>";
        const std::string el = i < e.size() ? e[i] : "<none>";
        if (al != el) {
            return "line " + std::to_string(i + 1) + "\n  actual:   [" + al + "]\n  expected: [" +
                   el + "]";
        }
    }
    return "the line ends differ";
}

class GoldenFolder : public ::testing::TestWithParam<std::string> {};

TEST_P(GoldenFolder, DiagnosticReportQuestionsAndOutcome) {
    const fs::path source = dataFolder / GetParam();
    const fs::path expected = source / "expected";
    test::TempFolder folder;
    for (const auto& entry : fs::directory_iterator(source)) {
        if (entry.is_regular_file()) {
            fs::copy_file(entry.path(), folder.path() / entry.path().filename());
        }
    }

    std::deque<bool> answers;
    for (const std::string& line : splitLines(fileText(expected / "answers"))) {
        if (!line.empty()) {
            answers.push_back(line == "t");
        }
    }
    test::TestContext t(answers);
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

INSTANTIATE_TEST_SUITE_P(Data, GoldenFolder, ::testing::ValuesIn(folderNames()),
                         [](const auto& info) { return info.param; });

} // namespace
} // namespace ptw3
