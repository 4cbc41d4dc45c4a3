// The commands of ptw3-cli that bring a network in from another format or take it out:
//   ptw3-cli import SOURCE FOLDER [--format gsi|landxml|gama] [--sigma-direction 10cc]
//                                 [--sigma-distance 3mm+2ppm] [--overwrite]
//   ptw3-cli export-gama FOLDER OUT.xml
#pragma once

#include "common/real.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ptw3 {

/// Runs the command when the first argument names one; nothing when it does not.
std::optional<int> runInterchangeCommand(const std::vector<std::string>& arguments);

/// A direction's mean error in cc from "10cc", "10" (cc), "1mgon" or "3s" (arc seconds).
std::optional<Real> directionSigmaCc(std::string_view text);

/// A distance's mean error a + b·D from "3mm+2ppm", "3mm", "0.003" (m) or "2ppm":
/// a in metres and b in mm per km.
struct DistanceSigma {
    Real a = 0, ppm = 0;
};
std::optional<DistanceSigma> distanceSigma(std::string_view text);

std::string interchangeHelp();

} // namespace ptw3
