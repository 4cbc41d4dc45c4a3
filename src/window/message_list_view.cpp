#include "window/message_list_view.h"

#include "common/message_list.h"
#include "editor/fonts.h"
#include "window/window_style.h"

#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>

#include <algorithm>

namespace ptw3 {

MessageListView::MessageListView(QWidget* parent)
    : QPlainTextEdit(parent) {
    setObjectName("Memo1");
    setFont(courierNew(8));
    setReadOnly(true);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setBackground(this, aqua);
    setPlainText(QString(MessageList::lastIndex, QLatin1Char('\n')));
}

bool MessageListView::scrolledAboveNewest() const {
    const QTextBlock newest = document()->findBlockByNumber(m_newest);
    return blockBoundingGeometry(newest).translated(contentOffset()).top() >= viewport()->height();
}

void MessageListView::replaceLine(int index, const QString& text) {
    QTextCursor cursor(document()->findBlockByNumber(index));
    cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
    // The list holds one line per index: a line break inside a text would shift the rest.
    QString line = text;
    line.replace(QLatin1Char('\n'), QLatin1Char(' ')).replace(QLatin1Char('\r'), QLatin1Char(' '));
    cursor.insertText(line);
}

void MessageListView::showLine(int index, const QString& text) {
    if (index < 0 || index > MessageList::lastIndex) {
        return;
    }
    const bool following = !scrolledAboveNewest();
    replaceLine(index, text);
    m_newest = index;
    if (following) {
        setTextCursor(QTextCursor(document()->findBlockByNumber(index)));
        ensureCursorVisible();
    }
}

void MessageListView::blankLines(int first, int last) {
    for (int i = std::max(first, 0); i <= std::min(last, MessageList::lastIndex); ++i) {
        replaceLine(i, QStringLiteral(" "));
    }
}

void MessageListView::startRun() {
    verticalScrollBar()->setValue(0);
    m_newest = 0;
}

} // namespace ptw3
