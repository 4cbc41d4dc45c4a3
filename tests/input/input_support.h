// Runs the data input on a scratch folder written by the test.
#pragma once

#include "common/encoding.h"
#include "common/stop.h"
#include "input/read_network_data.h"
#include "test_support.h"

#include <map>
#include <optional>
#include <string>

namespace ptw3::test {

struct InputRun {
    TempFolder folder;
    TestContext t;
    NetworkData network;
    std::optional<StopReason> stop;

    /// The lines of ER3a.ptw in UTF-8, without their CR LF.
    std::vector<std::string> reportLines() const;
    /// Index of the point with the number, or 0.
    int32_t point(std::string_view number) const;
};

/// Writes the files (UTF-8 texts in the test, stored as Windows-1250 with CR LF) and runs
/// the data input with the scripted answers.
std::unique_ptr<InputRun> readFolder(const std::map<std::string, std::string>& files,
                                     std::deque<bool> answers = {});

} // namespace ptw3::test
