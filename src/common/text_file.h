// Text files of the working folder: reading them as Windows-1250 lines whatever
// their line ends, and writing reports in Windows-1250 with CR LF line ends. A
// report that cannot be written in full ends the computation with a stop.
#pragma once

#include "common/run_context.h"

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

/// A whole file as read: its raw bytes, or the errno value of the failure.
struct FileContent {
    std::string bytes;
    int error = 0; ///< 0 when the whole file was read
};

/// The whole file as raw bytes; a folder gives EISDIR, any other entry that is not a regular
/// file (a device, a pipe) EINVAL without being opened.
FileContent readWholeFile(const std::filesystem::path& file);

/// The reason a file could not be read, from the errno value, in the words of the reports
/// (Windows-1250).
std::string readFailureReason(int error);

/// The whole file as raw bytes, or nothing when it cannot be read.
std::optional<std::string> readFileBytes(const std::filesystem::path& file);

/// The lines of a text file as Windows-1250, or nothing when it cannot be read.
std::optional<std::vector<std::string>> readTextLines(const std::filesystem::path& file);

/// Stops the computation because a file could not be written in full: the information box
/// names the file and the reason (from the errno value), then Stop(StopReason::WriteFailed).
[[noreturn]] void stopOnWriteFailure(RunContext& context, const std::filesystem::path& file,
                                     int error);

/// A report being written: created empty when opened (an existing file of the same name in
/// any letter case is overwritten), each line ended by CR LF. Texts are Windows-1250 bytes.
/// A report that cannot be created or written in full stops the computation
/// (stopOnWriteFailure), so a cut report never passes for a finished one. close() is where
/// a failed flush of the last lines shows; the destructor closes without that check, for
/// reports left behind by a stop.
class ReportFile {
public:
    ReportFile() = default;
    ReportFile(const std::filesystem::path& folder, std::string_view name, RunContext& context);

    bool isOpen() const { return m_file != nullptr; }
    void line(std::string_view text);
    /// Writes text without a line end.
    void write(std::string_view text);
    /// Writes what is buffered and closes the file; a closed report takes no more text.
    void close();

private:
    [[noreturn]] void fail(int error);

    struct Closer {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };
    std::unique_ptr<std::FILE, Closer> m_file;
    std::filesystem::path m_path;
    RunContext* m_context = nullptr;
};

/// Replaces the file of that name (in any letter case) in the folder by the text through a
/// temporary file renamed over it, so a failed write leaves the old file as it was. For the
/// files the program rewrites that are also its input (REDUKCJE, uklad). Returns 0, or the
/// errno value of the failure.
int replaceFile(const std::filesystem::path& folder, std::string_view name, std::string_view text);

} // namespace ptw3
