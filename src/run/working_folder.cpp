#include "run/working_folder.h"

#include "common/folder_files.h"
#include "run/folder_memory.h"
#include "run/uklad.h"

#include <system_error>

namespace ptw3 {
namespace fs = std::filesystem;

std::optional<std::string> iniWorkingFolder(std::string_view iniText) {
    return iniValue(iniText, "General", "path");
}

fs::path readWorkingFolder(const fs::path& programFolder, const fs::path& startFolder) {
    return readWorkingFolder(SettingsPlaces{programFolder, {}}, startFolder);
}

int32_t useWorkingFolder(ProgramState& state, const fs::path& folder) {
    CalculationOptions& options = state.options;
    options.workingFolder = folder;
    options.system = {};
    options.principle = AdjustmentPrinciple::LeastSquares;
    options.analysisMode = AnalysisMode::Full;
    return restoreCoordinateSystem(state);
}

fs::path programFolder() {
    std::error_code error;
    const fs::path program = fs::read_symlink("/proc/self/exe", error);
    return error ? fs::current_path(error) : program.parent_path();
}

std::string workingFolderStatus(const fs::path& folder) {
    return " Folder roboczy = " + folder.string();
}

FileSetState scanFileSet(const fs::path& folder) {
    FileSetState state;
    for (size_t i = 0; i < fileSet.size(); ++i) {
        const auto found = findFileNoCase(folder, fileSet[i].fileName);
        state.present[i] = found ? 1 : 0;
        state.paths[i] = found.value_or(folder / fs::path(std::string(fileSet[i].fileName)));
    }
    return state;
}

} // namespace ptw3
