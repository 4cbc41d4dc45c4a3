#include "common/text_file.h"

#include "common/encoding.h"
#include "common/folder_files.h"

#include <fstream>
#include <iterator>

namespace ptw3 {
namespace fs = std::filesystem;

namespace {
constexpr std::string_view utf8ByteOrderMark = "\xEF\xBB\xBF";
constexpr std::string_view lineEnd = "\r\n";
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

std::optional<std::string> readFileBytes(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) {
        return std::nullopt;
    }
    return content;
}

std::optional<std::vector<std::string>> readTextLines(const fs::path& file) {
    auto content = readFileBytes(file);
    if (!content) {
        return std::nullopt;
    }
    return splitLines(asCp1250(std::move(*content)));
}

ReportFile::ReportFile(const fs::path& folder, std::string_view name)
    : m_file(std::fopen(pathForWriting(folder, name).c_str(), "wb")) {}

void ReportFile::write(std::string_view text) {
    if (m_file) {
        std::fwrite(text.data(), 1, text.size(), m_file.get());
    }
}

void ReportFile::line(std::string_view text) {
    write(text);
    write(lineEnd);
}

void ReportFile::close() { m_file.reset(); }

} // namespace ptw3
