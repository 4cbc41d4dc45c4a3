// Conversion of typed and file texts to numbers. Only the number forms of the
// input files are accepted: optional sign, digits with an optional "." and
// fraction, an optional exponent, blanks around. Nothing depends on the locale.
#pragma once

#include "common/real.h"

#include <optional>
#include <string_view>

namespace ptw3 {

/// Converts a decimal number such as " -12.5e3 "; empty text, "1,5", "12abc", "inf", "nan",
/// "0x10" and values beyond the extended range give nothing. A value below the smallest
/// extended magnitude converts to zero.
std::optional<Real> parseReal(std::string_view text);

/// Converts a signed decimal integer with optional leading blanks ("  -5", "+12") that fits
/// in 32 bits; anything else, trailing blanks included, gives nothing.
std::optional<int32_t> parseInteger(std::string_view text);

/// The integer that a line starts with after leading blanks ("2000 xyz" gives 2000), or 0
/// when the line does not start with a 32-bit decimal integer.
int32_t leadingInteger(std::string_view line);

} // namespace ptw3
