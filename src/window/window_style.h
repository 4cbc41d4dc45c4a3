// What the parts of the main window share in drawing themselves: the colours of
// the window, placing a control at its pixels, background and text colours, bold
// and shrunk captions, and a label that reacts to a click as a button does.
#pragma once

#include <QColor>
#include <QFont>
#include <QLabel>
#include <QPalette>
#include <QString>

#include <functional>
#include <string_view>

namespace ptw3 {

inline const QColor maroon(0x80, 0x00, 0x00);
inline const QColor navy(0x00, 0x00, 0x80);
inline const QColor green(0x00, 0x80, 0x00);
inline const QColor aqua(0x00, 0xff, 0xff);

inline QString fromUtf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

/// A control's place in client pixels.
struct Rect {
    int left, top, width, height;
};

void place(QWidget* widget, const Rect& r);
void setBackground(QWidget* widget, const QColor& colour);
void setTextColour(QWidget* widget, const QColor& colour);
/// The colour the platform gives a role (button face, tooltip background, window).
QColor systemColour(QPalette::ColorRole role);
/// The font in bold, at the given size (0 keeps the size).
QFont boldFont(const QFont& base, int pointSize = 0);

/// The platform's font may be wider than the one the window was drawn for: a caption takes
/// a smaller size rather than lose its end.
void fitToWidth(QWidget* widget);

/// A label that reacts to a click as a button does: on the release of the left button
/// over it.
class ClickLabel : public QLabel {
public:
    ClickLabel(const QString& text, QWidget* parent, std::function<void()> onClick);

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    std::function<void()> m_onClick;
};

} // namespace ptw3
