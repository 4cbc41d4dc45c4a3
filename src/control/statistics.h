// Quantiles of the test distributions.
#pragma once

#include "common/real.h"

#include <cstdint>

namespace ptw3 {

/// The p-quantile of the χ² distribution with f degrees of freedom.
double chiSquareQuantile(int32_t f, double p);
/// The p-quantile of Fisher's F distribution with d1 and d2 degrees of freedom.
double fisherQuantile(int32_t d1, int32_t d2, double p);

} // namespace ptw3
