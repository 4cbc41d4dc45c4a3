// The one place where numbers become report and screen text: fixed fields
// (Pascal's v:w:d), integer fields (v:w), the general decimal form, and the
// right-aligned point-number field. "." is the decimal separator everywhere.
#pragma once

#include "common/real.h"

#include <string>
#include <string_view>

namespace ptw3 {

/// v:w:d: v in fixed notation with d decimals (round half to even on the exact binary
/// value), right-aligned in a field of w characters that widens when the number is longer.
/// Infinities and NaN print as "inf", "-inf" and "nan", in the field like a number.
std::string fixed(Real v, int width, int decimals);

/// v:w: an integer right-aligned in a field of w characters.
std::string integer(int64_t v, int width);

/// The shortest decimal form with at most 15 significant digits and no trailing zeros
/// (0.0309, 0.05, 0, -12.5). Values of 1e15 or more, or below 1e-5, take the exponent form
/// "1.5E-6". Infinities and NaN print as "inf", "-inf" and "nan".
std::string general(Real v);

/// v with that many decimals, its trailing zeros cut ("104.9461", "0.005", "12"), for
/// the files other programs read; -0 prints as 0.
std::string trimmedDecimal(Real v, int decimals);

/// Pads the text with leading blanks to the width (point numbers use 16).
std::string rightAlign(std::string_view text, int width);

/// The field width of point numbers in reports.
inline constexpr int pointNumberWidth = 16;

} // namespace ptw3
