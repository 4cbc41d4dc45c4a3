#include "run/coordinate_systems.h"

namespace ptw3 {
namespace {

/// How a system's code is formed: a base, plus the zone where the system has zones.
struct CodeRule {
    CoordinateSystem system;
    int32_t base;
    bool addsZone;
};

// clang-format off
constexpr std::array<CodeRule, 8> codeRules = {{
    {CoordinateSystem::Local,         0,      false},
    {CoordinateSystem::Cs1965,        650,    true},
    {CoordinateSystem::Cs1942Strips6, 42600,  true},
    {CoordinateSystem::Cs1942Strips3, 42300,  true},
    {CoordinateSystem::Cs1992,        92,     false},
    {CoordinateSystem::Cs2000,        200000, true},
    {CoordinateSystem::Cs1965of86,    860,    true},
    {CoordinateSystem::Utm,           1000,   false},
}};
// clang-format on

template <class Predicate> std::optional<int32_t> findEntry(Predicate matches) {
    for (size_t i = 0; i < coordinateSystemEntries.size(); ++i) {
        if (matches(coordinateSystemEntries[i])) {
            return static_cast<int32_t>(i);
        }
    }
    return std::nullopt;
}

} // namespace

int32_t systemZoneCode(SystemZone s) {
    for (const CodeRule& rule : codeRules) {
        if (rule.system == s.system) {
            // A zone read from a damaged file may be any 32-bit value: the sum wraps around,
            // and the wrapped code matches no entry.
            return rule.addsZone ? static_cast<int32_t>(static_cast<int64_t>(rule.base) + s.zone)
                                 : rule.base;
        }
    }
    return 0;
}

std::optional<int32_t> entryByText(std::string_view text) {
    return findEntry([&](const CoordinateSystemEntry& e) { return e.text == text; });
}

std::optional<int32_t> entryByCode(int32_t code) {
    return findEntry(
        [&](const CoordinateSystemEntry& e) { return systemZoneCode(e.system) == code; });
}

std::optional<int32_t> entryBySystemZone(SystemZone system) {
    return findEntry([&](const CoordinateSystemEntry& e) { return e.system == system; });
}

} // namespace ptw3
