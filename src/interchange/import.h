// Bringing a network in from an instrument's field file or another program's file: the
// format read (Leica GSI, LandXML 1.2, GNU Gama local XML), the working files written in the
// target folder, and the report IMPORT.ptw listing what every source record became or why
// it was refused.
#pragma once

#include "common/clock.h"
#include "interchange/imported_network.h"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ptw3 {

enum class ImportFormat { Gsi, LandXml, Gama };

inline constexpr std::string_view importReportFile = "IMPORT.ptw";

/// The format of a name as the command line gives it: "gsi", "landxml", "gama".
std::optional<ImportFormat> importFormatNamed(std::string_view name);
/// The format of a file from its content: XML with a LandXML or gama-xml root, else GSI
/// words ("*11...." or "11....").
std::optional<ImportFormat> detectImportFormat(std::string_view content);

/// The readers. Each records in the log what every record of the source became.
ImportedNetwork readGsi(std::string_view text, const InstrumentProfile& profile, ImportLog& log);
ImportedNetwork readLandXml(std::string_view text, const InstrumentProfile& profile,
                            ImportLog& log);
ImportedNetwork readGamaXml(std::string_view text, ImportLog& log);

struct ImportRequest {
    std::filesystem::path source;
    std::filesystem::path folder;
    std::optional<ImportFormat> format; ///< from the content when not given
    InstrumentProfile profile;
    bool overwrite = false; ///< replace working files that already stand in the folder
};

struct ImportOutcome {
    /// Why nothing was imported (UTF-8); empty when the files were written.
    std::string error;
    /// The working files that stand in the folder already, when overwriting was not asked:
    /// nothing is written then.
    std::vector<std::string> existing;
    std::optional<ImportFormat> format;
    int32_t taken = 0, refused = 0; ///< source records
    std::vector<std::string> written;
    bool done() const { return error.empty() && existing.empty(); }
};

/// Reads the source, writes the working files and IMPORT.ptw into the folder.
ImportOutcome importIntoFolder(const ImportRequest& request, const LocalDateTime& now);

/// The text of IMPORT.ptw (Windows-1250, CR LF).
std::string importReportText(const ImportRequest& request, ImportFormat format,
                             const ImportLog& log, const std::vector<std::string>& written,
                             const ImportedNetwork& network, const LocalDateTime& now);

} // namespace ptw3
