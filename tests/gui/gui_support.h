// Helpers of the window tests: dialogs answered from a script (a test never
// waits on a modal dialog), a clock that holds the computation's thread, and
// working folders copied from the test data.
#pragma once

#include "common/clock.h"
#include "test_support.h"

#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QWidget>

#include <condition_variable>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace ptw3::test {

/// Answers every modal dialog that appears while it lives. Each answer is the caption of
/// the button to press ("Tak", "Nie", "OK", "Anuluj"), or for a file or folder dialog the
/// path to choose. A dialog beyond the script is pressed with `fallback` (a file dialog is
/// cancelled) and counted in `unscripted`.
class DialogScript {
public:
    explicit DialogScript(QStringList answers = {}, QString fallback = QStringLiteral("Nie"));
    ~DialogScript();
    DialogScript(const DialogScript&) = delete;
    DialogScript& operator=(const DialogScript&) = delete;

    struct Shown {
        QString title;
        QString text;
    };
    std::vector<Shown> shown;
    int unscripted = 0;

private:
    void answerModalDialog();
    /// Gives the answer; `first` when the dialog has not been answered before.
    void answer(QWidget* modal, const QString& answer, bool scripted, bool first);

    QTimer m_timer;
    QPointer<QWidget> m_answered; ///< the dialog answered last, while it exists
    QString m_lastAnswer;         ///< and its answer
    bool m_lastScripted = false;
    QStringList m_answers;
    QString m_fallback;
};

/// A fixed moment that the computation's thread reads only when the test opens the gate;
/// the window's own thread reads it at once.
class GateClock : public Clock {
public:
    LocalDateTime now() const override;
    void open();
    /// True once the computation's thread waits at the gate.
    bool workerWaiting() const;

private:
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    mutable bool m_waiting = false;
    bool m_open = false;
};

/// Processes events until the condition holds or 20 s have passed.
bool waitUntil(const std::function<bool()>& condition);

/// Makes the window the focus window of the program and waits until it is.
bool activate(QWidget* window);

/// Copies the files of tests/data/<name> into the folder.
void copyTestData(const std::string& name, const TempFolder& folder);

/// The path of tests/data/<name>.
std::filesystem::path testData(const std::string& name);

/// The UTF-8 text of a file of tests/data/<name> split into lines.
std::vector<std::string> testDataLines(const std::string& name, const std::string& file);

} // namespace ptw3::test
