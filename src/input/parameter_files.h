// The measurement parameters of a computation from the optional files DALMIERZ
// (distance meter accuracy a, b), LIMBUS (angular measure and direction mean
// error mk) and REDUKCJE (reduction constant and mean height of the area).
#pragma once

#include "input/diagnostic_report.h"
#include "input/network_data.h"

#include <filesystem>
#include <optional>
#include <string_view>
#include <utility>

namespace ptw3 {

/// The first two numbers of a parameter file's text, separated by blanks or line breaks;
/// a number missing at the end reads as 0; nothing when a token is not a number.
std::optional<std::pair<Real, Real>> firstTwoNumbers(std::string_view text);

/// Sets every field of the parameters from their defaults and the files of the folder,
/// writing a line to the report for each value it had to replace.
void readParameterFiles(const std::filesystem::path& folder, MeasurementParameters& parameters,
                        DiagnosticReport& report);

} // namespace ptw3
