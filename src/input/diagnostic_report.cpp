#include "input/diagnostic_report.h"

#include "common/encoding.h"
#include "common/folder_files.h"
#include "common/stop.h"

namespace ptw3 {

DiagnosticReport::DiagnosticReport(const std::filesystem::path& folder, RunContext& context)
    : m_file(folder, "er3a.ptw", context)
    , m_context(context) {}

void DiagnosticReport::line(std::string_view text) { m_file.line(text); }

void DiagnosticReport::defaultTaken(std::string_view recordLine, std::string_view taken) {
    constexpr std::string_view indent = "                  ";
    m_file.line(recordLine);
    m_file.line(std::string(indent) + std::string(taken));
}

void DiagnosticReport::fatal(std::string_view reportLine, std::string_view boxText) {
    m_file.line(reportLine);
    m_file.close();
    m_context.inform(boxText);
    throw Stop(StopReason::FatalInput, utf8FromCp1250(boxText));
}

void DiagnosticReport::askToContinue(std::string_view question) {
    if (!m_context.confirm(question)) {
        m_file.close();
        throw Stop(StopReason::UserDeclined, utf8FromCp1250(question));
    }
}

std::optional<InputFile> readInputFile(const std::filesystem::path& folder,
                                       std::string_view name, DiagnosticReport& report) {
    const auto path = findEntryNoCase(folder, name);
    if (!path) {
        return std::nullopt;
    }
    InputFile file{path->filename().string(), {}};
    FileContent content = readWholeFile(*path);
    if (content.error != 0) {
        report.fatal(cp1250(" *** Błąd odczytu pliku <") + file.name +
                     ">: " + readFailureReason(content.error));
    }
    file.bytes = std::move(content.bytes);
    return file;
}

} // namespace ptw3
