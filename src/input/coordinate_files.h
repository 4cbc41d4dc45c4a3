// The point lists of the working folder: reference points with their a-priori
// mean errors (XY.sta, or XYH.sta with heights), approximate coordinates of the
// points to be determined (XY.prz) and approximate heights (H.prz).
#pragma once

#include "input/diagnostic_report.h"
#include "input/network_data.h"
#include "input/point_register.h"

#include <string>
#include <unordered_set>
#include <vector>

namespace ptw3 {

enum class CoordinateFile {
    Reference,            ///< XY.sta: number, x, y; group records 0 mx my mh
    ReferenceWithHeights, ///< XYH.sta: number, x, y, h; group records 0 mx my mh
    Approximate,          ///< XY.prz: number, x, y; a record 0 ends the file
};

/// Appends the points of one coordinate file to the point table; numbers already in the
/// table are passed over. After a reference file the error-free fixed points come first.
void readCoordinateFile(const std::vector<std::string>& lines, CoordinateFile kind,
                        NetworkData& network, DiagnosticReport& report);

/// Puts the error-free fixed points last and drops the points that no observation file
/// mentions, each with a report line.
void arrangePointTable(NetworkData& network, const ObservedNumbers& observed,
                       DiagnosticReport& report);

/// Sets the heights of the points named in H.prz.
void readHeights(const std::vector<std::string>& lines, NetworkData& network,
                 const PointIndex& index, DiagnosticReport& report);

} // namespace ptw3
