// Whole working folders under tests/data/engine/<name>/ whose main and control
// reports, message-list lines and questions were worked out by hand: the folder
// is read and adjusted as a computation does it, with a fixed clock and the
// scripted answers, and the reports are compared byte for byte. UPDATE_GOLDEN=1 writes
// the program's output into expected/ instead: review every changed line by hand.

#include "cli/cli_arguments.h"
#include "common/encoding.h"
#include "common/stop.h"
#include "common/text_file.h"
#include "engine/adjustment.h"
#include "input/read_network_data.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

namespace ptw3 {
namespace {

namespace fs = std::filesystem;

const fs::path engineData = fs::path(PTW3_TEST_DATA_DIR) / "engine";

using test::fileText;
using test::firstDifference;

std::vector<std::string> textLines(const fs::path& path) { return splitLines(fileText(path)); }

// The options file holds the options of ptw3-cli without their dashes, one a line.
CalculationOptions optionsOf(const fs::path& file, const fs::path& folder) {
    std::vector<std::string> arguments;
    for (const std::string& line : textLines(file)) {
        std::istringstream in(line);
        std::string key;
        std::string value;
        in >> key >> value;
        arguments.push_back("--" + key);
        arguments.push_back(value);
    }
    const RunChoices choices = std::get<CliArguments>(parseCliArguments(arguments)).choices;
    CalculationOptions options;
    options.workingFolder = folder;
    options.iterationCount = choices.iterationCount;
    options.system = choices.system.value();
    options.principle = choices.principle.value();
    options.analysisMode = choices.analysisMode.value();
    options.accelerationLevel = choices.acceleration;
    return options;
}

class EngineGoldenFolder : public ::testing::TestWithParam<std::string> {};

TEST_P(EngineGoldenFolder, ReportsMessagesAndQuestions) {
    setenv("LC_ALL", "C", 1);
    const fs::path source = engineData / GetParam();
    const fs::path expected = source / "expected";
    test::TempFolder folder;
    folder.copyFilesOf(source);
    test::TestContext t(test::answersFrom(expected / "answers"));
    CalculationOptions options = optionsOf(expected / "options", folder.path());
    NetworkData network;
    readNetworkData(folder.path(), network, t.context);
    const size_t inputEntries = t.user.transcript.size();
    t.messages.messageLine = 3; // the calculation run's start lines are 2 and 3
    CalculationResults results;
    // With the outcome asked for, as a run that writes the extra files does: the reports
    // must not change.
    AdjustmentOutcome outcome;
    adjustNetwork(options, network, results, t.context, &outcome);
    unsetenv("LC_ALL");

    const bool update = std::getenv("UPDATE_GOLDEN") != nullptr;
    for (const char* report : {"RPW.ptw", "ER3.ptw", "XY.ptw", "DXDY.ptw"}) {
        SCOPED_TRACE(report);
        std::string lower(report);
        std::transform(lower.begin(), lower.end(), lower.begin(), ::tolower);
        const std::string actual = folder.read(lower);
        if (update) {
            std::ofstream(expected / report, std::ios::binary) << actual;
        }
        const std::string wanted = fileText(expected / report);
        EXPECT_EQ(actual, wanted) << firstDifference(actual, wanted);
    }
    std::vector<std::string> messages;
    std::vector<std::string> questions;
    for (size_t i = inputEntries; i < t.user.transcript.size(); ++i) {
        const std::string& entry = t.user.transcript[i];
        if (entry.starts_with("message: ")) {
            messages.push_back(entry.substr(9));
        } else {
            questions.push_back(entry);
        }
    }
    if (update) {
        std::ofstream out(expected / "messages.txt", std::ios::binary);
        for (const std::string& m : messages) {
            out << m << "\n";
        }
        std::ofstream dialog(expected / "dialog.txt", std::ios::binary);
        for (const std::string& q : questions) {
            dialog << q << "\n";
        }
    }
    EXPECT_EQ(messages, textLines(expected / "messages.txt"));
    EXPECT_EQ(questions, textLines(expected / "dialog.txt"));
    if (update && fs::exists(expected / "final-messages.txt")) {
        std::set<int32_t> written;
        for (const auto& [index, text] : t.user.messages) {
            written.insert(index);
        }
        std::ofstream out(expected / "final-messages.txt", std::ios::binary);
        for (const int32_t index : written) {
            if (index > 3) { // the engine's lines follow the run's start lines
                out << index << ": " << utf8FromCp1250(t.messages.lines[static_cast<size_t>(index)])
                    << "\n";
            }
        }
    }
    if (fs::exists(expected / "final-messages.txt")) {
        for (const std::string& line : textLines(expected / "final-messages.txt")) {
            const size_t colon = line.find(": ");
            const int index = std::stoi(line.substr(0, colon));
            EXPECT_EQ(utf8FromCp1250(t.messages.lines[static_cast<size_t>(index)]),
                      line.substr(colon + 2))
                << "line " << index;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Data, EngineGoldenFolder,
                         ::testing::ValuesIn(test::goldenFolderNames(engineData)),
                         [](const auto& info) { return info.param; });

} // namespace
} // namespace ptw3
