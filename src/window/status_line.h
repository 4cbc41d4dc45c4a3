// The status bar of the main window: the working folder (a click on it chooses
// another), and while a computation runs its phase, a progress bar and the time
// since it started; the time of the last computation stays after its end.
#pragma once

#include <QElapsedTimer>
#include <QStatusBar>
#include <QTimer>

#include <functional>

class QLabel;
class QProgressBar;

namespace ptw3 {

class StatusLine : public QStatusBar {
public:
    /// @param folderClicked what a click on the working folder does
    StatusLine(QWidget* parent, std::function<void()> folderClicked);

    /// " Folder roboczy = " and the folder; a long folder is shortened in its middle.
    void setFolderText(const QString& text);
    void startRun();
    /// The phase (UTF-8 name) has done the fraction (0 to 1) of its work.
    void showProgress(const QString& phase, double fraction);
    void endRun();

private:
    void showElapsed();

    QLabel* m_folder = nullptr;
    QLabel* m_phase = nullptr;
    QProgressBar* m_bar = nullptr;
    QLabel* m_elapsed = nullptr;
    QElapsedTimer m_clock;
    QTimer m_tick;
};

} // namespace ptw3
