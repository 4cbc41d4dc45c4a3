// The pieces KONTROLA.ptw and PROJEKT.ptw share: the text of a report built line by line
// (Windows-1250, CR LF), the labelled value lines, how an observation is named, the table of
// the relative accuracy of the observed lines and the section of the accuracy standard. The
// two sections print the same whether the figures come from an adjustment or from a plan.
#pragma once

#include "control/quality_control.h"
#include "engine/adjustment_state.h"
#include "input/network_data.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace ptw3 {

/// A report's lines, each ended by CR LF; texts are Windows-1250.
class ReportText {
public:
    void line(std::string_view cp1250Text) {
        m_text += cp1250Text;
        m_text += "\r\n";
    }
    /// A line of the system's own text, written in UTF-8 in the source.
    void say(std::string_view utf8);
    /// Lines already ended by CR LF.
    void append(std::string_view lines) { m_text += lines; }
    std::string take() { return std::move(m_text); }

private:
    std::string m_text;
};

/// The rule under a section's title.
inline const std::string reportSectionRule = "  " + std::string(69, '-');

/// "     label" padded to the value column, then "= value" (the label in UTF-8).
std::string labelled(std::string_view labelUtf8, std::string_view value);

/// "     what" and the reason a part was not made (both UTF-8), in Windows-1250.
std::string skippedLine(std::string_view whatUtf8, const std::string& reasonUtf8);

/// True when a count takes the Polish plural of 2 to 4 (2 punkty, 22 punkty, but 12 punktów,
/// 5 punktów).
bool paucal(int64_t count);

/// A count of points with the Polish noun in its number (1 punkt, 3 punkty, 5 punktów).
std::string pointsCount(int64_t count);

/// The Polish name of an observation's kind (UTF-8).
std::string_view kindWord(ListedKind kind);

/// Which observation it is, as a person finds it in the data: its kind, its points (an
/// angle's left target, station and right target; a direction's station and target; a
/// line's ends) and the input file with the line it was read from.
std::string observationText(const NetworkData& network, const AdjustmentOutcome& outcome,
                            int32_t index);

/// "spełniony", or "niespełniony (" and the count of failing points ")".
std::string standardVerdict(const AccuracyStandard& standard);

/// The section of the relative accuracy of the lines, numbered `section`.
void writeRelativeAccuracy(ReportText& r, const NetworkData& network,
                           const RelativeAccuracy& accuracy, int section);

/// A failing point as the standard lists it: its Mp (m) and whether it is without control.
struct StandardRow {
    Real mp = 0;
    bool withoutControl = false;
};

/// The section of the accuracy standard, numbered `section`; `rowOf(point)` gives each
/// failing point's row.
void writeAccuracyStandard(ReportText& r, const NetworkData& network,
                           const AccuracyStandard& standard, int section,
                           const std::function<StandardRow(int32_t)>& rowOf);

} // namespace ptw3
