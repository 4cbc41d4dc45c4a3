// The coordinate system remembered per working folder in the file "uklad": two
// lines, the system number and the zone, each a decimal integer ended by CR LF.
#pragma once

#include "run/program_state.h"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace ptw3 {

struct StoredSystem {
    int32_t system = 0;
    int32_t zone = 0;
};

/// The content of uklad for a system and zone ("2000\r\n18\r\n").
std::string ukladText(int32_t system, int32_t zone);

/// The pair stored in the folder's uklad (each line's leading integer, 0 when a line does
/// not start with one or is missing), or nothing when the folder has no uklad.
std::optional<StoredSystem> readUklad(const std::filesystem::path& folder);

/// Creates or overwrites uklad; a file that cannot be written is passed over in silence.
void writeUklad(const std::filesystem::path& folder, int32_t system, int32_t zone);

/// Rewrites uklad only when the folder already has one (the calculation run).
void updateUkladIfPresent(const std::filesystem::path& folder, int32_t system, int32_t zone);

/// The user changed the text of the system list: a matching entry sets the code, the code
/// sets the system and zone, and uklad is created or overwritten with them.
void changeCoordinateSystem(std::string_view listText, ProgramState& state);

/// The window set-up's restoring of the system list from uklad, after the set-up has put
/// the system and zone to 0. Returns the entry of the list to show; never writes uklad.
int32_t restoreCoordinateSystem(ProgramState& state);

} // namespace ptw3
