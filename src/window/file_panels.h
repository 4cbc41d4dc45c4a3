// The 25 file panels of the main window: each shows whether its file is in the
// working folder (input panels in the tooltip colour, result panels in the window
// colour once their file has been seen) and opens it when clicked. Below the seven
// reports, the panel of the network sketch, armed like them once wyniki.json is there.
#pragma once

#include "run/working_folder.h"

#include <array>
#include <filesystem>
#include <functional>

class QLabel;
class QWidget;

namespace ptw3 {

class FilePanels {
public:
    /// @param clicks what a click on each panel does, in the order of the file set
    /// @param sketchClick what a click on the sketch panel does
    FilePanels(QWidget* window, const std::array<std::function<void()>, fileSetSize>& clicks,
               std::function<void()> sketchClick);

    /// Shows which files exist and takes their paths. A result panel keeps the window colour
    /// once its file has been seen, also when the file is gone; so does the sketch panel
    /// for the folder's wyniki.json.
    void show(const FileSetState& files, const std::filesystem::path& folder);
    const std::filesystem::path& path(int index) const;

private:
    std::array<QLabel*, fileSetSize> m_panels{};
    QLabel* m_sketch = nullptr;
    std::array<std::filesystem::path, fileSetSize> m_paths;
};

} // namespace ptw3
