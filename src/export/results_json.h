// wyniki.json: the results of a computation for scripts, UTF-8. An object with the
// format's name and version, the run, the counts, the unit errors, and the arrays of
// points and observations, one record a line; the fields are those of result_fields.h.
// When the quality control was made, it follows as "kontrola", naming the points by their
// numbers and the observations by their index in the array of observations; the results of
// a pre-analysis ("run": {"kind": "pre_analysis"}) end with "projekt", the plan's lines, its
// standard and the advisor's proposals.
#pragma once

#include "export/results.h"

#include <filesystem>
#include <optional>

namespace ptw3 {

/// The format's name and version in the file; the version grows when a field changes.
inline constexpr std::string_view resultsFormat = "ptw3-wyniki";
inline constexpr int resultsFormatVersion = 1;

/// Writes wyniki.json into the folder; false when the file could not be written in full.
bool writeResultsJson(const std::filesystem::path& folder, const NetworkResults& results);

/// The results of a wyniki.json, or nothing when the file is missing, is not JSON of this
/// format, or names points or observations it does not list.
std::optional<NetworkResults> readResultsJson(const std::filesystem::path& file);

} // namespace ptw3
