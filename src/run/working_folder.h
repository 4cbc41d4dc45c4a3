// The working folder and its file set. The folder is named by key "path" of
// section "General" in tarvel.ini beside the program; the 25 files the window
// shows are looked up in it without regard to letter case. Taking a folder resets
// the choices kept in memory and restores its coordinate system.
#pragma once

#include "run/program_state.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace ptw3 {

inline constexpr std::string_view settingsFileName = "tarvel.ini";

/// The value of key "path" in section "General" of an INI text (section and key names
/// without regard to case, blanks around the value and enclosing quotes removed), or
/// nothing when the section, the key or a non-empty value is missing.
std::optional<std::string> iniWorkingFolder(std::string_view iniText);

/// The working folder: tarvel.ini's path in the program's folder, else the current folder
/// the program started in. A value that is not UTF-8 is read as Windows-1250.
std::filesystem::path readWorkingFolder(const std::filesystem::path& programFolder,
                                        const std::filesystem::path& startFolder);

/// Takes the folder as the working folder of the state: the principle and the analysis mode
/// go back to their defaults and the coordinate system is restored from the folder's uklad
/// (never writing it). Returns the entry of the coordinate-system list to show.
int32_t useWorkingFolder(ProgramState& state, const std::filesystem::path& folder);

/// The folder of the running program file.
std::filesystem::path programFolder();

/// The status bar text: " Folder roboczy = " and the folder (UTF-8).
std::string workingFolderStatus(const std::filesystem::path& folder);

enum class FileGroup { Input, Result };
enum class CaptionColour { Maroon, Navy, WindowText, Green };

struct FileSetEntry {
    std::string_view fileName; ///< looked up without regard to case
    std::string_view panel;    ///< the panel's object name
    std::string_view caption;
    FileGroup group;
    CaptionColour colour;
};

inline constexpr int32_t fileSetSize = 25;

// clang-format off
inline constexpr std::array<FileSetEntry, fileSetSize> fileSet = {{
    {"dlugosci",     "Panel1",  "DLUGOSCI",           FileGroup::Input,  CaptionColour::Maroon},
    {"katy",         "Panel2",  "KATY",               FileGroup::Input,  CaptionColour::Maroon},
    {"kierunki",     "Panel3",  "KIERUNKI",           FileGroup::Input,  CaptionColour::Maroon},
    {"azymuty",      "Panel4",  "AZYMUTY",            FileGroup::Input,  CaptionColour::Maroon},
    {"azymuty.gps",  "Panel5",  "AZYMUTY.gps",        FileGroup::Input,  CaptionColour::Navy},
    {"limbus",       "Panel6",  "Limbus",             FileGroup::Input,  CaptionColour::Maroon},
    {"xy.sta",       "Panel7",  "XY.sta",             FileGroup::Input,  CaptionColour::WindowText},
    {"xyh.sta",      "Panel8",  "XYH.sta",            FileGroup::Input,  CaptionColour::WindowText},
    {"xy.prz",       "Panel9",  "XY.prz",             FileGroup::Input,  CaptionColour::WindowText},
    {"h.prz",        "Panel10", "H.prz",              FileGroup::Input,  CaptionColour::WindowText},
    {"kierunki.gps", "Panel11", "KIERUNKI.gps",       FileGroup::Input,  CaptionColour::Navy},
    {"dalmierz",     "Panel12", "Dalmierz",           FileGroup::Input,  CaptionColour::Maroon},
    {"redukcje",     "Panel13", "redukcje",           FileGroup::Input,  CaptionColour::WindowText},
    {"rpw.ptw",      "Panel14", "RPW.ptw",            FileGroup::Result, CaptionColour::Green},
    {"xy.ptw",       "Panel15", "XY.ptw",             FileGroup::Result, CaptionColour::Green},
    {"er3a.ptw",     "Panel16", "ER3a.ptw",           FileGroup::Result, CaptionColour::Green},
    {"dxdy.ptw",     "Panel17", "DXDY.ptw",           FileGroup::Result, CaptionColour::Green},
    {"er3.ptw",      "Panel18", "ER3.ptw",            FileGroup::Result, CaptionColour::Green},
    {"katy.b",       "Panel19", "KATY.b",             FileGroup::Input,  CaptionColour::WindowText},
    {"kierunki.mod", "Panel20", "KIERUNKI.mod",       FileGroup::Input,  CaptionColour::Maroon},
    {"kierunki.ort", "Panel21", "KIERUNKI.ort",       FileGroup::Input,  CaptionColour::Maroon},
    {"dlugosci.gps", "Panel22", "  DLUGOSCI.gps  ",   FileGroup::Input,  CaptionColour::Navy},
    {"dlugosci.b",   "Panel23", "DLUGOSCI.b",         FileGroup::Input,  CaptionColour::Maroon},
    {"kontrola.ptw", "Panel24", "KONTROLA.ptw",       FileGroup::Result, CaptionColour::Green},
    {"projekt.ptw",  "Panel25", "PROJEKT.ptw",        FileGroup::Result, CaptionColour::Green},
}};
// clang-format on

struct FileSetState {
    std::array<std::filesystem::path, fileSetSize> paths; ///< the file found, else folder/name
    std::array<int32_t, fileSetSize> present{};           ///< 1 when the file exists
};

/// Looks up the 25 files of the set in the folder.
FileSetState scanFileSet(const std::filesystem::path& folder);

} // namespace ptw3
