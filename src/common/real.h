// The number types of the whole computation: every real quantity is an 80-bit
// extended value, every index and counter a 32-bit signed integer.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>

namespace ptw3 {

using Real = long double;
static_assert(std::numeric_limits<Real>::digits == 64,
              "the computation is defined in 80-bit extended precision (64-bit significand)");

/// The marker of a value that is not given (observation value, mean error, height): exactly -1.
inline constexpr Real missingValue = -1.0L;

/// Rounds to the nearest integer, halves to the even neighbour (the default rounding mode).
inline Real roundHalfEven(Real v) { return std::nearbyint(v); }

} // namespace ptw3
