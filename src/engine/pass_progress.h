// Progress and stopping inside the passes over the observations: an iteration's pass
// (forming the normal equations) and the last pass (the adjusted observations, their
// cofactors and residuals) report how many observations they have evaluated, and every
// few hundred of them the pass looks for a stop the person asked for.
#pragma once

#include "engine/adjustment_state.h"

namespace ptw3 {

/// Starts the progress of a pass over every observation kind (fraction 0).
void beginPassProgress(AdjustmentState& state);
/// One observation of a block evaluated.
void observationStep(AdjustmentState& state);
/// The pass is complete (fraction 1).
void endPassProgress(AdjustmentState& state);

} // namespace ptw3
