// The data input of one computation: every input file of the working folder
// read, checked and reported in ER3a.ptw, leaving a complete NetworkData.
#pragma once

#include "common/run_context.h"
#include "input/network_data.h"

#include <filesystem>

namespace ptw3 {

/// Reads the working folder into the network. A fatal input error or the answer No to a
/// question throws Stop after the diagnostic report is closed.
void readNetworkData(const std::filesystem::path& folder, NetworkData& network,
                     RunContext& context);

} // namespace ptw3
