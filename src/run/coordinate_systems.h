// The plane coordinate systems a network can be adjusted in, as the 23 entries
// of the system list, and the one-number code (systemZoneCode) that stands for
// an entry between window set-ups.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace ptw3 {

inline constexpr int32_t systemLocal = 0;
inline constexpr int32_t system1965 = 1965;
inline constexpr int32_t system1942Zones6 = 19426;
inline constexpr int32_t system1942Zones3 = 19423;
inline constexpr int32_t system1992 = 1992;
inline constexpr int32_t system2000 = 2000;
inline constexpr int32_t system1965of86 = 1986;
inline constexpr int32_t systemUtm = 1000;

struct CoordinateSystemEntry {
    std::string_view text; ///< the list entry exactly, "*" standing for the degree sign
    int32_t system;
    int32_t zone; ///< zone number, or the central meridian in degrees
    int32_t code; ///< systemZoneCode
};

// clang-format off
inline constexpr std::array<CoordinateSystemEntry, 23> coordinateSystemEntries = {{
    {"Lokalny (bez redukcji)",                systemLocal,      0,  0},
    {"1965 strefa 1",                         system1965,       1,  651},
    {"1965 strefa 2",                         system1965,       2,  652},
    {"1965 strefa 3",                         system1965,       3,  653},
    {"1965 strefa 4",                         system1965,       4,  654},
    {"1965 strefa 5",                         system1965,       5,  655},
    {"1942  pasy 6*  poł. osiowy   15",       system1942Zones6, 15, 42615},
    {"1942  pasy 6*  poł. osiowy   21    ",   system1942Zones6, 21, 42621},
    {"1942  pasy 3*  poł. osiowy   15",       system1942Zones3, 15, 42315},
    {"1942  pasy 3*  poł. osiowy   18",       system1942Zones3, 18, 42318},
    {"1942  pasy 3*  poł. osiowy   21",       system1942Zones3, 21, 42321},
    {"1942  pasy 3*  poł. osiowy   24",       system1942Zones3, 24, 42324},
    {"1992  (jednostrefowy)",                 system1992,       0,  92},
    {"2000  poł. osiowy  15",                 system2000,       15, 200015},
    {"2000  poł. osiowy  18",                 system2000,       18, 200018},
    {"2000  poł. osiowy  21",                 system2000,       21, 200021},
    {"2000  poł. osiowy  24",                 system2000,       24, 200024},
    {"1965/86 strefa 1",                      system1965of86,   1,  861},
    {"1965/86 strefa 2",                      system1965of86,   2,  862},
    {"1965/86 strefa 3",                      system1965of86,   3,  863},
    {"1965/86 strefa 4",                      system1965of86,   4,  864},
    {"1965/86 strefa 5  ",                    system1965of86,   5,  865},
    {"UTM  (na WGS-84)",                      systemUtm,        0,  1000},
}};
// clang-format on

/// The code of a system and zone (1965: 650 + zone, 2000: 200000 + zone, ...), or nothing
/// for a system number that is not one of the eight systems.
std::optional<int32_t> systemZoneCode(int32_t system, int32_t zone);

/// The entry whose text equals the given UTF-8 text exactly (case and blanks count).
std::optional<int32_t> entryByText(std::string_view text);

/// The entry with the given code.
std::optional<int32_t> entryByCode(int32_t code);

/// The entry of a system and zone pair, when the pair is one of the 23 entries.
std::optional<int32_t> entryBySystemZone(int32_t system, int32_t zone);

} // namespace ptw3
