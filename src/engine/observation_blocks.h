// The observation blocks of an adjustment pass and what they share: the unknowns
// of a point, adding a weighted equation, the questions that may stop the
// computation, and the mean errors of adjusted observations.
#pragma once

#include "engine/accuracy.h"
#include "engine/adjustment_state.h"
#include "solver/normal_equations.h"

#include <span>
#include <string_view>
#include <vector>

namespace ptw3 {

/// Angles (file angles and Schreiber angles, the latter reported as directions).
void angleBlock(AdjustmentState& state);
/// Distances, with the scale postulate and the rewrite of redukcje in the last pass.
void distanceBlock(AdjustmentState& state);
/// Topographic and GPS azimuths.
void azimuthBlock(AdjustmentState& state);

/// The unknowns 2q−1 (dX) and 2q (dY) of a point at position q; 0 for a fixed point.
struct PointUnknowns {
    int32_t dx = 0;
    int32_t dy = 0;
};
PointUnknowns unknownsOf(const NetworkData& network, int32_t point);

/// An observation equation already multiplied by its weight root: up to three points.
struct EquationRow {
    std::array<EquationTerm, 6> terms{};
    int32_t size = 0;

    void add(int32_t unknown, Real coefficient) { terms[static_cast<size_t>(size++)] = {unknown, coefficient}; }
    std::span<const EquationTerm> view() const { return {terms.data(), static_cast<size_t>(size)}; }
};

/// The row of an observation of the line i–j with the coefficients of the ends' dX and dY;
/// a fixed end's coefficients are left out.
EquationRow lineEquationRow(const NetworkData& network, int32_t i, int32_t j, Real dXi, Real dYi,
                            Real dXj, Real dYj);

/// The working (current approximate) coordinates of a point.
GridPoint workingPoint(const AdjustmentState& state, int32_t point);

/// Adds the normalised free term t² to [pLL] and to the kind's sum of the pass, and in an
/// iteration pass the row and t to the normal equations.
void addEquation(AdjustmentState& state, ObservationKind kind, const EquationRow& row, Real t);

/// Asks whether to go on; No closes both reports and stops the computation.
void askToContinue(AdjustmentState& state, std::string_view question);

/// q = a N⁻¹ aᵀ of each row, from the selected inverse.
std::vector<Real> observationCofactors(const NormalEquations& normal,
                                       const std::vector<EquationRow>& rows);

} // namespace ptw3
