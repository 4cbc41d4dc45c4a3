// Reliability of one adjusted observation after Baarda: the redundancy number r = p·q_v
// (the share of a gross error that shows in the residual), the normalised residual
// w = v/(σ0·√q_v) of data snooping, the estimated gross error ∇ = −v/r and the minimal
// detectable bias MDB = δ0·σ/√r. With q the share of the adjustment p·a N⁻¹ aᵀ, r = 1 − q
// and q_v = r·m², m the a-priori mean error of the observation (σ0 = 1).
#pragma once

#include "common/real.h"

#include <optional>

namespace ptw3 {

/// δ0 of the minimal detectable bias: the non-centrality of a two-sided test with
/// α = 0.001 and power β = 0.80.
inline constexpr Real detectabilityFactor = 4.13L;
/// Below this redundancy number an observation is uncontrolled: no gross error is estimated.
inline constexpr Real uncontrolledRedundancy = 0.01L;
/// Below this redundancy number the residual carries nothing to test: no w and no MDB.
inline constexpr Real vanishingRedundancy = 1e-9L;

struct ReliabilityFigures {
    Real r = 0;                     ///< redundancy number, 0 to 1
    std::optional<Real> w;          ///< v/(m·√r), σ0 = 1
    std::optional<Real> wMo;        ///< v/(Mo·m·√r)
    std::optional<Real> grossError; ///< ∇ = −v/r, in the unit of v
    std::optional<Real> mdb;        ///< δ0·m/√r, in the unit of v
};

/// @param share q = p·a N⁻¹ aᵀ (dimensionless)
/// @param v the residual (cc or m)
/// @param meanError the a-priori mean error m (unit of v)
/// @param mo the a-posteriori unit error Mo
ReliabilityFigures reliabilityFigures(Real share, Real v, Real meanError, Real mo);

} // namespace ptw3
