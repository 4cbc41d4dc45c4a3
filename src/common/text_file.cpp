#include "common/text_file.h"

#include "common/encoding.h"
#include "common/folder_files.h"
#include "common/stop.h"

#include <array>
#include <cerrno>
#include <system_error>

namespace ptw3 {
namespace fs = std::filesystem;

namespace {
constexpr std::string_view utf8ByteOrderMark = "\xEF\xBB\xBF";
constexpr std::string_view lineEnd = "\r\n";
constexpr std::string_view temporarySuffix = ".ptw3-tmp";

struct FailureReason {
    int error;
    const char* text; // UTF-8
};
// clang-format off
constexpr std::array<FailureReason, 11> writeFailureReasons = {{
    {ENOSPC, "brak miejsca na dysku"},
    {EDQUOT, "wyczerpany przydział miejsca na dysku"},
    {EFBIG,  "przekroczony dopuszczalny rozmiar pliku"},
    {EACCES, "brak prawa zapisu"},
    {EPERM,  "brak prawa zapisu"},
    {EROFS,  "dysk tylko do odczytu"},
    {EISDIR, "pod tą nazwą jest folder"},
    {ENOENT, "folder nie istnieje"},
    {ENOTDIR, "folder nie istnieje"},
    {EIO,    "błąd urządzenia"},
    {0,      "błąd urządzenia"}, // a failure that left no errno value
}};
constexpr std::array<FailureReason, 5> readFailureReasons = {{
    {EACCES, "brak prawa odczytu"},
    {EPERM,  "brak prawa odczytu"},
    {EISDIR, "pod tą nazwą jest folder"},
    {EINVAL, "to nie jest zwykły plik"}, // a device, a pipe or a socket
    {EIO,    "błąd urządzenia"},
}};
// clang-format on

// The reason of a failure in the words of the reports (Windows-1250).
template <size_t N>
std::string failureReason(const std::array<FailureReason, N>& reasons, int error) {
    for (const FailureReason& r : reasons) {
        if (r.error == error) {
            return cp1250(r.text);
        }
    }
    return cp1250("błąd systemu nr ") + std::to_string(error) + " (" +
           std::generic_category().message(error) + ")";
}

} // namespace

std::vector<std::string> splitLines(std::string_view content) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t i = 0; i < content.size(); ++i) {
        if (content[i] == '\r' || content[i] == '\n') {
            lines.emplace_back(content.substr(start, i - start));
            if (content[i] == '\r' && i + 1 < content.size() && content[i + 1] == '\n') {
                ++i;
            }
            start = i + 1;
        }
    }
    if (start < content.size()) {
        lines.emplace_back(content.substr(start));
    }
    return lines;
}

std::string asCp1250(std::string content) {
    const bool marked = content.starts_with(utf8ByteOrderMark);
    const std::string_view body =
        marked ? std::string_view(content).substr(utf8ByteOrderMark.size()) : content;
    if (!marked && !hasNonAscii(body)) {
        return content;
    }
    // Windows-1250 letters can form valid UTF-8 (Ó Ł, bytes D3 A3, read as U+04E3): a text
    // is UTF-8 only when it also maps back to Windows-1250 character by character.
    std::optional<std::string> converted = exactCp1250FromUtf8(body);
    return converted ? std::move(*converted) : content;
}

FileContent readWholeFile(const fs::path& file) {
    // Only a regular file is opened: a pipe or a device could keep the reading waiting or
    // never let it end.
    std::error_code statusError;
    const fs::file_status status = fs::status(file, statusError);
    if (statusError) {
        return {{}, statusError.value()};
    }
    if (fs::is_directory(status)) {
        return {{}, EISDIR};
    }
    if (!fs::is_regular_file(status)) {
        return {{}, EINVAL};
    }
    std::FILE* in = std::fopen(file.c_str(), "rb");
    if (in == nullptr) {
        return {{}, errno != 0 ? errno : EIO};
    }
    FileContent content;
    std::array<char, 1 << 16> buffer;
    size_t count = 0;
    errno = 0;
    while ((count = std::fread(buffer.data(), 1, buffer.size(), in)) > 0) {
        content.bytes.append(buffer.data(), count);
    }
    if (std::ferror(in) != 0) {
        content.error = errno != 0 ? errno : EIO;
        content.bytes.clear();
    }
    std::fclose(in);
    return content;
}

std::string readFailureReason(int error) { return failureReason(readFailureReasons, error); }

std::optional<std::string> readFileBytes(const fs::path& file) {
    FileContent content = readWholeFile(file);
    if (content.error != 0) {
        return std::nullopt;
    }
    return std::move(content.bytes);
}

std::optional<std::vector<std::string>> readTextLines(const fs::path& file) {
    auto content = readFileBytes(file);
    if (!content) {
        return std::nullopt;
    }
    return splitLines(asCp1250(std::move(*content)));
}

void stopOnWriteFailure(RunContext& context, const fs::path& file, int error) {
    const std::string text = cp1250(" *** Błąd zapisu pliku <") + file.filename().string() +
                             ">: " + failureReason(writeFailureReasons, error) + "\n" +
                             cp1250("     OBLICZENIA PRZERWANO - raporty są niepełne");
    context.inform(text);
    throw Stop(StopReason::WriteFailed, utf8FromCp1250(text));
}

ReportFile::ReportFile(const fs::path& folder, std::string_view name, RunContext& context)
    : m_path(pathForWriting(folder, name))
    , m_context(&context) {
    m_file.reset(std::fopen(m_path.c_str(), "wb"));
    if (!m_file) {
        fail(errno);
    }
}

void ReportFile::fail(int error) {
    m_file.reset();
    stopOnWriteFailure(*m_context, m_path, error);
}

void ReportFile::write(std::string_view text) {
    if (m_file && std::fwrite(text.data(), 1, text.size(), m_file.get()) != text.size()) {
        fail(errno);
    }
}

void ReportFile::line(std::string_view text) {
    write(text);
    write(lineEnd);
}

void ReportFile::close() {
    if (!m_file) {
        return;
    }
    std::FILE* file = m_file.release();
    int error = std::fflush(file) != 0 || std::ferror(file) != 0 ? errno : 0;
    if (std::fclose(file) != 0 && error == 0) {
        error = errno;
    }
    if (error != 0) {
        stopOnWriteFailure(*m_context, m_path, error);
    }
}

int replaceFile(const fs::path& folder, std::string_view name, std::string_view text) {
    const fs::path target = pathForWriting(folder, name);
    fs::path temporary = target;
    temporary += temporarySuffix;
    std::FILE* file = std::fopen(temporary.c_str(), "wb");
    if (file == nullptr) {
        return errno;
    }
    int error = std::fwrite(text.data(), 1, text.size(), file) != text.size() ||
                        std::fflush(file) != 0
                    ? errno
                    : 0;
    if (std::fclose(file) != 0 && error == 0) {
        error = errno;
    }
    if (error == 0 && std::rename(temporary.c_str(), target.c_str()) != 0) {
        error = errno;
    }
    if (error != 0) {
        std::remove(temporary.c_str());
    }
    return error;
}

} // namespace ptw3
