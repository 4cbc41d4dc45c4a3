#include "window/window_style.h"

#include <QApplication>
#include <QMouseEvent>

namespace ptw3 {

void place(QWidget* widget, const Rect& r) {
    widget->setGeometry(r.left, r.top, r.width, r.height);
}

void setBackground(QWidget* widget, const QColor& colour) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, colour);
    palette.setColor(QPalette::Base, colour);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

void setTextColour(QWidget* widget, const QColor& colour) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, colour);
    palette.setColor(QPalette::Text, colour);
    widget->setPalette(palette);
}

QColor systemColour(QPalette::ColorRole role) {
    return QApplication::palette().color(role);
}

QFont boldFont(const QFont& base, int pointSize) {
    QFont font = base;
    font.setBold(true);
    if (pointSize > 0) {
        font.setPointSize(pointSize);
    }
    return font;
}

void fitToWidth(QWidget* widget) {
    constexpr int smallestPointSize = 6;
    while (widget->font().pointSize() > smallestPointSize &&
           widget->sizeHint().width() > widget->width()) {
        QFont font = widget->font();
        font.setPointSize(font.pointSize() - 1);
        widget->setFont(font);
    }
}

ClickLabel::ClickLabel(const QString& text, QWidget* parent, std::function<void()> onClick)
    : QLabel(text, parent)
    , m_onClick(std::move(onClick)) {}

void ClickLabel::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
        m_onClick();
    }
    QLabel::mouseReleaseEvent(event);
}

} // namespace ptw3
