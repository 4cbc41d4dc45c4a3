#include "run/folder_memory.h"

#include "common/encoding.h"
#include "common/folder_files.h"
#include "common/text_file.h"
#include "run/working_folder.h"

#include <algorithm>
#include <cstdlib>
#include <system_error>
#include <unistd.h>

namespace ptw3 {
namespace fs = std::filesystem;

namespace {

constexpr std::string_view generalSection = "General";
constexpr std::string_view folderKey = "path";
constexpr std::string_view recentSection = "RecentFolders";
constexpr std::string_view recentKeyPrefix = "folder";

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

/// The section a line opens, or nothing when it opens none.
std::optional<std::string_view> sectionOf(std::string_view line) {
    line = trim(line);
    if (!line.starts_with('[')) {
        return std::nullopt;
    }
    const size_t close = line.find(']');
    return close == std::string_view::npos ? std::string_view() : trim(line.substr(1, close - 1));
}

/// The key of a "key = value" line, or nothing for a comment or another line.
std::optional<std::string_view> keyOf(std::string_view line) {
    line = trim(line);
    const size_t equals = line.find('=');
    if (line.starts_with(';') || equals == std::string_view::npos) {
        return std::nullopt;
    }
    return trim(line.substr(0, equals));
}

// "/dane/siec", "/dane/siec/" and "/dane/./siec" name one folder.
bool sameFolder(const fs::path& a, const fs::path& b) {
    const auto normal = [](const fs::path& p) {
        fs::path n = p.lexically_normal();
        return n.has_filename() || n == n.root_path() ? n : n.parent_path();
    };
    return normal(a) == normal(b);
}

fs::path folderFromIni(const std::string& value) {
    return fs::path(isValidUtf8(value) ? value : utf8FromCp1250(value));
}

// Quotes keep blanks at the ends of a folder's name, which the reader would otherwise trim.
std::string iniLine(std::string_view key, const fs::path& folder) {
    const std::string value = folder.string();
    const bool quoted =
        !value.empty() && (value.front() == ' ' || value.front() == '\t' || value.back() == ' ' ||
                           value.back() == '\t' || value.front() == '"' || value.front() == '\'');
    return std::string(key) + "=" + (quoted ? "\"" + value + "\"" : value);
}

bool canWrite(const fs::path& place) {
    std::error_code error;
    if (place.empty() || !fs::is_directory(place, error) || access(place.c_str(), W_OK) != 0) {
        return false;
    }
    const auto existing = findFileNoCase(place, settingsFileName);
    return !existing || access(existing->c_str(), W_OK) == 0;
}

// Written beside and renamed over the old file, so a failed write leaves that file whole.
bool writeSettings(const fs::path& place, const FolderMemory& memory) {
    std::error_code error;
    fs::create_directories(place, error);
    const auto old = readFileBytes(pathForWriting(place, settingsFileName));
    return replaceFile(place, settingsFileName, withFolderMemory(old.value_or(""), memory)) == 0;
}

} // namespace

std::optional<std::string> iniValue(std::string_view iniText, std::string_view section,
                                    std::string_view key) {
    bool inSection = false;
    for (const std::string& line : splitLines(iniText)) {
        if (const auto opened = sectionOf(line)) {
            inSection = equalNoCase(*opened, section);
            continue;
        }
        const auto lineKey = keyOf(line);
        if (!inSection || !lineKey || !equalNoCase(*lineKey, key)) {
            continue;
        }
        std::string_view value = trim(std::string_view(line).substr(line.find('=') + 1));
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

FolderMemory parseFolderMemory(std::string_view iniText) {
    FolderMemory memory;
    if (const auto value = iniValue(iniText, generalSection, folderKey)) {
        memory.folder = folderFromIni(*value);
    }
    for (size_t i = 1; i <= recentFolderLimit; ++i) {
        const std::string key = std::string(recentKeyPrefix) + std::to_string(i);
        if (const auto value = iniValue(iniText, recentSection, key)) {
            const fs::path folder = folderFromIni(*value);
            if (std::none_of(memory.recent.begin(), memory.recent.end(),
                             [&](const fs::path& p) { return sameFolder(p, folder); })) {
                memory.recent.push_back(folder);
            }
        }
    }
    return memory;
}

std::string withFolderMemory(std::string_view iniText, const FolderMemory& memory) {
    std::vector<std::string> lines;
    std::string_view section;
    bool generalSeen = false;
    bool folderWritten = !memory.folder;
    for (const std::string& line : splitLines(iniText)) {
        if (const auto opened = sectionOf(line)) {
            section = *opened;
            if (equalNoCase(section, recentSection)) {
                continue;
            }
            lines.push_back(line);
            if (equalNoCase(section, generalSection) && !generalSeen && !folderWritten) {
                lines.push_back(iniLine(folderKey, *memory.folder));
                folderWritten = true;
            }
            generalSeen = generalSeen || equalNoCase(section, generalSection);
            continue;
        }
        const auto key = keyOf(line);
        const bool oldFolder =
            equalNoCase(section, generalSection) && key && equalNoCase(*key, folderKey);
        if (equalNoCase(section, recentSection) || (oldFolder && memory.folder)) {
            continue;
        }
        lines.push_back(line);
    }
    if (!folderWritten) {
        lines.insert(lines.begin(), {"[General]", iniLine(folderKey, *memory.folder)});
    }
    if (!memory.recent.empty()) {
        lines.push_back("[" + std::string(recentSection) + "]");
        for (size_t i = 0; i < memory.recent.size() && i < recentFolderLimit; ++i) {
            lines.push_back(
                iniLine(std::string(recentKeyPrefix) + std::to_string(i + 1), memory.recent[i]));
        }
    }
    std::string text;
    for (const std::string& line : lines) {
        text += line + "\r\n";
    }
    return text;
}

std::vector<fs::path> withRecentFolder(std::vector<fs::path> recent, const fs::path& chosen) {
    recent.erase(std::remove_if(recent.begin(), recent.end(),
                                [&](const fs::path& p) { return sameFolder(p, chosen); }),
                 recent.end());
    recent.insert(recent.begin(), chosen);
    if (recent.size() > recentFolderLimit) {
        recent.resize(recentFolderLimit);
    }
    return recent;
}

std::vector<fs::path> settingsFilesInReadOrder(const SettingsPlaces& places) {
    std::vector<fs::path> order = {places.programFolder};
    if (!places.userFolder.empty()) {
        if (canWrite(places.programFolder)) {
            order.push_back(places.userFolder);
        } else {
            order.insert(order.begin(), places.userFolder);
        }
    }
    std::vector<fs::path> files;
    for (const fs::path& place : order) {
        files.push_back(findFileNoCase(place, settingsFileName)
                            .value_or(place / std::string(settingsFileName)));
    }
    return files;
}

FolderMemory readFolderMemory(const SettingsPlaces& places) {
    for (const fs::path& file : settingsFilesInReadOrder(places)) {
        if (const auto text = readFileBytes(file)) {
            FolderMemory memory = parseFolderMemory(*text);
            if (memory.folder) {
                return memory;
            }
        }
    }
    return {};
}

fs::path readWorkingFolder(const SettingsPlaces& places, const fs::path& startFolder) {
    return readFolderMemory(places).folder.value_or(startFolder);
}

std::optional<fs::path> rememberFolder(const SettingsPlaces& places, const fs::path& chosen) {
    const std::string name = chosen.string();
    if (name.find_first_of("\r\n") != std::string::npos) {
        return std::nullopt;
    }
    FolderMemory memory = readFolderMemory(places);
    memory.folder = chosen;
    memory.recent = withRecentFolder(std::move(memory.recent), chosen);
    for (const fs::path& place : {places.programFolder, places.userFolder}) {
        if (place.empty() || (place == places.programFolder && !canWrite(place))) {
            continue;
        }
        if (writeSettings(place, memory)) {
            return pathForWriting(place, settingsFileName);
        }
    }
    return std::nullopt;
}

fs::path userSettingsFolder() {
    const char* configHome = std::getenv("XDG_CONFIG_HOME");
    if (configHome != nullptr && fs::path(configHome).is_absolute()) {
        return fs::path(configHome) / "ptw3";
    }
    const char* home = std::getenv("HOME");
    if (home != nullptr && *home != '\0') {
        return fs::path(home) / ".config" / "ptw3";
    }
    return {};
}

} // namespace ptw3
