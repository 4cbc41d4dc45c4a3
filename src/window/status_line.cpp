#include "window/status_line.h"

#include "common/clock.h"
#include "common/run_phases.h"
#include "window/window_style.h"

#include <QPainter>
#include <QProgressBar>

#include <algorithm>

namespace ptw3 {
namespace {

constexpr int progressSteps = 1000;
constexpr int barWidth = 110;
constexpr int elapsedWidth = 70;
constexpr int tickMs = 1000;

// The working folder: the whole text is the label's text and its tooltip; what does not fit
// is left out in the middle, so both the start and the folder's own name stay in sight.
class FolderLabel : public ClickLabel {
public:
    using ClickLabel::ClickLabel;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        const QRect area = contentsRect();
        p.drawText(area, Qt::AlignVCenter | Qt::AlignLeft,
                   fontMetrics().elidedText(text(), Qt::ElideMiddle, area.width()));
    }
};

} // namespace

StatusLine::StatusLine(QWidget* parent, std::function<void()> folderClicked)
    : QStatusBar(parent) {
    setObjectName("StatusBar1");
    setSizeGripEnabled(false);
    // Without the size grip the last widget would touch the window's edge.
    constexpr int rightMargin = 6;
    setContentsMargins(0, 0, rightMargin, 0);
    m_folder = new FolderLabel(QString(), this, std::move(folderClicked));
    m_folder->setObjectName("FolderStatus");
    m_folder->setMinimumWidth(1);
    m_folder->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_folder->setCursor(Qt::PointingHandCursor);
    addWidget(m_folder, 1);

    m_phase = new QLabel(this);
    m_phase->setObjectName("ProgressPhase");
    // As wide as the longest phase name, so that none is cut.
    int phaseWidth = 0;
    for (const std::string_view name : phase::all) {
        phaseWidth = std::max(phaseWidth, m_phase->fontMetrics().horizontalAdvance(fromUtf8(name)));
    }
    m_phase->setFixedWidth(phaseWidth + 2 * m_phase->margin() + 2);
    m_bar = new QProgressBar(this);
    m_bar->setObjectName("ProgressBar");
    m_bar->setRange(0, progressSteps);
    m_bar->setFixedWidth(barWidth);
    m_elapsed = new QLabel(this);
    m_elapsed->setObjectName("ElapsedTime");
    m_elapsed->setFixedWidth(elapsedWidth);
    m_elapsed->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    for (QWidget* widget : std::initializer_list<QWidget*>{m_phase, m_bar, m_elapsed}) {
        addWidget(widget);
        widget->hide();
    }
    m_tick.setInterval(tickMs);
    QObject::connect(&m_tick, &QTimer::timeout, this, [this] { showElapsed(); });
}

void StatusLine::setFolderText(const QString& text) {
    m_folder->setText(text);
    m_folder->setToolTip(text);
}

void StatusLine::startRun() {
    m_clock.start();
    m_tick.start();
    m_phase->clear();
    m_bar->setValue(0);
    showElapsed();
    for (QWidget* widget : std::initializer_list<QWidget*>{m_phase, m_bar, m_elapsed}) {
        widget->show();
    }
}

void StatusLine::showProgress(const QString& phase, double fraction) {
    m_phase->setText(phase);
    m_bar->setValue(static_cast<int>(fraction * progressSteps));
}

void StatusLine::endRun() {
    m_tick.stop();
    showElapsed();
    m_phase->hide();
    m_bar->hide();
}

void StatusLine::showElapsed() {
    m_elapsed->setText(fromUtf8("czas ") +
                       QString::fromStdString(formatElapsed(m_clock.elapsed() / 1000)));
}

} // namespace ptw3
