// The canvas maps a point (X north, Y east, m) to the screen as
//   sx = w/2 + (Y − Yc)·k,   sy = h/2 − (X − Xc)·k
// with (Xc, Yc) the point at the centre and k the scale in px/m; the styles, ellipse
// magnification, outlier labels, the marks of the quality control and the proposals of the
// design advisor are those of siec.svg (export/sketch.h); the legend of the marks stands
// beside the canvas.
#include "sketch/sketch_view.h"

#include "common/folder_files.h"
#include "export/gis_files.h"
#include "export/results_json.h"

#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <algorithm>
#include <array>
#include <cmath>
#include <sstream>

namespace ptw3 {
namespace {

constexpr Real fitMarginPx = 40;
constexpr Real wheelStep = 1.0015L;     // zoom factor per 1/8 degree of the wheel
constexpr Real deepestZoom = 5000;      // largest scale relative to the fitted one
constexpr Real outlierViewShare = 0.4L; // a chosen outlier's line fills this much of the canvas
constexpr Real degreesPerGrad = 0.9L;
constexpr Real scaleBarShare = 0.2L;
/// Point numbers are written once the mean line is drawn at least this long (px).
constexpr Real labelledLinePx = 30;

QColor colourOf(std::string_view hex) {
    return QColor(QString::fromLatin1(hex.data(), static_cast<qsizetype>(hex.size())));
}

QPen penOf(std::string_view colour, Real width, std::string_view dashes = {}) {
    QPen pen(colourOf(colour));
    pen.setWidthF(static_cast<qreal>(width));
    pen.setCapStyle(Qt::RoundCap);
    if (!dashes.empty()) {
        // Qt counts a dash pattern in pen widths, SVG in pixels.
        QList<qreal> pattern;
        std::istringstream in{std::string(dashes)};
        for (double length = 0; in >> length;) {
            pattern << length / static_cast<qreal>(width);
        }
        pen.setDashPattern(pattern);
    }
    return pen;
}

QString kindText(ListedKind kind) {
    switch (kind) {
    case ListedKind::Angle:
        return QString::fromUtf8("kąt");
    case ListedKind::Direction:
        return QStringLiteral("kierunek");
    case ListedKind::Distance:
        return QString::fromUtf8("długość");
    case ListedKind::GpsDistance:
        return QString::fromUtf8("długość GPS");
    case ListedKind::Azimuth:
        return QStringLiteral("azymut");
    case ListedKind::GpsAzimuth:
        return QStringLiteral("azymut GPS");
    }
    return {};
}


void drawArrow(QPainter& painter, QPointF from, QPointF tip) {
    painter.drawLine(from, tip);
    const ArrowHead head = arrowHead(tip.x(), tip.y(), tip.x() - from.x(), tip.y() - from.y());
    const auto corner = [](Real x, Real y) {
        return QPointF(static_cast<qreal>(x), static_cast<qreal>(y));
    };
    painter.drawPolygon(QPolygonF({corner(head.tipX, head.tipY), corner(head.leftX, head.leftY),
                                   corner(head.rightX, head.rightY)}));
}

enum class Mark { Shift, AboveStandard, Removed, Proposal };

struct LegendRow {
    Mark mark;
    QString text;
};

/// The rows of the legend: the marks of the quality control, and those of a plan.
std::vector<LegendRow> legendRows(const NetworkResults& r, Real limit) {
    std::vector<LegendRow> rows;
    const auto ring = [&] {
        rows.push_back({Mark::AboveStandard,
                        QString::fromUtf8("Mp ponad standard " + limitText(limit))});
    };
    if (r.control) {
        rows.push_back(
            {Mark::Shift, QString::fromUtf8("przesunięcie wątpliwego punktu nawiązania")});
        ring();
        rows.push_back(
            {Mark::Removed, QString::fromUtf8("obserwacja usunięta (krok testu Baardy)")});
    }
    if (r.preAnalysis) {
        if (!r.control) {
            ring();
        }
        if (r.preAnalysis->advice) {
            rows.push_back({Mark::Proposal, QString::fromUtf8("obserwacja proponowana (doradca)")});
        }
    }
    return rows;
}

/// What the marks mean, as a picture for the side of the view.
QPixmap marksLegend(const QWidget& view, const std::vector<LegendRow>& rows) {
    constexpr int sampleWidth = 28, row = 20, left = 4;
    const QFontMetrics metrics(view.font());
    int widest = 0;
    for (const LegendRow& r : rows) {
        widest = std::max(widest, metrics.horizontalAdvance(r.text));
    }
    const qreal ratio = view.devicePixelRatioF();
    const int height = static_cast<int>(rows.size()) * row;
    QPixmap picture(QSize(left + sampleWidth + 8 + widest + 2, height) * ratio);
    picture.setDevicePixelRatio(ratio);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setFont(view.font());
    for (size_t i = 0; i < rows.size(); ++i) {
        const qreal y = row * (static_cast<qreal>(i) + 0.5);
        switch (rows[i].mark) {
        case Mark::Shift:
            painter.setPen(penOf(shiftColour, shiftWidth));
            painter.setBrush(colourOf(shiftColour));
            drawArrow(painter, QPointF(left, y), QPointF(left + sampleWidth, y));
            break;
        case Mark::AboveStandard: {
            painter.setPen(penOf(aboveStandardColour, 1.5L));
            painter.setBrush(Qt::NoBrush);
            const auto ring = static_cast<qreal>(aboveStandardRingPx) * 0.8;
            painter.drawEllipse(QPointF(left + sampleWidth / 2.0, y), ring, ring);
            break;
        }
        case Mark::Removed:
            painter.setPen(penOf(removedColour, removedWidth, removedDashes));
            painter.drawLine(QPointF(left, y), QPointF(left + sampleWidth, y));
            break;
        case Mark::Proposal:
            painter.setPen(penOf(proposalColour, proposalWidth, proposalDashes));
            painter.drawLine(QPointF(left, y), QPointF(left + sampleWidth, y));
            break;
        }
        painter.setPen(view.palette().color(QPalette::WindowText));
        painter.drawText(QPointF(left + sampleWidth + 8, y + metrics.ascent() / 2.0 - 1),
                         rows[i].text);
    }
    return picture;
}

} // namespace

class SketchCanvas : public QWidget {
  public:
    explicit SketchCanvas(QWidget* parent)
        : QWidget(parent) {
        setObjectName(QStringLiteral("sketchCanvas"));
        setMinimumSize(400, 300);
        setMouseTracking(false);
        setAutoFillBackground(true);
        QPalette p = palette();
        p.setColor(QPalette::Window, Qt::white);
        setPalette(p);
    }

    void setSketch(const Sketch* sketch) {
        m_sketch = sketch;
        m_labelsFor = {};
        fit();
    }

    void fit() {
        if (m_sketch == nullptr) {
            return;
        }
        const Sketch& s = *m_sketch;
        m_north = (s.minNorth + s.maxNorth) / 2;
        m_east = (s.minEast + s.maxEast) / 2;
        const Real w = std::max<Real>(width() - 2 * fitMarginPx, 1);
        const Real h = std::max<Real>(height() - 2 * fitMarginPx, 1);
        const Real de = s.maxEast - s.minEast;
        const Real dn = s.maxNorth - s.minNorth;
        m_fitted =
            de > 0 || dn > 0 ? std::min(de > 0 ? w / de : w / dn, dn > 0 ? h / dn : h / de) : 1;
        m_scale = m_fitted;
        update();
    }

    /// Centres the point and zooms in, if need be, so that a line of `lengthM` shows well.
    void centreOn(Real north, Real east, Real lengthM) {
        m_north = north;
        m_east = east;
        if (lengthM > 0) {
            m_scale = std::max(m_scale, outlierViewShare * std::min(width(), height()) / lengthM);
            m_scale = std::min(m_scale, m_fitted * deepestZoom);
        }
        update();
    }

    GridPoint centre() const { return {m_north, m_east}; }
    Real scale() const { return m_scale; }

  protected:
    void resizeEvent(QResizeEvent*) override {
        if (m_scale == m_fitted) {
            fit();
        }
    }

    void wheelEvent(QWheelEvent* event) override {
        const QPointF at = event->position();
        const GridPoint before = toNetwork(at);
        const Real factor = std::pow(wheelStep, static_cast<Real>(event->angleDelta().y()));
        m_scale = std::clamp(m_scale * factor, m_fitted / 4, m_fitted * deepestZoom);
        // The point under the cursor stays under it.
        m_east = before.y - (at.x() - width() / 2.0) / m_scale;
        m_north = before.x + (at.y() - height() / 2.0) / m_scale;
        update();
        event->accept();
    }

    void mousePressEvent(QMouseEvent* event) override {
        m_drag = event->position();
        setCursor(Qt::ClosedHandCursor);
    }

    void mouseMoveEvent(QMouseEvent* event) override {
        const QPointF shift = event->position() - m_drag;
        m_drag = event->position();
        m_east -= shift.x() / m_scale;
        m_north += shift.y() / m_scale;
        update();
    }

    void mouseReleaseEvent(QMouseEvent*) override { unsetCursor(); }

    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        if (m_sketch == nullptr) {
            return;
        }
        const Sketch& s = *m_sketch;
        const auto& points = s.results->points;
        const QRectF view = rect();
        const QRectF reach = view.adjusted(-20, -20, 20, 20);
        const auto at = [&](int32_t i) {
            return toScreen(points[static_cast<size_t>(i)].x, points[static_cast<size_t>(i)].y);
        };
        const auto visibleLine = [&](QPointF a, QPointF b) {
            return QRectF(a, b).normalized().adjusted(-1, -1, 1, 1).intersects(view);
        };

        size_t line = 0;
        QList<QLineF> batch;
        for (const ListedKind kind : drawingOrder) {
            batch.clear();
            for (; line < s.lines.size() && s.lines[line].kind == kind; ++line) {
                const QPointF a = at(s.lines[line].from);
                const QPointF b = at(s.lines[line].to);
                if (visibleLine(a, b)) {
                    batch.append(QLineF(a, b));
                }
            }
            const LineStyle& style = lineStyle(kind);
            painter.setPen(penOf(style.colour, style.width, style.dashes));
            painter.drawLines(batch);
        }
        // The advisor's proposals over the plan's lines, under its points.
        painter.setPen(penOf(proposalColour, proposalWidth, proposalDashes));
        for (const SketchProposal& proposal : s.proposals) {
            painter.drawLine(at(proposal.from), at(proposal.to));
        }

        std::vector<bool> visible(points.size());
        for (size_t i = 0; i < points.size(); ++i) {
            visible[i] = drawable(points[i]) && reach.contains(at(static_cast<int32_t>(i)));
        }
        painter.setPen(penOf(ellipseColour, 0.8L));
        painter.setBrush(Qt::NoBrush);
        const Real k = s.ellipseMagnification * m_scale;
        for (size_t i = 0; i < points.size(); ++i) {
            const PointResult& p = points[i];
            if (visible[i] && hasEllipse(p)) {
                painter.save();
                painter.translate(at(static_cast<int32_t>(i)));
                painter.rotate(static_cast<qreal>(p.fi * degreesPerGrad - 90));
                painter.drawEllipse(QPointF(0, 0), static_cast<qreal>(p.a * k),
                                    static_cast<qreal>(p.b * k));
                painter.restore();
            }
        }

        const qreal side = static_cast<qreal>(triangleSizePx);
        const qreal height = side * std::sqrt(3.0) / 2;
        const QPolygonF triangle({QPointF(0, -height * 2 / 3), QPointF(side / 2, height / 3),
                                  QPointF(-side / 2, height / 3)});
        for (size_t i = 0; i < points.size(); ++i) {
            if (!visible[i]) {
                continue;
            }
            const PointResult& p = points[i];
            const QPointF c = at(static_cast<int32_t>(i));
            if (p.kind == PointKind::Determined) {
                painter.setPen(penOf(determinedColour, 1));
                painter.setBrush(Qt::white);
                painter.drawEllipse(c, static_cast<qreal>(pointRadiusPx),
                                    static_cast<qreal>(pointRadiusPx));
            } else {
                painter.setPen(penOf(fixedColour, 1.2L));
                painter.setBrush(p.kind == PointKind::Fixed ? colourOf(fixedColour)
                                                            : QColor(Qt::white));
                painter.drawPolygon(triangle.translated(c));
            }
            if (!p.controlled) {
                painter.setPen(penOf(withoutControlColour, 1.2L, "2 2"));
                painter.setBrush(Qt::NoBrush);
                painter.drawEllipse(c, static_cast<qreal>(withoutControlRingPx),
                                    static_cast<qreal>(withoutControlRingPx));
            }
        }

        QFont labelFont = font();
        labelFont.setPixelSize(static_cast<int>(labelFontPx));
        painter.setFont(labelFont);
        painter.setPen(colourOf(determinedColour));
        const LabelBox box = labelBox(0);
        const LabelChoice& labelled = labels(visible);
        for (size_t i = 0; i < points.size(); ++i) {
            if (labelled.points[i]) {
                const QPointF c = at(static_cast<int32_t>(i));
                painter.drawText(c + QPointF(static_cast<qreal>(box.left),
                                             static_cast<qreal>(box.top + box.height - 1)),
                                 QString::fromStdString(points[i].number));
            }
        }

        painter.setPen(penOf(outlierColour, outlierWidth));
        for (const SketchOutlier& o : s.outliers) {
            for (const SketchLine& segment : o.segments) {
                painter.drawLine(at(segment.from), at(segment.to));
            }
        }
        const LabelBox above = outlierLabelBox(0);
        const QPointF aboveBaseline(static_cast<qreal>(above.left),
                                    static_cast<qreal>(above.top + outlierFontPx));
        for (size_t i = 0; i < s.outliers.size(); ++i) {
            const SketchOutlier& o = s.outliers[i];
            const QPointF c = toScreen(o.north, o.east) + aboveBaseline;
            if (labelled.outliers[i] && reach.contains(c)) {
                drawMarkLabel(painter, c, o.label, outlierColour);
            }
        }
        drawControl(painter, labelled, visible);
        for (size_t i = 0; i < s.proposals.size(); ++i) {
            const SketchProposal& proposal = s.proposals[i];
            const QPointF c = toScreen(proposal.north, proposal.east) + aboveBaseline;
            if (labelled.proposals[i] && reach.contains(c)) {
                drawMarkLabel(painter, c, proposal.label, proposalColour);
            }
        }
        drawScales(painter);
    }

  private:
    QPointF toScreen(Real north, Real east) const {
        return {static_cast<qreal>(width() / 2.0 + (east - m_east) * m_scale),
                static_cast<qreal>(height() / 2.0 - (north - m_north) * m_scale)};
    }

    GridPoint toNetwork(QPointF p) const {
        return {m_north - (p.y() - height() / 2.0) / m_scale,
                m_east + (p.x() - width() / 2.0) / m_scale};
    }

    /// True while the lines are too short on the screen for point numbers.
    bool numbersHidden() const { return m_sketch->meanLineLength * m_scale < labelledLinePx; }

    // Placed afresh when the view moved; a repaint at rest reuses them. Points off the
    // screen, and all of them while the numbers are hidden, take no room.
    const LabelChoice& labels(const std::vector<bool>& visible) {
        const std::array<Real, 3> view = {m_scale, m_north, m_east};
        if (view != m_labelsFor || m_labels.points.size() != visible.size()) {
            const std::vector<bool> none(visible.size(), false);
            m_labels = placeLabels(*m_sketch, m_scale, false, numbersHidden() ? &none : &visible);
            m_labelsFor = view;
        }
        return m_labels;
    }

    /// A bold label with a white halo, its baseline starting at `at`.
    void drawMarkLabel(QPainter& painter, QPointF at, const std::string& label,
                       std::string_view colour) {
        QFont bold = font();
        bold.setPixelSize(static_cast<int>(outlierFontPx));
        bold.setBold(true);
        QPainterPath text;
        text.addText(at, bold, QString::fromStdString(label));
        painter.strokePath(text, QPen(Qt::white, 3));
        painter.fillPath(text, colourOf(colour));
    }

    // The points above the accuracy standard, the observations data snooping took out and the
    // shifts of the doubtful reference points, with their labels; without a quality control
    // or a plan there are none.
    void drawControl(QPainter& painter, const LabelChoice& labelled,
                     const std::vector<bool>& visible) {
        const Sketch& s = *m_sketch;
        const auto& points = s.results->points;
        const auto at = [&](int32_t i) {
            return toScreen(points[static_cast<size_t>(i)].x, points[static_cast<size_t>(i)].y);
        };
        const QRectF reach = QRectF(rect()).adjusted(-20, -20, 20, 20);
        painter.setBrush(Qt::NoBrush);
        painter.setPen(penOf(aboveStandardColour, 1.5L));
        const auto ring = static_cast<qreal>(aboveStandardRingPx);
        for (const int32_t i : s.aboveStandard) {
            if (visible[static_cast<size_t>(i)]) {
                painter.drawEllipse(at(i), ring, ring);
            }
        }
        painter.setPen(penOf(removedColour, removedWidth, removedDashes));
        for (const SketchRemoval& removal : s.removals) {
            for (const SketchLine& segment : removal.segments) {
                painter.drawLine(at(segment.from), at(segment.to));
            }
        }
        painter.setPen(penOf(shiftColour, shiftWidth));
        painter.setBrush(colourOf(shiftColour));
        for (const SketchShift& shift : s.shifts) {
            drawArrow(painter, at(shift.point), toScreen(shift.north, shift.east));
        }

        const LabelBox below = removalLabelBox(0);
        const QPointF belowBaseline(static_cast<qreal>(below.left),
                                    static_cast<qreal>(below.top + outlierFontPx));
        for (size_t i = 0; i < s.removals.size(); ++i) {
            const SketchRemoval& removal = s.removals[i];
            const QPointF c = toScreen(removal.north, removal.east) + belowBaseline;
            if (labelled.removals[i] && reach.contains(c)) {
                drawMarkLabel(painter, c, removal.label, removedColour);
            }
        }
        const LabelBox above = outlierLabelBox(0);
        const QPointF aboveBaseline(static_cast<qreal>(above.left),
                                    static_cast<qreal>(above.top + outlierFontPx));
        for (size_t i = 0; i < s.shifts.size(); ++i) {
            const SketchShift& shift = s.shifts[i];
            const QPointF c = toScreen(shift.north, shift.east) + aboveBaseline;
            if (labelled.shifts[i] && reach.contains(c)) {
                drawMarkLabel(painter, c, shift.label, shiftColour);
            }
        }
    }

    // A map scale bar and, when there are ellipses, their magnification, bottom left.
    void drawScales(QPainter& painter) {
        const Real barMetres = roundNumberBelow(scaleBarShare * width() / m_scale);
        const qreal bar = static_cast<qreal>(barMetres * m_scale);
        QString text = QString::fromStdString(scaleLengthText(barMetres));
        if (m_sketch->ellipseMagnification > 0) {
            text += QString::fromUtf8("   elipsy powiększone %1\u00d7")
                        .arg(static_cast<double>(m_sketch->ellipseMagnification));
        }
        if (numbersHidden()) {
            text += QString::fromUtf8("   numery punktów po przybliżeniu");
        }
        QFont small = font();
        small.setPixelSize(12);
        painter.setFont(small);
        const qreal y = height() - 14.0;
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(255, 255, 255, 220));
        painter.drawRect(
            QRectF(6, y - 18, bar + 20 + painter.fontMetrics().horizontalAdvance(text), 30));
        painter.setPen(penOf("#1b1b1b", 2));
        painter.drawLine(QPointF(12, y), QPointF(12 + bar, y));
        painter.drawLine(QPointF(12, y - 4), QPointF(12, y + 4));
        painter.drawLine(QPointF(12 + bar, y - 4), QPointF(12 + bar, y + 4));
        painter.drawText(QPointF(20 + bar, y + 4), text);
    }

    const Sketch* m_sketch = nullptr;
    Real m_north = 0, m_east = 0;
    Real m_scale = 1;  ///< px per m
    Real m_fitted = 1; ///< the scale of the whole network
    QPointF m_drag;
    LabelChoice m_labels;
    std::array<Real, 3> m_labelsFor{};
};

SketchView::SketchView(QWidget* parent)
    : QWidget(parent) {
    setObjectName(QStringLiteral("sketchView"));
    setWindowTitle(QStringLiteral("Szkic sieci"));
    resize(1100, 720);
    m_canvas = new SketchCanvas(this);
    m_outliers = new QListWidget(this);
    m_outliers->setObjectName(QStringLiteral("outlierList"));
    m_fit = new QPushButton(QStringLiteral("Dopasuj"), this);
    m_fit->setObjectName(QStringLiteral("fitButton"));
    m_export = new QPushButton(QString::fromUtf8("Eksport PNG…"), this);
    m_export->setObjectName(QStringLiteral("exportButton"));
    m_exportGeoPackage = new QPushButton(QString::fromUtf8("Eksport GPKG…"), this);
    m_exportGeoPackage->setObjectName(QStringLiteral("exportGeoPackageButton"));
    m_exportDxf = new QPushButton(QString::fromUtf8("Eksport DXF…"), this);
    m_exportDxf->setObjectName(QStringLiteral("exportDxfButton"));
    m_controlLegend = new QLabel(this);
    m_controlLegend->setObjectName(QStringLiteral("controlLegend"));
    m_controlLegend->hide();
    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("sketchStatus"));
    m_status->setWordWrap(true);

    m_listHeading = new QLabel(QString::fromUtf8("Obserwacje odstające (według |w|):"), this);
    m_listHeading->setObjectName(QStringLiteral("listHeading"));
    auto* side = new QVBoxLayout;
    side->addWidget(m_listHeading);
    side->addWidget(m_outliers, 1);
    side->addWidget(m_controlLegend);
    side->addWidget(m_status);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_fit);
    buttons->addWidget(m_export);
    side->addLayout(buttons);
    auto* gisButtons = new QHBoxLayout;
    gisButtons->addWidget(m_exportGeoPackage);
    gisButtons->addWidget(m_exportDxf);
    side->addLayout(gisButtons);
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(m_canvas, 1);
    layout->addLayout(side);
    m_outliers->setMinimumWidth(280);

    connect(m_fit, &QPushButton::clicked, this, &SketchView::fit);
    connect(m_export, &QPushButton::clicked, this, [this] {
        chooseExportFile(QStringLiteral("Eksport szkicu do PNG"), QStringLiteral("siec.png"),
                         QStringLiteral("Obraz PNG (*.png)"), &SketchView::exportPng);
    });
    connect(m_exportGeoPackage, &QPushButton::clicked, this, [this] {
        chooseExportFile(QStringLiteral("Eksport wyników do GeoPackage"),
                         QStringLiteral("siec.gpkg"), QStringLiteral("GeoPackage (*.gpkg)"),
                         &SketchView::exportGeoPackage);
    });
    connect(m_exportDxf, &QPushButton::clicked, this, [this] {
        chooseExportFile(QStringLiteral("Eksport szkicu do DXF"), QStringLiteral("siec.dxf"),
                         QStringLiteral("Rysunek DXF (*.dxf)"), &SketchView::exportDxf);
    });
    // A click or Enter chooses; the list taking the focus when the view opens does not.
    const auto chosen = [this](QListWidgetItem* item) { outlierChosen(m_outliers->row(item)); };
    connect(m_outliers, &QListWidget::itemClicked, this, chosen);
    connect(m_outliers, &QListWidget::itemActivated, this, chosen);
}

SketchView::~SketchView() = default;

bool SketchView::load(const std::filesystem::path& folder) {
    const auto file = findFileNoCase(folder, "wyniki.json");
    auto results = file ? readResultsJson(*file) : std::nullopt;
    if (!results) {
        m_status->setText(QString::fromUtf8(
            "Brak wyników do pokazania: folder roboczy nie ma czytelnego pliku wyniki.json "
            "(zapisuje go obliczenie z włączonymi plikami dodatkowymi)."));
        return false;
    }
    setResults(std::move(*results));
    return true;
}

void SketchView::setResults(NetworkResults results) {
    m_results = std::make_unique<NetworkResults>(std::move(results));
    m_sketch = buildSketch(*m_results);
    setWindowTitle(QString::fromUtf8(sketchTitle(*m_results)));
    m_outliers->clear();
    const auto& points = m_results->points;
    const std::vector<LegendRow> legend = legendRows(*m_results, m_sketch.standardLimit);
    m_controlLegend->setVisible(!legend.empty());
    if (!legend.empty()) {
        m_controlLegend->setPixmap(marksLegend(*this, legend));
    }
    if (m_results->preAnalysis) {
        listProposals();
        m_canvas->setSketch(&m_sketch);
        return;
    }
    m_listHeading->setText(QString::fromUtf8("Obserwacje odstające (według |w|):"));
    for (const SketchOutlier& o : m_sketch.outliers) {
        const ObservationResult& observation = m_results->observations[o.observation];
        QStringList numbers;
        for (const int32_t p : {observation.left, observation.from, observation.to}) {
            if (p >= 0) {
                numbers << QString::fromStdString(points[static_cast<size_t>(p)].number);
            }
        }
        m_outliers->addItem(kindText(observation.kind) + QStringLiteral(" ") +
                            numbers.join(QString::fromUtf8(" – ")) + QStringLiteral("   ") +
                            QString::fromStdString(o.label));
    }
    QString status = QString::fromUtf8("%1 punktów, %2 obserwacji, %3 odstających; Mo = %4")
                         .arg(points.size())
                         .arg(m_results->observations.size())
                         .arg(m_sketch.outliers.size())
                         .arg(static_cast<double>(m_results->unitError.mo), 0, 'f', 5);
    if (m_results->control) {
        status += QString::fromUtf8("\nKontrola: obserwacje usunięte: %1, wątpliwe punkty "
                                    "nawiązania: %2, Mp ponad standard %3: %4")
                      .arg(m_sketch.removals.size())
                      .arg(m_results->control->reference.doubtfulPoints.size())
                      .arg(QString::fromStdString(limitText(m_results->control->standard.limit)))
                      .arg(m_results->control->standard.failing.size());
    }
    m_status->setText(status);
    m_canvas->setSketch(&m_sketch);
}

void SketchView::fit() {
    m_canvas->fit();
}

bool SketchView::exportPng(const QString& path) {
    return m_canvas->grab().save(path, "PNG");
}

bool SketchView::exportGeoPackage(const QString& path) {
    return m_results && writeGeoPackageFile(std::filesystem::path(path.toStdString()), *m_results);
}

bool SketchView::exportDxf(const QString& path) {
    return m_results && writeDxfFile(std::filesystem::path(path.toStdString()), *m_results);
}

GridPoint SketchView::viewCentre() const {
    return m_canvas->centre();
}

Real SketchView::pixelsPerMetre() const {
    return m_canvas->scale();
}

// A plan's list: every proposal in its order, the kind, the points and the largest Mp once it
// is added; the status says how the plan stands and why the advisor stopped.
void SketchView::listProposals() {
    const PreAnalysis& plan = *m_results->preAnalysis;
    const auto& points = m_results->points;
    const auto number = [&](int32_t point) {
        return point >= 1 && static_cast<size_t>(point) <= points.size()
                   ? QString::fromStdString(points[static_cast<size_t>(point - 1)].number)
                   : QStringLiteral("?");
    };
    m_listHeading->setText(QString::fromUtf8("Obserwacje proponowane (doradca):"));
    QString status = QString::fromUtf8("Projekt sieci: %1 punktów, %2 obserwacji; Mp ponad "
                                       "standard %3: %4")
                         .arg(points.size())
                         .arg(m_results->observations.size())
                         .arg(QString::fromStdString(limitText(plan.standard.limit)))
                         .arg(plan.standard.failing.size());
    if (plan.advice) {
        const DesignAdvice& advice = *plan.advice;
        for (size_t k = 0; k < advice.proposals.size(); ++k) {
            const Proposal& p = advice.proposals[k];
            m_outliers->addItem(QStringLiteral("+%1  ").arg(k + 1) + kindText(p.candidate.kind) +
                                QStringLiteral(" ") + number(p.candidate.from) +
                                QString::fromUtf8(" – ") + number(p.candidate.to) +
                                QStringLiteral("   Mp max ") +
                                QString::fromStdString(positionErrorText(p.worstMp)));
        }
        if (advice.skipped) {
            status += QString::fromUtf8("\nDoradca: ") + QString::fromStdString(*advice.skipped);
        } else {
            status += QString::fromUtf8("\nDoradca: kandydaci: %1, propozycje: %2, Mp max %3")
                          .arg(advice.candidates)
                          .arg(advice.proposals.size())
                          .arg(QString::fromStdString(positionErrorText(advice.worstMpBefore)));
            if (!advice.proposals.empty()) {
                const Real after = advice.proposals.back().worstMp;
                status += QString::fromUtf8(" \u2192 ") +
                          QString::fromStdString(positionErrorText(after));
            }
            if (!advice.stopReason.empty()) {
                status += QStringLiteral("; ") + QString::fromStdString(advice.stopReason);
            }
        }
    }
    m_status->setText(status);
}

void SketchView::outlierChosen(int row) {
    if (m_results && m_results->preAnalysis) {
        const auto chosen = std::find_if(
            m_sketch.proposals.begin(), m_sketch.proposals.end(), [&](const SketchProposal& p) {
                return std::find(p.numbers.begin(), p.numbers.end(), row + 1) != p.numbers.end();
            });
        if (chosen != m_sketch.proposals.end()) {
            const PointResult& a = m_results->points[static_cast<size_t>(chosen->from)];
            const PointResult& b = m_results->points[static_cast<size_t>(chosen->to)];
            m_canvas->centreOn(chosen->north, chosen->east, std::hypot(a.x - b.x, a.y - b.y));
        }
        return;
    }
    if (row < 0 || static_cast<size_t>(row) >= m_sketch.outliers.size() ||
        !m_sketch.outliers[static_cast<size_t>(row)].placed) {
        return;
    }
    const SketchOutlier& o = m_sketch.outliers[static_cast<size_t>(row)];
    Real longest = 0;
    for (const SketchLine& segment : o.segments) {
        const PointResult& a = m_results->points[static_cast<size_t>(segment.from)];
        const PointResult& b = m_results->points[static_cast<size_t>(segment.to)];
        longest = std::max(longest, std::hypot(a.x - b.x, a.y - b.y));
    }
    m_canvas->centreOn(o.north, o.east, longest);
}

void SketchView::chooseExportFile(const QString& title, const QString& suggested,
                                  const QString& filter,
                                  bool (SketchView::*write)(const QString&)) {
    const QString path = QFileDialog::getSaveFileName(this, title, suggested, filter);
    if (!path.isEmpty() && !(this->*write)(path)) {
        m_status->setText(QStringLiteral("Nie zapisano pliku %1").arg(path));
    }
}

} // namespace ptw3
