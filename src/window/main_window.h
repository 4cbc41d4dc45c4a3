// The main window of the desktop program: the top band, the working folder's file
// panels, the option controls, arming, starting and stopping the computation, the
// message list and the status bar, the help windows, the choice of the working
// folder (button, status bar, recent folders, a folder dropped on the window) and the
// import of a field file into a folder. The
// computation runs on a thread of its own (run_controller.h).
#pragma once

#include "common/clock.h"
#include "run/folder_memory.h"
#include "run/program_state.h"
#include "window/run_controller.h"

#include <QString>
#include <QWidget>

#include <filesystem>
#include <memory>
#include <optional>

class QDateEdit;
class QPushButton;
class QToolButton;
class QWindow;

namespace ptw3 {

class FilePanels;
class FolderChoice;
class MessageListView;
class OptionsBox;
class StatusLine;

class MainWindow : public QWidget, private RunView {
public:
    /// @param programFolder where tarvel.ini is looked for first when it can be written there
    /// @param startFolder the working folder when no tarvel.ini names one
    /// @param clock the date shown and the time of the start and end lines
    /// @param userSettingsFolder where tarvel.ini is kept when the program's folder cannot
    ///        be written; empty: nowhere else
    MainWindow(std::filesystem::path programFolder, std::filesystem::path startFolder,
               const Clock& clock, std::filesystem::path userSettingsFolder = {});
    ~MainWindow() override;

    /// The window set-up: working folder, file panels, the choices in memory and the
    /// coordinate system from uklad; leaves the window disarmed. Deferred to the end of a run.
    void setUp();
    /// "INICJUJ PROGRAM": arms the computation.
    void arm();
    /// "OBLICZAJ ": starts the calculation run on the worker thread.
    void startCalculation();

    /// "PRZERWIJ": stops the computation under way; the window stays open.
    void stopCalculation();
    /// Takes the folder as the working folder: remembers it (tarvel.ini) and sets the window
    /// up for it. Nothing happens while a computation runs.
    void chooseWorkingFolder(const std::filesystem::path& folder);
    /// "Folder roboczy…" and a click on the status bar: the folder dialog.
    void chooseFolderInDialog();
    /// "Import…": the import dialog, window-modal; nothing happens while a computation runs.
    void openImport();

    /// True from the start of a run until the worker has finished.
    bool running() const { return m_runs->running(); }

    /// The program's window that has the focus changed (nullptr: none of them, the user
    /// went to another application). Coming back to this window from another window of
    /// the program runs the set-up; coming back from another application does not.
    void focusWindowChanged(QWindow* now);

protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    enum class FocusOrigin { Elsewhere, ThisWindow, OtherWindow };

    void buildTopBand();
    /// The person changed the coordinate-system list: uklad is written.
    void rememberCoordinateSystem();
    void buildMessagesAndButtons(int optionsExtraWidth);
    void openPanel(int index);
    void openSketch();
    void closeLater();
    bool closeEditors();

    // The computation's side, on the window's thread.
    void showMessageLine(int index, const QString& text) override;
    void blankMessageLines(int first, int last) override;
    bool askQuestion(const QString& text) override;
    void showInformation(const QString& text) override;
    void showProgress(const QString& phase, double fraction) override;
    void runFinished(const RunOutcome& outcome) override;

    SettingsPlaces m_places;
    std::filesystem::path m_startFolder;
    /// The folder chosen when no tarvel.ini could keep it: used for this session.
    std::optional<std::filesystem::path> m_unsavedFolder;
    const Clock& m_clock;
    ProgramState m_state;

    std::unique_ptr<FilePanels> m_panels;
    std::unique_ptr<OptionsBox> m_options;
    std::unique_ptr<FolderChoice> m_folderChoice;
    MessageListView* m_memo = nullptr;
    QPushButton* m_arm = nullptr;
    QPushButton* m_compute = nullptr;
    QPushButton* m_stop = nullptr;
    QPushButton* m_close = nullptr;
    QToolButton* m_import = nullptr;
    QDateEdit* m_date = nullptr;
    StatusLine* m_status = nullptr;
    RunController* m_runs = nullptr;

    /// The text the iteration field shows once the run under way has ended.
    std::optional<QString> m_correctedIterations;
    bool m_setUpPending = false;  ///< the window became active during a run
    bool m_closeAfterRun = false; ///< the user chose to abandon the run and end
    bool m_destroying = false;
    FocusOrigin m_focus = FocusOrigin::Elsewhere;
};

} // namespace ptw3
