#include "run/option_lists.h"

#include "common/number_parse.h"

#include <string>

namespace ptw3 {
namespace {

constexpr int32_t defaultIterations = 4;
constexpr int32_t fewestIterations = 2;

} // namespace

std::optional<AdjustmentPrinciple> principleByText(std::string_view text) {
    for (const PrincipleEntry& entry : principleEntries) {
        if (entry.text == text) {
            return entry.principle;
        }
    }
    return std::nullopt;
}

std::optional<AnalysisMode> modeByText(std::string_view text) {
    for (const ModeEntry& entry : modeEntries) {
        if (entry.text == text) {
            return entry.mode;
        }
    }
    return std::nullopt;
}

AccelerationLevel accelerationOf(bool accelerate, bool turbo) {
    if (!accelerate) {
        return AccelerationLevel::None;
    }
    return turbo ? AccelerationLevel::Turbo : AccelerationLevel::Standard;
}

IterationChoice interpretIterationField(std::string_view text) {
    const auto typed = parseInteger(text);
    if (!typed) {
        return {defaultIterations, false, std::nullopt};
    }
    if (*typed <= 1) {
        return {fewestIterations, false, std::to_string(fewestIterations)};
    }
    if (*typed == boostIterationCode) {
        return {defaultIterations, true, std::to_string(defaultIterations)};
    }
    return {*typed, false, std::nullopt};
}

std::optional<Real> mpLimitByText(std::string_view text) {
    for (const MpLimitEntry& entry : mpLimitEntries) {
        if (entry.text == text) {
            return entry.limit;
        }
    }
    return metresByText(text);
}

std::optional<Real> metresByText(std::string_view text) {
    std::string typed(text);
    const size_t end = typed.find_last_not_of(' ');
    if (end != std::string::npos && typed[end] == 'm') {
        typed.erase(end);
    }
    if (const size_t comma = typed.find(','); comma != std::string::npos) {
        typed[comma] = '.'; // the Polish decimal comma; a second comma still fails below
    }
    const auto metres = parseReal(typed);
    if (!metres || !(*metres > 0)) {
        return std::nullopt;
    }
    return metres;
}

} // namespace ptw3
