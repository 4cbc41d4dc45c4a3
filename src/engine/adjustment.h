// The adjustment engine: projection parameters, main and control reports,
// Gauss-Newton iterations over the normal equations, accuracy analysis
// and the coordinate result files.
#pragma once

#include "common/run_context.h"
#include "engine/adjustment_state.h"
#include "engine/calculation_options.h"
#include "input/network_data.h"
#include "solver/supernodal_structure.h"

namespace ptw3 {

/// The points to be determined by their positions in the ordering (position q is vertex
/// q - 1), each joined to the points that an observation joins it to: the couplings of the
/// normal equations.
PointGraph pointGraphOf(const NetworkData& network);

/// Adjusts the network read by the data input and writes RPW.ptw, ER3.ptw, XY.ptw and
/// DXDY.ptw; `results` receives the figures and what the engine decided (the defect, the
/// analysis mode after robust estimation). When `outcome` is given it receives the adjusted
/// coordinates and accuracy of every point and observation.
void adjustNetwork(const CalculationOptions& options, NetworkData& network,
                   CalculationResults& results, RunContext& context,
                   AdjustmentOutcome* outcome = nullptr);

} // namespace ptw3
