// Progress and stopping inside the passes over the observations. An iteration's pass
// reports how many observations have been accumulated into the normal equations; the
// last pass, in the full analysis, how many cofactors of adjusted observations are
// done, for those are its work. Every few hundred steps the calling thread looks for
// a stop the person asked for; the threads of the cofactors never throw.
#pragma once

#include "engine/adjustment_state.h"
#include "engine/observation_blocks.h"

#include <vector>

namespace ptw3 {

/// Starts the progress of a pass over every observation kind (fraction 0).
void beginPassProgress(AdjustmentState& state);
/// One observation of a block evaluated.
void observationStep(AdjustmentState& state);
/// The pass is complete (fraction 1).
void endPassProgress(AdjustmentState& state);

/// The cofactors of the adjusted observations' rows (as observationCofactors), computed a
/// few hundred rows at a time with the progress and a look for a stop between steps.
std::vector<Real> analysedCofactors(AdjustmentState& state, const std::vector<EquationRow>& rows,
                                    Real neglectThreshold);

} // namespace ptw3
