// KONTROLA.ptw, the report of the quality control of an adjustment, in the style of the other
// reports (Windows-1250, CR LF, fixed columns): a heading with the date and the counts, then
// the global model test, data snooping, the check of the reference points, the relative
// accuracy of the observed lines and the accuracy standard; and the three verdicts that close
// the message list. The report is written whole or not at all, only by a computation that
// reached its end, and removed when the next one starts.
#pragma once

#include "common/clock.h"
#include "control/quality_control.h"
#include "engine/adjustment_state.h"
#include "input/network_data.h"

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace ptw3 {

/// The report's name in the working folder (any letter case of it is the same file) and as
/// the messages name it.
inline constexpr std::string_view controlReportFile = "kontrola.ptw";
inline constexpr std::string_view controlReportTitle = "KONTROLA.ptw";

/// The text of the report (Windows-1250, CR LF): `network` and `outcome` are those the
/// control was made on (they name the points, the observations and their input files),
/// `now` is the date and time of its heading.
std::string controlReportText(const NetworkData& network, const AdjustmentOutcome& outcome,
                              const QualityControl& control, const LocalDateTime& now);

/// Puts the text in place of the folder's report, whole or not at all; false when it could
/// not be written (an earlier report is then left as it was, which the run has removed).
bool writeControlReport(const std::filesystem::path& folder, std::string_view text);

/// Removes the folder's report, in any letter case of its name.
void removeControlReport(const std::filesystem::path& folder);

/// The message-list lines (Windows-1250) with the verdicts of the global test, the check of
/// the reference points and the accuracy standard, short enough for the window's list.
std::vector<std::string> controlVerdictLines(const NetworkData& network,
                                             const QualityControl& control);

} // namespace ptw3
