#include "export/extra_files.h"

#include "common/folder_files.h"
#include "export/gis_files.h"
#include "export/results_csv.h"
#include "export/results_json.h"
#include "export/sketch_svg.h"

namespace ptw3 {

void removeExtraFiles(const std::filesystem::path& folder) {
    for (const std::string_view name : extraFileNames) {
        removeFileNoCase(folder, name);
    }
}

std::vector<std::string_view> writeExtraFiles(const std::filesystem::path& folder,
                                              const NetworkResults& results) {
    using Writer = bool (*)(const std::filesystem::path&, const NetworkResults&);
    constexpr std::array<Writer, extraFileNames.size()> writers = {
        writeResultsJson,       writePointsCsv,  writeObservationsCsv, writeSketchSvg,
        writeNetworkGeoPackage, writeNetworkDxf, writeLinesCsv};
    std::vector<std::string_view> failed;
    for (size_t i = 0; i < writers.size(); ++i) {
        // Without the quality control (or a pre-analysis) the folder is as it was before
        // there was one.
        if (writers[i] == writeLinesCsv && !results.control && !results.preAnalysis) {
            continue;
        }
        if (!writers[i](folder, results)) {
            failed.push_back(extraFileNames[i]);
        }
    }
    return failed;
}

} // namespace ptw3
