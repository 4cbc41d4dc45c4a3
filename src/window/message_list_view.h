// The message list of the main window: 161 lines, each replaced by index as the
// computation writes it. The view follows the newest line, so the last words of a
// run are in sight, unless the person has scrolled up to read earlier lines.
#pragma once

#include <QPlainTextEdit>

namespace ptw3 {

class MessageListView : public QPlainTextEdit {
public:
    explicit MessageListView(QWidget* parent);

    /// Line `index` now reads `text`; out-of-range indexes are ignored.
    void showLine(int index, const QString& text);
    void blankLines(int first, int last);
    /// A run begins: the view goes back to the top and follows its lines from there.
    void startRun();

private:
    void replaceLine(int index, const QString& text);
    /// True when the newest line lies below the visible part: the person scrolled up.
    bool scrolledAboveNewest() const;

    int m_newest = 0; ///< the index of the line written last
};

} // namespace ptw3
