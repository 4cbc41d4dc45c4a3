// Text files of the working folder: reading them as Windows-1250 lines whatever
// their line ends, and writing reports in Windows-1250 with CR LF line ends.
#pragma once

#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ptw3 {

/// Splits text at CR LF, LF or CR; a final line end does not start another line.
std::vector<std::string> splitLines(std::string_view content);

/// File content as Windows-1250: content that is well-formed UTF-8 with characters beyond
/// ASCII (with or without a byte-order mark, which is dropped) is converted from UTF-8 when
/// every one of its characters has a Windows-1250 byte; anything else is taken as
/// Windows-1250 bytes as they stand, so no character is ever lost or merged with another.
std::string asCp1250(std::string content);

/// The whole file as raw bytes, or nothing when it cannot be read.
std::optional<std::string> readFileBytes(const std::filesystem::path& file);

/// The lines of a text file as Windows-1250, or nothing when it cannot be read.
std::optional<std::vector<std::string>> readTextLines(const std::filesystem::path& file);

/// A report being written: created empty when opened (an existing file of the same name in
/// any letter case is overwritten), each line ended by CR LF, closed by close() or the
/// destructor. Texts are Windows-1250 bytes. A file that cannot be created swallows the
/// lines: report writing reports no I/O errors of its own.
class ReportFile {
public:
    ReportFile() = default;
    ReportFile(const std::filesystem::path& folder, std::string_view name);

    bool isOpen() const { return m_file != nullptr; }
    void line(std::string_view text);
    /// Writes text without a line end.
    void write(std::string_view text);
    void close();

private:
    struct Closer {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };
    std::unique_ptr<std::FILE, Closer> m_file;
};

} // namespace ptw3
