#include "gui/gui_support.h"

#include "common/text_file.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

namespace ptw3::test {

DialogScript::DialogScript(QStringList answers, QString fallback)
    : m_answers(std::move(answers))
    , m_fallback(std::move(fallback)) {
    QObject::connect(&m_timer, &QTimer::timeout, [this] { answerModalDialog(); });
    m_timer.start(10);
}

DialogScript::~DialogScript() {
    m_timer.stop();
}

void DialogScript::answerModalDialog() {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr || !modal->isVisible()) {
        return;
    }
    // A dialog answered already that is still open (a file dialog on a busy machine may let
    // an accept pass before it has looked at its folder) gets the same answer again.
    if (modal == m_answered) {
        answer(modal, m_lastAnswer, m_lastScripted, false);
        return;
    }
    m_answered = modal;
    m_lastScripted = !m_answers.isEmpty();
    m_lastAnswer = m_lastScripted ? m_answers.takeFirst() : m_fallback;
    unscripted += m_lastScripted ? 0 : 1;
    answer(modal, m_lastAnswer, m_lastScripted, true);
}

void DialogScript::answer(QWidget* modal, const QString& answer, bool scripted, bool first) {
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
        if (first) {
            shown.push_back({box->windowTitle(), box->text()});
        }
        for (QAbstractButton* button : box->buttons()) {
            if (button->text().remove(QLatin1Char('&')) == answer) {
                button->click();
                return;
            }
        }
        ADD_FAILURE() << "no button " << answer.toStdString() << " in the box "
                      << box->text().toStdString();
        box->done(QMessageBox::Cancel);
    } else if (auto* files = qobject_cast<QFileDialog*>(modal)) {
        if (first) {
            shown.push_back({files->windowTitle(), QStringLiteral("<file dialog>")});
        }
        if (scripted) {
            // A folder dialog returns the folder it shows when nothing in it is selected.
            // The name is typed into the dialog's own field: selectFile waits for the dialog
            // to have read its folder, which a busy machine may not let it do in time.
            auto* name = files->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            if (files->fileMode() == QFileDialog::Directory) {
                files->setDirectory(answer);
            } else if (name != nullptr) {
                name->setText(answer);
            } else {
                files->selectFile(answer);
            }
            // Queued, so that a box the dialog raises is answered as well.
            QMetaObject::invokeMethod(files, "accept", Qt::QueuedConnection);
        } else {
            files->reject();
        }
    } else if (auto* dialog = qobject_cast<QDialog*>(modal)) {
        if (first) {
            shown.push_back({dialog->windowTitle(), QString()});
        }
        dialog->reject();
    }
}

LocalDateTime GateClock::now() const {
    if (QThread::currentThread() != QCoreApplication::instance()->thread()) {
        std::unique_lock lock(m_mutex);
        m_waiting = true;
        m_changed.wait(lock, [this] { return m_open; });
    }
    return LocalDateTime{2026, 12, 8, 10, 0, 0};
}

void GateClock::open() {
    {
        const std::lock_guard lock(m_mutex);
        m_open = true;
    }
    m_changed.notify_all();
}

bool GateClock::workerWaiting() const {
    const std::lock_guard lock(m_mutex);
    return m_waiting;
}

bool waitUntil(const std::function<bool()>& condition) {
    return QTest::qWaitFor(condition, 20000);
}

bool activate(QWidget* window) {
    window->activateWindow();
    return waitUntil([window] { return QGuiApplication::focusWindow() == window->windowHandle(); });
}

std::filesystem::path testData(const std::string& name) {
    return std::filesystem::path(PTW3_TEST_DATA_DIR) / name;
}

void copyTestData(const std::string& name, const TempFolder& folder) {
    folder.copyFilesOf(testData(name));
}

std::vector<std::string> testDataLines(const std::string& name, const std::string& file) {
    std::vector<std::string> lines;
    for (const std::string& line : splitLines(readFileBytes(testData(name) / file).value_or(""))) {
        lines.push_back(line);
    }
    return lines;
}

} // namespace ptw3::test
