#include "help/help_window.h"

#include "editor/fonts.h"
#include "help/help_texts.h"

#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextEdit>
#include <QVBoxLayout>
#include <QWidget>

namespace ptw3 {
namespace {

QString fromUtf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// A help window of fixed size holding the text area; the text can be scrolled, selected and
// even typed into, and nothing typed is kept.
QWidget* helpWindow(QWidget* owner, const char* name, QSize size, QAbstractScrollArea* text) {
    auto* window = new QWidget(owner, Qt::Window | Qt::MSWindowsFixedSizeDialogHint);
    window->setObjectName(name);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setWindowTitle(QStringLiteral("Pomoc"));
    window->setFixedSize(size);
    window->move(192, 107);
    text->setParent(window);
    text->setObjectName("Memo1");
    text->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    QPalette palette = text->palette();
    palette.setColor(QPalette::Base, QColor(0x00, 0xff, 0xff));
    text->setPalette(palette);
    auto* layout = new QVBoxLayout(window);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(text);
    window->show();
    return window;
}

// Paragraphs wrap at the window's edge; table lines keep their columns in a fixed-pitch font.
void writeBlocks(QTextEdit* text, std::span<const HelpBlock> blocks) {
    QTextCursor cursor(text->document());
    bool first = true;
    const auto startBlock = [&](const QTextBlockFormat& format) {
        if (!first) {
            cursor.insertBlock(format);
        } else {
            cursor.setBlockFormat(format);
        }
        first = false;
    };
    constexpr double headingSpaceAbove = 8;
    constexpr double paragraphSpaceBelow = 4;
    for (const HelpBlock& block : blocks) {
        QTextBlockFormat blockFormat;
        QTextCharFormat charFormat;
        charFormat.setFont(text->font());
        switch (block.kind) {
        case HelpBlock::Kind::Heading:
            blockFormat.setTopMargin(headingSpaceAbove);
            charFormat.setFontWeight(QFont::Bold);
            break;
        case HelpBlock::Kind::Paragraph:
            blockFormat.setBottomMargin(paragraphSpaceBelow);
            break;
        case HelpBlock::Kind::Table:
            blockFormat.setNonBreakableLines(true);
            charFormat.setFont(courierNew(text->font().pointSize()));
            for (const QString& line : fromUtf8(block.text).split(QLatin1Char('\n'),
                                                                   Qt::SkipEmptyParts)) {
                startBlock(blockFormat);
                cursor.insertText(line, charFormat);
            }
            continue;
        }
        startBlock(blockFormat);
        cursor.insertText(fromUtf8(block.text), charFormat);
    }
    text->moveCursor(QTextCursor::Start);
}

} // namespace

QWidget* openGeneralHelp(QWidget* owner) {
    auto* text = new QPlainTextEdit;
    text->setFont(courierNew(8));
    text->setPlainText(fromUtf8(generalHelpText()));
    return helpWindow(owner, "Form1", QSize(648, 348), text);
}

QWidget* openOptionsHelp(QWidget* owner) {
    auto* text = new QTextEdit;
    text->setFont(msSansSerif(8));
    text->setAcceptRichText(false);
    writeBlocks(text, optionsHelpBlocks());
    return helpWindow(owner, "Form3", QSize(470, 348), text);
}

} // namespace ptw3
