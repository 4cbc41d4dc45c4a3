#include "shell/main_window.h"
#include "test_support.h"

#include <QApplication>
#include <QComboBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>

#include <gtest/gtest.h>

namespace ptw3 {
namespace {

using test::TempFolder;

TEST(MainWindow, OpensDisarmedOnTheFolderOfTarvelIni) {
    int argc = 1;
    char name[] = "ptw3_gui_tests";
    char* argv[] = {name, nullptr};
    QApplication app(argc, argv);

    TempFolder program;
    TempFolder data;
    program.write("tarvel.ini", "[General]\r\npath=" + data.path().string() + "\r\n");
    data.write("uklad", "1965\r\n3\r\n");
    data.write("XY.sta", "A 0 0\r\nB 100 0\r\n");
    data.write("DLUGOSCI", "A B 100\r\n");
    const FixedClock clock(LocalDateTime{2026, 12, 8, 10, 0, 0});
    MainWindow window(program.path(), "/", clock);

    EXPECT_EQ(window.objectName(), "Form2");
    EXPECT_EQ(window.statusBar()->currentMessage().toStdString(),
              " Folder roboczy = " + data.path().string());
    auto* arm = window.findChild<QPushButton*>("Button1");
    auto* compute = window.findChild<QPushButton*>("BitBtn1");
    auto* systems = window.findChild<QComboBox*>("ComboBox6");
    ASSERT_TRUE(arm && compute && systems);
    EXPECT_EQ(systems->currentText().toStdString(), "1965 strefa 3");
    EXPECT_TRUE(arm->isEnabled());
    EXPECT_FALSE(compute->isEnabled());

    arm->click();
    EXPECT_FALSE(arm->isEnabled());
    EXPECT_TRUE(compute->isEnabled());

    compute->click();
    EXPECT_TRUE(arm->isEnabled());
    EXPECT_FALSE(compute->isEnabled());
    const QString memo = window.findChild<QPlainTextEdit*>("Memo1")->toPlainText();
    EXPECT_TRUE(memo.contains(QString::fromUtf8(" KONIEC OBLICZEŃ:10:00:00"))) << memo.toStdString();
}

} // namespace
} // namespace ptw3
