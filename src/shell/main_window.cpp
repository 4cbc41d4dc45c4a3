#include "shell/main_window.h"

#include "common/run_context.h"
#include "common/stop.h"
#include "editor/editor_window.h"
#include "editor/fonts.h"
#include "help/help_window.h"
#include "shell/calculation_run.h"
#include "shell/coordinate_systems.h"
#include "shell/uklad.h"
#include "shell/window_setup.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateEdit>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QStatusBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QThread>
#include <QWindow>

#include <atomic>
#include <functional>
#include <optional>
#include <thread>

namespace ptw3 {
namespace {

QString fromUtf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

const QColor maroon(0x80, 0x00, 0x00);
const QColor navy(0x00, 0x00, 0x80);
const QColor green(0x00, 0x80, 0x00);
const QColor aqua(0x00, 0xff, 0xff);

constexpr int clientWidth = 815;
constexpr int clientHeight = 606;
constexpr int statusBarHeight = 38;

struct Rect {
    int left, top, width, height;
};

// Where each file panel sits, in the order of the file set (Panel1 first).
// clang-format off
constexpr std::array<Rect, fileSetSize> panelGeometry = {{
    {336, 136, 105, 25}, {448, 136, 105, 25}, {560, 104, 113, 25}, {232, 136,  97, 25},
    {688, 104, 113, 25}, {232, 168,  97, 25}, { 16, 104, 105, 25}, { 16, 136, 105, 25},
    { 16, 168, 105, 25}, {128, 104,  97, 25}, {688, 136, 113, 25}, {128, 168,  97, 25},
    {128, 136,  97, 25}, {688, 272, 113, 33}, {688, 312, 113, 25}, {688, 408, 113, 25},
    {688, 344, 113, 25}, {688, 376, 113, 25}, {448, 168, 105, 25}, {560, 136, 113, 25},
    {560, 168, 113, 25}, {688, 168, 113, 25}, {336, 168, 105, 25},
}};
// clang-format on

void place(QWidget* widget, const Rect& r) {
    widget->setGeometry(r.left, r.top, r.width, r.height);
}

void setBackground(QWidget* widget, const QColor& colour) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, colour);
    palette.setColor(QPalette::Base, colour);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

void setTextColour(QWidget* widget, const QColor& colour) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, colour);
    palette.setColor(QPalette::Text, colour);
    widget->setPalette(palette);
}

// The platform's font may be wider than the one the window was drawn for: a caption takes
// a smaller size rather than lose its end.
void fitToWidth(QWidget* widget) {
    constexpr int smallestPointSize = 6;
    while (widget->font().pointSize() > smallestPointSize &&
           widget->sizeHint().width() > widget->width()) {
        QFont font = widget->font();
        font.setPointSize(font.pointSize() - 1);
        widget->setFont(font);
    }
}

QColor systemColour(QPalette::ColorRole role) {
    return QApplication::palette().color(role);
}

QFont boldFont(const QFont& base, int pointSize = 0) {
    QFont font = base;
    font.setBold(true);
    if (pointSize > 0) {
        font.setPointSize(pointSize);
    }
    return font;
}

// A label that reacts to a click as a button does: on the release of the left button
// over it.
class ClickLabel : public QLabel {
public:
    ClickLabel(const QString& text, QWidget* parent, std::function<void()> onClick)
        : QLabel(text, parent)
        , m_onClick(std::move(onClick)) {}

protected:
    void mouseReleaseEvent(QMouseEvent* event) override {
        if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
            m_onClick();
        }
        QLabel::mouseReleaseEvent(event);
    }

private:
    std::function<void()> m_onClick;
};

// A small triangulation network: the picture at the left of the top band.
QPixmap logoPicture(QSize size) {
    QPixmap pixmap(size);
    pixmap.fill(Qt::white);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const QPointF points[] = {{14, 70}, {40, 18}, {70, 46}, {92, 14}, {88, 76}, {48, 80}};
    const int lines[][2] = {{0, 1}, {1, 2}, {2, 0}, {1, 3}, {3, 2},
                            {2, 4}, {4, 5}, {5, 0}, {5, 2}, {3, 4}};
    p.setPen(QPen(navy, 1.2));
    for (const auto& line : lines) {
        p.drawLine(points[line[0]], points[line[1]]);
    }
    p.setBrush(maroon);
    for (const QPointF& point : points) {
        p.drawEllipse(point, 3.5, 3.5);
    }
    QFont font = msSansSerif(11);
    font.setBold(true);
    p.setFont(font);
    p.setPen(green);
    p.drawText(QRectF(0, 0, size.width(), size.height()), Qt::AlignCenter, QStringLiteral("ptw3"));
    return pixmap;
}

// The help picture: a question mark on a page.
QPixmap helpPicture(QSize size) {
    QPixmap pixmap(size);
    pixmap.fill(aqua);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(navy, 2));
    p.setBrush(Qt::white);
    p.drawRoundedRect(QRectF(4, 4, 32, size.height() - 8), 4, 4);
    p.setFont(boldFont(msSansSerif(16)));
    p.drawText(QRectF(4, 4, 32, size.height() - 8), Qt::AlignCenter, QStringLiteral("?"));
    p.setFont(boldFont(msSansSerif(9)));
    p.drawText(QRectF(38, 0, size.width() - 38, size.height()), Qt::AlignCenter,
               QStringLiteral("POMOC"));
    return pixmap;
}

} // namespace

// The worker's side of the computation's dialogue with the user: message lines are
// handed to the window's thread as they come, questions and boxes are shown there while
// the worker waits for the answer.
class MainWindow::WorkerInteraction : public UserInteraction {
public:
    explicit WorkerInteraction(MainWindow& window)
        : m_window(window) {}

    void message(int32_t index, const std::string& text) override {
        MainWindow* window = &m_window;
        QMetaObject::invokeMethod(
            window,
            [window, index, line = QString::fromStdString(text)] {
                window->showMessageLine(index, line);
            },
            Qt::QueuedConnection);
    }
    void messagesBlanked(int32_t first, int32_t last) override {
        MainWindow* window = &m_window;
        QMetaObject::invokeMethod(
            window, [window, first, last] { window->blankMessageLines(first, last); },
            Qt::QueuedConnection);
    }
    bool confirm(const std::string& text) override {
        bool yes = false;
        QMetaObject::invokeMethod(
            &m_window, [&] { yes = m_window.askQuestion(QString::fromStdString(text)); },
            Qt::BlockingQueuedConnection);
        return yes;
    }
    void inform(const std::string& text) override {
        QMetaObject::invokeMethod(
            &m_window, [&] { m_window.showInformation(QString::fromStdString(text)); },
            Qt::BlockingQueuedConnection);
    }

private:
    MainWindow& m_window;
};

// One computation under way: the option texts it started with, its context and thread.
struct MainWindow::Run {
    Run(MainWindow& window, ProgramState& state, const Clock& clock)
        : user(window)
        , context(state.messages, user, clock) {}

    RunControls controls;
    WorkerInteraction user;
    RunContext context;
    std::thread thread;
    std::atomic<bool> done = false;
    std::optional<StopReason> stop;
    std::optional<std::string> error; ///< an unexpected failure (UTF-8)
};

MainWindow::MainWindow(std::filesystem::path programFolder, std::filesystem::path startFolder,
                       const Clock& clock)
    : m_programFolder(std::move(programFolder))
    , m_startFolder(std::move(startFolder))
    , m_clock(clock) {
    setObjectName("Form2");
    setWindowTitle(
        fromUtf8("Wyrównanie ścisłe sieci poziomej - program  ptw3.exe (RPW)  wersja 5.9"));
    setFont(msSansSerif(8));
    setFixedSize(clientWidth, clientHeight);
    move(294, 177);

    buildTopBand();
    buildFilePanels();
    buildOptions();
    buildMessagesAndButtons();

    connect(qApp, &QGuiApplication::focusWindowChanged, this, &MainWindow::focusWindowChanged);
    FormCreate();
}

MainWindow::~MainWindow() {
    m_destroying = true;
    if (!m_run) {
        return;
    }
    // The worker may be waiting for the window to show a question: keep serving it (the
    // handlers answer at once now) until the abandoned computation has unwound.
    m_run->context.requestCancel();
    while (!m_run->done.load()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(2);
    }
    m_run->thread.join();
}

void MainWindow::buildTopBand() {
    auto* logo = new QLabel(this);
    place(logo, {16, 0, 105, 89});
    logo->setPixmap(logoPicture(QSize(105, 89)));

    auto* band = new QFrame(this);
    band->setFrameStyle(QFrame::Panel | QFrame::Raised);
    place(band, {128, 0, 673, 89});

    auto* help = new ClickLabel(QString(), this, [this] { Image2Click(); });
    help->setObjectName("Image2");
    place(help, {144, 32, 94, 41});
    help->setPixmap(helpPicture(QSize(94, 41)));
    help->setCursor(Qt::PointingHandCursor);

    auto* banner =
        new QLabel(fromUtf8("ptw3  —  programy do obliczeń geodezyjnych osnów poziomych"), this);
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

void MainWindow::buildFilePanels() {
    auto* inputs = new QLabel(fromUtf8("   Zbiory  wejściowe:  "), this);
    place(inputs, {16, 89, 200, 15});
    auto* results = new QLabel(fromUtf8(" Zbiory wynikowe: "), this);
    place(results, {688, 254, 113, 17});

    using Handler = void (MainWindow::*)();
    static constexpr std::array<Handler, fileSetSize> handlers = {
        &MainWindow::Panel1Click,  &MainWindow::Panel2Click,  &MainWindow::Panel3Click,
        &MainWindow::Panel4Click,  &MainWindow::Panel5Click,  &MainWindow::Panel6Click,
        &MainWindow::Panel7Click,  &MainWindow::Panel8Click,  &MainWindow::Panel9Click,
        &MainWindow::Panel10Click, &MainWindow::Panel11Click, &MainWindow::Panel12Click,
        &MainWindow::Panel13Click, &MainWindow::Panel14Click, &MainWindow::Panel15Click,
        &MainWindow::Panel16Click, &MainWindow::Panel17Click, &MainWindow::Panel18Click,
        &MainWindow::Panel19Click, &MainWindow::Panel20Click, &MainWindow::Panel21Click,
        &MainWindow::Panel22Click, &MainWindow::Panel23Click,
    };
    for (size_t i = 0; i < fileSet.size(); ++i) {
        const FileSetEntry& entry = fileSet[i];
        const Handler handler = handlers[i];
        auto* panel =
            new ClickLabel(fromUtf8(entry.caption), this, [this, handler] { (this->*handler)(); });
        panel->setObjectName(fromUtf8(entry.panel));
        place(panel, panelGeometry[i]);
        panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
        panel->setAlignment(Qt::AlignCenter);
        panel->setFont(boldFont(font()));
        switch (entry.colour) {
        case CaptionColour::Maroon:
            setTextColour(panel, maroon);
            break;
        case CaptionColour::Navy:
            setTextColour(panel, navy);
            break;
        case CaptionColour::Green:
            setTextColour(panel, green);
            break;
        case CaptionColour::WindowText:
            setTextColour(panel, systemColour(QPalette::WindowText));
            break;
        }
        if (entry.panel != "Panel16") {
            panel->setCursor(Qt::PointingHandCursor);
        }
        setBackground(panel, systemColour(QPalette::Button));
        m_panels[i] = panel;
    }
}

void MainWindow::buildOptions() {
    auto* frame = new QFrame(this);
    frame->setFrameStyle(QFrame::Panel | QFrame::Raised);
    place(frame, {16, 208, 209, 353});

    auto* heading = new QLabel(fromUtf8("    Wybierz opcje:   "), this);
    place(heading, {24, 216, 185, 17});
    heading->setFont(boldFont(font()));

    auto* optionsHelp = new ClickLabel(QStringLiteral("  ?"), this, [this] { StaticText2Click(); });
    optionsHelp->setObjectName("StaticText2");
    place(optionsHelp, {32, 244, 33, 25});
    optionsHelp->setFont(boldFont(font(), 12));
    optionsHelp->setFrameStyle(QFrame::Panel | QFrame::Raised);
    setBackground(optionsHelp, aqua);
    optionsHelp->setCursor(Qt::PointingHandCursor);
    auto* optionsPointer = new QLabel(fromUtf8("<---- czytaj opis "), this);
    place(optionsPointer, {72, 248, 137, 17});

    const auto comboBox = [this](const char* name, const char* label, int top) {
        auto* caption = new QLabel(fromUtf8(label), this);
        place(caption, {24, top - 18, 185, 17});
        auto* combo = new QComboBox(this);
        combo->setObjectName(name);
        combo->setEditable(true);
        // Typed texts are compared with the entries exactly: nothing completes or adds them.
        combo->setCompleter(nullptr);
        combo->setInsertPolicy(QComboBox::NoInsert);
        place(combo, {24, top, 185, combo->sizeHint().height()});
        return combo;
    };
    m_systemList = comboBox("ComboBox6", " Układ  XY ,  strefa   ", 312);
    for (const CoordinateSystemEntry& entry : coordinateSystemEntries) {
        m_systemList->addItem(fromUtf8(entry.text));
    }
    m_systemList->setMaxVisibleItems(static_cast<int>(coordinateSystemEntries.size()));
    m_principleList = comboBox("ComboBox4", " Zasada wyrównania ", 368);
    for (const PrincipleEntry& entry : principleEntries) {
        m_principleList->addItem(fromUtf8(entry.text));
    }
    m_modeList = comboBox("ComboBox1", " Tryb obliczeń   ", 424);
    for (const ModeEntry& entry : modeEntries) {
        m_modeList->addItem(fromUtf8(entry.text));
    }
    connect(m_systemList, &QComboBox::editTextChanged, this, [this] { ComboBox6Change(); });

    auto* iterationsLabel = new QLabel(fromUtf8("  Liczba iteracji "), this);
    place(iterationsLabel, {24, 466, 140, 17});
    m_iterations = new QLineEdit(QStringLiteral("4"), this);
    m_iterations->setObjectName("Edit1");
    place(m_iterations, {168, 464, 41, 21});

    m_accelerate = new QCheckBox(fromUtf8(" przyspiesz analizę dokładności "), this);
    m_accelerate->setObjectName("CheckBox1");
    place(m_accelerate, {32, 496, 177, 17});
    m_accelerate->setChecked(true);
    m_standard = new QRadioButton(fromUtf8(" standard"), this);
    m_standard->setObjectName("RadioButton1");
    place(m_standard, {48, 520, 80, 17});
    m_turbo = new QRadioButton(fromUtf8(" turbo"), this);
    m_turbo->setObjectName("RadioButton2");
    place(m_turbo, {136, 520, 73, 17});
    m_turbo->setChecked(true);
    for (QWidget* caption : std::initializer_list<QWidget*>{m_accelerate, m_standard, m_turbo}) {
        fitToWidth(caption);
    }
    connect(m_accelerate, &QCheckBox::toggled, this, [this] { CheckBox1Click(); });
}

void MainWindow::buildMessagesAndButtons() {
    m_memo = new QPlainTextEdit(this);
    m_memo->setObjectName("Memo1");
    place(m_memo, {232, 208, 441, 289});
    m_memo->setFont(courierNew(8));
    m_memo->setReadOnly(true);
    m_memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setBackground(m_memo, aqua);
    m_memo->setPlainText(QString(MessageList::lastIndex, QLatin1Char('\n')));

    m_arm = new QPushButton(fromUtf8("INICJUJ PROGRAM"), this);
    m_arm->setObjectName("Button1");
    place(m_arm, {272, 512, 169, 41});
    m_compute =
        new QPushButton(style()->standardIcon(QStyle::SP_MediaPlay), fromUtf8("OBLICZAJ "), this);
    m_compute->setObjectName("BitBtn1");
    place(m_compute, {480, 512, 193, 41});
    m_close = new QPushButton(fromUtf8(" ZAMKNIJ"), this);
    m_close->setObjectName("Button2");
    place(m_close, {696, 512, 105, 41});
    connect(m_arm, &QPushButton::clicked, this, [this] { Button1Click(); });
    connect(m_compute, &QPushButton::clicked, this, [this] { BitBtn1Click(); });
    connect(m_close, &QPushButton::clicked, this, [this] { Button2Click(); });

    m_statusBar = new QStatusBar(this);
    m_statusBar->setObjectName("StatusBar1");
    m_statusBar->setSizeGripEnabled(false);
    place(m_statusBar, {0, clientHeight - statusBarHeight, clientWidth, statusBarHeight});
    m_statusPanel = new QLabel(m_statusBar);
    m_statusBar->addWidget(m_statusPanel, 1);
}

void MainWindow::FormCreate() {
    if (m_run) {
        // The computation keeps the options it started with; the set-up waits for its end.
        m_setUpPending = true;
        return;
    }
    const WindowSetup setup =
        setUpWindow(m_state, readWorkingFolder(m_programFolder, m_startFolder));
    m_arm->setEnabled(true);
    m_compute->setEnabled(false);
    const LocalDateTime today = m_clock.now();
    m_date->setDate(QDate(today.year, today.month, today.day));
    m_statusPanel->setText(fromUtf8(setup.statusText));
    for (size_t i = 0; i < fileSet.size(); ++i) {
        m_filePaths[i] = setup.files.paths[i];
        const bool present = setup.files.present[i] == 1;
        if (fileSet[i].group == FileGroup::Input) {
            setBackground(m_panels[i],
                          systemColour(present ? QPalette::ToolTipBase : QPalette::Button));
        } else if (present) {
            // A result panel stays in the window colour once its file has been seen.
            setBackground(m_panels[i], systemColour(QPalette::Base));
        }
    }
    // Showing the restored entry is not a change by the user: uklad is not written.
    const QSignalBlocker blocker(m_systemList);
    m_systemList->setCurrentIndex(setup.systemEntry);
    m_systemList->setEditText(
        fromUtf8(coordinateSystemEntries[static_cast<size_t>(setup.systemEntry)].text));
}

void MainWindow::Button1Click() {
    m_compute->setEnabled(true);
    m_arm->setEnabled(false);
    m_memo->viewport()->update();
}

void MainWindow::BitBtn1Click() {
    if (m_run) {
        return;
    }
    auto run = std::make_unique<Run>(*this, m_state, m_clock);
    run->controls.systemText = m_systemList->currentText().toStdString();
    run->controls.principleText = m_principleList->currentText().toStdString();
    run->controls.modeText = m_modeList->currentText().toStdString();
    run->controls.iterationsText = m_iterations->text().toStdString();
    run->controls.accelerate = m_accelerate->isChecked();
    run->controls.turbo = m_turbo->isChecked();

    m_compute->setEnabled(false);
    m_arm->setEnabled(false);
    // The options cannot change under a computation: they stay as it read them.
    setOptionControlsEnabled(false);
    m_run = std::move(run);
    Run* r = m_run.get();
    r->thread = std::thread([this, r] {
        try {
            runCalculation(m_state, r->controls, r->context);
        } catch (const Stop& stop) {
            r->stop = stop.reason();
        } catch (const std::exception& e) {
            r->error = e.what();
        } catch (...) {
            r->error = "nieznany błąd";
        }
        QMetaObject::invokeMethod(
            this, [this] { runFinished(); }, Qt::QueuedConnection);
        r->done.store(true);
    });
}

void MainWindow::runFinished() {
    if (m_destroying || !m_run) {
        return;
    }
    const std::unique_ptr<Run> run = std::move(m_run);
    run->thread.join();
    setOptionControlsEnabled(true);
    m_arm->setEnabled(true);
    m_compute->setEnabled(false);

    if (run->stop) {
        // A fatal input error or the answer No (their box or question has been shown),
        // or the computation the user abandoned: the program ends.
        closeLater();
        return;
    }
    if (run->error) {
        QMessageBox box(QMessageBox::Critical, fromUtf8("Błąd"), fromUtf8(*run->error),
                        QMessageBox::Ok, this);
        box.setTextFormat(Qt::PlainText);
        box.exec();
        m_setUpPending = true;
    } else if (run->controls.iterationsText != m_iterations->text().toStdString()) {
        m_iterations->setText(QString::fromStdString(run->controls.iterationsText));
    }
    if (m_closeAfterRun) {
        closeLater();
        return;
    }
    if (m_setUpPending) {
        m_setUpPending = false;
        FormCreate();
    }
}

void MainWindow::setOptionControlsEnabled(bool enabled) {
    for (QWidget* control :
         std::initializer_list<QWidget*>{m_systemList, m_principleList, m_modeList, m_iterations,
                                         m_accelerate, m_standard, m_turbo}) {
        control->setEnabled(enabled);
    }
}

void MainWindow::Button2Click() {
    close();
}

void MainWindow::CheckBox1Click() {
    m_standard->setVisible(m_accelerate->isChecked());
    m_turbo->setVisible(m_accelerate->isChecked());
}

void MainWindow::ComboBox6Change() {
    if (m_run) {
        return;
    }
    changeCoordinateSystem(m_systemList->currentText().toStdString(), m_state);
}

void MainWindow::Image2Click() {
    openGeneralHelp(this);
}

void MainWindow::StaticText2Click() {
    openOptionsHelp(this);
}

void MainWindow::openPanel(int index) {
    openInEditor(QString::fromStdString(m_filePaths[static_cast<size_t>(index)].string()), this);
}

void MainWindow::Panel1Click() {
    openPanel(0);
}
void MainWindow::Panel2Click() {
    openPanel(1);
}
void MainWindow::Panel3Click() {
    openPanel(2);
}
void MainWindow::Panel4Click() {
    openPanel(3);
}
void MainWindow::Panel5Click() {
    openPanel(4);
}
void MainWindow::Panel6Click() {
    openPanel(5);
}
void MainWindow::Panel7Click() {
    openPanel(6);
}
void MainWindow::Panel8Click() {
    openPanel(7);
}
void MainWindow::Panel9Click() {
    openPanel(8);
}
void MainWindow::Panel10Click() {
    openPanel(9);
}
void MainWindow::Panel11Click() {
    openPanel(10);
}
void MainWindow::Panel12Click() {
    openPanel(11);
}
void MainWindow::Panel13Click() {
    openPanel(12);
}
void MainWindow::Panel14Click() {
    openPanel(13);
}
void MainWindow::Panel15Click() {
    openPanel(14);
}
void MainWindow::Panel16Click() {
    openPanel(15);
}
void MainWindow::Panel17Click() {
    openPanel(16);
}
void MainWindow::Panel18Click() {
    openPanel(17);
}
void MainWindow::Panel19Click() {
    openPanel(18);
}
void MainWindow::Panel20Click() {
    openPanel(19);
}
void MainWindow::Panel21Click() {
    openPanel(20);
}
void MainWindow::Panel22Click() {
    openPanel(21);
}
void MainWindow::Panel23Click() {
    openPanel(22);
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
        FormCreate();
    }
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (m_run) {
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
            if (m_run) {
                m_run->context.requestCancel();
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
    if (m_destroying || index < 0 || index > MessageList::lastIndex) {
        return;
    }
    QTextCursor cursor(m_memo->document()->findBlockByNumber(index));
    cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
    // The list holds one line per index: a line break inside a text would shift the rest.
    QString line = text;
    line.replace(QLatin1Char('\n'), QLatin1Char(' ')).replace(QLatin1Char('\r'), QLatin1Char(' '));
    cursor.insertText(line);
}

void MainWindow::blankMessageLines(int first, int last) {
    for (int i = first; i <= last; ++i) {
        showMessageLine(i, QStringLiteral(" "));
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
