// Repeated observations: distances, angles and topographic azimuths measured
// more than once are reported pair by pair (with a question when they disagree
// beyond a threshold) and stay in the tables; repeated directions of one set are
// merged into their mean. The same pass counts the observation links of points.
#pragma once

#include "input/diagnostic_report.h"
#include "input/network_data.h"

namespace ptw3 {

/// Distances: links of both ends for each distinct pair of points, and repeated pairs.
void checkRepeatedDistances(NetworkData& network, DiagnosticReport& report);

/// File angles: repeated pairs (same station, same two targets in either order).
void checkRepeatedAngles(NetworkData& network, DiagnosticReport& report);

/// Azimuths: links over all azimuths, repeated pairs among the topographic ones.
void checkRepeatedAzimuths(NetworkData& network, DiagnosticReport& report);

/// Merges the directions of a set that share a target into one with the mean reading and
/// mean error m/√k.
void mergeRepeatedDirections(NetworkData& network, DiagnosticReport& report);

} // namespace ptw3
