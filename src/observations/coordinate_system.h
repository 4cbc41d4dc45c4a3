// The plane coordinate systems a network can be adjusted in, with the zone that completes
// each, and the number every system goes by in the uklad file, the main report and
// wyniki.json (0, 1965, 19426, 19423, 1992, 2000, 1986, 1000).
#pragma once

#include <cstdint>
#include <optional>

namespace ptw3 {

enum class CoordinateSystem : uint8_t {
    Local,         ///< a local system, adjusted without projection reductions
    Cs1965,        ///< the 1965 system, zones 1 to 5
    Cs1942Strips6, ///< the 1942 system in 6° strips; the zone is the central meridian
    Cs1942Strips3, ///< the 1942 system in 3° strips; the zone is the central meridian
    Cs1992,        ///< the single-zone 1992 system
    Cs2000,        ///< the 2000 system; the zone is the central meridian
    Cs1965of86,    ///< the 1965/86 system, zones 1 to 5
    Utm,           ///< UTM on the WGS-84 ellipsoid
};

/// A coordinate system with its zone.
struct SystemZone {
    CoordinateSystem system = CoordinateSystem::Local;
    int32_t zone = 0; ///< 1 to 5, or a central meridian in degrees; 0 where there is none

    bool operator==(const SystemZone&) const = default;
};

/// The number of a system in uklad, the main report and wyniki.json.
int32_t systemNumber(CoordinateSystem system);

/// The system a number stands for, or nothing for a number that is none of the eight.
std::optional<CoordinateSystem> systemByNumber(int32_t number);

} // namespace ptw3
