// The main window of the desktop program: the working folder's file panels,
// the option controls, arming and starting the computation, the message list,
// the help windows. The computation runs on a worker thread; its message lines
// come back to the window as they are written, and its questions and boxes are
// shown by the window while the worker waits for the answer.
#pragma once

#include "common/clock.h"
#include "shell/program_state.h"
#include "shell/working_folder.h"

#include <QWidget>

#include <array>
#include <filesystem>
#include <memory>

class QCheckBox;
class QComboBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QStatusBar;
class QWindow;

namespace ptw3 {

class MainWindow : public QWidget {
public:
    /// @param programFolder where tarvel.ini is looked for
    /// @param startFolder the working folder when tarvel.ini names none
    /// @param clock the date shown and the time of the start and end lines
    MainWindow(std::filesystem::path programFolder, std::filesystem::path startFolder,
               const Clock& clock);
    ~MainWindow() override;

    /// The window set-up: working folder, file panels, option codes and the coordinate
    /// system from uklad; leaves the window disarmed. Deferred to the end of a run.
    void FormCreate();
    /// "INICJUJ PROGRAM": arms the computation.
    void Button1Click();
    /// "OBLICZAJ ": starts the calculation run on the worker thread.
    void BitBtn1Click();
    /// " ZAMKNIJ": closes the window, which ends the program.
    void Button2Click();
    void CheckBox1Click();
    /// The user changed the coordinate-system list: uklad is written.
    void ComboBox6Change();
    /// The help picture: a new general help window.
    void Image2Click();
    /// The "  ?" beside the options: a new options help window.
    void StaticText2Click();
    // One handler per file panel: the panel's file opens in a new editor window.
    void Panel1Click();
    void Panel2Click();
    void Panel3Click();
    void Panel4Click();
    void Panel5Click();
    void Panel6Click();
    void Panel7Click();
    void Panel8Click();
    void Panel9Click();
    void Panel10Click();
    void Panel11Click();
    void Panel12Click();
    void Panel13Click();
    void Panel14Click();
    void Panel15Click();
    void Panel16Click();
    void Panel17Click();
    void Panel18Click();
    void Panel19Click();
    void Panel20Click();
    void Panel21Click();
    void Panel22Click();
    void Panel23Click();

    /// True from the start of a run until the worker has finished.
    bool running() const { return m_run != nullptr; }

    /// The program's window that has the focus changed (nullptr: none of them, the user
    /// went to another application). Coming back to this window from another window of
    /// the program runs the set-up; coming back from another application does not.
    void focusWindowChanged(QWindow* now);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    class WorkerInteraction;
    struct Run;
    enum class FocusOrigin { Elsewhere, ThisWindow, OtherWindow };

    void buildTopBand();
    void buildFilePanels();
    void buildOptions();
    void buildMessagesAndButtons();
    void openPanel(int index);
    void setOptionControlsEnabled(bool enabled);
    void runFinished();
    void closeLater();
    bool closeEditors();

    // Called on the window's thread for the worker.
    void showMessageLine(int index, const QString& text);
    void blankMessageLines(int first, int last);
    bool askQuestion(const QString& text);
    void showInformation(const QString& text);

    std::filesystem::path m_programFolder;
    std::filesystem::path m_startFolder;
    const Clock& m_clock;
    ProgramState m_state;
    std::array<std::filesystem::path, fileSetSize> m_filePaths;

    std::array<QLabel*, fileSetSize> m_panels{};
    QComboBox* m_systemList = nullptr;
    QComboBox* m_principleList = nullptr;
    QComboBox* m_modeList = nullptr;
    QLineEdit* m_iterations = nullptr;
    QCheckBox* m_accelerate = nullptr;
    QRadioButton* m_standard = nullptr;
    QRadioButton* m_turbo = nullptr;
    QPlainTextEdit* m_memo = nullptr;
    QPushButton* m_arm = nullptr;
    QPushButton* m_compute = nullptr;
    QPushButton* m_close = nullptr;
    QDateEdit* m_date = nullptr;
    QStatusBar* m_statusBar = nullptr;
    QLabel* m_statusPanel = nullptr;

    std::unique_ptr<Run> m_run;
    bool m_setUpPending = false;  ///< the window became active during a run
    bool m_closeAfterRun = false; ///< the user chose to abandon the run and end
    bool m_destroying = false;
    FocusOrigin m_focus = FocusOrigin::Elsewhere;
};

} // namespace ptw3
