// Weighting: moving reference points (a-priori coordinate errors) enter as
// weighted pseudo-observations of their coordinates, and robust estimation
// re-weights distances, angles or both to expose gross errors.
#pragma once

#include "engine/calculation_options.h"
#include "solver/normal_equations.h"
#include "input/network_data.h"

namespace ptw3 {

/// An a-priori coordinate error above this (m) makes a weighted pseudo-observation.
inline constexpr Real pseudoObservationError = 1e-4L;
/// An a-priori coordinate error above this (m) keeps the coordinate at its given value.
inline constexpr Real movingCoordinateError = 1e-6L;
/// Added to a-priori errors (m) so that a weight never divides by zero.
inline constexpr Real errorGuard = 1e-8L;

struct RobustFlags {
    bool distances = false;
    bool angles = false;
};

/// The kinds an adjustment principle estimates robustly.
RobustFlags robustFlags(AdjustmentPrinciple principle);

/// The reduced weight root of robust estimation: s·√(100/√(1 + 10⁶·s²·l²)), so the weight
/// becomes p·100/√(1 + 10⁶(l/m)²); l = 0 gives 10·s.
/// @param s weight root 1/m (1/unit of l)
/// @param l free term at the current coordinates
Real robustWeightRoot(Real s, Real l);

/// Adds the weights (1/(m + 1e-8))² of the coordinates of moving reference points to the
/// diagonal: the pseudo-observation says the correction to the given coordinate is zero.
void addCoordinatePseudoObservations(const NetworkData& network, NormalEquations& normal);

} // namespace ptw3
