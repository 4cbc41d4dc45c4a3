#include "shell/working_folder.h"

#include "common/encoding.h"
#include "common/folder_files.h"
#include "common/text_file.h"

#include <system_error>

namespace ptw3 {
namespace fs = std::filesystem;

namespace {

std::string_view trim(std::string_view s) {
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!s.empty() && blank(s.front())) {
        s.remove_prefix(1);
    }
    while (!s.empty() && blank(s.back())) {
        s.remove_suffix(1);
    }
    return s;
}

} // namespace

std::optional<std::string> iniWorkingFolder(std::string_view iniText) {
    bool inGeneral = false;
    for (const std::string& rawLine : splitLines(iniText)) {
        const std::string_view line = trim(rawLine);
        if (line.starts_with('[')) {
            const size_t close = line.find(']');
            inGeneral = close != std::string_view::npos &&
                        equalNoCase(trim(line.substr(1, close - 1)), "General");
            continue;
        }
        const size_t equals = line.find('=');
        if (!inGeneral || line.starts_with(';') || equals == std::string_view::npos ||
            !equalNoCase(trim(line.substr(0, equals)), "path")) {
            continue;
        }
        std::string_view value = trim(line.substr(equals + 1));
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
            value.back() == value.front()) {
            value = value.substr(1, value.size() - 2);
        }
        if (value.empty()) {
            return std::nullopt;
        }
        return std::string(value);
    }
    return std::nullopt;
}

fs::path readWorkingFolder(const fs::path& programFolder, const fs::path& startFolder) {
    const auto ini = findFileNoCase(programFolder, settingsFileName);
    const auto text = ini ? readFileBytes(*ini) : std::nullopt;
    const auto value = text ? iniWorkingFolder(*text) : std::nullopt;
    if (!value) {
        return startFolder;
    }
    return fs::path(isValidUtf8(*value) ? *value : utf8FromCp1250(*value));
}

fs::path programFolder() {
    std::error_code error;
    const fs::path program = fs::read_symlink("/proc/self/exe", error);
    return error ? fs::current_path(error) : program.parent_path();
}

std::string workingFolderStatus(const fs::path& folder) {
    return " Folder roboczy = " + folder.string();
}

FileSetState scanFileSet(const fs::path& folder) {
    FileSetState state;
    for (size_t i = 0; i < fileSet.size(); ++i) {
        const auto found = findFileNoCase(folder, fileSet[i].fileName);
        state.present[i] = found ? 1 : 0;
        state.paths[i] = found.value_or(folder / fs::path(std::string(fileSet[i].fileName)));
    }
    return state;
}

} // namespace ptw3
