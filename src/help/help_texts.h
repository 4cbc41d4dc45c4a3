// The texts of the help windows (UTF-8). The figures they quote are those the
// computation enforces: capacities, report precision, geoid separation.
#pragma once

#include <span>
#include <string_view>

namespace ptw3 {

/// The general help: the program and its options, the input files with their limits, the
/// result files, reductions and weighting. Laid out for a fixed-pitch font.
std::string_view generalHelpText();

/// A piece of the options help: a heading, a paragraph (one line that the window wraps at
/// its edge) or a table (lines ended by '\n', in a fixed-pitch font, never wrapped).
struct HelpBlock {
    enum class Kind { Heading, Paragraph, Table };
    Kind kind;
    std::string_view text;
};

/// The options help: the five options of the main window in turn, then the example timings.
std::span<const HelpBlock> optionsHelpBlocks();

} // namespace ptw3
