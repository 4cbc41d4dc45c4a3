#include "common/encoding.h"
#include "editor/editor_window.h"
#include "gui/gui_support.h"

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPrinter>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <QTextBlock>
#include <QTextEdit>

#include <gtest/gtest.h>

namespace ptw3 {
namespace {

using test::DialogScript;
using test::TempFolder;

struct EditorFixture : ::testing::Test {
    TempFolder folder;
    QWidget owner; // the editors close with it

    QString path(const char* name) const {
        return QString::fromStdString((folder.path() / name).string());
    }
    EditorWindow* open(const char* name) { return openInEditor(path(name), &owner); }
    static QPlainTextEdit* text(EditorWindow* editor) {
        return editor->findChild<QPlainTextEdit*>("Memo1");
    }
};

TEST_F(EditorFixture, AMissingFileOpensAsOneSpaceAndSavingCreatesIt) {
    EditorWindow* editor = open("katy");
    EXPECT_EQ(editor->windowTitle(), path("katy"));
    EXPECT_EQ(text(editor)->toPlainText(), " ");
    EXPECT_FALSE(editor->isModified());
    EXPECT_TRUE(editor->save());
    EXPECT_EQ(folder.read("katy"), " ");
}

TEST_F(EditorFixture, SavingWritesWindows1250WithCrLfLineEnds) {
    struct Case {
        const char* what;
        std::string file;
        std::string saved;
    };
    const std::string polish = cp1250("Zażółć gęślą jaźń\r\nŁÓDŹ 12.5\xc2\xa0m\r\n\r\n");
    const Case cases[] = {
        {"Windows-1250 with CR LF", polish, polish},
        {"no final line end", "A 0 0\r\nB 1 1", "A 0 0\r\nB 1 1"},
        {"LF line ends", "a\nb\n", "a\r\nb\r\n"},
        {"CR line ends", "a\rb\r", "a\r\nb\r\n"},
        {"UTF-8 file", "ąę\n", cp1250("ąę\r\n")},
        {"empty file", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        folder.write("DLUGOSCI", c.file);
        EditorWindow* editor = open("DLUGOSCI");
        EXPECT_TRUE(editor->save());
        EXPECT_EQ(folder.read("DLUGOSCI"), c.saved);
        EXPECT_TRUE(editor->close());
        // The saved file reads back as the same text.
        editor = open("DLUGOSCI");
        EXPECT_TRUE(editor->save());
        EXPECT_EQ(folder.read("DLUGOSCI"), c.saved);
        editor->close();
    }

    folder.write("KATY", polish);
    EditorWindow* editor = open("KATY");
    text(editor)->moveCursor(QTextCursor::End);
    text(editor)->insertPlainText(QString::fromUtf8("źż\nx"));
    EXPECT_TRUE(editor->isModified());
    EXPECT_TRUE(editor->save());
    EXPECT_FALSE(editor->isModified());
    EXPECT_EQ(folder.read("KATY"), polish + cp1250("źż\r\nx"));
}

// Characters that Windows-1250 lacks were saved as "?" without a word.
TEST_F(EditorFixture, CharactersWindows1250LacksAreNamedBeforeTheyAreSavedAsQuestionMarks) {
    const QString typed = QString::fromUtf8("ąę 1\nA √ 1\nB 😀 2\nC →ñ 3\n√√√√√√√√√\nD ∆\nE ∆\nF ∆");
    const QString warning = QString::fromUtf8(
        "Tych znaków nie ma w kodzie Windows-1250, w pliku każdy z nich zostanie zapisany jako "
        "„?”:\n\nwiersz 2: √\nwiersz 3: 😀\nwiersz 4: → ñ\nwiersz 5: √ √ √ √ √ √ √ √ …\n"
        "wiersz 6: ∆\n…\n\nZapisać mimo to?");
    const std::string old = "abc\r\n";
    const std::string replaced = cp1250("ąę 1\r\nA ? 1\r\nB ? 2\r\nC ?? 3\r\n?????????\r\n"
                                        "D ?\r\nE ?\r\nF ?");
    struct Case {
        const char* what;
        QStringList answers;
        bool (*command)(EditorWindow*);
        bool done;
        std::string file;
    };
    const auto save = [](EditorWindow* e) { return e->save(); };
    const auto close = [](EditorWindow* e) { return e->close(); };
    const Case cases[] = {
        {"save, cancelled", {"Anuluj"}, save, false, old},
        {"save anyway", {"Zapisz mimo to"}, save, true, replaced},
        {"close, save the changes, cancelled", {"Tak", "Anuluj"}, close, false, old},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        folder.write("KATY", old);
        QPointer<EditorWindow> editor = open("KATY");
        text(editor)->selectAll();
        text(editor)->insertPlainText(typed);
        DialogScript script(c.answers);
        EXPECT_EQ(c.command(editor), c.done);
        ASSERT_EQ(script.shown.size(), static_cast<size_t>(c.answers.size()));
        EXPECT_EQ(script.shown.back().text, warning);
        EXPECT_EQ(folder.read("KATY"), c.file);
        ASSERT_FALSE(editor.isNull());
        EXPECT_EQ(editor->isModified(), !c.done);
        EXPECT_EQ(text(editor)->toPlainText(), typed);
        text(editor)->document()->setModified(false);
        editor->close();
    }
}

TEST_F(EditorFixture, FindGoesDownCaseSensitivelyFromOneCharacterAfterTheMatch) {
    constexpr int notFound = -1;
    struct Case {
        const char* text;
        const char* search;
        std::vector<int> startsFound; ///< per press: where the selection starts, or notFound
    };
    const Case cases[] = {
        {"abab", "ab", {0, notFound}},      {"ab", "Ab", {notFound}},
        {"aaaa", "aa", {0, notFound}},      {"xabcab", "ab", {1, 4, notFound}},
        {"ab\nab", "ab", {0, 3, notFound}}, {"ab", "", {notFound}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text + std::string(" / ") + c.search);
        folder.write("KATY", c.text);
        EditorWindow* editor = open("KATY");
        DialogScript script({}, "OK");
        int lastStart = notFound;
        for (int expected : c.startsFound) {
            const size_t boxes = script.shown.size();
            editor->findNext(QString::fromUtf8(c.search));
            const QTextCursor selection = text(editor)->textCursor();
            if (expected == notFound) {
                ASSERT_EQ(script.shown.size(), boxes + 1);
                EXPECT_EQ(script.shown.back().title, "Informacja");
                EXPECT_EQ(script.shown.back().text.toStdString(), "Nie można odnaleźć łańcucha");
                // The selection stays where it was.
                EXPECT_EQ(selection.hasSelection() ? selection.selectionStart() : notFound,
                          lastStart);
            } else {
                EXPECT_EQ(script.shown.size(), boxes);
                EXPECT_EQ(selection.selectionStart(), expected);
                EXPECT_EQ(selection.selectedText(), QString::fromUtf8(c.search));
                lastStart = expected;
            }
        }
        editor->close();
    }

    // A selection that is not the search text starts the search at the beginning; the
    // find dialog's button runs the search.
    folder.write("KATY", "abcabc");
    EditorWindow* editor = open("KATY");
    QTextCursor bc(text(editor)->document());
    bc.setPosition(4);
    bc.setPosition(6, QTextCursor::KeepAnchor);
    text(editor)->setTextCursor(bc);
    editor->showFindDialog();
    editor->findChild<QLineEdit*>("FindText")->setText("abc");
    editor->findChild<QPushButton*>("FindNext")->click();
    EXPECT_EQ(text(editor)->textCursor().selectionStart(), 0);
    EXPECT_EQ(text(editor)->textCursor().selectionEnd(), 3);
}

TEST_F(EditorFixture, TheSizeFieldAndTheTrackBarSetTheFontSize) {
    EditorWindow* editor = open("KATY");
    auto* field = editor->findChild<QLineEdit*>("Edit1");
    auto* trackBar = editor->findChild<QSlider*>("TrackBar1");
    auto* printCopy = editor->findChild<QTextEdit*>("r1");
    ASSERT_TRUE(field && trackBar && printCopy);
    struct Case {
        const char* typed;
        const char* field;
        int size;
        bool error;
    };
    // Each step starts where the previous one left the track bar.
    const Case cases[] = {
        {"25", "8", 8, false},   {"2", "8", 8, false},  {"12", "12", 12, false},
        {"3", "5", 5, false},    {"4", "4", 5, false}, // the track bar stands at 5 already
        {"abc", "abc", 5, true}, {" 7", "7", 7, false}, {"20", "20", 20, false},
        {"7 ", "7 ", 20, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        DialogScript script({}, "OK");
        field->setText(c.typed);
        QTest::keyClick(field, Qt::Key_Return);
        EXPECT_EQ(field->text(), c.field);
        EXPECT_EQ(trackBar->value(), c.size);
        EXPECT_EQ(text(editor)->font().pointSize(), c.size);
        EXPECT_EQ(printCopy->font().pointSize(), c.size);
        EXPECT_EQ(script.shown.size(), c.error ? 1u : 0u);
    }
    trackBar->setValue(9);
    EXPECT_EQ(field->text(), "9");
    EXPECT_EQ(text(editor)->font().pointSize(), 9);
}

TEST_F(EditorFixture, TheCloseQuestionSavesDropsOrKeepsTheChanges) {
    struct Case {
        const char* answer;
        bool closed;
        std::string file;
    };
    const Case cases[] = {
        {"Tak", true, "xabc\r\n"},
        {"Nie", true, "abc\r\n"},
        {"Anuluj", false, "abc\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.answer);
        folder.write("KATY", "abc\r\n");
        QPointer<EditorWindow> editor = open("KATY");
        text(editor)->insertPlainText("x");
        DialogScript script({c.answer});
        EXPECT_EQ(editor->close(), c.closed);
        ASSERT_EQ(script.shown.size(), 1u);
        EXPECT_EQ(script.shown[0].title, "Tarvel");
        EXPECT_EQ(script.shown[0].text, "Czy zapisać zmiany ?");
        EXPECT_EQ(folder.read("KATY"), c.file);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_EQ(editor.isNull(), c.closed);
        if (!c.closed) {
            EXPECT_EQ(text(editor)->toPlainText(), "xabc\n");
            EXPECT_TRUE(editor->isModified());
            text(editor)->document()->setModified(false);
            EXPECT_TRUE(editor->close());
        }
    }
    // An unchanged text closes without a question.
    DialogScript none;
    EXPECT_TRUE(open("KATY")->close());
    EXPECT_TRUE(none.shown.empty());
}

TEST_F(EditorFixture, ANewDocumentIsSavedUnderTheNameChosenInTheDialog) {
    folder.write("KATY", "abc\r\n");
    EditorWindow* editor = open("KATY");
    text(editor)->insertPlainText("x");
    {
        // Changes are not dropped without a question; Cancel keeps them.
        DialogScript script({"Anuluj"});
        editor->newDocument();
        EXPECT_EQ(script.shown.size(), 1u);
        EXPECT_EQ(text(editor)->toPlainText(), "xabc\n");
    }
    {
        DialogScript script({"Nie"});
        editor->newDocument();
    }
    EXPECT_EQ(editor->windowTitle(), path("Nowy dokument"));
    EXPECT_EQ(text(editor)->toPlainText(), "");
    text(editor)->insertPlainText("q\nr");
    DialogScript script({path("nowy.txt")});
    EXPECT_TRUE(editor->save());
    ASSERT_EQ(script.shown.size(), 1u);
    EXPECT_EQ(script.shown[0].text, "<file dialog>");
    EXPECT_EQ(folder.read("nowy.txt"), "q\r\nr");
    EXPECT_EQ(folder.read("KATY"), "abc\r\n");
    EXPECT_EQ(editor->windowTitle(), path("nowy.txt"));
    EXPECT_FALSE(editor->isModified());
}

TEST_F(EditorFixture, BoldToggleMakesBoldOrRegularAndDropsOtherStyles) {
    EditorWindow* editor = open("KATY");
    struct Case {
        bool bold, italic;
        bool boldAfter;
    };
    const Case cases[] = {
        {false, false, true}, {true, false, false}, {false, true, true}, {true, true, true}};
    for (const Case& c : cases) {
        QFont font = text(editor)->font();
        font.setBold(c.bold);
        font.setItalic(c.italic);
        text(editor)->setFont(font);
        editor->toggleBold();
        EXPECT_EQ(text(editor)->font().bold(), c.boldAfter);
        EXPECT_FALSE(text(editor)->font().italic());
    }
}

TEST_F(EditorFixture, PrintsTheDocumentIndentedInTheEditorsFont) {
    folder.write("KATY", cp1250("1 2 3 100.0000\r\nżółw 4 5 6\r\n"));
    EditorWindow* editor = open("KATY");
    editor->findChild<QSlider*>("TrackBar1")->setValue(12);
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    const std::string pdf = (folder.path() / "katy.pdf").string();
    printer.setOutputFileName(QString::fromStdString(pdf));
    editor->printTo(printer);

    const std::string bytes = folder.read("katy.pdf");
    EXPECT_TRUE(bytes.starts_with("%PDF"));
    // The job is titled with the file name (UTF-16 in the document information).
    EXPECT_NE(bytes.find(std::string("\0K\0A\0T\0Y", 8)), std::string::npos);

    const QTextDocument* copy = editor->findChild<QTextEdit*>("r1")->document();
    EXPECT_EQ(copy->toPlainText(), QString::fromUtf8("1 2 3 100.0000\nżółw 4 5 6\n"));
    EXPECT_EQ(copy->defaultFont(), text(editor)->font());
    EXPECT_EQ(copy->defaultFont().pointSize(), 12);
    for (QTextBlock block = copy->begin(); block.isValid(); block = block.next()) {
        EXPECT_NEAR(block.blockFormat().leftMargin() * 72.0 / 96.0, 35.0, 1e-9);
    }
    std::filesystem::create_directories(PTW3_SCREENSHOT_DIR);
    editor->grab().save(QStringLiteral(PTW3_SCREENSHOT_DIR "/editor.png"));
}

TEST_F(EditorFixture, EachOpeningGivesAWindowOfItsOwn) {
    folder.write("KATY", "k\r\n");
    folder.write("XY.prz", "p\r\n");
    EditorWindow* first = open("KATY");
    EditorWindow* second = open("XY.prz");
    EditorWindow* third = open("KATY");
    EXPECT_EQ(first->pos(), second->pos());
    text(first)->insertPlainText("1");
    text(third)->insertPlainText("3");
    EXPECT_TRUE(first->save());
    EXPECT_EQ(folder.read("KATY"), "1k\r\n");
    EXPECT_EQ(folder.read("XY.prz"), "p\r\n");
    EXPECT_FALSE(second->isModified());
    EXPECT_TRUE(third->isModified());
    text(third)->document()->setModified(false);
}

} // namespace
} // namespace ptw3
