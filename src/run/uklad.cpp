#include "run/uklad.h"

#include "common/folder_files.h"
#include "common/number_parse.h"
#include "common/text_file.h"
#include "run/coordinate_systems.h"

namespace ptw3 {
namespace {

constexpr std::string_view ukladName = "uklad";

SystemZone systemOfEntry(int32_t entry) {
    return coordinateSystemEntries[static_cast<size_t>(entry)].system;
}

} // namespace

std::string ukladText(SystemZone s) {
    return std::to_string(systemNumber(s.system)) + "\r\n" + std::to_string(s.zone) + "\r\n";
}

std::optional<StoredSystem> readUklad(const std::filesystem::path& folder) {
    const auto path = findFileNoCase(folder, ukladName);
    if (!path) {
        return std::nullopt;
    }
    const auto lines = readTextLines(*path).value_or(std::vector<std::string>{});
    StoredSystem stored;
    if (lines.size() >= 1) {
        stored.system = leadingInteger(lines[0]);
    }
    if (lines.size() >= 2) {
        stored.zone = leadingInteger(lines[1]);
    }
    return stored;
}

bool writeUklad(const std::filesystem::path& folder, SystemZone system) {
    // A failed write leaves the old file whole.
    return replaceFile(folder, ukladName, ukladText(system)) == 0;
}

bool updateUkladIfPresent(const std::filesystem::path& folder, SystemZone system) {
    // Anything of that name counts, so that a folder called uklad is reported, not passed over.
    return !findEntryNoCase(folder, ukladName) || writeUklad(folder, system);
}

void changeCoordinateSystem(ProgramState& state, std::optional<SystemZone> chosen) {
    if (chosen) {
        state.systemZoneCode = systemZoneCode(*chosen);
    }
    if (const auto entry = entryByCode(state.systemZoneCode)) {
        state.options.system = systemOfEntry(*entry);
    }
    writeUklad(state.options.workingFolder, state.options.system);
}

int32_t restoreCoordinateSystem(ProgramState& state) {
    if (const auto stored = readUklad(state.options.workingFolder)) {
        if (const auto system = systemByNumber(stored->system)) {
            state.systemZoneCode = systemZoneCode({*system, stored->zone});
        }
    }
    const auto entry = entryByCode(state.systemZoneCode);
    if (!entry) {
        state.options.system = {};
        return 0;
    }
    state.options.system = systemOfEntry(*entry);
    return *entry;
}

} // namespace ptw3
