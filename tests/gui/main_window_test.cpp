#include "common/folder_files.h"
#include "common/text_file.h"
#include "editor/editor_window.h"
#include "gui/gui_support.h"
#include "common/interruption.h"
#include "run/folder_memory.h"
#include "window/main_window.h"
#include "window/message_list_view.h"
#include "window/options_box.h"
#include "run/working_folder.h"

#include <QApplication>
#include <QCheckBox>
#include <QAbstractItemView>
#include <QComboBox>
#include <QDateEdit>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QDialog>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTest>
#include <QTextBlock>
#include <QToolButton>
#include <QUrl>
#include <QWindow>

#include <gtest/gtest.h>

#include <chrono>
#include <memory>

namespace ptw3 {
namespace {

using test::DialogScript;
using test::TempFolder;
using test::waitUntil;

enum class Arming { Disarmed, Armed, Running, Other };

struct WindowFixture : ::testing::Test {
    TempFolder program;
    TempFolder data;
    FixedClock fixedClock{LocalDateTime{2026, 12, 8, 10, 0, 0}};
    std::unique_ptr<MainWindow> window;

    void open(const Clock& clock) {
        program.write("tarvel.ini", "[General]\r\npath=" + data.path().string() + "\r\n");
        window = std::make_unique<MainWindow>(program.path(), "/", clock);
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }
    void open() { open(fixedClock); }

    template <class Widget> Widget* child(const char* name) const {
        auto* widget = window->findChild<Widget*>(name);
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    Arming arming() const {
        const bool arm = child<QPushButton>("Button1")->isEnabled();
        const bool compute = child<QPushButton>("BitBtn1")->isEnabled();
        if (arm && !compute) {
            return Arming::Disarmed;
        }
        if (!arm && compute) {
            return Arming::Armed;
        }
        return arm ? Arming::Other : Arming::Running;
    }
    std::string line(int index) const {
        return child<QPlainTextEdit>("Memo1")
            ->document()
            ->findBlockByNumber(index)
            .text()
            .toStdString();
    }
    /// The index of the first message line from `from` on that starts with the text.
    int lineStarting(const std::string& text, int from = 0) const {
        for (int i = from; i <= MessageList::lastIndex; ++i) {
            if (line(i).starts_with(text)) {
                return i;
            }
        }
        return -1;
    }
    void startRun() {
        child<QPushButton>("Button1")->click();
        child<QPushButton>("BitBtn1")->click();
    }
    void runToEnd() {
        startRun();
        ASSERT_TRUE(waitUntil([this] { return !window->running(); }));
        QApplication::processEvents();
    }
    QColor panelColour(const char* panel) const {
        return child<QLabel>(panel)->palette().color(QPalette::Window);
    }
};

QColor roleColour(QPalette::ColorRole role) {
    return QApplication::palette().color(role);
}

TEST_F(WindowFixture, ArmingFollowsTheButtonsTheRunAndTheWindowsOfTheProgram) {
    copyTestData("complete_network", data);
    open();
    EXPECT_EQ(arming(), Arming::Disarmed);
    child<QPushButton>("Button1")->click();
    EXPECT_EQ(arming(), Arming::Armed);

    // A drop-down list opening and closing, and coming back from another application,
    // leave the window armed.
    auto* principles = child<QComboBox>("ComboBox4");
    principles->showPopup();
    QTest::qWait(20);
    principles->hidePopup();
    ASSERT_TRUE(test::activate(window.get()));
    window->focusWindowChanged(nullptr);
    window->focusWindowChanged(window->windowHandle());
    EXPECT_EQ(arming(), Arming::Armed);

    // Coming back from an editor window runs the set-up, which disarms.
    QTest::mouseClick(child<QLabel>("Panel2"), Qt::LeftButton);
    auto* editor = window->findChild<EditorWindow*>();
    ASSERT_NE(editor, nullptr);
    ASSERT_TRUE(test::activate(editor));
    ASSERT_TRUE(test::activate(window.get()));
    EXPECT_EQ(arming(), Arming::Disarmed);
    editor->close();

    startRun();
    // The end of the run reaches the window through its event queue: until then both
    // buttons and the options are disabled.
    EXPECT_EQ(arming(), Arming::Running);
    EXPECT_FALSE(child<QComboBox>("ComboBox6")->isEnabled());
    EXPECT_FALSE(child<QLineEdit>("Edit1")->isEnabled());
    ASSERT_TRUE(waitUntil([this] { return !window->running(); }));
    EXPECT_EQ(arming(), Arming::Disarmed);
    EXPECT_TRUE(child<QComboBox>("ComboBox6")->isEnabled());
    // A second run needs a fresh arming.
    child<QPushButton>("BitBtn1")->click();
    EXPECT_FALSE(window->running());
}

TEST_F(WindowFixture, PanelColoursShowTheFilesOfTheWorkingFolder) {
    data.write("katy", "1 2 3 100\r\n");
    data.write("XY.PRZ", "1 0 0\r\n");
    open();
    const QColor absent = roleColour(QPalette::Button);
    const QColor present = roleColour(QPalette::ToolTipBase);
    const QColor result = roleColour(QPalette::Base);
    for (const FileSetEntry& entry : fileSet) {
        SCOPED_TRACE(entry.panel);
        const bool given = entry.panel == "Panel2" || entry.panel == "Panel9";
        EXPECT_EQ(panelColour(std::string(entry.panel).c_str()), given ? present : absent);
    }

    // Result panels turn to the window colour and never turn back.
    data.write("rpw.ptw", "");
    data.write("ER3A.PTW", "");
    data.write("KONTROLA.PTW", "");
    data.write("Projekt.ptw", "");
    window->setUp();
    std::filesystem::remove(data.path() / "rpw.ptw");
    std::filesystem::remove(data.path() / "katy");
    window->setUp();
    struct Case {
        const char* panel;
        QColor colour;
    };
    const Case cases[] = {{"Panel14", result},
                          {"Panel16", result},
                          {"Panel24", result},
                          {"Panel25", result},
                          {"Panel15", absent},
                          {"Panel2", absent},
                          {"Panel9", present}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.panel);
        EXPECT_EQ(panelColour(c.panel), c.colour);
    }
}

TEST_F(WindowFixture, TheWorkingFolderComesFromTarvelIniAtEachSetUp) {
    const FixedClock clock(LocalDateTime{2026, 12, 8, 10, 0, 0});
    MainWindow withoutIni(program.path(), data.path(), clock);
    EXPECT_EQ(withoutIni.findChild<QStatusBar*>("StatusBar1")->findChild<QLabel*>()->text(),
              QString::fromStdString(" Folder roboczy = " + data.path().string()));

    TempFolder other;
    other.write("KATY", "");
    program.write("tarvel.ini", "[General]\npath=" + other.path().string() + "\n");
    withoutIni.setUp();
    EXPECT_EQ(withoutIni.findChild<QStatusBar*>("StatusBar1")->findChild<QLabel*>()->text(),
              QString::fromStdString(" Folder roboczy = " + other.path().string()));
    // The panels open the files of the new folder, found in any letter case.
    QTest::mouseClick(withoutIni.findChild<QLabel*>("Panel2"), Qt::LeftButton);
    QTest::mouseClick(withoutIni.findChild<QLabel*>("Panel1"), Qt::LeftButton);
    const auto editors = withoutIni.findChildren<EditorWindow*>();
    ASSERT_EQ(editors.size(), 2);
    EXPECT_EQ(editors[0]->documentName().toStdString(), (other.path() / "KATY").string());
    EXPECT_EQ(editors[1]->documentName().toStdString(), (other.path() / "dlugosci").string());
}

TEST_F(WindowFixture, OnlyTheUsersChoiceOfTheSystemWritesUklad) {
    open();
    auto* systems = child<QComboBox>("ComboBox6");
    EXPECT_EQ(systems->currentText(), "Lokalny (bez redukcji)");
    EXPECT_FALSE(data.exists("uklad")); // the set-up shows the choice, it does not store it

    struct Case {
        std::function<void()> change;
        const char* uklad;
    };
    const Case cases[] = {
        {[&] { systems->setCurrentIndex(9); }, "19423\r\n18\r\n"},
        {[&] { systems->setCurrentIndex(22); }, "1000\r\n0\r\n"},
        // A typed text that matches no entry keeps the system and still writes uklad.
        {[&] {
             std::filesystem::remove(data.path() / "uklad");
             systems->setEditText("1965 strefa");
         },
         "1000\r\n0\r\n"},
        {[&] { systems->setEditText("1965 strefa 2"); }, "1965\r\n2\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.uklad);
        c.change();
        EXPECT_EQ(data.read("uklad"), c.uklad);
    }

    // Restoring from uklad shows the entry without rewriting the file.
    data.write("uklad", "1992\r\n7\r\n");
    window->setUp();
    EXPECT_EQ(systems->currentText(), "1992  (jednostrefowy)");
    EXPECT_EQ(data.read("uklad"), "1992\r\n7\r\n");
}

TEST_F(WindowFixture, TheIterationFieldShowsTheCorrectedTextAfterARun) {
    copyTestData("complete_network", data);
    open();
    struct Case {
        const char* typed;
        const char* shown;
    };
    const Case cases[] = {{"1", "2"},    {"0", "2"},     {"-5", "2"},
                          {"8361", "4"}, {"abc", "abc"}, {"100", "100"}};
    auto* iterations = child<QLineEdit>("Edit1");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        iterations->setText(c.typed);
        runToEnd();
        EXPECT_EQ(iterations->text(), c.shown);
    }
}

TEST_F(WindowFixture, UncheckingAccelerationHidesTheRadioButtonsAndKeepsTheirChoice) {
    open();
    auto* accelerate = child<QCheckBox>("CheckBox1");
    auto* standard = child<QRadioButton>("RadioButton1");
    standard->setChecked(true);
    accelerate->click();
    EXPECT_FALSE(standard->isVisible());
    EXPECT_FALSE(child<QRadioButton>("RadioButton2")->isVisible());
    accelerate->click();
    EXPECT_TRUE(standard->isVisible());
    EXPECT_TRUE(standard->isChecked());
}

// The data-input transcripts of the golden folders (tests/data/<name>/expected): the window
// shows the same questions and boxes, takes the same answers and ends the same way.
TEST_F(WindowFixture, TheQuestionsAndBoxesOfARunAreShownByTheWindow) {
    const char* folders[] = {"complete_network", "repetitions_yes", "repetition_declined",
                             "fatal_no_reference"};
    for (const char* name : folders) {
        SCOPED_TRACE(name);
        TempFolder folder;
        copyTestData(name, folder);
        program.write("tarvel.ini", "[General]\r\npath=" + folder.path().string() + "\r\n");
        QStringList expectedTexts;
        QStringList answers;
        std::vector<std::string> answerLines = test::testDataLines(name, "expected/answers");
        size_t nextAnswer = 0;
        for (const std::string& entry : test::testDataLines(name, "expected/dialog.txt")) {
            const bool question = entry.starts_with("confirm: ");
            if (!question && !entry.starts_with("inform: ")) {
                continue;
            }
            QString text = QString::fromStdString(entry.substr(entry.find(": ") + 2));
            expectedTexts << text.replace("\\n", "\n");
            answers << (question ? (answerLines.at(nextAnswer++) == "t" ? "Tak" : "Nie") : "OK");
        }
        const std::string outcome = test::testDataLines(name, "expected/outcome").at(0);

        // Questions the adjustment may add after the data input are answered Yes.
        DialogScript script(answers, "Tak");
        window = std::make_unique<MainWindow>(program.path(), "/", fixedClock);
        window->show();
        runToEnd();

        ASSERT_GE(script.shown.size(), static_cast<size_t>(expectedTexts.size()));
        for (qsizetype i = 0; i < expectedTexts.size(); ++i) {
            const auto& shown = script.shown[static_cast<size_t>(i)];
            EXPECT_EQ(shown.text, expectedTexts[i]);
            EXPECT_EQ(shown.title, answers[i] == "OK" ? "Informacja" : "Potwierdzenie");
        }
        const int end = lineStarting(" KONIEC OBLICZEŃ:");
        if (outcome == "finished") {
            EXPECT_TRUE(window->isVisible());
            EXPECT_GT(end, 0);
            continue;
        }
        EXPECT_EQ(end, -1);
        EXPECT_EQ(folder.read("er3a.ptw"),
                  readFileBytes(test::testData(name) / "expected" / "ER3a.ptw"));
        if (outcome == "declined") {
            // The answer No ends the program: the window closes.
            EXPECT_TRUE(waitUntil([this] { return !window->isVisible(); }));
            continue;
        }
        // A fatal input error ends the run only: the window stays with the message list
        // saying why, ER3a.ptw ready to open and the computation ready to be armed again.
        QTest::qWait(50);
        EXPECT_TRUE(window->isVisible());
        EXPECT_GT(lineStarting(" OBLICZENIA ZATRZYMANE:10:00:00"), 0);
        EXPECT_EQ(panelColour("Panel16"), roleColour(QPalette::Base));
        EXPECT_EQ(arming(), Arming::Disarmed);
        EXPECT_TRUE(child<QComboBox>("ComboBox6")->isEnabled());
    }
}

TEST_F(WindowFixture, AWholeRunWritesItsLinesInOrderAndTheReportOfTheConsole) {
    copyTestData("complete_network", data);
    open();
    runToEnd();
    EXPECT_EQ(line(1), " ");
    EXPECT_EQ(line(2), " POCZĄTEK OBLICZEŃ:10:00:00");
    EXPECT_EQ(line(3), " CZYTANIE I KONTROLA DANYCH - proszę czekać");
    int previous = 3;
    for (const char* expected :
         {" LICZBA POWTÓREK DLUGOSCI = 1", " LICZBA POWTÓREK KĄTÓW = 1",
          " LICZBA POWTÓREK AZYMUTÓW = 1", " Przeciętny błąd położenia punktu = ",
          " Maksymalny błąd położenia punktu = ", " KONIEC OBLICZEŃ:10:00:00"}) {
        SCOPED_TRACE(expected);
        const int at = lineStarting(expected, previous + 1);
        EXPECT_GT(at, previous);
        previous = std::max(previous, at);
    }
    EXPECT_EQ(data.read("er3a.ptw"),
              readFileBytes(test::testData("complete_network") / "expected" / "ER3a.ptw"));
    // The result panels show the new reports as soon as the run ends.
    for (const char* panel : {"Panel14", "Panel15", "Panel16", "Panel17", "Panel18"}) {
        SCOPED_TRACE(panel);
        EXPECT_EQ(panelColour(panel), roleColour(QPalette::Base));
    }

    // The window as it looks after a run, for a look at the layout.
    const QString folder = QStringLiteral(PTW3_SCREENSHOT_DIR);
    ASSERT_TRUE(QDir().mkpath(folder));
    EXPECT_TRUE(window->grab().save(folder + "/main_window.png"));
}

// "Import…": a field file brought into a folder that holds a working file already, after the
// question; the report opens and the folder becomes the working folder.
TEST_F(WindowFixture, ImportAsksBeforeOverwritingThenTakesTheFolder) {
    open();
    TempFolder source, target;
    source.write("pomiar.gsi", "110001+00000001 81..00+03000000 82..00+05000000 \r\n"
                               "110002+00000002 81..00+03000000 82..00+05100000 \r\n"
                               "110003+00000001 88..10+00001500 \r\n"
                               "110004+00000002 21.102+00000000 22.102+09000000 \r\n"
                               "110005+00000003 21.102+10000000 32..00+00050000 \r\n");
    target.write("XY.sta", "1 0 0\r\n");
    const auto qt = [](const std::filesystem::path& p) { return QString::fromStdString(p); };
    child<QToolButton>("ImportButton")->click();
    QPointer<QDialog> dialog = window->findChild<QDialog*>("ImportDialog");
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(waitUntil([&] { return dialog->isVisible(); }));
    dialog->findChild<QLineEdit*>("ImportSource")->setText(qt(source.path() / "pomiar.gsi"));
    dialog->findChild<QLineEdit*>("ImportFolder")->setText(qt(target.path()));
    const QString folder = QStringLiteral(PTW3_SCREENSHOT_DIR);
    ASSERT_TRUE(QDir().mkpath(folder));
    EXPECT_TRUE(window->grab().save(folder + "/main_window_import.png"));
    EXPECT_TRUE(dialog->grab().save(folder + "/import_dialog.png"));
    {
        DialogScript script({"Nie"});
        dialog->findChild<QPushButton*>("ImportRun")->click();
        ASSERT_EQ(script.shown.size(), 1u);
        EXPECT_EQ(script.shown[0].text, "Nadpisać istniejące pliki robocze: XY.sta?");
    }
    EXPECT_EQ(target.read("XY.sta"), "1 0 0\r\n");
    EXPECT_TRUE(dialog->isVisible());
    {
        DialogScript script({"Tak", "OK"});
        dialog->findChild<QPushButton*>("ImportRun")->click();
        ASSERT_EQ(script.shown.size(), 2u);
        EXPECT_TRUE(script.shown[1].text.contains("Rekordy przyjęte: 7, odrzucone: 0."))
            << script.shown[1].text.toStdString();
    }
    EXPECT_EQ(target.read("XY.sta"), "1 5000 3000\r\n2 5100 3000\r\n0 0 0\r\n");
    EXPECT_EQ(child<QLabel>("FolderStatus")->text(), " Folder roboczy = " + qt(target.path()));
    auto* editor = window->findChild<EditorWindow*>();
    ASSERT_NE(editor, nullptr);
    EXPECT_TRUE(editor->windowTitle().contains("IMPORT.ptw"));
    editor->close();
    ASSERT_TRUE(waitUntil([&] { return dialog.isNull() || !dialog->isVisible(); }));
}

// The files beside the reports follow their box; the sketch panel is armed by them and opens
// the sketch of the run.
TEST_F(WindowFixture, TheSketchPanelOpensTheSketchOfTheRunWhenItsFilesAreWritten) {
    copyTestData("complete_network", data);
    open();
    auto* extraFiles = child<QCheckBox>("ExtraFilesBox");
    ASSERT_TRUE(extraFiles->isChecked());
    extraFiles->setChecked(false);
    runToEnd();
    EXPECT_FALSE(findFileNoCase(data.path(), "wyniki.json"));
    EXPECT_FALSE(findFileNoCase(data.path(), "siec.svg"));
    EXPECT_EQ(panelColour("SketchPanel"), roleColour(QPalette::Button));

    extraFiles->setChecked(true);
    runToEnd();
    EXPECT_TRUE(findFileNoCase(data.path(), "wyniki.json"));
    EXPECT_EQ(panelColour("SketchPanel"), roleColour(QPalette::Base));
    QTest::mouseClick(child<QLabel>("SketchPanel"), Qt::LeftButton);
    QPointer<QWidget> view;
    for (QWidget* top : QApplication::topLevelWidgets()) {
        if (top->objectName() == "sketchView" && top->isVisible()) {
            view = top;
        }
    }
    ASSERT_NE(view, nullptr);
    view->close();
}

TEST_F(WindowFixture, ClosingDuringARunAsksWhetherToAbandonIt) {
    struct Case {
        const char* answer;
        bool abandoned;
    };
    for (const Case& c : {Case{"Tak", true}, Case{"Nie", false}}) {
        SCOPED_TRACE(c.answer);
        TempFolder folder;
        copyTestData("complete_network", folder);
        program.write("tarvel.ini", "[General]\r\npath=" + folder.path().string() + "\r\n");
        test::GateClock gate;
        window = std::make_unique<MainWindow>(program.path(), "/", gate);
        window->show();
        startRun();
        ASSERT_TRUE(waitUntil([&] { return gate.workerWaiting(); }));

        DialogScript script({c.answer});
        window->close();
        ASSERT_EQ(script.shown.size(), 1u);
        EXPECT_TRUE(script.shown[0].text.contains(QString::fromUtf8("przerwać obliczenia")));
        // The window waits for the computation before it closes.
        EXPECT_TRUE(window->isVisible());
        gate.open();
        ASSERT_TRUE(waitUntil([this] { return !window->running(); }));
        QTest::qWait(20);
        EXPECT_EQ(window->isVisible(), !c.abandoned);
        // Abandoned at its start line, the computation never reached the data input.
        EXPECT_EQ(folder.exists("er3a.ptw"), !c.abandoned);
        EXPECT_EQ(lineStarting(" KONIEC OBLICZEŃ:") > 0, !c.abandoned);
    }
}

TEST_F(WindowFixture, DestroyingTheWindowDuringARunStopsTheComputation) {
    copyTestData("complete_network", data);
    test::GateClock gate;
    open(gate);
    startRun();
    ASSERT_TRUE(waitUntil([&] { return gate.workerWaiting(); }));
    QTimer::singleShot(30, [&] { gate.open(); });
    window.reset();
    EXPECT_FALSE(data.exists("er3a.ptw"));
}

// The four ways of choosing the working folder in the program (and the command line, which
// hands its folder to the same choice) set the window up for the folder and remember it.
TEST_F(WindowFixture, TheWorkingFolderIsChosenInTheWindowAndRemembered) {
    open();
    const auto qt = [](const std::filesystem::path& p) {
        return QString::fromStdString(p.string());
    };
    const auto drop = [&](const std::filesystem::path& item) {
        QMimeData mime;
        mime.setUrls({QUrl::fromLocalFile(qt(item))});
        QDragEnterEvent enter(QPoint(400, 300), Qt::CopyAction, &mime, Qt::LeftButton,
                              Qt::NoModifier);
        QApplication::sendEvent(window.get(), &enter);
        if (enter.isAccepted()) {
            QDropEvent dropped(QPointF(400, 300), Qt::CopyAction, &mime, Qt::LeftButton,
                               Qt::NoModifier);
            QApplication::sendEvent(window.get(), &dropped);
        }
        return enter.isAccepted();
    };
    struct Case {
        const char* way;
        std::function<void(const std::filesystem::path&)> choose;
    };
    const Case cases[] = {
        {"button", [&](const auto& folder) {
             DialogScript script({qt(folder)});
             child<QToolButton>("FolderButton")->click();
         }},
        {"status bar", [&](const auto& folder) {
             DialogScript script({qt(folder)});
             QTest::mouseClick(child<QLabel>("FolderStatus"), Qt::LeftButton);
         }},
        {"recent folders", [&](const auto& folder) {
             window->chooseWorkingFolder(folder);
             window->chooseWorkingFolder(data.path());
             for (QAction* action : child<QToolButton>("FolderButton")->menu()->actions()) {
                 if (action->text() == qt(folder)) {
                     action->trigger();
                 }
             }
         }},
        {"dropped", [&](const auto& folder) {
             // A file is not a folder: it is refused.
             EXPECT_FALSE(drop(folder / "KATY"));
             EXPECT_TRUE(drop(folder));
         }},
        {"command line", [&](const auto& folder) { window->chooseWorkingFolder(folder); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.way);
        TempFolder chosen;
        chosen.write("KATY", "");
        c.choose(chosen.path());
        EXPECT_EQ(child<QLabel>("FolderStatus")->text(), " Folder roboczy = " + qt(chosen.path()));
        EXPECT_EQ(panelColour("Panel2"), roleColour(QPalette::ToolTipBase));
        EXPECT_EQ(iniWorkingFolder(program.read("tarvel.ini")), chosen.path().string());
        EXPECT_EQ(child<QToolButton>("FolderButton")->menu()->actions().front()->text(),
                  qt(chosen.path()));
    }
    // During a computation the folder stays.
    copyTestData("complete_network", data);
    window->chooseWorkingFolder(data.path());
    startRun();
    window->chooseWorkingFolder(program.path());
    EXPECT_EQ(iniWorkingFolder(program.read("tarvel.ini")), data.path().string());
    ASSERT_TRUE(waitUntil([this] { return !window->running(); }));
}

// The desktop program keeps the choice where the console program looks for it.
TEST(SettingsPlaces, TheUsersFolderIsTheToolkitsConfigurationFolderOfTheProgram) {
    const QString name = QCoreApplication::applicationName();
    const QByteArray configHome = qgetenv("XDG_CONFIG_HOME");
    QCoreApplication::setApplicationName("ptw3");
    for (const char* home : {"", "/tmp/ptw3-config-home"}) {
        SCOPED_TRACE(home);
        qputenv("XDG_CONFIG_HOME", home);
        EXPECT_EQ(
            QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation).toStdString(),
            userSettingsFolder().string());
    }
    qputenv("XDG_CONFIG_HOME", configHome);
    QCoreApplication::setApplicationName(name);
}

TEST_F(WindowFixture, AComputationShowsItsProgressAndStopsAtTheButton) {
    test::generateNetwork(data, test::longNetworkPoints);
    open();
    child<QLineEdit>("Edit1")->setText("2");
    startRun();
    auto* phase = child<QLabel>("ProgressPhase");
    auto* bar = child<QProgressBar>("ProgressBar");
    EXPECT_TRUE(child<QPushButton>("StopButton")->isVisible());
    EXPECT_FALSE(child<QPushButton>("BitBtn1")->isVisible());
    ASSERT_TRUE(waitUntil([&] {
        return phase->text() == "Analiza dokładności obserwacji" && bar->value() > 0;
    }));
    EXPECT_TRUE(phase->isVisible());
    EXPECT_TRUE(child<QLabel>("ElapsedTime")->text().startsWith("czas 0:"));

    const auto clicked = std::chrono::steady_clock::now();
    child<QPushButton>("StopButton")->click();
    ASSERT_TRUE(waitUntil([this] { return !window->running(); }));
    const double latencyS =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - clicked).count();
    if (!test::sanitized) {
        EXPECT_LE(latencyS, 0.5);
    }
    // The run ends, the program does not: the list and the reports say it was interrupted,
    // the panels show the reports, the computation can be armed again.
    QTest::qWait(20);
    EXPECT_TRUE(window->isVisible());
    EXPECT_GT(lineStarting(" OBLICZENIA PRZERWANE:10:00:00"), 0);
    EXPECT_EQ(lineStarting(" KONIEC OBLICZEŃ:"), -1);
    EXPECT_TRUE(data.read("rpw.ptw").ends_with(interruptedReportLine() + "\r\n"));
    EXPECT_EQ(panelColour("Panel14"), roleColour(QPalette::Base));
    EXPECT_EQ(arming(), Arming::Disarmed);
    EXPECT_FALSE(child<QPushButton>("StopButton")->isVisible());
    EXPECT_TRUE(child<QPushButton>("BitBtn1")->isVisible());
    EXPECT_FALSE(phase->isVisible());
    EXPECT_TRUE(child<QComboBox>("ComboBox6")->isEnabled());
}

TEST(MessageList, FollowsTheNewestLineUnlessScrolledUp) {
    MessageListView view(nullptr);
    view.resize(441, 289);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    const auto visible = [&](int index) {
        const QRect r = view.cursorRect(QTextCursor(view.document()->findBlockByNumber(index)));
        return r.top() >= 0 && r.bottom() <= view.viewport()->height();
    };
    view.startRun();
    for (int i = 1; i <= 60; ++i) {
        view.showLine(i, QString::number(i));
    }
    EXPECT_TRUE(visible(60));
    // Scrolled up to read earlier lines: new lines leave the view where it is.
    view.verticalScrollBar()->setValue(0);
    view.showLine(61, "61");
    EXPECT_TRUE(visible(1));
    EXPECT_FALSE(visible(61));
    // Back at the newest line, the view follows again.
    view.verticalScrollBar()->setValue(view.verticalScrollBar()->maximum());
    view.showLine(90, "90");
    EXPECT_TRUE(visible(90));
}

TEST_F(WindowFixture, EveryEntryOfTheOptionListsReadsWhole) {
    open();
    for (const char* name : {"ComboBox6", "ComboBox4", "ComboBox1", "MpLimitList"}) {
        auto* list = child<QComboBox>(name);
        const QFontMetrics metrics(list->lineEdit()->font());
        // A line edit keeps 2 pixels on each side of the text and 1 for the cursor.
        const int room = list->lineEdit()->width() - 5;
        for (int i = 0; i < list->count(); ++i) {
            SCOPED_TRACE(list->itemText(i).toStdString());
            EXPECT_LE(metrics.horizontalAdvance(list->itemText(i)), room);
        }
        list->showPopup();
        QAbstractItemView* view = list->view();
        EXPECT_GE(view->viewport()->width(), view->sizeHintForColumn(0)) << name;
        list->hidePopup();
    }
    // The message list gives way to the wider options.
    EXPECT_GT(child<QPlainTextEdit>("Memo1")->x(),
              child<QComboBox>("ComboBox6")->geometry().right());
}

// The accuracy standard of the quality control: the two presets, a value typed in metres
// (with a decimal comma too), and a text that names none, which gives the detailed
// network's standard and shows it once the editing ends.
TEST(OptionsBox, TheAccuracyStandardIsAPresetOrAValueInMetres) {
    QWidget window;
    const OptionsBox options(&window, {[] {}, [] {}});
    auto* list = window.findChild<QComboBox*>("MpLimitList");
    ASSERT_NE(list, nullptr);
    struct Case {
        const char* text;
        Real limit;        ///< m
        const char* shown; ///< once the editing has ended; nullptr: as typed
    };
    const Case cases[] = {
        {"0.10 m (osnowa pomiarowa)", 0.10L, nullptr},
        {"0.05 m (osnowa szczegółowa)", 0.05L, nullptr},
        {"0.07", 0.07L, nullptr},
        {" 0,03 m ", 0.03L, nullptr},
        {"0.2m", 0.2L, nullptr},
        {"abc", 0.05L, "0.05 m (osnowa szczegółowa)"},
        {"-0.05", 0.05L, "0.05 m (osnowa szczegółowa)"},
        {"0", 0.05L, "0.05 m (osnowa szczegółowa)"},
        {"0.10 m (osnowa)", 0.05L, "0.05 m (osnowa szczegółowa)"},
        {"0,0,3", 0.05L, "0.05 m (osnowa szczegółowa)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        list->setEditText(QString::fromUtf8(c.text));
        EXPECT_EQ(options.choices().controlOptions.mpLimit, c.limit);
        emit list->lineEdit()->editingFinished();
        EXPECT_EQ(list->currentText(), QString::fromUtf8(c.shown ? c.shown : c.text));
        EXPECT_EQ(options.choices().controlOptions.mpLimit, c.limit);
    }
    list->setCurrentIndex(1);
    EXPECT_EQ(options.choices().controlOptions.mpLimit, surveyControlLimit);
}

// The pre-analysis and the advisor's options as a run takes them: the advisor only with the
// pre-analysis, its budget and radius only with the advisor (as the controls take input),
// an empty radius or one that is no length in metres meaning the candidates of KANDYDACI
// alone, and the plan held to the accuracy standard of the list.
TEST(OptionsBox, ThePreAnalysisAndTheAdvisorsOptionsMapToTheRunsChoices) {
    QWidget window;
    OptionsBox options(&window, {[] {}, [] {}});
    options.placePlanBox({232, 428, 441, 69});
    const auto find = [&]<class Widget>(Widget*, const char* name) {
        auto* widget = window.findChild<Widget*>(name);
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    };
    auto* preAnalysis = find(static_cast<QCheckBox*>(nullptr), "PreAnalysisBox");
    auto* advise = find(static_cast<QCheckBox*>(nullptr), "AdviseBox");
    auto* budget = find(static_cast<QSpinBox*>(nullptr), "AdvisorBudget");
    auto* radius = find(static_cast<QLineEdit*>(nullptr), "CandidateRadius");
    auto* limit = find(static_cast<QComboBox*>(nullptr), "MpLimitList");
    ASSERT_TRUE(preAnalysis && advise && budget && radius && limit);
    EXPECT_FALSE(options.choices().preAnalysis);
    EXPECT_EQ(budget->value(), PlanOptions{}.advisorBudget);

    struct Case {
        bool preAnalysis, advise;
        int budget;
        const char* radius;
        const char* limit;
        bool advised;                   ///< plan.advise
        std::optional<Real> within;     ///< plan.candidatesWithin, m
        int32_t advisorBudget;          ///< plan.advisorBudget
        Real mpLimit;                   ///< plan.mpLimit, m
        const char* radiusShown;        ///< once the editing has ended
    };
    const Case cases[] = {
        {false, true, 7, "200", "0.05 m (osnowa szczegółowa)", false, {}, 50, 0.05L, "200"},
        {true, false, 7, "200", "0.10 m (osnowa pomiarowa)", false, {}, 50, 0.10L, "200"},
        {true, true, 7, "200", "0.07", true, 200.0L, 7, 0.07L, "200"},
        {true, true, 12, " 150,5 m ", "0,03", true, 150.5L, 12, 0.03L, " 150,5 m "},
        {true, true, 1, "", "abc", true, {}, 1, 0.05L, ""},
        {true, true, 999, "-5", "0.05 m (osnowa szczegółowa)", true, {}, 999, 0.05L, ""},
        {true, true, 3, "0", "0.05 m (osnowa szczegółowa)", true, {}, 3, 0.05L, ""},
        {true, true, 3, "1OO", "0.05 m (osnowa szczegółowa)", true, {}, 3, 0.05L, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.radius) + " " + c.limit);
        preAnalysis->setChecked(c.preAnalysis);
        advise->setChecked(c.advise);
        budget->setValue(c.budget);
        radius->setText(QString::fromUtf8(c.radius));
        limit->setEditText(QString::fromUtf8(c.limit));
        for (int pass = 0; pass < 2; ++pass) {
            const RunChoices choices = options.choices();
            EXPECT_EQ(choices.preAnalysis, c.preAnalysis);
            EXPECT_EQ(choices.plan.advise, c.advised);
            EXPECT_EQ(choices.plan.candidatesWithin, c.within);
            EXPECT_EQ(choices.plan.advisorBudget, c.advisorBudget);
            EXPECT_EQ(choices.plan.mpLimit, c.mpLimit);
            EXPECT_EQ(choices.plan.mpLimit, choices.controlOptions.mpLimit);
            // The advisor takes input with the pre-analysis, its limits with the advisor.
            EXPECT_EQ(advise->isEnabled(), c.preAnalysis);
            EXPECT_EQ(radius->isEnabled(), c.preAnalysis && c.advise);
            EXPECT_EQ(budget->isEnabled(), c.preAnalysis && c.advise);
            emit radius->editingFinished();
        }
        EXPECT_EQ(radius->text(), QString::fromUtf8(c.radiusShown));
    }

    // A run holds every option; its end gives back the choice as it was.
    preAnalysis->setChecked(true);
    advise->setChecked(false);
    options.setEnabled(false);
    for (QWidget* control : std::initializer_list<QWidget*>{preAnalysis, advise, budget, radius}) {
        EXPECT_FALSE(control->isEnabled()) << control->objectName().toStdString();
    }
    options.setEnabled(true);
    EXPECT_TRUE(preAnalysis->isEnabled());
    EXPECT_TRUE(advise->isEnabled());
    EXPECT_FALSE(radius->isEnabled());
}

// The box of the pre-analysis fits under the message list, its controls within it and clear
// of each other, and PROJEKT.ptw is in the result column above the sketch panel, the column
// within the window and no panel over another.
TEST_F(WindowFixture, ThePlanBoxAndThePanelOfPROJEKTFitTheLayout) {
    open();
    const QRect memo = child<QPlainTextEdit>("Memo1")->geometry();
    std::vector<QRect> plan;
    for (const char* name : {"PreAnalysisBox", "AdviseBox", "AdvisorBudget", "CandidateRadius"}) {
        plan.push_back(child<QWidget>(name)->geometry());
    }
    for (QLabel* label : window->findChildren<QLabel*>()) {
        if (label->buddy() != nullptr && label->isVisible()) {
            plan.push_back(label->geometry());
        }
    }
    ASSERT_EQ(plan.size(), 6u);
    const QRect arm = child<QPushButton>("Button1")->geometry();
    for (size_t i = 0; i < plan.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_GT(plan[i].top(), memo.bottom());
        EXPECT_LT(plan[i].bottom(), arm.top());
        EXPECT_GE(plan[i].left(), memo.left());
        EXPECT_LE(plan[i].right(), memo.right());
        for (size_t j = 0; j < i; ++j) {
            EXPECT_FALSE(plan[i].intersects(plan[j])) << j;
        }
    }

    std::vector<QRect> panels;
    for (const FileSetEntry& entry : fileSet) {
        panels.push_back(child<QLabel>(std::string(entry.panel).c_str())->geometry());
    }
    panels.push_back(child<QLabel>("SketchPanel")->geometry());
    const QRect projekt = child<QLabel>("Panel25")->geometry();
    EXPECT_LT(projekt.bottom(), child<QLabel>("SketchPanel")->geometry().top());
    EXPECT_EQ(projekt.left(), child<QLabel>("Panel24")->geometry().left());
    for (size_t i = 0; i < panels.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_TRUE(window->rect().contains(panels[i]));
        EXPECT_FALSE(panels[i].intersects(memo));
        for (size_t j = 0; j < i; ++j) {
            EXPECT_FALSE(panels[i].intersects(panels[j])) << j;
        }
    }

    // The box with every option taking input, for a look at the layout.
    child<QCheckBox>("PreAnalysisBox")->setChecked(true);
    child<QCheckBox>("AdviseBox")->setChecked(true);
    child<QLineEdit>("CandidateRadius")->setText("250");
    const QString folder = QStringLiteral(PTW3_SCREENSHOT_DIR);
    ASSERT_TRUE(QDir().mkpath(folder));
    EXPECT_TRUE(window->grab().save(folder + "/main_window_plan.png"));
}

// The shipped plan from the window: the pre-analysis with the advisor leaves PROJEKT.ptw and
// the files beside it, no adjustment report, and a sketch with the proposal.
TEST_F(WindowFixture, ThePreAnalysisOfAPlanRunsFromTheWindow) {
    data.copyFilesOf(std::filesystem::path(PTW3_EXAMPLES_DIR) / "projekt-sieci");
    open();
    child<QCheckBox>("PreAnalysisBox")->setChecked(true);
    child<QCheckBox>("AdviseBox")->setChecked(true);
    runToEnd();
    EXPECT_TRUE(findFileNoCase(data.path(), "projekt.ptw"));
    EXPECT_TRUE(findFileNoCase(data.path(), "wyniki.json"));
    for (const char* report : {"rpw.ptw", "er3.ptw", "xy.ptw", "dxdy.ptw", "kontrola.ptw"}) {
        EXPECT_FALSE(findFileNoCase(data.path(), report)) << report;
    }
    EXPECT_EQ(panelColour("Panel25"), roleColour(QPalette::Base));
    const QString folder = QStringLiteral(PTW3_SCREENSHOT_DIR);
    ASSERT_TRUE(QDir().mkpath(folder));
    EXPECT_TRUE(window->grab().save(folder + "/main_window_projekt.png"));
    QTest::mouseClick(child<QLabel>("SketchPanel"), Qt::LeftButton);
    QPointer<QWidget> view;
    for (QWidget* top : QApplication::topLevelWidgets()) {
        if (top->objectName() == "sketchView" && top->isVisible()) {
            view = top;
        }
    }
    ASSERT_NE(view, nullptr);
    EXPECT_TRUE(view->grab().save(folder + "/sketch_projekt.png"));
    view->close();
}

TEST(DateDisplay, ReadsThePolishWayInAnyLanguage) {
    const QLocale saved;
    TempFolder program;
    const FixedClock clock(LocalDateTime{2026, 12, 9, 10, 0, 0});
    for (const QLocale& locale : {QLocale::c(), QLocale(QLocale::English, QLocale::UnitedStates),
                                  QLocale(QLocale::German), QLocale(QLocale::Polish)}) {
        SCOPED_TRACE(locale.name().toStdString());
        QLocale::setDefault(locale);
        MainWindow window(program.path(), program.path(), clock);
        EXPECT_EQ(window.findChild<QDateEdit*>("DateTimePicker1")->text(), "09.12.2026");
    }
    QLocale::setDefault(saved);
}

} // namespace
} // namespace ptw3
