// punkty.csv and obserwacje.csv: the points and the observations of wyniki.json, and
// linie.csv, the relative accuracy of the observed lines, as comma-separated tables (RFC 4180:
// UTF-8, a header row, CR LF line ends), the point numbers and other texts quoted, numbers
// with "." and the decimals of their field, empty cells where a value is absent or belongs to
// the other unit family. When the quality control was made, obserwacje.csv ends with the
// column of the data-snooping step that took the observation out.
#pragma once

#include "export/results.h"

#include <filesystem>

namespace ptw3 {

/// Writes punkty.csv into the folder; false when it could not be written in full.
bool writePointsCsv(const std::filesystem::path& folder, const NetworkResults& results);
/// Writes obserwacje.csv into the folder; false when it could not be written in full.
bool writeObservationsCsv(const std::filesystem::path& folder, const NetworkResults& results);
/// Writes linie.csv into the folder: the lines of the pre-analysis, else those of the quality
/// control (the header alone without either); false when it could not be written in full.
bool writeLinesCsv(const std::filesystem::path& folder, const NetworkResults& results);

} // namespace ptw3
