#include "window/window_pictures.h"

#include "editor/fonts.h"
#include "window/window_style.h"

#include <QPainter>

#include <array>
#include <cstdio>

namespace ptw3 {
namespace {

struct LogoPoint {
    double x, y;
};

// The network of the logo in its 105 × 89 drawing: its points and the lines between them.
constexpr double logoWidth = 105;
constexpr double logoHeight = 89;
constexpr std::array<LogoPoint, 6> logoPoints = {
    {{14, 70}, {40, 18}, {70, 46}, {92, 14}, {88, 76}, {48, 80}}};
constexpr std::array<std::array<int, 2>, 10> logoLines = {
    {{0, 1}, {1, 2}, {2, 0}, {1, 3}, {3, 2}, {2, 4}, {4, 5}, {5, 0}, {5, 2}, {3, 4}}};
constexpr double lineWidth = 1.2;
constexpr double pointRadius = 3.5;
/// Icons this small or smaller carry the network without the name.
constexpr int smallestIconWithName = 48;
/// The name's size in the logo drawing (11 pt at 96 dots per inch).
constexpr double namePixels = 14.7;

// Draws the network and, when asked, the name into the logo drawing's coordinates.
void paintLogo(QPainter& p, bool withName) {
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(navy, lineWidth));
    for (const auto& line : logoLines) {
        const LogoPoint& a = logoPoints[static_cast<size_t>(line[0])];
        const LogoPoint& b = logoPoints[static_cast<size_t>(line[1])];
        p.drawLine(QPointF(a.x, a.y), QPointF(b.x, b.y));
    }
    p.setBrush(maroon);
    for (const LogoPoint& point : logoPoints) {
        p.drawEllipse(QPointF(point.x, point.y), pointRadius, pointRadius);
    }
    if (withName) {
        QFont font = msSansSerif(11);
        font.setBold(true);
        p.setFont(font);
        p.setPen(green);
        p.drawText(QRectF(0, 0, logoWidth, logoHeight), Qt::AlignCenter, QStringLiteral("ptw3"));
    }
}

} // namespace

QPixmap logoPicture(QSize size) {
    QPixmap pixmap(size);
    pixmap.fill(Qt::white);
    QPainter p(&pixmap);
    p.scale(size.width() / logoWidth, size.height() / logoHeight);
    paintLogo(p, true);
    return pixmap;
}

QPixmap helpPicture(QSize size) {
    QPixmap pixmap(size);
    pixmap.fill(aqua);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(navy, 2));
    p.setBrush(Qt::white);
    p.drawRoundedRect(QRectF(4, 4, 32, size.height() - 8), 4, 4);
    p.setFont(boldFont(msSansSerif(16)));
    p.drawText(QRectF(4, 4, 32, size.height() - 8), Qt::AlignCenter, QStringLiteral("?"));
    p.setFont(boldFont(msSansSerif(9)));
    p.drawText(QRectF(38, 0, size.width() - 38, size.height()), Qt::AlignCenter,
               QStringLiteral("POMOC"));
    return pixmap;
}

// The icon is the logo drawing centred on a white rounded square as wide as the drawing.
QImage iconImage(int size) {
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / logoWidth, size / logoWidth);
    p.setPen(QPen(navy, 1.5));
    p.setBrush(Qt::white);
    p.drawRoundedRect(QRectF(1, 1, logoWidth - 2, logoWidth - 2), 12, 12);
    p.translate(0, (logoWidth - logoHeight) / 2);
    paintLogo(p, size >= smallestIconWithName);
    return image;
}

std::string iconSvg() {
    const auto number = [](double v) {
        char text[32];
        std::snprintf(text, sizeof text, "%g", v);
        return std::string(text);
    };
    const auto colour = [](const QColor& c) { return c.name().toStdString(); };
    std::string svg = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                      "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" +
                      number(logoWidth) + "\" height=\"" + number(logoWidth) + "\" viewBox=\"0 0 " +
                      number(logoWidth) + " " + number(logoWidth) + "\">\n";
    svg += "  <rect x=\"1\" y=\"1\" width=\"" + number(logoWidth - 2) + "\" height=\"" +
           number(logoWidth - 2) + "\" rx=\"12\" fill=\"#ffffff\" stroke=\"" + colour(navy) +
           "\" stroke-width=\"1.5\"/>\n";
    svg += "  <g transform=\"translate(0 " + number((logoWidth - logoHeight) / 2) + ")\">\n";
    svg += "    <g stroke=\"" + colour(navy) + "\" stroke-width=\"" + number(lineWidth) + "\">\n";
    for (const auto& line : logoLines) {
        const LogoPoint& a = logoPoints[static_cast<size_t>(line[0])];
        const LogoPoint& b = logoPoints[static_cast<size_t>(line[1])];
        svg += "      <line x1=\"" + number(a.x) + "\" y1=\"" + number(a.y) + "\" x2=\"" +
               number(b.x) + "\" y2=\"" + number(b.y) + "\"/>\n";
    }
    svg += "    </g>\n    <g fill=\"" + colour(maroon) + "\" stroke=\"" + colour(navy) +
           "\" stroke-width=\"" + number(lineWidth) + "\">\n";
    for (const LogoPoint& point : logoPoints) {
        svg += "      <circle cx=\"" + number(point.x) + "\" cy=\"" + number(point.y) + "\" r=\"" +
               number(pointRadius) + "\"/>\n";
    }
    svg += "    </g>\n    <text x=\"" + number(logoWidth / 2) + "\" y=\"" + number(logoHeight / 2) +
           "\" fill=\"" + colour(green) +
           "\" font-family=\"DejaVu Sans, sans-serif\" font-weight=\"bold\" font-size=\"" +
           number(namePixels) +
           "\" text-anchor=\"middle\" dominant-baseline=\"central\">ptw3</text>\n  </g>\n</svg>\n";
    return svg;
}

} // namespace ptw3
