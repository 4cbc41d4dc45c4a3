#include "run/coordinate_systems.h"

namespace ptw3 {

namespace {
// A zone read from a damaged file may be any 32-bit value: the sum wraps around, and the
// wrapped code matches no entry.
int32_t withZone(int32_t base, int32_t zone) {
    return static_cast<int32_t>(static_cast<int64_t>(base) + zone);
}
} // namespace

std::optional<int32_t> systemZoneCode(int32_t system, int32_t zone) {
    switch (system) {
    case systemLocal:
        return 0;
    case system1965:
        return withZone(650, zone);
    case system1942Zones6:
        return withZone(42600, zone);
    case system1942Zones3:
        return withZone(42300, zone);
    case system2000:
        return withZone(200000, zone);
    case system1965of86:
        return withZone(860, zone);
    case system1992:
        return 92; // a single zone: the stored zone is ignored
    case systemUtm:
        return 1000;
    default:
        return std::nullopt;
    }
}

namespace {
template <class Predicate> std::optional<int32_t> findEntry(Predicate matches) {
    for (size_t i = 0; i < coordinateSystemEntries.size(); ++i) {
        if (matches(coordinateSystemEntries[i])) {
            return static_cast<int32_t>(i);
        }
    }
    return std::nullopt;
}
} // namespace

std::optional<int32_t> entryByText(std::string_view text) {
    return findEntry([&](const CoordinateSystemEntry& e) { return e.text == text; });
}

std::optional<int32_t> entryByCode(int32_t code) {
    return findEntry([&](const CoordinateSystemEntry& e) { return e.code == code; });
}

std::optional<int32_t> entryBySystemZone(int32_t system, int32_t zone) {
    return findEntry(
        [&](const CoordinateSystemEntry& e) { return e.system == system && e.zone == zone; });
}

} // namespace ptw3
