// Scale: the mean line length is drawn about 40 px long, within a drawing of 600 to 16 000
// px on its larger side, so a network of 20 000 points stays legible when zoomed in. The
// ellipse azimuth Fi (grads from X towards Y) becomes the SVG rotation Fi·0.9 − 90 degrees,
// since the drawing's x runs east and its y south.
#include "export/sketch_svg.h"

#include "export/output_file.h"
#include "export/sketch.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace ptw3 {
namespace {

constexpr Real meanLinePx = 40;
constexpr Real smallestMapPx = 600;
constexpr Real largestMapPx = 16000;
constexpr Real marginPx = 40;
constexpr Real legendHeightPx = 128;
constexpr Real controlRowPx = 28; // the legend's row of the quality control
constexpr Real legendWidthPx = 1000;
constexpr Real legendFontPx = 12;
constexpr Real degreesPerGrad = 0.9L;
constexpr Real mapScaleShare = 0.2L; // the scale bar spans about a fifth of the map
constexpr Real ellipseBarPx = 60;    // the ellipse scale bar is at most this long
constexpr Real sampleLinePx = 30;

/// Where a point of the network lands in the drawing.
struct Placement {
    Real scale = 1; ///< px per m
    Real minEast = 0, maxNorth = 0;
    Real legendHeight = legendHeightPx;
    Real x(Real east) const { return marginPx + (east - minEast) * scale; }
    Real y(Real north) const { return legendHeight + marginPx + (maxNorth - north) * scale; }
};

class SvgWriter {
  public:
    std::string out;

    void number(Real v) {
        if (!std::isfinite(v)) {
            v = 0; // never an invalid drawing; what cannot be placed is left out before this
        }
        char digits[64];
        const auto end = std::to_chars(digits, digits + sizeof digits, static_cast<double>(v),
                                       std::chars_format::fixed, 1);
        out.append(digits, end.ptr);
    }
    void attribute(std::string_view name, Real v) {
        out += ' ';
        out += name;
        out += "=\"";
        number(v);
        out += '"';
    }
    void attribute(std::string_view name, std::string_view text) {
        out += ' ';
        out += name;
        out += "=\"";
        escaped(text);
        out += '"';
    }
    void escaped(std::string_view text) {
        for (const char c : text) {
            switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                out += c;
            }
        }
    }
    void line(Real x1, Real y1, Real x2, Real y2) {
        out += "<line";
        attribute("x1", x1);
        attribute("y1", y1);
        attribute("x2", x2);
        attribute("y2", y2);
        out += "/>\n";
    }
    void circle(Real x, Real y, Real r) {
        out += "<circle";
        attribute("cx", x);
        attribute("cy", y);
        attribute("r", r);
        out += "/>\n";
    }
    void triangle(Real x, Real y) {
        const Real half = triangleSizePx / 2;
        const Real height = triangleSizePx * std::sqrt(3.0L) / 2;
        out += "<path d=\"M";
        number(x);
        out += ' ';
        number(y - height * 2 / 3);
        out += " l";
        number(half);
        out += ' ';
        number(height);
        out += " h";
        number(-triangleSizePx);
        out += "z\"/>\n";
    }
    void arrow(Real x1, Real y1, Real x2, Real y2) {
        line(x1, y1, x2, y2);
        const ArrowHead head = arrowHead(x2, y2, x2 - x1, y2 - y1);
        out += "<path d=\"M";
        for (const auto& [x, y] : {std::pair{head.tipX, head.tipY}, {head.leftX, head.leftY},
                                   {head.rightX, head.rightY}}) {
            number(x);
            out += ' ';
            number(y);
            out += ' ';
        }
        out += "z\"/>\n";
    }
    void ellipse(Real x, Real y, Real rx, Real ry, Real rotationDeg) {
        out += "<ellipse";
        attribute("cx", x);
        attribute("cy", y);
        attribute("rx", rx);
        attribute("ry", ry);
        out += " transform=\"rotate(";
        number(rotationDeg);
        out += ' ';
        number(x);
        out += ' ';
        number(y);
        out += ")\"/>\n";
    }
    void text(Real x, Real y, std::string_view content) {
        out += "<text";
        attribute("x", x);
        attribute("y", y);
        out += '>';
        escaped(content);
        out += "</text>\n";
    }
    void open(std::string_view id, std::string_view attributes) {
        out += "<g id=\"";
        out += id;
        out += '"';
        if (!attributes.empty()) {
            out += ' ';
            out += attributes;
        }
        out += ">\n";
    }
    void close() { out += "</g>\n"; }
};

std::string strokeAttributes(std::string_view colour, Real width, std::string_view dashes,
                             std::string_view fill = "none") {
    std::string a =
        "fill=\"" + std::string(fill) + "\" stroke=\"" + std::string(colour) + "\" stroke-width=\"";
    char digits[32];
    a.append(digits, std::to_chars(digits, digits + sizeof digits, static_cast<double>(width)).ptr);
    a += '"';
    if (!dashes.empty()) {
        a += " stroke-dasharray=\"" + std::string(dashes) + "\"";
    }
    return a;
}


Real textWidth(std::string_view utf8, Real fontPx) {
    return static_cast<Real>(characterCount(utf8)) * 0.6L * fontPx;
}
Placement placementOf(const Sketch& s) {
    const Real extent = std::max({s.maxEast - s.minEast, s.maxNorth - s.minNorth, 1.0L});
    Placement p;
    p.scale = s.meanLineLength > 0 ? meanLinePx / s.meanLineLength : smallestMapPx / extent;
    p.scale = std::clamp(p.scale, smallestMapPx / extent, largestMapPx / extent);
    p.minEast = s.minEast;
    p.maxNorth = s.maxNorth;
    p.legendHeight = legendHeightPx + (s.results->control ? controlRowPx : 0) +
                     (s.results->preAnalysis ? controlRowPx : 0);
    return p;
}

/// The legend band: title and counts, point symbols, line styles, scales and notes.
void writeLegend(SvgWriter& w, const Sketch& s, const Placement& p, Real mapWidthPx,
                 size_t labelled) {
    const NetworkResults& r = *s.results;
    w.open("legenda", "font-size=\"12\" fill=\"#1b1b1b\"");
    Real x = marginPx;
    const auto item = [&](Real y, std::string_view label) {
        w.text(x, y + 4, label);
        x += textWidth(label, legendFontPx) + 24;
    };
    w.out += "<text x=\"40\" y=\"26\" font-size=\"15\" font-weight=\"bold\">";
    w.out += sketchTitle(r);
    w.out += "</text>\n";
    x = 150;
    const auto* advice = r.preAnalysis && r.preAnalysis->advice ? &*r.preAnalysis->advice : nullptr;
    item(22, std::to_string(r.points.size()) + " punktów, " +
                 std::to_string(r.observations.size()) + " obserwacji, " +
                 (advice ? std::to_string(advice->proposals.size()) + " proponowanych"
                         : std::to_string(s.outliers.size()) + " odstających"));

    Real y = 52;
    x = marginPx + 8;
    w.out += "<g fill=\"" + std::string(fixedColour) + "\">";
    w.triangle(x, y);
    w.out += "</g>";
    x += 14;
    item(y, "punkt stały");
    w.out += "<g " + strokeAttributes(fixedColour, 1.2L, "", "white") + ">";
    w.triangle(x, y);
    w.out += "</g>";
    x += 14;
    item(y, "ruchomy punkt nawiązania");
    w.out += "<g fill=\"white\" stroke=\"" + std::string(determinedColour) + "\">";
    w.circle(x, y, pointRadiusPx);
    w.out += "</g>";
    x += 14;
    item(y, "punkt wyznaczany");
    w.out += "<g " + strokeAttributes(withoutControlColour, 1.2L, "2 2") + ">";
    w.circle(x, y, withoutControlRingPx);
    w.out += "</g>";
    x += 14;
    item(y, "punkt bez kontroli");
    w.out += "<g " + strokeAttributes(ellipseColour, 0.8L, "") + ">";
    w.ellipse(x + 4, y, 12, 5, -20);
    w.out += "</g>";
    x += 22;
    item(y, "elipsa błędu średniego");

    y = 80;
    x = marginPx;
    for (const ListedKind kind : drawingOrder) {
        const LineStyle& style = lineStyle(kind);
        w.out += "<g " + strokeAttributes(style.colour, style.width, style.dashes) + ">";
        w.line(x, y, x + sampleLinePx, y);
        w.out += "</g>";
        x += sampleLinePx + 6;
        item(y, style.legend);
    }
    w.out += "<g " + strokeAttributes(outlierColour, outlierWidth, "") + ">";
    w.line(x, y, x + sampleLinePx, y);
    w.out += "</g>";
    x += sampleLinePx + 6;
    item(y, "obserwacja odstająca (w, \u2207)");

    y = 108;
    x = marginPx;
    const Real barMetres = roundNumberBelow(mapScaleShare * mapWidthPx / p.scale);
    w.out += "<g " + strokeAttributes("#1b1b1b", 2, "") + ">";
    w.line(x, y, x + barMetres * p.scale, y);
    w.line(x, y - 4, x, y + 4);
    w.line(x + barMetres * p.scale, y - 4, x + barMetres * p.scale, y + 4);
    w.out += "</g>";
    x += barMetres * p.scale + 8;
    item(y, scaleLengthText(barMetres));
    if (s.ellipseMagnification > 0) {
        const Real pxPerEllipseMetre = s.ellipseMagnification * p.scale;
        const Real barEllipse = roundNumberBelow(ellipseBarPx / pxPerEllipseMetre);
        char factor[32];
        const auto end = std::to_chars(factor, factor + sizeof factor,
                                       static_cast<double>(s.ellipseMagnification));
        item(y, "elipsy powiększone " + std::string(factor, end.ptr) + "\u00d7:");
        w.out += "<g " + strokeAttributes(ellipseColour, 2, "") + ">";
        w.line(x, y, x + barEllipse * pxPerEllipseMetre, y);
        w.out += "</g>";
        x += barEllipse * pxPerEllipseMetre + 8;
        item(y, "= " + scaleLengthText(barEllipse));
    }
    if (labelled < r.points.size()) {
        item(y, "numery " + std::to_string(labelled) + " z " + std::to_string(r.points.size()) +
                    " punktów (pozostałe zachodziłyby na siebie)");
    }
    if (r.control) {
        y += controlRowPx;
        x = marginPx;
        w.out += "<g " + strokeAttributes(shiftColour, shiftWidth, "", shiftColour) + ">";
        w.arrow(x, y, x + sampleLinePx, y);
        w.out += "</g>";
        x += sampleLinePx + 6;
        item(y, "przesunięcie wątpliwego punktu nawiązania");
        w.out += "<g " + strokeAttributes(aboveStandardColour, 1.5L, "") + ">";
        w.circle(x + 4, y, aboveStandardRingPx);
        w.out += "</g>";
        x += 20;
        item(y, "Mp ponad standard " + limitText(r.control->standard.limit));
        w.out += "<g " + strokeAttributes(removedColour, removedWidth, removedDashes) + ">";
        w.line(x, y, x + sampleLinePx, y);
        w.out += "</g>";
        x += sampleLinePx + 6;
        item(y, "obserwacja usunięta (krok testu Baardy)");
    }
    if (r.preAnalysis) {
        y += controlRowPx;
        x = marginPx;
        w.out += "<g " + strokeAttributes(aboveStandardColour, 1.5L, "") + ">";
        w.circle(x + 4, y, aboveStandardRingPx);
        w.out += "</g>";
        x += 20;
        item(y, "Mp ponad standard " + limitText(r.preAnalysis->standard.limit));
        if (advice) {
            w.out += "<g " + strokeAttributes(proposalColour, proposalWidth, proposalDashes) + ">";
            w.line(x, y, x + sampleLinePx, y);
            w.out += "</g>";
            x += sampleLinePx + 6;
            item(y, "obserwacja proponowana (doradca)");
            if (!advice->proposals.empty()) {
                item(y, "Mp max " + positionErrorText(advice->worstMpBefore) + " \u2192 " +
                            positionErrorText(advice->proposals.back().worstMp));
            }
        }
    }
    w.close();
}

// The observations the design advisor proposes, dashed over the lines of the plan and under
// its points.
void writeProposals(SvgWriter& w, const Sketch& s, const Placement& p) {
    const auto& points = s.results->points;
    const auto at = [&](int32_t i) -> const PointResult& { return points[static_cast<size_t>(i)]; };
    w.open("proponowane", strokeAttributes(proposalColour, proposalWidth, proposalDashes));
    for (const SketchProposal& proposal : s.proposals) {
        const PointResult& a = at(proposal.from);
        const PointResult& b = at(proposal.to);
        w.line(p.x(a.y), p.y(a.x), p.x(b.y), p.y(b.x));
    }
    w.close();
}

// The proposals' order numbers, above everything.
void writeProposalLabels(SvgWriter& w, const Sketch& s, const Placement& p,
                         const LabelChoice& labels) {
    w.open("opisy-proponowanych", "font-size=\"10\" font-weight=\"bold\" stroke=\"white\" "
                                  "stroke-width=\"3\" paint-order=\"stroke\" fill=\"" +
                                      std::string(proposalColour) + "\"");
    const LabelBox above = outlierLabelBox(0);
    for (size_t i = 0; i < s.proposals.size(); ++i) {
        const SketchProposal& proposal = s.proposals[i];
        if (labels.proposals[i]) {
            w.text(p.x(proposal.east) + above.left, p.y(proposal.north) + above.top + outlierFontPx,
                   proposal.label);
        }
    }
    w.close();
}

// The findings of the quality control above everything else: the observations taken out,
// the shifts of the doubtful reference points, each with its label.
void writeControlMarks(SvgWriter& w, const Sketch& s, const Placement& p,
                       const LabelChoice& labels) {
    const auto& points = s.results->points;
    const auto at = [&](int32_t i) -> const PointResult& { return points[static_cast<size_t>(i)]; };
    const std::string labelStyle = "font-size=\"10\" font-weight=\"bold\" stroke=\"white\" "
                                   "stroke-width=\"3\" paint-order=\"stroke\" fill=\"";
    w.open("usuniete", strokeAttributes(removedColour, removedWidth, removedDashes));
    for (const SketchRemoval& removal : s.removals) {
        for (const SketchLine& segment : removal.segments) {
            const PointResult& a = at(segment.from);
            const PointResult& b = at(segment.to);
            w.line(p.x(a.y), p.y(a.x), p.x(b.y), p.y(b.x));
        }
    }
    w.close();
    w.open("opisy-usunietych", labelStyle + std::string(removedColour) + "\"");
    const LabelBox below = removalLabelBox(0);
    for (size_t i = 0; i < s.removals.size(); ++i) {
        const SketchRemoval& removal = s.removals[i];
        if (labels.removals[i]) {
            w.text(p.x(removal.east) + below.left, p.y(removal.north) + below.top + outlierFontPx,
                   removal.label);
        }
    }
    w.close();

    w.open("przesuniecia", strokeAttributes(shiftColour, shiftWidth, "", shiftColour));
    for (const SketchShift& shift : s.shifts) {
        const PointResult& from = at(shift.point);
        w.arrow(p.x(from.y), p.y(from.x), p.x(shift.east), p.y(shift.north));
    }
    w.close();
    w.open("opisy-przesuniec", labelStyle + std::string(shiftColour) + "\"");
    const LabelBox above = outlierLabelBox(0);
    for (size_t i = 0; i < s.shifts.size(); ++i) {
        const SketchShift& shift = s.shifts[i];
        if (labels.shifts[i]) {
            w.text(p.x(shift.east) + above.left, p.y(shift.north) + above.top + outlierFontPx,
                   shift.label);
        }
    }
    w.close();
}

} // namespace

std::string sketchSvg(const NetworkResults& r) {
    const Sketch s = buildSketch(r);
    const Placement p = placementOf(s);
    const Real mapWidth = (s.maxEast - s.minEast) * p.scale;
    const Real width = std::max(mapWidth + 2 * marginPx, legendWidthPx);
    const Real height = p.legendHeight + (s.maxNorth - s.minNorth) * p.scale + 2 * marginPx;
    const LabelChoice labels = placeLabels(s, p.scale, true);
    const std::vector<bool>& labelled = labels.points;
    const auto& points = r.points;
    const auto at = [&](int32_t i) -> const PointResult& { return points[static_cast<size_t>(i)]; };

    SvgWriter w;
    w.out.reserve(200 * (points.size() + s.lines.size()) + 10000);
    w.out +=
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<svg xmlns=\"http://www.w3.org/2000/svg\"";
    w.attribute("width", width);
    w.attribute("height", height);
    w.out += " viewBox=\"0 0 ";
    w.number(width);
    w.out += ' ';
    w.number(height);
    w.out += "\" font-family=\"DejaVu Sans, Arial, sans-serif\" stroke-linecap=\"round\">\n"
             "<title>";
    w.out += sketchTitle(r);
    w.out += "</title>\n<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n";
    writeLegend(w, s, p, mapWidth,
                static_cast<size_t>(std::count(labelled.begin(), labelled.end(), true)));

    size_t line = 0;
    for (const ListedKind kind : drawingOrder) {
        const LineStyle& style = lineStyle(kind);
        w.open(style.id, strokeAttributes(style.colour, style.width, style.dashes));
        for (; line < s.lines.size() && s.lines[line].kind == kind; ++line) {
            const PointResult& a = at(s.lines[line].from);
            const PointResult& b = at(s.lines[line].to);
            w.line(p.x(a.y), p.y(a.x), p.x(b.y), p.y(b.x));
        }
        w.close();
    }
    if (r.preAnalysis) {
        writeProposals(w, s, p);
    }

    w.open("elipsy", strokeAttributes(ellipseColour, 0.8L, ""));
    for (const PointResult& q : points) {
        if (drawable(q) && hasEllipse(q)) {
            const Real k = s.ellipseMagnification * p.scale;
            w.ellipse(p.x(q.y), p.y(q.x), q.a * k, q.b * k, q.fi * degreesPerGrad - 90);
        }
    }
    w.close();

    const auto pointLayer = [&](std::string_view id, std::string_view attributes, PointKind kind) {
        w.open(id, attributes);
        for (const PointResult& q : points) {
            if (q.kind != kind || !drawable(q)) {
                continue;
            }
            if (kind == PointKind::Determined) {
                w.circle(p.x(q.y), p.y(q.x), pointRadiusPx);
            } else {
                w.triangle(p.x(q.y), p.y(q.x));
            }
        }
        w.close();
    };
    pointLayer("punkty-stale", "fill=\"" + std::string(fixedColour) + "\"", PointKind::Fixed);
    pointLayer("punkty-ruchome", strokeAttributes(fixedColour, 1.2L, "", "white"),
               PointKind::MovingReference);
    pointLayer("punkty-wyznaczane",
               "fill=\"white\" stroke=\"" + std::string(determinedColour) + "\" stroke-width=\"1\"",
               PointKind::Determined);

    w.open("bez-kontroli", strokeAttributes(withoutControlColour, 1.2L, "2 2"));
    for (const PointResult& q : points) {
        if (!q.controlled && drawable(q)) {
            w.circle(p.x(q.y), p.y(q.x), withoutControlRingPx);
        }
    }
    w.close();
    if (r.control || r.preAnalysis) {
        w.open("ponad-standard", strokeAttributes(aboveStandardColour, 1.5L, ""));
        for (const int32_t i : s.aboveStandard) {
            w.circle(p.x(at(i).y), p.y(at(i).x), aboveStandardRingPx);
        }
        w.close();
    }

    const LabelBox box = labelBox(0);
    w.open("numery", "font-size=\"9\" fill=\"#1b1b1b\"");
    for (size_t i = 0; i < points.size(); ++i) {
        if (labelled[i]) {
            w.text(p.x(points[i].y) + box.left, p.y(points[i].x) + box.top + box.height - 1,
                   points[i].number);
        }
    }
    w.close();

    w.open("odstajace", strokeAttributes(outlierColour, outlierWidth, ""));
    for (const SketchOutlier& o : s.outliers) {
        for (const SketchLine& segment : o.segments) {
            const PointResult& a = at(segment.from);
            const PointResult& b = at(segment.to);
            w.line(p.x(a.y), p.y(a.x), p.x(b.y), p.y(b.x));
        }
    }
    w.close();
    w.open("opisy-odstajacych",
           "font-size=\"10\" font-weight=\"bold\" fill=\"" + std::string(outlierColour) +
               "\" stroke=\"white\" stroke-width=\"3\" paint-order=\"stroke\"");
    const LabelBox outlierBox = outlierLabelBox(0);
    for (size_t i = 0; i < s.outliers.size(); ++i) {
        const SketchOutlier& o = s.outliers[i];
        if (labels.outliers[i]) {
            w.text(p.x(o.east) + outlierBox.left, p.y(o.north) - outlierBox.left, o.label);
        }
    }
    w.close();
    if (r.control) {
        writeControlMarks(w, s, p, labels);
    }
    if (r.preAnalysis) {
        writeProposalLabels(w, s, p, labels);
    }
    w.out += "</svg>\n";
    return std::move(w.out);
}

bool writeSketchSvg(const std::filesystem::path& folder, const NetworkResults& results) {
    OutputFile out(folder, "siec.svg");
    out.write(sketchSvg(results));
    return out.commit();
}

} // namespace ptw3
