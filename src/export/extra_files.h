// The files written beside the reports after a computation that reached its result files:
// wyniki.json, punkty.csv, obserwacje.csv, siec.svg, siec.gpkg, siec.dxf and, with the
// quality control or a pre-analysis, linie.csv.
// They are removed when a new adjustment starts, so they never stand beside the reports of
// another computation.
#pragma once

#include "export/results.h"

#include <array>
#include <filesystem>
#include <string_view>
#include <vector>

namespace ptw3 {

inline constexpr std::array<std::string_view, 7> extraFileNames = {
    "wyniki.json", "punkty.csv", "obserwacje.csv", "siec.svg", "siec.gpkg", "siec.dxf",
    "linie.csv"};

/// Removes the extra files of the folder, in any letter case of their names.
void removeExtraFiles(const std::filesystem::path& folder);

/// Writes the files (linie.csv only when the results carry the quality control or a
/// pre-analysis); returns the names of those that could not be written in full.
std::vector<std::string_view> writeExtraFiles(const std::filesystem::path& folder,
                                              const NetworkResults& results);

} // namespace ptw3
