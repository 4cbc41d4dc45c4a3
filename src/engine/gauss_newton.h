// The Gauss-Newton iterations: a fixed number of passes that linearise every
// observation at the working coordinates, solve the normal equations (asking
// whether to go on past each weak pivot) and apply the corrections, each followed
// by a block of control parameters; then the point cofactors and the last pass
// that prints the adjusted observations.
#pragma once

#include "engine/adjustment_state.h"
#include "engine/calculation_options.h"

namespace ptw3 {

/// Runs the iterations and the last pass; hands back NORM(dx,dy) and the defect flag.
void runIterations(AdjustmentState& state, CalculationResults& results);

/// The unit errors of one iteration with f = m − n degrees of freedom: ~Mo from [pLL],
/// Mo from [pvv]+[pdd]; 1 when f ≤ 0 or the sum is at most 0.01.
struct UnitErrors {
    Real approximateMo = 1;
    Real mo = 1;
};
UnitErrors unitErrors(Real pLL, Real pvvPdd, int32_t redundancy);

} // namespace ptw3
