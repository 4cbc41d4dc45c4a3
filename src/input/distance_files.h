// Distance files (DLUGOSCI, DLUGOSCI.b, dlugosci.pom, DLUGOSCI.gps) and azimuth
// files (AZYMUTY, AZYMUTY.gps): records "from to value [mean error]"; a record
// whose first token is 0 ends the file.
#pragma once

#include "input/diagnostic_report.h"
#include "input/network_data.h"
#include "input/point_register.h"

#include <string>
#include <vector>

namespace ptw3 {

/// The a-priori mean error of a distance without its own, m: sqrt(a² + (0.01·b·D)²).
Real distanceMeterError(const MeasurementParameters& parameters, Real lengthM);

/// Appends the distances of one distance file to the distance table.
void readDistanceFile(const std::vector<std::string>& lines, ReadMode mode, NetworkData& network,
                      const PointIndex& index, DiagnosticReport& report);

/// Appends the azimuths (grads, mean errors cc) of one azimuth file to the azimuth table.
void readAzimuthFile(const std::vector<std::string>& lines, NetworkData& network,
                     const PointIndex& index, DiagnosticReport& report);

} // namespace ptw3
