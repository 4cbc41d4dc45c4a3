// The 23 file panels of the main window: each shows whether its file is in the
// working folder (input panels in the tooltip colour, result panels in the window
// colour once their file has been seen) and opens it when clicked. The result
// column has room below its five panels for one more.
#pragma once

#include "shell/working_folder.h"

#include <array>
#include <filesystem>
#include <functional>

class QLabel;
class QWidget;

namespace ptw3 {

class FilePanels {
public:
    /// @param clicks what a click on each panel does, in the order of the file set
    FilePanels(QWidget* window, const std::array<std::function<void()>, fileSetSize>& clicks);

    /// Shows which files exist and takes their paths. A result panel keeps the window colour
    /// once its file has been seen, also when the file is gone.
    void show(const FileSetState& files);
    const std::filesystem::path& path(int index) const;

private:
    std::array<QLabel*, fileSetSize> m_panels{};
    std::array<std::filesystem::path, fileSetSize> m_paths;
};

} // namespace ptw3
