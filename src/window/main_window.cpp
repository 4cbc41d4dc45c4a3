#include "window/main_window.h"

#include "editor/editor_window.h"
#include "editor/fonts.h"
#include "help/help_window.h"
#include "run/uklad.h"
#include "run/working_folder.h"
#include "sketch/sketch_view.h"
#include "window/file_panels.h"
#include "window/folder_choice.h"
#include "window/import_dialog.h"
#include "window/message_list_view.h"
#include "window/options_box.h"
#include "window/status_line.h"
#include "window/window_pictures.h"
#include "window/window_style.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDateEdit>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFrame>
#include <QLabel>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QStyle>
#include <QToolButton>
#include <QWindow>

namespace ptw3 {
namespace {

constexpr int clientWidth = 815;
constexpr int clientHeight = 606;
constexpr int statusBarHeight = 38;

/// The date is shown the Polish way whatever the language of the system.
constexpr const char* dateFormat = "dd.MM.yyyy";

} // namespace

MainWindow::MainWindow(std::filesystem::path programFolder, std::filesystem::path startFolder,
                       const Clock& clock, std::filesystem::path userSettingsFolder)
    : m_places{std::move(programFolder), std::move(userSettingsFolder)}
    , m_startFolder(std::move(startFolder))
    , m_clock(clock) {
    setObjectName("Form2");
    setWindowTitle(
        fromUtf8("Wyrównanie ścisłe sieci poziomej - program  ptw3.exe (RPW)  wersja 5.9"));
    setFont(msSansSerif(8));
    setFixedSize(clientWidth, clientHeight);
    move(294, 177);
    setAcceptDrops(true);

    buildTopBand();
    std::array<std::function<void()>, fileSetSize> panelClicks;
    for (size_t i = 0; i < panelClicks.size(); ++i) {
        panelClicks[i] = [this, i] { openPanel(static_cast<int>(i)); };
    }
    m_panels = std::make_unique<FilePanels>(this, panelClicks, [this] { openSketch(); });
    m_options = std::make_unique<OptionsBox>(
        this, OptionsBox::Handlers{[this] { rememberCoordinateSystem(); },
                                   [this] { openOptionsHelp(this); }});
    buildMessagesAndButtons(m_options->extraWidth());
    m_runs = new RunController(this, *this, m_state, m_clock);

    connect(qApp, &QGuiApplication::focusWindowChanged, this, &MainWindow::focusWindowChanged);
    setUp();
}

MainWindow::~MainWindow() {
    m_destroying = true;
    m_runs->abandonAndWait();
}

void MainWindow::buildTopBand() {
    auto* logo = new QLabel(this);
    place(logo, {16, 0, 105, 89});
    logo->setPixmap(logoPicture(QSize(105, 89)));

    auto* band = new QFrame(this);
    band->setFrameStyle(QFrame::Panel | QFrame::Raised);
    place(band, {128, 0, 673, 89});

    auto* help = new ClickLabel(QString(), this, [this] { openGeneralHelp(this); });
    help->setObjectName("Image2");
    place(help, {144, 32, 94, 41});
    help->setPixmap(helpPicture(QSize(94, 41)));
    help->setCursor(Qt::PointingHandCursor);

    auto* banner = new QLabel(
        fromUtf8("ptw3  —  programy do obliczeń geodezyjnych osnów poziomych"), this);
    place(banner, {256, 8, 534, 17});
    setTextColour(banner, navy);

    auto* title = new QLabel(fromUtf8(" WYRÓWNANIE ŚCISŁE SIECI POZIOMEJ "), this);
    place(title, {256, 24, 360, 24});
    title->setFont(boldFont(font(), 12));

    auto* helpPointer = new QLabel(fromUtf8("<---- czytaj opis "), this);
    place(helpPointer, {244, 58, 150, 17});

    m_date = new QDateEdit(this);
    m_date->setObjectName("DateTimePicker1");
    place(m_date, {424, 56, 113, 21});
    m_date->setLocale(QLocale(QLocale::Polish, QLocale::Poland));
    m_date->setDisplayFormat(QString::fromLatin1(dateFormat));
    m_date->setReadOnly(true);
    m_date->setButtonSymbols(QAbstractSpinBox::NoButtons);
    m_date->setFocusPolicy(Qt::NoFocus);
    setTextColour(m_date, green);

    auto* capacity = new QLabel(fromUtf8("Maksymalna liczba punktów sieci:  20 000 "), this);
    place(capacity, {544, 50, 254, 17});
    auto* integration =
        new QLabel(fromUtf8("Integracja pomiarów klasycznych z wektorami GPS "), this);
    place(integration, {544, 67, 254, 17});
    for (QWidget* caption : std::initializer_list<QWidget*>{banner, title, capacity, integration}) {
        fitToWidth(caption);
    }
}

// The message list, the box of the pre-analysis under it and the button under them give way
// to the right when the option box had to grow for its lists.
void MainWindow::buildMessagesAndButtons(int optionsExtraWidth) {
    const int extra = optionsExtraWidth;
    m_memo = new MessageListView(this);
    place(m_memo, {232 + extra, 208, 441 - extra, 213});
    m_options->placePlanBox({232 + extra, 428, 441 - extra, 69});

    m_arm = new QPushButton(fromUtf8("INICJUJ PROGRAM"), this);
    m_arm->setObjectName("Button1");
    place(m_arm, {272 + extra, 512, 169 - extra, 41});
    m_compute =
        new QPushButton(style()->standardIcon(QStyle::SP_MediaPlay), fromUtf8("OBLICZAJ "), this);
    m_compute->setObjectName("BitBtn1");
    place(m_compute, {480, 512, 193, 41});
    // While a computation runs, its stop button takes the place of the compute button.
    m_stop =
        new QPushButton(style()->standardIcon(QStyle::SP_MediaStop), fromUtf8("PRZERWIJ"), this);
    m_stop->setObjectName("StopButton");
    place(m_stop, {480, 512, 193, 41});
    m_stop->hide();
    m_close = new QPushButton(fromUtf8(" ZAMKNIJ"), this);
    m_close->setObjectName("Button2");
    place(m_close, {696, 512, 105, 41});
    connect(m_arm, &QPushButton::clicked, this, [this] { arm(); });
    connect(m_compute, &QPushButton::clicked, this, [this] { startCalculation(); });
    connect(m_stop, &QPushButton::clicked, this, [this] { stopCalculation(); });
    connect(m_close, &QPushButton::clicked, this, [this] { close(); });

    m_status = new StatusLine(this, [this] { chooseFolderInDialog(); });
    place(m_status, {0, clientHeight - statusBarHeight, clientWidth, statusBarHeight});
    m_folderChoice = std::make_unique<FolderChoice>(
        this, [this](const std::filesystem::path& folder) { chooseWorkingFolder(folder); });
    m_import = new QToolButton(this);
    m_import->setObjectName("ImportButton");
    m_import->setText(fromUtf8("Import…"));
    m_import->setToolTip(
        fromUtf8("Import pliku GSI, LandXML lub GNU Gama do folderu roboczego"));
    connect(m_import, &QToolButton::clicked, this, [this] { openImport(); });
    m_status->addPermanentWidget(m_import);
    m_status->addPermanentWidget(m_folderChoice->button());
    connect(m_folderChoice->button(), &QToolButton::clicked, this,
            [this] { chooseFolderInDialog(); });
}

void MainWindow::setUp() {
    if (running()) {
        // The computation keeps the options it started with; the set-up waits for its end.
        m_setUpPending = true;
        return;
    }
    const FolderMemory memory = readFolderMemory(m_places);
    const std::filesystem::path folder =
        m_unsavedFolder.value_or(memory.folder.value_or(m_startFolder));
    const int32_t systemEntry = useWorkingFolder(m_state, folder);
    m_arm->setEnabled(true);
    m_compute->setEnabled(false);
    const LocalDateTime today = m_clock.now();
    m_date->setDate(QDate(today.year, today.month, today.day));
    m_status->setFolderText(fromUtf8(workingFolderStatus(folder)));
    m_panels->show(scanFileSet(folder), folder);
    // Showing the restored entry is not a change by the person: uklad is not written.
    m_options->showSystemEntry(systemEntry);
    m_folderChoice->showRecent(memory.recent);
}

void MainWindow::chooseWorkingFolder(const std::filesystem::path& folder) {
    if (running()) {
        return;
    }
    if (rememberFolder(m_places, folder)) {
        m_unsavedFolder.reset();
    } else {
        m_unsavedFolder = folder;
    }
    setUp();
}

void MainWindow::chooseFolderInDialog() {
    if (!running()) {
        m_folderChoice->openDialog(m_state.options.workingFolder);
    }
}

void MainWindow::openImport() {
    if (running()) {
        return;
    }
    auto* dialog = new ImportDialog(this, m_clock, m_state.options.workingFolder,
                                    [this](const std::filesystem::path& folder) {
                                        chooseWorkingFolder(folder);
                                    });
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->open();
}

void MainWindow::arm() {
    m_compute->setEnabled(true);
    m_arm->setEnabled(false);
    m_memo->viewport()->update();
}

void MainWindow::startCalculation() {
    if (running()) {
        return;
    }
    m_compute->setEnabled(false);
    m_arm->setEnabled(false);
    // The options and the folder cannot change under a computation.
    m_options->setEnabled(false);
    m_folderChoice->setEnabled(false);
    m_import->setEnabled(false);
    m_compute->hide();
    m_stop->setEnabled(true);
    m_stop->show();
    m_memo->startRun();
    m_status->startRun();
    m_correctedIterations = m_options->correctedIterations();
    m_runs->start(m_options->choices());
}

void MainWindow::stopCalculation() {
    if (running()) {
        m_runs->stop(StopReason::Interrupted);
        m_stop->setEnabled(false);
    }
}

void MainWindow::runFinished(const RunOutcome& outcome) {
    if (m_destroying) {
        return;
    }
    m_options->setEnabled(true);
    m_folderChoice->setEnabled(true);
    m_import->setEnabled(true);
    m_stop->hide();
    m_compute->show();
    m_arm->setEnabled(true);
    m_compute->setEnabled(false);
    m_status->endRun();
    // The reports of the run show in their panels at once.
    m_panels->show(scanFileSet(m_state.options.workingFolder), m_state.options.workingFolder);

    // A No answer ends the program, as does closing the window during the run; a fatal input
    // error, a report that could not be written or the stop button ends only the run (their
    // box and lines have been shown).
    if (outcome.stop == StopReason::UserDeclined || outcome.stop == StopReason::Abandoned ||
        m_closeAfterRun) {
        closeLater();
        return;
    }
    if (outcome.error) {
        QMessageBox box(QMessageBox::Critical, fromUtf8("Błąd"), fromUtf8(*outcome.error),
                        QMessageBox::Ok, this);
        box.setTextFormat(Qt::PlainText);
        box.exec();
        m_setUpPending = true;
    } else if (m_correctedIterations) {
        m_options->setIterationsText(*m_correctedIterations);
    }
    if (m_setUpPending) {
        m_setUpPending = false;
        setUp();
    }
}

void MainWindow::rememberCoordinateSystem() {
    if (running()) {
        return;
    }
    changeCoordinateSystem(m_state, m_options->chosenSystem());
}

// The sketch of the last computation in a window of its own, drawn from wyniki.json; when
// the folder has none, the view says so.
void MainWindow::openSketch() {
    auto* view = new SketchView;
    view->setAttribute(Qt::WA_DeleteOnClose);
    view->load(m_state.options.workingFolder);
    view->show();
}

void MainWindow::openPanel(int index) {
    openInEditor(QString::fromStdString(m_panels->path(index).string()), this);
}

void MainWindow::focusWindowChanged(QWindow* now) {
    if (now == nullptr) {
        m_focus = FocusOrigin::Elsewhere;
        return;
    }
    // A drop-down list or a menu opening and closing does not make another window active.
    if (now->type() == Qt::Popup || now->type() == Qt::ToolTip) {
        return;
    }
    if (now != windowHandle()) {
        m_focus = FocusOrigin::OtherWindow;
        return;
    }
    const bool fromOtherWindow = m_focus == FocusOrigin::OtherWindow;
    m_focus = FocusOrigin::ThisWindow;
    if (fromOtherWindow) {
        setUp();
    }
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (running()) {
        event->ignore();
        if (m_closeAfterRun) {
            return;
        }
        QMessageBox box(QMessageBox::Question, fromUtf8("Potwierdzenie"),
                        fromUtf8("Obliczenia jeszcze trwają.\nCzy przerwać obliczenia i "
                                 "zakończyć program?"),
                        QMessageBox::Yes | QMessageBox::No, this);
        box.button(QMessageBox::Yes)->setText(fromUtf8("Tak"));
        box.button(QMessageBox::No)->setText(fromUtf8("Nie"));
        box.setDefaultButton(QMessageBox::No);
        if (box.exec() == QMessageBox::Yes) {
            m_closeAfterRun = true;
            // The run may have ended while the question was open.
            if (running()) {
                m_runs->stop(StopReason::Abandoned);
            } else {
                closeLater();
            }
        }
        return;
    }
    m_closeAfterRun = false;
    if (!closeEditors()) {
        event->ignore();
        return;
    }
    event->accept();
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
    if (!running() && FolderChoice::droppedFolder(*event->mimeData())) {
        event->acceptProposedAction();
    }
}

void MainWindow::dropEvent(QDropEvent* event) {
    const auto folder = FolderChoice::droppedFolder(*event->mimeData());
    if (!running() && folder) {
        event->acceptProposedAction();
        chooseWorkingFolder(*folder);
    }
}

// A close asked for while a close event is being handled would be ignored, so it is
// queued behind it.
void MainWindow::closeLater() {
    QMetaObject::invokeMethod(
        this, [this] { close(); }, Qt::QueuedConnection);
}

bool MainWindow::closeEditors() {
    for (QObject* child : children()) {
        auto* editor = qobject_cast<EditorWindow*>(child);
        if (editor != nullptr && editor->isVisible() && !editor->close()) {
            return false;
        }
    }
    return true;
}

void MainWindow::showMessageLine(int index, const QString& text) {
    if (!m_destroying) {
        m_memo->showLine(index, text);
    }
}

void MainWindow::blankMessageLines(int first, int last) {
    if (!m_destroying) {
        m_memo->blankLines(first, last);
    }
}

void MainWindow::showProgress(const QString& phase, double fraction) {
    if (!m_destroying) {
        m_status->showProgress(phase, fraction);
    }
}

bool MainWindow::askQuestion(const QString& text) {
    if (m_destroying) {
        return false;
    }
    QMessageBox box(QMessageBox::Question, fromUtf8("Potwierdzenie"), text,
                    QMessageBox::Yes | QMessageBox::No, this);
    box.setTextFormat(Qt::PlainText);
    box.button(QMessageBox::Yes)->setText(fromUtf8("Tak"));
    box.button(QMessageBox::No)->setText(fromUtf8("Nie"));
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
}

void MainWindow::showInformation(const QString& text) {
    if (m_destroying) {
        return;
    }
    QMessageBox box(QMessageBox::Information, fromUtf8("Informacja"), text, QMessageBox::Ok, this);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

} // namespace ptw3
