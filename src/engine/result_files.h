// The end of an adjustment: the mean distortion of the distances written back
// to redukcje, the table of adjusted coordinates with their mean errors and error
// ellipses, the result files XY.ptw and DXDY.ptw, the closing block of the main
// report with the unit errors, and the warnings of a defect or a robust computation.
#pragma once

#include "engine/adjustment_state.h"
#include "engine/calculation_options.h"

namespace ptw3 {

/// Writes the results after the last pass, closes the reports and hands the mean and the
/// largest point position error back.
void writeResults(AdjustmentState& state, CalculationResults& results);

} // namespace ptw3
