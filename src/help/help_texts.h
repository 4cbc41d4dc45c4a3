// The texts of the help windows (UTF-8). The figures they quote are those the
// computation enforces: capacities, report precision, geoid separation.
#pragma once

#include <string_view>

namespace ptw3 {

/// The general help: the program and its options, the input files with their limits, the
/// result files, reductions and weighting. Laid out for a fixed-pitch font.
std::string_view generalHelpText();

/// The options help: the five options of the main window in turn, then the example timings.
std::string_view optionsHelpText();

} // namespace ptw3
