// Runs the data input and the adjustment on a scratch working folder written by
// the test, with a fixed clock and scripted answers.
#pragma once

#include "common/stop.h"
#include "engine/calculation_options.h"
#include "input/network_data.h"
#include "test_support.h"

#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace ptw3::test {

struct AdjustmentRun {
    TempFolder folder;
    TestContext t;
    NetworkData network;
    CalculationOptions options;
    CalculationResults results;
    std::optional<StopReason> stop;

    /// The lines of a report of the folder ("rpw.ptw", "er3.ptw", "xy.ptw", ...) in UTF-8.
    std::vector<std::string> lines(const std::string& name) const;
};

/// Index of the first line at or after `from` that contains the text; lines.size() if none.
size_t findLine(const std::vector<std::string>& lines, const std::string& text, size_t from = 0);

/// Writes the files (UTF-8 texts, stored as Windows-1250 with CR LF), reads the folder and
/// adjusts it with the options (workingFolder is set to the scratch folder).
std::unique_ptr<AdjustmentRun> adjustFolder(const std::map<std::string, std::string>& files,
                                            CalculationOptions options = {},
                                            std::deque<bool> answers = {});

} // namespace ptw3::test
