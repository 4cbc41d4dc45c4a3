// The main window of the desktop program: working folder, option controls,
// arming and starting the computation, the message list.
#pragma once

#include "common/clock.h"
#include "common/user_interaction.h"
#include "shell/program_state.h"

#include <QMainWindow>

#include <filesystem>

class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace ptw3 {

class MainWindow : public QMainWindow, public UserInteraction {
public:
    /// @param programFolder where tarvel.ini is looked for
    MainWindow(std::filesystem::path programFolder, std::filesystem::path startFolder,
               const Clock& clock);

    void FormCreate();
    void Button1Click();
    void BitBtn1Click();

    void message(int32_t index, const std::string& text) override;
    void messagesBlanked(int32_t first, int32_t last) override;
    bool confirm(const std::string& text) override;
    void inform(const std::string& text) override;

private:
    void showMessageList();

    std::filesystem::path m_programFolder;
    std::filesystem::path m_startFolder;
    const Clock& m_clock;
    ProgramState m_state;

    QComboBox* m_systemList;
    QLineEdit* m_iterations;
    QPlainTextEdit* m_memo;
    QPushButton* m_arm;
    QPushButton* m_compute;
};

} // namespace ptw3
