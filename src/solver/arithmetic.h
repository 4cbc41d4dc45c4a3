// The arithmetic in which the normal equations are factorised and inverted.
#pragma once

namespace ptw3 {

enum class Arithmetic {
    DoubleDouble, ///< double-double on the vector units: about 106 bits, the fast default
    Extended,     ///< the 80-bit extended type throughout
};

} // namespace ptw3
