// ER3a.ptw, the preliminary diagnostic report of the data input, and the two
// ways a data input ends early: the fatal procedure (report line, information
// box, report closed, computation stopped) and a No to "Czy chcesz liczyć dalej?".
// The input files are read through here too: one that cannot be read is fatal.
#pragma once

#include "common/run_context.h"
#include "common/text_file.h"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace ptw3 {

class DiagnosticReport {
public:
    /// Creates er3a.ptw in the folder (overwriting one of any letter case).
    DiagnosticReport(const std::filesystem::path& folder, RunContext& context);

    /// Writes one line (Windows-1250).
    void line(std::string_view text);
    /// Writes the two lines of a mean error replaced by a default: the record's line, then
    /// what was taken instead ("Przyjęto ... = "), indented under the text of the first.
    void defaultTaken(std::string_view recordLine, std::string_view taken);
    /// Writes the line, closes the report, shows the box text and stops the computation.
    [[noreturn]] void fatal(std::string_view reportLine, std::string_view boxText);
    [[noreturn]] void fatal(std::string_view text) { fatal(text, text); }
    /// Asks the question; No closes the report and stops the computation.
    void askToContinue(std::string_view question);
    void close() { m_file.close(); }

    RunContext& context() { return m_context; }
    ReportFile& file() { return m_file; }

private:
    ReportFile m_file;
    RunContext& m_context;
};

/// An input file of the working folder as read.
struct InputFile {
    std::string name;  ///< as the folder spells it
    std::string bytes; ///< raw, as the file holds them
};

/// The folder's input file of that name in any letter case, or nothing when the folder has
/// none. One that is there but cannot be read (no permission, a folder of that name, a read
/// error) is a fatal input error that names it and gives the reason, never an absent file.
std::optional<InputFile> readInputFile(const std::filesystem::path& folder,
                                       std::string_view name, DiagnosticReport& report);

} // namespace ptw3
