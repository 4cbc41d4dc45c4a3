#include "interchange/instrument_profile.h"

#include "common/number_parse.h"

#include <string>
#include <utility>

namespace ptw3 {
namespace {

// The number at the start of the text and the unit after it.
std::optional<std::pair<Real, std::string_view>> numberAndUnit(std::string_view text) {
    const size_t end = text.find_first_not_of("0123456789.+-eE");
    const std::optional<Real> v = parseReal(std::string(text.substr(0, end)));
    if (!v || !(*v >= 0)) {
        return std::nullopt;
    }
    return std::pair{*v, end == std::string_view::npos ? std::string_view{} : text.substr(end)};
}

} // namespace

std::optional<Real> directionSigmaCc(std::string_view text) {
    const auto n = numberAndUnit(text);
    if (!n) {
        return std::nullopt;
    }
    const auto [v, unit] = *n;
    if (unit.empty() || unit == "cc") {
        return v;
    }
    if (unit == "mgon") {
        return v * 10;
    }
    if (unit == "s" || unit == "\"") {
        return v * 10000 / 3240; // an arc second is 10000/3240 cc
    }
    return std::nullopt;
}

std::optional<DistanceSigma> distanceSigma(std::string_view text) {
    DistanceSigma s;
    while (!text.empty()) {
        const size_t plus = text.find('+');
        const std::string_view term = text.substr(0, plus);
        const auto n = numberAndUnit(term);
        if (!n) {
            return std::nullopt;
        }
        const auto [v, unit] = *n;
        if (unit == "ppm") {
            s.ppm = v;
        } else if (unit == "mm") {
            s.a = v / 1000;
        } else if (unit.empty() || unit == "m") {
            s.a = v;
        } else {
            return std::nullopt;
        }
        text = plus == std::string_view::npos ? std::string_view{} : text.substr(plus + 1);
    }
    return s;
}

} // namespace ptw3
