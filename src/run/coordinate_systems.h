// The 23 entries of the coordinate-system list, each the exact text of the list with the
// system and zone it stands for, and systemZoneCode: one number that stands for a system and
// zone between window set-ups, read back from a folder's uklad.
#pragma once

#include "observations/coordinate_system.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace ptw3 {

struct CoordinateSystemEntry {
    std::string_view text; ///< the list entry exactly, "*" standing for the degree sign
    SystemZone system;
};

// clang-format off
inline constexpr std::array<CoordinateSystemEntry, 23> coordinateSystemEntries = {{
    {"Lokalny (bez redukcji)",                {CoordinateSystem::Local,         0}},
    {"1965 strefa 1",                         {CoordinateSystem::Cs1965,        1}},
    {"1965 strefa 2",                         {CoordinateSystem::Cs1965,        2}},
    {"1965 strefa 3",                         {CoordinateSystem::Cs1965,        3}},
    {"1965 strefa 4",                         {CoordinateSystem::Cs1965,        4}},
    {"1965 strefa 5",                         {CoordinateSystem::Cs1965,        5}},
    {"1942  pasy 6*  poł. osiowy   15",       {CoordinateSystem::Cs1942Strips6, 15}},
    {"1942  pasy 6*  poł. osiowy   21    ",   {CoordinateSystem::Cs1942Strips6, 21}},
    {"1942  pasy 3*  poł. osiowy   15",       {CoordinateSystem::Cs1942Strips3, 15}},
    {"1942  pasy 3*  poł. osiowy   18",       {CoordinateSystem::Cs1942Strips3, 18}},
    {"1942  pasy 3*  poł. osiowy   21",       {CoordinateSystem::Cs1942Strips3, 21}},
    {"1942  pasy 3*  poł. osiowy   24",       {CoordinateSystem::Cs1942Strips3, 24}},
    {"1992  (jednostrefowy)",                 {CoordinateSystem::Cs1992,        0}},
    {"2000  poł. osiowy  15",                 {CoordinateSystem::Cs2000,        15}},
    {"2000  poł. osiowy  18",                 {CoordinateSystem::Cs2000,        18}},
    {"2000  poł. osiowy  21",                 {CoordinateSystem::Cs2000,        21}},
    {"2000  poł. osiowy  24",                 {CoordinateSystem::Cs2000,        24}},
    {"1965/86 strefa 1",                      {CoordinateSystem::Cs1965of86,    1}},
    {"1965/86 strefa 2",                      {CoordinateSystem::Cs1965of86,    2}},
    {"1965/86 strefa 3",                      {CoordinateSystem::Cs1965of86,    3}},
    {"1965/86 strefa 4",                      {CoordinateSystem::Cs1965of86,    4}},
    {"1965/86 strefa 5  ",                    {CoordinateSystem::Cs1965of86,    5}},
    {"UTM  (na WGS-84)",                      {CoordinateSystem::Utm,           0}},
}};
// clang-format on

/// The code of a system and zone: 1965 650 + zone, 1942 in 6° strips 42600 + zone, in 3°
/// strips 42300 + zone, 2000 200000 + zone, 1965/86 860 + zone; 1992 92, UTM 1000 and the
/// local system 0, whatever the zone. A zone that is none of the system's still gives a code,
/// one that may name no entry.
int32_t systemZoneCode(SystemZone system);

/// The entry whose text equals the given UTF-8 text exactly (case and blanks count).
std::optional<int32_t> entryByText(std::string_view text);

/// The entry with the given code.
std::optional<int32_t> entryByCode(int32_t code);

/// The entry of a system and zone, when the pair is one of the 23 entries.
std::optional<int32_t> entryBySystemZone(SystemZone system);

} // namespace ptw3
