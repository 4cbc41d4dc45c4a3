// The design advisor: which candidate observations to add to a plan, in order, so that it
// meets its goal with as few as possible.
#pragma once

#include "design/pre_analysis.h"

namespace ptw3 {

/// Greedy: at each step the candidate after which the worst Mp among the failing points is
/// smallest (ties: the one that brings more points under the limit). A candidate's effect
/// on the cofactors is the rank-one update Q − Q aᵀ a Q / (1 + a Q aᵀ) of its weighted row a,
/// from one factorisation of the plan's normal matrix.
DesignAdvice adviseDesign(const NetworkData& network, const AdjustmentOutcome& outcome,
                          const PlanOptions& options,
                          const std::vector<CandidateObservation>& candidates,
                          const PreAnalysis& plan);

} // namespace ptw3
