// The main window's set-up, without the drawing: it runs when the window opens
// and whenever it becomes active again, re-reading the working folder's files
// and restoring the coordinate system from uklad.
#pragma once

#include "run/program_state.h"
#include "run/working_folder.h"

#include <filesystem>
#include <string>

namespace ptw3 {

struct WindowSetup {
    std::string statusText; ///< " Folder roboczy = " and the folder (UTF-8)
    FileSetState files;
    int32_t systemEntry = 0; ///< the entry of the coordinate-system list to show
};

/// Takes the working folder, marks the files present, resets the system, zone, principle
/// and analysis-mode codes and restores the system from uklad (never writing it).
WindowSetup setUpWindow(ProgramState& state, const std::filesystem::path& workingFolder);

} // namespace ptw3
