// Digits come from std::to_chars, which rounds the exact binary value correctly
// (ties to even) and ignores the locale. A value that is not finite (an overflow or
// 0/0 somewhere upstream) prints as "inf", "-inf" or "nan" in every form. The fixed form
// of the values the reports print, |v|·10^d below 2^64, is rounded the same way by integer
// arithmetic on the 64-bit significand, some ten times faster than to_chars of a long double.

#include "common/number_format.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <optional>
#include <vector>

namespace ptw3 {
namespace {

template <class... Format> std::string toChars(Real v, Format... format) {
    char small[128];
    auto result = std::to_chars(small, small + sizeof small, v, format...);
    if (result.ec == std::errc{}) {
        return std::string(small, result.ptr);
    }
    // Up to 4933 digits before the point in fixed notation, plus the decimals asked for.
    std::vector<char> large(sizeof small);
    while (result.ec != std::errc{}) {
        large.resize(large.size() * 8);
        result = std::to_chars(large.data(), large.data() + large.size(), v, format...);
    }
    return std::string(large.data(), result.ptr);
}

__extension__ typedef unsigned __int128 Wide;

// 10^d for d = 0 … 19, the powers below 2^64.
constexpr std::array<uint64_t, 20> powersOfTen = [] {
    std::array<uint64_t, 20> p{};
    p[0] = 1;
    for (size_t d = 1; d < p.size(); ++d) {
        p[d] = p[d - 1] * 10;
    }
    return p;
}();

// v in fixed notation with d decimals when |v|·10^d, rounded, is below 2^64: with
// |v| = m·2^(e−64), m the significand, |v|·10^d = m·10^d / 2^(64−e), a product of at most
// 128 bits shifted right, rounded half to even on the bits shifted out. Nothing otherwise.
std::optional<std::string> exactFixed(Real v, int decimals) {
    static_assert(std::numeric_limits<Real>::digits == 64, "a 64-bit significand");
    if (decimals < 0 || static_cast<size_t>(decimals) >= powersOfTen.size()) {
        return std::nullopt;
    }
    uint64_t units = 0; // |v|·10^d rounded
    if (v != 0) {
        int exponent = 0;
        const Real fraction = std::frexp(std::fabs(v), &exponent); // in [0.5, 1)
        const auto significand = static_cast<uint64_t>(std::ldexp(fraction, 64));
        const int shift = 64 - exponent;
        if (shift <= 0 || shift >= 128) {
            return std::nullopt;
        }
        const Wide product = static_cast<Wide>(significand) * powersOfTen[decimals];
        Wide quotient = product >> shift;
        const Wide rest = product - (quotient << shift);
        const Wide half = static_cast<Wide>(1) << (shift - 1);
        if (rest > half || (rest == half && (quotient & 1) != 0)) {
            ++quotient;
        }
        if (quotient > std::numeric_limits<uint64_t>::max()) {
            return std::nullopt;
        }
        units = static_cast<uint64_t>(quotient);
    }
    char digits[24];
    const auto length = static_cast<int>(std::to_chars(digits, digits + sizeof digits, units).ptr -
                                         digits);
    std::string out = std::signbit(v) ? "-" : "";
    if (decimals == 0) {
        return out.append(digits, static_cast<size_t>(length));
    }
    if (length <= decimals) {
        out += "0.";
        out.append(static_cast<size_t>(decimals - length), '0');
        return out.append(digits, static_cast<size_t>(length));
    }
    out.append(digits, static_cast<size_t>(length - decimals));
    out += '.';
    return out.append(digits + length - decimals, static_cast<size_t>(decimals));
}

std::string nonFiniteText(Real v) {
    if (std::isnan(v)) {
        return "nan";
    }
    return v < 0 ? "-inf" : "inf";
}

constexpr int generalPrecision = 15;
constexpr int smallestPlainExponent = -5; // 0.00001 still prints plainly

} // namespace

std::string rightAlign(std::string_view text, int width) {
    std::string out;
    if (static_cast<int>(text.size()) < width) {
        out.assign(static_cast<size_t>(width) - text.size(), ' ');
    }
    out += text;
    return out;
}

std::string fixed(Real v, int width, int decimals) {
    if (!std::isfinite(v)) {
        return rightAlign(nonFiniteText(v), width);
    }
    if (std::optional<std::string> text = exactFixed(v, decimals)) {
        return rightAlign(*text, width);
    }
    return rightAlign(toChars(v, std::chars_format::fixed, decimals), width);
}

std::string integer(int64_t v, int width) { return rightAlign(std::to_string(v), width); }

std::string general(Real v) {
    if (v == 0) {
        return "0";
    }
    if (!std::isfinite(v)) {
        return nonFiniteText(v);
    }
    // d.ddddddddddddddde±x with 15 significant digits
    const std::string sci = toChars(v, std::chars_format::scientific, generalPrecision - 1);
    const size_t ePos = sci.find('e');
    const int exponent = std::atoi(sci.c_str() + ePos + 1);
    std::string sign;
    std::string digits;
    for (size_t i = 0; i < ePos; ++i) {
        if (sci[i] == '-') {
            sign = "-";
        } else if (sci[i] != '.') {
            digits += sci[i];
        }
    }
    while (digits.size() > 1 && digits.back() == '0') {
        digits.pop_back();
    }

    if (exponent >= generalPrecision || exponent < smallestPlainExponent) {
        std::string out = sign + digits.substr(0, 1);
        if (digits.size() > 1) {
            out += "." + digits.substr(1);
        }
        return out + "E" + std::to_string(exponent);
    }
    if (exponent < 0) {
        return sign + "0." + std::string(static_cast<size_t>(-exponent - 1), '0') + digits;
    }
    const auto integerDigits = static_cast<size_t>(exponent) + 1;
    if (digits.size() <= integerDigits) {
        return sign + digits + std::string(integerDigits - digits.size(), '0');
    }
    return sign + digits.substr(0, integerDigits) + "." + digits.substr(integerDigits);
}

std::string trimmedDecimal(Real v, int decimals) {
    char text[80];
    std::snprintf(text, sizeof text, "%.*Lf", decimals, static_cast<long double>(v));
    std::string s = text;
    if (s.find('.') != std::string::npos) {
        while (s.back() == '0') {
            s.pop_back();
        }
        if (s.back() == '.') {
            s.pop_back();
        }
    }
    return s == "-0" ? "0" : s;
}

} // namespace ptw3
