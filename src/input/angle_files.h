// Angle files: KATY (mean errors by group records) and KATY.b (a mean error per
// record), converted to grads and cc; in degree measure the values are packed
// DDD.MMSS and individual mean errors are arc seconds.
#pragma once

#include "input/diagnostic_report.h"
#include "input/network_data.h"
#include "input/point_register.h"

#include <string>
#include <vector>

namespace ptw3 {

/// Appends the angles of one angle file to the angle table.
void readAngleFile(const std::vector<std::string>& lines, ReadMode mode, NetworkData& network,
                   const PointIndex& index, DiagnosticReport& report);

} // namespace ptw3
