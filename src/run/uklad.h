// The coordinate system remembered per working folder in the file "uklad": two lines, the
// system's number and the zone, each a decimal integer ended by CR LF.
#pragma once

#include "observations/coordinate_system.h"
#include "run/program_state.h"

#include <filesystem>
#include <optional>
#include <string>

namespace ptw3 {

/// The two numbers of a uklad file as they stand, whatever system they name.
struct StoredSystem {
    int32_t system = 0;
    int32_t zone = 0;
};

/// The content of uklad for a system and zone ("2000\r\n18\r\n").
std::string ukladText(SystemZone system);

/// The pair stored in the folder's uklad (each line's leading integer, 0 when a line does
/// not start with one or is missing), or nothing when the folder has no uklad.
std::optional<StoredSystem> readUklad(const std::filesystem::path& folder);

/// Creates or overwrites uklad; false when it could not be written (an old file stays whole).
bool writeUklad(const std::filesystem::path& folder, SystemZone system);

/// Rewrites uklad only when the folder already has one (the calculation run); false when
/// there is one that could not be rewritten.
bool updateUkladIfPresent(const std::filesystem::path& folder, SystemZone system);

/// The person changed the system list: an entry chosen sets the code (nothing chosen, a text
/// that names no entry, keeps it), the code sets the system and zone, and uklad is created
/// or overwritten with them.
void changeCoordinateSystem(ProgramState& state, std::optional<SystemZone> chosen);

/// The window set-up's restoring of the system from uklad, after the set-up has put the
/// system to the local one. Returns the entry of the list to show; never writes uklad.
int32_t restoreCoordinateSystem(ProgramState& state);

} // namespace ptw3
