// Direction files (KIERUNKI, KIERUNKI.mod, KIERUNKI.ort, KIERUNKI.gps): direction
// sets of a station line "station code", direction lines "target reading
// [third column]" and an end line "0 [m]". Code "2" carries distances in the
// third column (written to dlugosci.pom), code "11" individual mean errors.
#pragma once

#include "common/text_file.h"
#include "input/diagnostic_report.h"
#include "input/network_data.h"
#include "input/point_register.h"

#include <string>
#include <vector>

namespace ptw3 {

/// Appends the direction sets of one direction file; carried distances go to `carried`.
void readDirectionFile(const std::vector<std::string>& lines, NetworkData& network,
                       const PointIndex& index, ReportFile& carried, DiagnosticReport& report);

} // namespace ptw3
