#include "gui/gui_support.h"
#include "window/main_window.h"

#include <QApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTextBlock>
#include <QTextEdit>
#include <QTextLayout>

#include <gtest/gtest.h>

namespace ptw3 {
namespace {

using test::TempFolder;

TEST(HelpWindows, EachClickOpensAnotherModelessWindow) {
    TempFolder program;
    const FixedClock clock(LocalDateTime{2026, 12, 8, 10, 0, 0});
    MainWindow window(program.path(), program.path(), clock);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    auto* generalHelp = window.findChild<QLabel*>("Image2");
    QTest::mouseClick(generalHelp, Qt::LeftButton);
    QTest::mouseClick(generalHelp, Qt::LeftButton);
    QTest::mouseClick(window.findChild<QLabel*>("StaticText2"), Qt::LeftButton);

    struct Case {
        const char* name;
        int count;
        QSize size;
    };
    const Case cases[] = {{"Form1", 2, QSize(648, 348)}, {"Form3", 1, QSize(470, 348)}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto windows = window.findChildren<QWidget*>(c.name);
        ASSERT_EQ(windows.size(), c.count);
        for (QWidget* help : windows) {
            EXPECT_TRUE(help->isVisible());
            EXPECT_FALSE(help->isModal());
            EXPECT_EQ(help->windowTitle(), "Pomoc");
            EXPECT_EQ(help->size(), c.size);
            EXPECT_EQ(help->minimumSize(), help->maximumSize());
        }
    }

    // Coming back from a help window runs the main window's set-up, which disarms.
    window.findChild<QPushButton*>("Button1")->click();
    QWidget* help = window.findChildren<QWidget*>("Form3").front();
    ASSERT_TRUE(test::activate(help));
    help->grab().save(QStringLiteral(PTW3_SCREENSHOT_DIR "/options_help.png"));
    window.findChildren<QWidget*>("Form1").front()->grab().save(
        QStringLiteral(PTW3_SCREENSHOT_DIR "/general_help.png"));
    ASSERT_TRUE(test::activate(&window));
    EXPECT_TRUE(window.findChild<QPushButton*>("Button1")->isEnabled());

    // Closing disposes of the window.
    const QPointer<QWidget> closed = help;
    help->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(closed.isNull());
}

// The timing table keeps its columns in a fixed-pitch font, within the window; paragraphs
// carry no line breaks of their own and wrap at the window's edge.
TEST(HelpWindows, TheOptionsHelpKeepsTablesInColumnsAndWrapsParagraphsAtItsEdge) {
    TempFolder program;
    const FixedClock clock(LocalDateTime{2026, 12, 8, 10, 0, 0});
    MainWindow window(program.path(), program.path(), clock);
    QTest::mouseClick(window.findChild<QLabel*>("StaticText2"), Qt::LeftButton);
    QWidget* help = window.findChild<QWidget*>("Form3");
    ASSERT_TRUE(QTest::qWaitForWindowExposed(help));
    auto* text = help->findChild<QTextEdit*>("Memo1");
    ASSERT_NE(text, nullptr);
    struct Case {
        const char* start;
        bool table;
    };
    const Case cases[] = {
        {"punkty   czas    rozszerzona", true},
        {"20 000   16 s", true},
        {"Sieci wygenerowane: siatka punktów", false},
        {"Liczba iteracji Gaussa-Newtona", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.start);
        QTextBlock block = text->document()->begin();
        while (block.isValid() && !block.text().startsWith(QString::fromUtf8(c.start))) {
            block = block.next();
        }
        ASSERT_TRUE(block.isValid());
        const QFontInfo font(block.begin().fragment().charFormat().font());
        EXPECT_EQ(font.fixedPitch(), c.table);
        EXPECT_EQ(block.blockFormat().nonBreakableLines(), c.table);
        if (c.table) {
            EXPECT_EQ(block.layout()->lineCount(), 1);
            EXPECT_LE(block.layout()->boundingRect().width(), text->viewport()->width());
        } else {
            EXPECT_GT(block.layout()->lineCount(), 1);
        }
    }
    EXPECT_EQ(text->lineWrapMode(), QTextEdit::WidgetWidth);
}

} // namespace
} // namespace ptw3
