// Number grammar checked by hand, digits converted by std::from_chars (correctly
// rounded, locale-free).

#include "common/number_parse.h"

#include <charconv>
#include <string>
#include <system_error>

namespace ptw3 {
namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

std::string_view trimBlanks(std::string_view s) {
    while (!s.empty() && isBlank(s.front())) {
        s.remove_prefix(1);
    }
    while (!s.empty() && isBlank(s.back())) {
        s.remove_suffix(1);
    }
    return s;
}

} // namespace

std::optional<Real> parseReal(std::string_view text) {
    const std::string_view s = trimBlanks(text);
    size_t i = 0;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
        negative = s[i] == '-';
        ++i;
    }
    const size_t mantissaStart = i;
    // Decimal exponent of the leading significant digit, to tell underflow from overflow.
    long long leadExponent = 0;
    bool significant = false;
    size_t integerDigits = 0;
    while (i < s.size() && isDigit(s[i])) {
        if (significant) {
            ++leadExponent;
        } else if (s[i] != '0') {
            significant = true;
        }
        ++integerDigits, ++i;
    }
    size_t fractionDigits = 0;
    if (i < s.size() && s[i] == '.') {
        ++i;
        while (i < s.size() && isDigit(s[i])) {
            if (!significant) {
                --leadExponent;
                significant = s[i] != '0';
            }
            ++fractionDigits, ++i;
        }
    }
    if (integerDigits + fractionDigits == 0) {
        return std::nullopt;
    }
    long long exponent = 0;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        bool negativeExponent = false;
        if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
            negativeExponent = s[i] == '-';
            ++i;
        }
        if (i == s.size() || !isDigit(s[i])) {
            return std::nullopt;
        }
        while (i < s.size() && isDigit(s[i])) {
            if (exponent < 1'000'000'000) {
                exponent = exponent * 10 + (s[i] - '0');
            }
            ++i;
        }
        if (negativeExponent) {
            exponent = -exponent;
        }
    }
    if (i != s.size()) {
        return std::nullopt;
    }

    const std::string_view body = s.substr(mantissaStart);
    Real value = 0;
    const auto [end, error] = std::from_chars(body.data(), body.data() + body.size(), value);
    if (error == std::errc::result_out_of_range) {
        if (leadExponent + exponent >= 0) {
            return std::nullopt; // beyond the largest extended value
        }
        value = 0;
    } else if (error != std::errc{} || end != body.data() + body.size()) {
        return std::nullopt;
    }
    return negative ? -value : value;
}

std::optional<int32_t> parseInteger(std::string_view text) {
    while (!text.empty() && isBlank(text.front())) {
        text.remove_prefix(1);
    }
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty()) {
        return std::nullopt;
    }
    int64_t value = 0;
    for (char c : text) {
        if (!isDigit(c)) {
            return std::nullopt;
        }
        value = value * 10 + (c - '0');
        if (value > int64_t{INT32_MAX} + 1) {
            return std::nullopt;
        }
    }
    value = negative ? -value : value;
    if (value > INT32_MAX) {
        return std::nullopt;
    }
    return static_cast<int32_t>(value);
}

int32_t leadingInteger(std::string_view line) {
    size_t i = 0;
    while (i < line.size() && isBlank(line[i])) {
        ++i;
    }
    size_t end = i;
    if (end < line.size() && (line[end] == '+' || line[end] == '-')) {
        ++end;
    }
    while (end < line.size() && isDigit(line[end])) {
        ++end;
    }
    return parseInteger(line.substr(i, end - i)).value_or(0);
}

} // namespace ptw3
