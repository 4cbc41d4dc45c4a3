#include "run/uklad.h"

#include "common/folder_files.h"
#include "common/number_parse.h"
#include "common/text_file.h"
#include "run/coordinate_systems.h"

namespace ptw3 {
namespace {

constexpr std::string_view ukladName = "uklad";

void applyEntry(int32_t entry, CalculationOptions& options) {
    const CoordinateSystemEntry& e = coordinateSystemEntries[static_cast<size_t>(entry)];
    options.coordinateSystem = e.system;
    options.zone = e.zone;
}

} // namespace

std::string ukladText(int32_t system, int32_t zone) {
    return std::to_string(system) + "\r\n" + std::to_string(zone) + "\r\n";
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

void writeUklad(const std::filesystem::path& folder, int32_t system, int32_t zone) {
    // Writing uklad reports no errors; a failed write leaves the old file whole.
    replaceFile(folder, ukladName, ukladText(system, zone));
}

void updateUkladIfPresent(const std::filesystem::path& folder, int32_t system, int32_t zone) {
    if (findFileNoCase(folder, ukladName)) {
        writeUklad(folder, system, zone);
    }
}

void changeCoordinateSystem(std::string_view listText, ProgramState& state) {
    if (const auto entry = entryByText(listText)) {
        state.systemZoneCode = coordinateSystemEntries[static_cast<size_t>(*entry)].code;
    }
    if (const auto entry = entryByCode(state.systemZoneCode)) {
        applyEntry(*entry, state.options);
    }
    writeUklad(state.options.workingFolder, state.options.coordinateSystem, state.options.zone);
}

int32_t restoreCoordinateSystem(ProgramState& state) {
    if (const auto stored = readUklad(state.options.workingFolder)) {
        if (const auto code = systemZoneCode(stored->system, stored->zone)) {
            state.systemZoneCode = *code;
        }
    }
    const auto entry = entryByCode(state.systemZoneCode);
    if (!entry) {
        state.options.coordinateSystem = systemLocal;
        state.options.zone = 0;
        return 0;
    }
    applyEntry(*entry, state.options);
    return *entry;
}

} // namespace ptw3
