// The calculation run of a pre-analysis, in place of an adjustment: the plan in the folder is
// read, its observations take the values its approximate coordinates give, one pass of a
// least-squares adjustment with the full analysis gives the cofactors, and the pre-analysis
// (with the design advisor when asked for) writes PROJEKT.ptw and the files beside it. The
// adjustment's own reports are removed, so a pre-analysis never leaves any behind.
#pragma once

#include "common/clock.h"
#include "common/run_context.h"
#include "run/calculation_run.h"
#include "run/program_state.h"

#include <array>
#include <string_view>

namespace ptw3 {

/// The reports of an adjustment; a pre-analysis leaves none of them (ER3a.ptw stays when the
/// data input or the adjustment stops: it says why).
inline constexpr std::array<std::string_view, 5> adjustmentReportNames = {
    "rpw.ptw", "er3.ptw", "er3a.ptw", "xy.ptw", "dxdy.ptw"};

/// Runs the pre-analysis with the options in memory, which runCalculation has completed from
/// the choices; `started` is the time of the start line. A fatal input error or a No answer
/// throws Stop, as the adjustment does.
void runPreAnalysis(ProgramState& state, const RunChoices& choices, const LocalDateTime& started,
                    RunContext& context);

} // namespace ptw3
