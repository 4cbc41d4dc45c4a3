// The share of the adjustment in each direction of a set, from the cofactors of its
// Schreiber angles. The normal equations carry a set as its Schreiber angles, which is the
// set with its orientation unknown eliminated (Schreiber's rule: the angle between
// directions i and j with the weight pi·pj/Σp). Undoing the elimination in the inverse gives,
// for direction k with the bearing's coefficient row a_k (cc/m) and the weights p = 1/m²,
//   q_k = p_k·(a_k − ā) N⁻¹ (a_k − ā)ᵀ + p_k/Σp,   ā = Σ p_j·a_j / Σp,
// and its redundancy number is 1 − q_k. With d_j = a_j − a_1, every form d_i N⁻¹ d_jᵀ follows
// from the angles' forms D_ij = (d_j − d_i) N⁻¹ (d_j − d_i)ᵀ, since all pairs are angles:
//   G_jj = D_1j,   G_ij = (G_ii + G_jj − D_ij)/2,   (a_k − ā) = d_k − Σ w_j d_j, w = p/Σp.
#pragma once

#include "common/real.h"

#include <span>
#include <vector>

namespace ptw3 {

/// q of each direction of a set of n directions.
/// @param angleForms D_ij of its Schreiber angles: each angle's cofactor for its unweighted
///        row (cc²), in the order (1,2), (1,3), …, (1,n), (2,3), …, (n−1,n)
/// @param meanErrorsCc the directions' mean errors m (cc)
std::vector<Real> directionShares(std::span<const Real> angleForms,
                                  std::span<const Real> meanErrorsCc);

} // namespace ptw3
