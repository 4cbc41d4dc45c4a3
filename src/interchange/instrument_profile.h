// The instrument's accuracy as a person types it: a direction's mean error ("10cc", "1mgon",
// "3s") and a distance's as a + b·D ("3mm+2ppm"), read the same way by the console and the
// window.
#pragma once

#include "common/real.h"

#include <optional>
#include <string_view>

namespace ptw3 {

/// A direction's mean error in cc from "10cc", "10" (cc), "1mgon" or "3s" (arc seconds).
std::optional<Real> directionSigmaCc(std::string_view text);

/// A distance's mean error a + b·D from "3mm+2ppm", "3mm", "0.003" (m) or "2ppm":
/// a in metres and b in mm per km.
struct DistanceSigma {
    Real a = 0, ppm = 0;
};
std::optional<DistanceSigma> distanceSigma(std::string_view text);

} // namespace ptw3
