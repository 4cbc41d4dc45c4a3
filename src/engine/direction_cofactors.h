// The share of the adjustment in each direction of a set. The normal equations carry the
// sets as Schreiber angles, which is the set with one orientation unknown eliminated
// (Schreiber's rule: the angle between directions i and j with the weight pi·pj/Σp).
// Undoing the elimination in the inverse gives, for direction k of a set with the
// coefficient rows a (cc/m) and the weights p = 1/m² of its directions,
//   q_k = p_k·(a_k − ā) N⁻¹ (a_k − ā)ᵀ + p_k/Σp,   ā = Σ p_j·a_j / Σp,
// with N the normal matrix of the coordinates; the redundancy number is 1 − q_k.
#pragma once

#include "engine/adjustment_state.h"

#include <vector>

namespace ptw3 {

/// q of every direction of every set, set after set and in set order, at the working
/// coordinates, from the factorised normal equations with the neglect threshold.
std::vector<Real> directionCofactorShares(const AdjustmentState& state, Real neglectThreshold);

} // namespace ptw3
