// The arithmetic in which the normal equations are factorised and inverted, as the caller
// chooses it; the store itself turns to the extended type for the rest of a computation
// when a pivot is weak or the magnitudes lie beyond what double-double holds.
#pragma once

namespace ptw3 {

enum class Arithmetic {
    DoubleDouble, ///< double-double on the vector units: about 106 bits, the fast default
    Extended,     ///< the 80-bit extended type throughout
};

} // namespace ptw3
