// Accuracy analysis: the a-posteriori unit error with its partial estimates per
// observation kind, the mean errors and error ellipses of the points, and the
// Otrębski approximation of the mean errors of adjusted observations.
#pragma once

#include "common/real.h"
#include "common/text_file.h"

#include <array>
#include <cstdint>

namespace ptw3 {

/// Semi-axes A, B (in the unit of √q) and azimuth Fi of the major axis (grads, 0 to 200)
/// of the error ellipse of a point with the cofactors qxx, qyy, qxy.
struct ErrorEllipseAxes {
    Real a = 0, b = 0, fi = 0;
};
ErrorEllipseAxes errorEllipse(Real qxx, Real qyy, Real qxy);

/// Mean errors (m) of a determined point from its cofactors and the unit error Mo.
struct PointAccuracy {
    Real mx = 0, my = 0, mp = 0;
    ErrorEllipseAxes ellipse; ///< A, B in m
};
PointAccuracy pointAccuracy(Real qx, Real qy, Real qxx, Real qyy, Real qxy, Real mo);

/// The kinds of the partial unit errors, in the order of the report.
enum class ObservationKind { Distances = 0, Angles, Directions, Azimuths, CoordinatePseudo };
inline constexpr size_t observationKindCount = 5;

/// One partial estimate Mo(i) with its degrees of freedom f_i.
struct PartialUnitError {
    bool shown = false;
    Real mo = 1;
    Real freedom = 0;
    bool apriori = false; ///< the sum was at most 0.01: Mo(i) = 1 is the a-priori value
};

/// The inputs of the partial estimates: per kind the weighted sum of squared residuals S_i
/// of the last pass and the number of observations n(i); n unknowns, m observations.
struct UnitErrorSums {
    std::array<Real, observationKindCount> sums{};
    std::array<int32_t, observationKindCount> counts{};
    bool schreiberAnglesExist = false;
};

/// Partial unit errors: the redundancy shared out in proportion to the observation counts,
/// f_i = n(i) − n(i)·n/(m + 1e-12), for the coordinate pseudo-observations f5 = lrsxy.
std::array<PartialUnitError, observationKindCount>
partialUnitErrors(const UnitErrorSums& input, int32_t unknowns, int32_t observations);

/// The Otrębski factor √(n/(m + 1e-11)) of the approximate mean errors of adjusted
/// observations.
Real otrebskiFactor(int32_t unknowns, int32_t observations);

/// The unit-error block of the closing part of the main report: Mo, the partial estimates
/// (left out after a robust computation), and the global check of Mo.
void writeUnitErrorBlock(ReportFile& report, Real mo,
                         const std::array<PartialUnitError, observationKindCount>& partial,
                         bool robust);

} // namespace ptw3
