// PROJEKT.ptw, the report of the pre-analysis of a planned network, in the style of the other
// reports (Windows-1250, CR LF, fixed columns): a heading with the date and the counts, the
// expected accuracy of the points, the reliability of the observations, the relative accuracy
// of the observed lines, the accuracy standard and the design advisor's proposals; and the
// lines that close the message list. The report is written whole or not at all, only by a
// pre-analysis that reached its end, and removed when the next computation starts.
#pragma once

#include "common/clock.h"
#include "design/pre_analysis.h"
#include "engine/adjustment_state.h"
#include "input/network_data.h"

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace ptw3 {

/// The report's name in the working folder (any letter case of it is the same file) and as
/// the messages name it.
inline constexpr std::string_view planReportFile = "projekt.ptw";
inline constexpr std::string_view planReportTitle = "PROJEKT.ptw";

/// The text of the report (Windows-1250, CR LF): `network` and `outcome` are those of the
/// plan's single adjustment (they name the points, the observations and their input files),
/// `options` what the pre-analysis ran with, `refusedCandidates` the lines of KANDYDACI that
/// were not taken (UTF-8), `now` the date and time of the heading.
std::string planReportText(const NetworkData& network, const AdjustmentOutcome& outcome,
                           const PreAnalysis& analysis, const PlanOptions& options,
                           const std::vector<std::string>& refusedCandidates,
                           const LocalDateTime& now);

/// Puts the text in place of the folder's report, whole or not at all; false when it could
/// not be written.
bool writePlanReport(const std::filesystem::path& folder, std::string_view text);

/// Removes the folder's report, in any letter case of its name.
void removePlanReport(const std::filesystem::path& folder);

/// The message-list lines (Windows-1250) with the verdict of the accuracy standard and the
/// advisor's result, short enough for the window's list.
std::vector<std::string> planVerdictLines(const PreAnalysis& analysis);

} // namespace ptw3
