#include "editor/editor_window.h"

#include "common/encoding.h"
#include "common/number_parse.h"
#include "common/text_file.h"
#include "editor/fonts.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>
#include <QPainterPath>
#include <QPlainTextEdit>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QSaveFile>
#include <QScreen>
#include <QSlider>
#include <QStyle>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextEdit>
#include <QToolBar>

namespace ptw3 {

const QString EditorWindow::newDocumentName = QStringLiteral("Nowy dokument");

namespace {

constexpr int windowWidth = 642;
constexpr int windowHeight = 531;
constexpr int startFontSize = 8;
constexpr int smallestFontSize = 5;
constexpr int largestFontSize = 20;
constexpr int smallestTypedFontSize = 3; // 3 and 4 move the track bar to its end, 5
constexpr int trackBarTickStep = 3;
// The printed paragraphs' left indent: 35 points in the text layout's units, pixels at
// 96 per inch.
constexpr qreal printIndent = 35.0 * 96.0 / 72.0;

const QString fileFilter = QStringLiteral("Wszystkie pliki (*)");
const QString programTitle = QString::fromUtf8("Wyrównanie sieci poziomej");

qsizetype lastSeparator(const QString& name) {
    return std::max(name.lastIndexOf(QLatin1Char('/')), name.lastIndexOf(QDir::separator()));
}

QString fileNamePart(const QString& name) {
    return name.mid(lastSeparator(name) + 1);
}

QString folderPart(const QString& name) {
    return name.left(lastSeparator(name) + 1);
}

// Windows-1250 bytes with any line ends -> the text shown; a file that is UTF-8 is read as
// the computation reads it.
QString textFromFile(std::string bytes) {
    QString text = QString::fromStdString(utf8FromCp1250(asCp1250(std::move(bytes))));
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

// The document's text with every paragraph and line break as "\n".
QString plainLines(QString text) {
    text.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    text.replace(QChar::LineSeparator, QLatin1Char('\n'));
    return text;
}

// Plain lines -> Windows-1250 bytes, every line break written as CR LF.
std::string fileFromText(const QString& text) {
    const std::string bytes = cp1250FromUtf8(text.toStdString());
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 16);
    for (char c : bytes) {
        if (c == '\n') {
            out += '\r';
        }
        out += c;
    }
    return out;
}

// The lines of plain text that hold characters without a Windows-1250 byte, as
// "wiersz 12: √ →" (lines counted from 1); a line's characters past the first few end in "…".
QStringList linesWithMissingCharacters(const QString& text) {
    constexpr int shownPerLine = 8;
    QStringList rows;
    int line = 1;
    QString shown;
    int missing = 0;
    const auto endLine = [&] {
        if (missing > 0) {
            rows << QString::fromUtf8("wiersz %1:%2%3")
                        .arg(line)
                        .arg(shown, missing > shownPerLine ? QString::fromUtf8(" …") : QString());
        }
        ++line;
        shown.clear();
        missing = 0;
    };
    for (const char32_t c : text.toUcs4()) {
        if (c == U'\n') {
            endLine();
        } else if (!hasCp1250Byte(c) && ++missing <= shownPerLine) {
            shown += QLatin1Char(' ') + QString::fromUcs4(&c, 1);
        }
    }
    endLine();
    return rows;
}

enum class ToolPicture { Print, Find, Cut, Copy, Paste, Undo, Bold, Font };

QIcon toolIcon(ToolPicture picture) {
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Qt::black, 1));
    switch (picture) {
    case ToolPicture::Print:
        p.setBrush(Qt::white);
        p.drawRect(QRectF(4.5, 1.5, 7, 5));
        p.setBrush(Qt::lightGray);
        p.drawRect(QRectF(1.5, 6.5, 13, 6));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(4.5, 10.5, 7, 4));
        break;
    case ToolPicture::Find:
        p.setPen(QPen(Qt::darkBlue, 2));
        p.drawEllipse(QRectF(2, 2, 8, 8));
        p.drawLine(QPointF(9, 9), QPointF(14, 14));
        break;
    case ToolPicture::Cut:
        p.drawLine(QPointF(4, 1), QPointF(11, 10));
        p.drawLine(QPointF(12, 1), QPointF(5, 10));
        p.setPen(QPen(Qt::darkRed, 1.5));
        p.drawEllipse(QRectF(1.5, 10, 4, 4));
        p.drawEllipse(QRectF(10.5, 10, 4, 4));
        break;
    case ToolPicture::Copy:
        p.setBrush(Qt::white);
        p.drawRect(QRectF(1.5, 1.5, 8, 10));
        p.drawRect(QRectF(6.5, 4.5, 8, 10));
        break;
    case ToolPicture::Paste:
        p.setBrush(QColor(0xc0, 0x90, 0x50));
        p.drawRect(QRectF(2.5, 2.5, 10, 12));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(6.5, 6.5, 8, 8));
        p.setBrush(Qt::gray);
        p.drawRect(QRectF(5.5, 1.5, 4, 2));
        break;
    case ToolPicture::Undo: {
        p.setPen(QPen(Qt::darkBlue, 1.8));
        QPainterPath arc;
        arc.moveTo(4, 7);
        arc.cubicTo(8, 2, 15, 5, 12, 13);
        p.drawPath(arc);
        p.drawLine(QPointF(4, 7), QPointF(4, 2.5));
        p.drawLine(QPointF(4, 7), QPointF(8.5, 7.5));
        break;
    }
    case ToolPicture::Bold:
    case ToolPicture::Font: {
        QFont font = msSansSerif(11);
        font.setBold(picture == ToolPicture::Bold);
        font.setItalic(picture == ToolPicture::Font);
        p.setFont(font);
        p.drawText(QRectF(0, 0, 16, 16), Qt::AlignCenter,
                   picture == ToolPicture::Bold ? QStringLiteral("B") : QStringLiteral("F"));
        break;
    }
    }
    return QIcon(pixmap);
}

} // namespace

// The find dialog: only the search text can be set; the search goes down the text,
// case-sensitively.
class FindDialog : public QDialog {
public:
    explicit FindDialog(EditorWindow* editor)
        : QDialog(editor) {
        setObjectName("FindDialog1");
        setWindowTitle(QString::fromUtf8("Znajdź"));
        auto* layout = new QHBoxLayout(this);
        layout->addWidget(new QLabel(QString::fromUtf8("Znajdź:"), this));
        m_text = new QLineEdit(this);
        m_text->setObjectName("FindText");
        m_text->setMinimumWidth(200);
        layout->addWidget(m_text);
        auto* findNext = new QPushButton(QString::fromUtf8("Znajdź &następny"), this);
        findNext->setObjectName("FindNext");
        findNext->setDefault(true);
        layout->addWidget(findNext);
        auto* cancel = new QPushButton(QString::fromUtf8("Anuluj"), this);
        layout->addWidget(cancel);
        connect(findNext, &QPushButton::clicked, this,
                [this, editor] { editor->findNext(m_text->text()); });
        connect(cancel, &QPushButton::clicked, this, &QDialog::hide);
    }

private:
    QLineEdit* m_text;
};

EditorWindow::EditorWindow(QWidget* owner)
    : QMainWindow(owner, Qt::Window | Qt::WindowStaysOnTopHint)
    , m_dialogFont(msSansSerif(startFontSize)) {
    setObjectName("Form4");
    setAttribute(Qt::WA_DeleteOnClose);
    resize(windowWidth, windowHeight);
    const QScreen* screen = owner != nullptr ? owner->screen() : QGuiApplication::primaryScreen();
    if (screen != nullptr) {
        move(screen->availableGeometry().center() - QPoint(windowWidth / 2, windowHeight / 2));
    }

    m_text = new QPlainTextEdit(this);
    m_text->setObjectName("Memo1");
    m_text->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_text->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_text->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_text->setFont(courierNew(startFontSize));
    // The selection stays visible when the text loses the focus (to the find dialog).
    QPalette palette = m_text->palette();
    palette.setColor(QPalette::Inactive, QPalette::Highlight,
                     palette.color(QPalette::Active, QPalette::Highlight));
    palette.setColor(QPalette::Inactive, QPalette::HighlightedText,
                     palette.color(QPalette::Active, QPalette::HighlightedText));
    m_text->setPalette(palette);
    setCentralWidget(m_text);

    m_printCopy = new QTextEdit(this);
    m_printCopy->setObjectName("r1");
    m_printCopy->setFont(m_text->font());
    m_printCopy->hide();

    buildMenus();
    buildToolBar();
}

void EditorWindow::buildMenus() {
    const auto add = [this](QMenu* menu, const char* text, auto handler,
                            QKeySequence::StandardKey key = QKeySequence::UnknownKey) {
        QAction* action = menu->addAction(QString::fromUtf8(text), this, handler);
        action->setShortcut(key);
        return action;
    };
    QMenu* file = menuBar()->addMenu(QStringLiteral("Plik"));
    add(
        file, "&Nowy", [this] { newDocument(); }, QKeySequence::New);
    add(
        file, "&Otwórz...", [this] { openDocument(); }, QKeySequence::Open);
    add(
        file, "&Zapisz", [this] { save(); }, QKeySequence::Save);
    add(file, "Zapisz &jako...", [this] { saveAs(); });
    add(
        file, "&Drukuj...", [this] { print(); }, QKeySequence::Print);
    add(file, "W&yjście", [this] { close(); });
    QMenu* edit = menuBar()->addMenu(QStringLiteral("Edycja"));
    add(edit, "Cofnij", [this] { undo(); });
    add(edit, "&Wytnij", [this] { m_text->cut(); });
    add(edit, "&Kopiuj", [this] { m_text->copy(); });
    add(edit, "Wkl&ej", [this] { m_text->paste(); });
    QMenu* find = menuBar()->addMenu(QString::fromUtf8("Znajdź"));
    add(
        find, "Znajdź...", [this] { showFindDialog(); }, QKeySequence::Find);

    m_text->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_text, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        QMenu menu(this);
        // The context menu's undo leaves the modified flag to the text control.
        menu.addAction(QStringLiteral("Cofnij"), m_text, &QPlainTextEdit::undo);
        menu.addAction(QStringLiteral("Wytnij"), m_text, &QPlainTextEdit::cut);
        menu.addAction(QStringLiteral("Kopiuj"), m_text, &QPlainTextEdit::copy);
        menu.addAction(QStringLiteral("Wklej"), m_text, &QPlainTextEdit::paste);
        menu.exec(m_text->viewport()->mapToGlobal(at));
    });
}

void EditorWindow::buildToolBar() {
    QToolBar* bar = addToolBar(QStringLiteral("ToolBar1"));
    bar->setObjectName("ToolBar1");
    bar->setMovable(false);
    bar->setIconSize(QSize(16, 16));
    const auto button = [this, bar](const QIcon& icon, const char* hint, auto handler) {
        QAction* action = bar->addAction(icon, QString::fromUtf8(hint), this, handler);
        action->setToolTip(QString::fromUtf8(hint));
        return action;
    };
    QStyle* look = style();
    button(look->standardIcon(QStyle::SP_FileIcon), "Nowy plik", [this] { newDocument(); });
    bar->addSeparator();
    button(look->standardIcon(QStyle::SP_DialogOpenButton), "Otwórz zbiór",
           [this] { openDocument(); });
    button(look->standardIcon(QStyle::SP_DialogSaveButton), "Zapisz plik", [this] { save(); });
    bar->addSeparator();
    button(toolIcon(ToolPicture::Print), "Drukuj plik", [this] { print(); });
    bar->addSeparator();
    button(toolIcon(ToolPicture::Find), "Szukaj ciągu znaków", [this] { showFindDialog(); });
    bar->addSeparator();
    button(toolIcon(ToolPicture::Cut), "Wytnij zaznaczony tekst", [this] { m_text->cut(); });
    button(toolIcon(ToolPicture::Copy), "Kopiuj do schowka", [this] { m_text->copy(); });
    button(toolIcon(ToolPicture::Paste), "Wklej ze schowka", [this] { m_text->paste(); });
    bar->addSeparator();
    button(toolIcon(ToolPicture::Undo), "Cofanie o 1 krok", [this] { undo(); });
    bar->addSeparator();
    button(toolIcon(ToolPicture::Bold), "font = [ Bold ]", [this] { toggleBold(); });
    bar->addSeparator();

    m_trackBar = new QSlider(Qt::Horizontal, bar);
    m_trackBar->setObjectName("TrackBar1");
    m_trackBar->setRange(smallestFontSize, largestFontSize);
    m_trackBar->setTickInterval(trackBarTickStep);
    m_trackBar->setTickPosition(QSlider::TicksBelow);
    m_trackBar->setValue(startFontSize);
    m_trackBar->setFixedWidth(110);
    m_trackBar->setToolTip(QString::fromUtf8("Ustaw wielkość znaków"));
    bar->addWidget(m_trackBar);
    m_sizeField = new QLineEdit(QString::number(startFontSize), bar);
    m_sizeField->setObjectName("Edit1");
    m_sizeField->setFixedWidth(30);
    m_sizeField->setToolTip(QStringLiteral("Wielko"));
    bar->addWidget(m_sizeField);
    connect(m_trackBar, &QSlider::valueChanged, this,
            [this](int value) { trackBarChanged(value); });
    connect(m_sizeField, &QLineEdit::returnPressed, this, [this] { sizeFieldEntered(); });
    bar->addSeparator();
    button(toolIcon(ToolPicture::Font), "font [do druku]", [this] { chooseFont(); });

    auto* spacer = new QWidget(bar);
    spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    bar->addWidget(spacer);
    auto* close = new QPushButton(QStringLiteral("ZAMKNIJ"), bar);
    close->setObjectName("ZamknijButton");
    QFont bold = close->font();
    bold.setBold(true);
    close->setFont(bold);
    bar->addWidget(close);
    connect(close, &QPushButton::clicked, this, [this] { this->close(); });
}

bool EditorWindow::isModified() const {
    return m_text->document()->isModified();
}

void EditorWindow::setDocumentName(const QString& name) {
    m_documentName = name;
    setWindowTitle(name);
}

bool EditorWindow::loadFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        showError(QString::fromUtf8("Nie można otworzyć pliku %1").arg(path));
        return false;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        showError(QString::fromUtf8("Nie można odczytać pliku %1").arg(path));
        return false;
    }
    m_text->setPlainText(textFromFile(bytes.toStdString()));
    return true;
}

bool EditorWindow::writeFile(const QString& path) {
    const QString text = plainLines(m_text->document()->toRawText());
    if (!mayReplaceMissingCharacters(text)) {
        return false;
    }
    const std::string bytes = fileFromText(text);
    QSaveFile file(path);
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(bytes.data(), static_cast<qint64>(bytes.size())) !=
            static_cast<qint64>(bytes.size()) ||
        !file.commit()) {
        showError(QString::fromUtf8("Nie można zapisać pliku %1").arg(path));
        return false;
    }
    m_text->document()->setModified(false);
    return true;
}

bool EditorWindow::mayReplaceMissingCharacters(const QString& text) {
    constexpr int shownLines = 5;
    const QStringList rows = linesWithMissingCharacters(text);
    if (rows.isEmpty()) {
        return true;
    }
    QString list = rows.mid(0, shownLines).join(QLatin1Char('\n'));
    if (rows.size() > shownLines) {
        list += QString::fromUtf8("\n…");
    }
    QMessageBox box(QMessageBox::Warning, programTitle,
                    QString::fromUtf8("Tych znaków nie ma w kodzie Windows-1250, w pliku każdy "
                                      "z nich zostanie zapisany jako „?”:\n\n%1\n\n"
                                      "Zapisać mimo to?")
                        .arg(list),
                    QMessageBox::Save | QMessageBox::Cancel, this);
    box.setTextFormat(Qt::PlainText);
    box.button(QMessageBox::Save)->setText(QStringLiteral("Zapisz mimo to"));
    box.button(QMessageBox::Cancel)->setText(QStringLiteral("Anuluj"));
    box.setDefaultButton(QMessageBox::Cancel);
    return box.exec() == QMessageBox::Save;
}

void EditorWindow::showError(const QString& text) {
    QMessageBox box(QMessageBox::Critical, programTitle, text, QMessageBox::Ok, this);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

bool EditorWindow::maySetTextAside() {
    if (!isModified()) {
        return true;
    }
    QMessageBox box(QMessageBox::Question, QStringLiteral("Tarvel"),
                    QString::fromUtf8("Czy zapisać zmiany ?"),
                    QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, this);
    box.button(QMessageBox::Yes)->setText(QStringLiteral("Tak"));
    box.button(QMessageBox::No)->setText(QStringLiteral("Nie"));
    box.button(QMessageBox::Cancel)->setText(QStringLiteral("Anuluj"));
    switch (box.exec()) {
    case QMessageBox::Yes:
        // A new document is written as the file "Nowy dokument" of its folder.
        return writeFile(m_documentName);
    case QMessageBox::No:
        m_text->document()->setModified(false);
        return true;
    default:
        return false;
    }
}

void EditorWindow::newDocument() {
    // Unsaved changes are not dropped without asking.
    if (!maySetTextAside()) {
        return;
    }
    m_text->clear();
    m_text->document()->setModified(false);
    if (fileNamePart(m_documentName) != newDocumentName) {
        setDocumentName(folderPart(m_documentName) + newDocumentName);
    }
}

void EditorWindow::openDocument() {
    if (!maySetTextAside()) {
        return;
    }
    const QString path =
        QFileDialog::getOpenFileName(this, QString(), folderPart(m_documentName), fileFilter);
    if (path.isEmpty() || !loadFile(path)) {
        return;
    }
    m_text->document()->setModified(false);
    setDocumentName(path);
}

bool EditorWindow::save() {
    if (fileNamePart(m_documentName) == newDocumentName) {
        return saveAs();
    }
    return writeFile(m_documentName);
}

bool EditorWindow::saveAs() {
    const QString path =
        QFileDialog::getSaveFileName(this, QString(), folderPart(m_documentName), fileFilter,
                                     nullptr, QFileDialog::DontConfirmOverwrite);
    if (path.isEmpty() || !writeFile(path)) {
        return false;
    }
    setDocumentName(path);
    return true;
}

void EditorWindow::preparePrintCopy() {
    m_printCopy->setPlainText(m_text->document()->toRawText());
    m_printCopy->document()->setDefaultFont(m_text->font());
    QTextCursor cursor(m_printCopy->document());
    cursor.select(QTextCursor::Document);
    QTextBlockFormat indent;
    indent.setLeftMargin(printIndent);
    cursor.mergeBlockFormat(indent);
}

void EditorWindow::print() {
    preparePrintCopy();
    QPrinter printer(QPrinter::HighResolution);
    QPrintDialog dialog(&printer, this);
    if (dialog.exec() != QDialog::Accepted) {
        return;
    }
    printer.setDocName(fileNamePart(m_documentName));
    m_printCopy->document()->print(&printer);
}

void EditorWindow::printTo(QPrinter& printer) {
    preparePrintCopy();
    printer.setDocName(fileNamePart(m_documentName));
    m_printCopy->document()->print(&printer);
}

void EditorWindow::undo() {
    m_text->undo();
    m_text->document()->setModified(true);
}

void EditorWindow::showFindDialog() {
    if (m_findDialog == nullptr) {
        m_findDialog = new FindDialog(this);
    }
    m_findDialog->show();
    m_findDialog->raise();
    m_findDialog->activateWindow();
}

void EditorWindow::findNext(const QString& searchText) {
    const QTextCursor selection = m_text->textCursor();
    // A selection that is the search text was found last: the search goes on one character
    // after its end.
    const int start = selection.hasSelection() && selection.selectedText() == searchText
                          ? selection.selectionEnd() + 1
                          : 0;
    const QTextCursor found =
        searchText.isEmpty()
            ? QTextCursor()
            : m_text->document()->find(searchText, start, QTextDocument::FindCaseSensitively);
    if (found.isNull()) {
        QMessageBox box(QMessageBox::Information, QStringLiteral("Informacja"),
                        QString::fromUtf8("Nie można odnaleźć łańcucha"), QMessageBox::Ok, this);
        box.exec();
        return;
    }
    m_text->setTextCursor(found);
    m_text->setFocus();
}

void EditorWindow::toggleBold() {
    QFont font = m_text->font();
    const bool exactlyBold =
        font.bold() && !font.italic() && !font.underline() && !font.strikeOut();
    font.setBold(!exactlyBold);
    font.setItalic(false);
    font.setUnderline(false);
    font.setStrikeOut(false);
    m_text->setFont(font);
}

void EditorWindow::chooseFont() {
    bool chosen = false;
    const QFont font = QFontDialog::getFont(&chosen, m_dialogFont, this);
    if (!chosen) {
        return;
    }
    m_dialogFont = font;
    m_text->setFont(font);
}

void EditorWindow::trackBarChanged(int value) {
    QFont font = m_text->font();
    font.setPointSize(value);
    m_text->setFont(font);
    QFont printFont = m_printCopy->font();
    printFont.setPointSize(value);
    m_printCopy->setFont(printFont);
    m_sizeField->setText(QString::number(value));
    m_text->setFocus();
}

void EditorWindow::sizeFieldEntered() {
    const QString typed = m_sizeField->text();
    const auto size = parseInteger(typed.toStdString());
    if (!size) {
        showError(QString::fromUtf8("'%1' nie jest poprawną liczbą całkowitą").arg(typed));
        return;
    }
    if (*size < smallestTypedFontSize || *size > largestFontSize) {
        m_sizeField->setText(QString::number(m_trackBar->value()));
        return;
    }
    // The track bar clamps to its range; only a change of its value sets the font.
    m_trackBar->setValue(*size);
}

void EditorWindow::closeEvent(QCloseEvent* event) {
    if (maySetTextAside()) {
        event->accept();
    } else {
        event->ignore();
    }
}

EditorWindow* openInEditor(const QString& path, QWidget* owner) {
    auto* editor = new EditorWindow(owner);
    editor->setDocumentName(path);
    if (QFileInfo::exists(path)) {
        editor->loadFile(path);
    } else {
        editor->m_text->setPlainText(QStringLiteral(" "));
    }
    editor->show();
    editor->m_text->document()->setModified(false);
    return editor;
}

} // namespace ptw3
