// Choosing the working folder in the window: the button "Folder roboczy…" opens a
// folder dialog, its arrow drops down the last ten folders chosen, and a folder
// dragged onto the window is taken as well. What follows a choice (remembering it
// and setting the window up for the folder) is the window's business.
#pragma once

#include <QString>

#include <filesystem>
#include <functional>
#include <optional>
#include <vector>

class QMimeData;
class QToolButton;
class QWidget;

namespace ptw3 {

class FolderChoice {
public:
    using Chosen = std::function<void(const std::filesystem::path&)>;
    FolderChoice(QWidget* window, Chosen chosen);

    QToolButton* button() const { return m_button; }
    /// The drop-down of the button: these folders, newest first (those still there).
    void showRecent(const std::vector<std::filesystem::path>& recent);
    /// Opens the folder dialog at `current`; a folder chosen there is handed on.
    void openDialog(const std::filesystem::path& current);
    void setEnabled(bool enabled);

    /// The folder among dragged items: exactly one, a folder of this computer.
    static std::optional<std::filesystem::path> droppedFolder(const QMimeData& data);

private:
    QWidget* m_window;
    Chosen m_chosen;
    QToolButton* m_button = nullptr;
};

} // namespace ptw3
