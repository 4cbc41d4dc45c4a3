#include "shell/main_window.h"

#include "common/encoding.h"
#include "common/run_context.h"
#include "common/stop.h"
#include "shell/calculation_run.h"
#include "shell/coordinate_systems.h"
#include "shell/window_setup.h"
#include "shell/working_folder.h"

#include <QApplication>
#include <QComboBox>
#include <QGridLayout>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>

namespace ptw3 {

namespace {
QString fromUtf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}
} // namespace

MainWindow::MainWindow(std::filesystem::path programFolder, std::filesystem::path startFolder,
                       const Clock& clock)
    : m_programFolder(std::move(programFolder))
    , m_startFolder(std::move(startFolder))
    , m_clock(clock) {
    setObjectName("Form2");
    setWindowTitle(fromUtf8("Wyrównanie ścisłe sieci poziomej - program  ptw3.exe (RPW)  wersja 5.9"));

    auto* central = new QWidget(this);
    auto* layout = new QGridLayout(central);
    m_systemList = new QComboBox(central);
    m_systemList->setObjectName("ComboBox6");
    m_systemList->setEditable(true);
    for (const CoordinateSystemEntry& e : coordinateSystemEntries) {
        m_systemList->addItem(fromUtf8(e.text));
    }
    m_iterations = new QLineEdit("4", central);
    m_iterations->setObjectName("Edit1");
    m_memo = new QPlainTextEdit(central);
    m_memo->setObjectName("Memo1");
    m_memo->setReadOnly(true);
    m_arm = new QPushButton("INICJUJ PROGRAM", central);
    m_arm->setObjectName("Button1");
    m_compute = new QPushButton("OBLICZAJ ", central);
    m_compute->setObjectName("BitBtn1");
    auto* close = new QPushButton(" ZAMKNIJ", central);
    close->setObjectName("Button2");

    layout->addWidget(m_systemList, 0, 0);
    layout->addWidget(m_iterations, 1, 0);
    layout->addWidget(m_memo, 0, 1, 3, 3);
    layout->addWidget(m_arm, 3, 1);
    layout->addWidget(m_compute, 3, 2);
    layout->addWidget(close, 3, 3);
    setCentralWidget(central);
    statusBar()->setObjectName("StatusBar1");

    connect(m_arm, &QPushButton::clicked, this, [this] { Button1Click(); });
    connect(m_compute, &QPushButton::clicked, this, [this] { BitBtn1Click(); });
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    FormCreate();
}

void MainWindow::FormCreate() {
    const WindowSetup setup =
        setUpWindow(m_state, readWorkingFolder(m_programFolder, m_startFolder));
    m_arm->setEnabled(true);
    m_compute->setEnabled(false);
    statusBar()->showMessage(fromUtf8(setup.statusText));
    m_systemList->setCurrentIndex(setup.systemEntry);
}

void MainWindow::Button1Click() {
    m_compute->setEnabled(true);
    m_arm->setEnabled(false);
}

void MainWindow::BitBtn1Click() {
    m_compute->setEnabled(false);
    RunControls controls;
    controls.systemText = m_systemList->currentText().toStdString();
    controls.iterationsText = m_iterations->text().toStdString();
    RunContext context(m_state.messages, *this, m_clock);
    try {
        runCalculation(m_state, controls, context);
    } catch (const Stop&) {
        close();
        return;
    }
    m_iterations->setText(QString::fromStdString(controls.iterationsText));
    m_arm->setEnabled(true);
}

void MainWindow::showMessageList() {
    QStringList lines;
    for (const std::string& line : m_state.messages.lines) {
        lines << fromUtf8(utf8FromCp1250(line));
    }
    m_memo->setPlainText(lines.join('\n'));
}

void MainWindow::message(int32_t /*index*/, const std::string& /*text*/) { showMessageList(); }

void MainWindow::messagesBlanked(int32_t /*first*/, int32_t /*last*/) { showMessageList(); }

bool MainWindow::confirm(const std::string& text) {
    return QMessageBox::question(this, QString(), fromUtf8(text)) == QMessageBox::Yes;
}

void MainWindow::inform(const std::string& text) {
    QMessageBox::information(this, QString(), fromUtf8(text));
}

} // namespace ptw3
