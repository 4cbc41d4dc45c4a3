#include "help/help_window.h"

#include "editor/fonts.h"
#include "help/help_texts.h"

#include <QPlainTextEdit>
#include <QVBoxLayout>
#include <QWidget>

namespace ptw3 {
namespace {

struct HelpWindowKind {
    const char* objectName;
    int width;
    int height;
    QFont font;
    std::string_view text;
};

QWidget* openHelp(QWidget* owner, const HelpWindowKind& kind) {
    auto* window = new QWidget(owner, Qt::Window | Qt::MSWindowsFixedSizeDialogHint);
    window->setObjectName(kind.objectName);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setWindowTitle(QStringLiteral("Pomoc"));
    window->setFixedSize(kind.width, kind.height);
    window->move(192, 107);

    // The text can be scrolled, selected and even typed into; nothing is kept.
    auto* text = new QPlainTextEdit(window);
    text->setObjectName("Memo1");
    text->setFont(kind.font);
    text->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    QPalette palette = text->palette();
    palette.setColor(QPalette::Base, QColor(0x00, 0xff, 0xff));
    text->setPalette(palette);
    text->setPlainText(
        QString::fromUtf8(kind.text.data(), static_cast<qsizetype>(kind.text.size())));
    auto* layout = new QVBoxLayout(window);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(text);

    window->show();
    return window;
}

} // namespace

QWidget* openGeneralHelp(QWidget* owner) {
    return openHelp(owner, {"Form1", 648, 348, courierNew(8), generalHelpText()});
}

QWidget* openOptionsHelp(QWidget* owner) {
    return openHelp(owner, {"Form3", 470, 348, msSansSerif(8), optionsHelpText()});
}

} // namespace ptw3
