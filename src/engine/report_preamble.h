// The opening of the main report RPW.ptw: title block, coordinate system and
// ellipsoid, integer parameters of the network, global reliability index,
// reference points, options, and the determinability table of the points.
#pragma once

#include "common/run_context.h"
#include "common/text_file.h"
#include "engine/calculation_options.h"
#include "input/network_data.h"
#include "observations/projections.h"

namespace ptw3 {

/// A determined point (not a moving reference point) linked to fewer distinct points than
/// this is a point without control.
inline constexpr int32_t fewestLinksForControl = 3;

/// The sizes of the adjustment problem.
struct ProblemSize {
    int32_t unknowns = 0;             ///< n = 2 lr
    int32_t observations = 0;         ///< m, coordinate pseudo-observations included
    int32_t pointsWithoutControl = 0; ///< determined points linked to fewer than 3 others
    int32_t redundancy() const { return observations - unknowns; }
};

/// n and m of the network.
ProblemSize problemSize(const NetworkData& network);

/// Writes the preamble to the main report and the network's counts to the message list;
/// returns the sizes with the number of points without control.
ProblemSize writePreamble(const NetworkData& network, const CalculationOptions& options,
                          const ProjectionParameters& projection, ReportFile& report,
                          RunContext& context);

} // namespace ptw3
