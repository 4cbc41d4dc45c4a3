// Ordering of the unknowns: the point adjacency of the network and a
// Cuthill-McKee numbering (breadth first, neighbours by increasing degree) from
// four start points at the extremes of the network, keeping the numbering whose
// normal-matrix profile is smallest.
#pragma once

#include "input/diagnostic_report.h"
#include "input/network_data.h"

#include <cstdint>

namespace ptw3 {

/// Fills the neighbour lists from the distances, azimuths and angles, each list sorted
/// stably by the neighbours' own neighbour counts; more than 500 neighbours stop the
/// computation.
void buildAdjacency(NetworkData& network, DiagnosticReport& report);

/// Numbers the points to be determined breadth first from the start point (a new part of
/// the network starts at its lowest unplaced index), fills order, position and half-band
/// widths, and returns the profile: the sum of the half-band widths over all points.
int64_t orderFromStart(const NetworkData& network, int32_t start, UnknownOrdering& ordering);

/// Tries the four start points, keeps the best ordering and writes its report block.
void optimiseOrdering(NetworkData& network, DiagnosticReport& report);

} // namespace ptw3
