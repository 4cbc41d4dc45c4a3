// The working folder the person chose, and the last ten chosen, kept in tarvel.ini
// (section "General", key "path"; section "RecentFolders", keys "folder1" to
// "folder10"). The file beside the program is used when that place can be written
// (a copy of the program in a folder of its own); otherwise, as for a program installed
// for the whole system, the file in the user's configuration folder. The place a choice
// is written to is also read first, so a choice is never hidden by the other file.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ptw3 {

inline constexpr size_t recentFolderLimit = 10;

/// Where tarvel.ini is looked for.
struct SettingsPlaces {
    std::filesystem::path programFolder; ///< the folder of the program file
    std::filesystem::path userFolder;    ///< the user's configuration folder; empty: none
};

/// What a tarvel.ini remembers.
struct FolderMemory {
    std::optional<std::filesystem::path> folder; ///< the working folder
    std::vector<std::filesystem::path> recent;   ///< the last folders chosen, newest first
};

/// The value of a key in a section of an INI text (section and key names without regard to
/// case, blanks around the value and enclosing quotes removed), or nothing when the section,
/// the key or a non-empty value is missing.
std::optional<std::string> iniValue(std::string_view iniText, std::string_view section,
                                    std::string_view key);

/// The memory of an INI text; values that are not UTF-8 are read as Windows-1250.
FolderMemory parseFolderMemory(std::string_view iniText);

/// The INI text with the working folder and the recent folders replaced and every other
/// section, key and comment kept; CR LF line ends.
std::string withFolderMemory(std::string_view iniText, const FolderMemory& memory);

/// The recent folders with `chosen` first, each folder once, at most ten.
std::vector<std::filesystem::path> withRecentFolder(std::vector<std::filesystem::path> recent,
                                                    const std::filesystem::path& chosen);

/// The tarvel.ini files in the order they are read: first the one a choice is written to.
std::vector<std::filesystem::path> settingsFilesInReadOrder(const SettingsPlaces& places);

/// The memory of the first file in read order that names a working folder.
FolderMemory readFolderMemory(const SettingsPlaces& places);

/// The working folder remembered, else the folder the program started in.
std::filesystem::path readWorkingFolder(const SettingsPlaces& places,
                                        const std::filesystem::path& startFolder);

/// Remembers a chosen folder with the recent list: in tarvel.ini beside the program when
/// that place can be written, else in the user's configuration folder (created when
/// missing). Returns the file written, or nothing when neither place could take it or the
/// folder's name cannot be written in an INI file (a line break in it).
std::optional<std::filesystem::path> rememberFolder(const SettingsPlaces& places,
                                                    const std::filesystem::path& chosen);

/// The program's folder in the user's configuration: $XDG_CONFIG_HOME/ptw3, else
/// $HOME/.config/ptw3; empty when neither variable is set.
std::filesystem::path userSettingsFolder();

} // namespace ptw3
