#include "observations/coordinate_system.h"

#include <array>

namespace ptw3 {
namespace {

struct SystemNumber {
    CoordinateSystem system;
    int32_t number;
};

// clang-format off
constexpr std::array<SystemNumber, 8> systemNumbers = {{
    {CoordinateSystem::Local,         0},
    {CoordinateSystem::Cs1965,        1965},
    {CoordinateSystem::Cs1942Strips6, 19426},
    {CoordinateSystem::Cs1942Strips3, 19423},
    {CoordinateSystem::Cs1992,        1992},
    {CoordinateSystem::Cs2000,        2000},
    {CoordinateSystem::Cs1965of86,    1986},
    {CoordinateSystem::Utm,           1000},
}};
// clang-format on

} // namespace

int32_t systemNumber(CoordinateSystem system) {
    for (const SystemNumber& row : systemNumbers) {
        if (row.system == system) {
            return row.number;
        }
    }
    return 0;
}

std::optional<CoordinateSystem> systemByNumber(int32_t number) {
    for (const SystemNumber& row : systemNumbers) {
        if (row.number == number) {
            return row.system;
        }
    }
    return std::nullopt;
}

} // namespace ptw3
