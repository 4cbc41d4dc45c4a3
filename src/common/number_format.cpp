// Digits come from std::to_chars, which rounds the exact binary value correctly
// (ties to even) and ignores the locale. A value that is not finite (an overflow or
// 0/0 somewhere upstream) prints as "inf", "-inf" or "nan" in every form.

#include "common/number_format.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
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

// The fixed form of a finite value straight from its 64-bit significand m and exponent e:
// v 10^d = m 10^d 2^e is exact in 128 bits, and the shift by -e rounds it half to even as
// to_chars does, without its general conversion. False for |v| >= 2^63 or more than 18
// decimals, which go to to_chars.
__extension__ typedef unsigned __int128 Wide; // GCC's 128-bit integers

bool exactFixed(Real v, int decimals, std::string& out) {
    static constexpr uint64_t powers[] = {1ULL,
                                          10ULL,
                                          100ULL,
                                          1000ULL,
                                          10000ULL,
                                          100000ULL,
                                          1000000ULL,
                                          10000000ULL,
                                          100000000ULL,
                                          1000000000ULL,
                                          10000000000ULL,
                                          100000000000ULL,
                                          1000000000000ULL,
                                          10000000000000ULL,
                                          100000000000000ULL,
                                          1000000000000000ULL,
                                          10000000000000000ULL,
                                          100000000000000000ULL,
                                          1000000000000000000ULL};
    if (decimals < 0 || decimals > 18) {
        return false;
    }
    int exponent = 0;
    const Real fraction = std::frexp(std::fabs(v), &exponent);
    const auto m = static_cast<uint64_t>(std::ldexp(fraction, 64));
    const int e = v == 0 ? 0 : exponent - 64;
    if (e > 0) {
        return false;
    }
    Wide q = static_cast<Wide>(m) * powers[decimals];
    const int shift = -e;
    if (shift >= 126) { // below half a unit of the last decimal
        q = 0;
    } else if (shift > 0) {
        const Wide one = 1;
        const Wide rest = q & ((one << shift) - 1);
        const Wide half = one << (shift - 1);
        q >>= shift;
        if (rest > half || (rest == half && (q & 1) != 0)) {
            ++q;
        }
    }
    char digits[48];
    int count = 0;
    while (q > UINT64_MAX) {
        digits[count++] = static_cast<char>('0' + static_cast<int>(q % 10));
        q /= 10;
    }
    auto low = static_cast<uint64_t>(q);
    do {
        digits[count++] = static_cast<char>('0' + low % 10);
        low /= 10;
    } while (low != 0);
    while (count < decimals + 1) {
        digits[count++] = '0';
    }
    out.clear();
    out.reserve(static_cast<size_t>(count) + 2);
    if (std::signbit(v)) {
        out += '-';
    }
    for (int i = count - 1; i >= 0; --i) {
        out += digits[i];
        if (i == decimals && decimals > 0) {
            out += '.';
        }
    }
    return true;
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
    std::string text;
    if (!exactFixed(v, decimals, text)) {
        text = toChars(v, std::chars_format::fixed, decimals);
    }
    return rightAlign(text, width);
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
