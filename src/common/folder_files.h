// File names in the working folder are matched without regard to letter case,
// as the surveyors' original file system does: reading "KATY" finds "katy", and
// writing "rpw.ptw" overwrites an existing "RPW.ptw" instead of adding a second file.
#pragma once

#include <filesystem>
#include <optional>
#include <string_view>

namespace ptw3 {

/// The existing regular file of the folder whose name equals the given name up to ASCII
/// letter case; the exact name wins, else the first match in byte order of the names.
std::optional<std::filesystem::path> findFileNoCase(const std::filesystem::path& folder,
                                                    std::string_view name);

/// The file findFileNoCase finds, else any other entry of the folder with that name up to
/// ASCII letter case (a folder, a device, a link that leads nowhere): where an input file of
/// that name would be read from, so that one that cannot be read is not taken as absent.
std::optional<std::filesystem::path> findEntryNoCase(const std::filesystem::path& folder,
                                                     std::string_view name);

/// The path to create or overwrite for the given name: the existing entry of that name in
/// any letter case (findEntryNoCase: a folder of that name fails the write rather than get a
/// file beside it), else the name as given in the folder.
std::filesystem::path pathForWriting(const std::filesystem::path& folder, std::string_view name);

/// Removes every regular file of the folder whose name equals the given name up to ASCII
/// letter case; a file that cannot be removed is left.
void removeFileNoCase(const std::filesystem::path& folder, std::string_view name);

/// True when the two names are equal up to ASCII letter case.
bool equalNoCase(std::string_view a, std::string_view b);

} // namespace ptw3
