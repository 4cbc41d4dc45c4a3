// The geometry of the network sketch, shared by siec.svg and the window's view: the
// observation lines (one per pair of points and kind), the outliers with their labels, the
// error-ellipse magnification, the drawing styles, and the choice of point numbers that can
// be written without overlapping at a given scale. X points north (up), Y east (right).
#pragma once

#include "export/results.h"

#include <string>
#include <string_view>
#include <vector>

namespace ptw3 {

/// How the lines of one observation kind are drawn (widths and dashes in pixels).
struct LineStyle {
    std::string_view id;     ///< the SVG group of the kind
    std::string_view legend; ///< UTF-8
    std::string_view colour; ///< #rrggbb
    Real width;
    std::string_view dashes; ///< SVG dash array, empty for a solid line
};
const LineStyle& lineStyle(ListedKind kind);
/// The kinds in drawing order: the wide light bands of the lengths first.
inline constexpr ListedKind drawingOrder[] = {ListedKind::Distance,  ListedKind::GpsDistance,
                                              ListedKind::Direction, ListedKind::Angle,
                                              ListedKind::Azimuth,   ListedKind::GpsAzimuth};

// clang-format off
inline constexpr std::string_view outlierColour        = "#e00000";
inline constexpr Real             outlierWidth         = 2.2L;
inline constexpr std::string_view ellipseColour        = "#c0392b";
inline constexpr std::string_view fixedColour          = "#1f3a93";
inline constexpr std::string_view determinedColour     = "#1b1b1b";
inline constexpr std::string_view withoutControlColour = "#e67e22";
inline constexpr Real             pointRadiusPx        = 3;
inline constexpr Real             triangleSizePx       = 9;
inline constexpr Real             withoutControlRingPx = 7;
inline constexpr Real             labelFontPx          = 9;
inline constexpr Real             outlierFontPx        = 10;
// clang-format on

/// A point the sketch can place: both coordinates finite. A computation that went on past a
/// defect may leave others; they are left out of the drawing.
bool drawable(const PointResult& p);
/// A point drawn with its error ellipse: not fixed, with finite axes and azimuth, A > 0.
bool hasEllipse(const PointResult& p);

/// A segment of the sketch between two points (indices into NetworkResults::points).
struct SketchLine {
    int32_t from = 0, to = 0;
    ListedKind kind = ListedKind::Direction;
};

/// An observation marked as an outlier in the reports: its segments in red and its label.
struct SketchOutlier {
    size_t observation = 0;           ///< index into NetworkResults::observations
    std::vector<SketchLine> segments; ///< an angle has two, from its station to the targets
    bool placed = false;              ///< false when no segment can be drawn
    Real north = 0, east = 0;         ///< where its label stands, m
    std::string label;                ///< "w=… ∇=…", UTF-8
    Real strength = 0;                ///< |w|, or |v|/mV when there is no w
};

struct Sketch {
    const NetworkResults* results = nullptr;
    std::vector<SketchLine> lines;       ///< in drawingOrder, one per pair and kind, both
                                         ///< ends drawable
    std::vector<SketchOutlier> outliers; ///< strongest first
    Real minNorth = 0, maxNorth = 0, minEast = 0, maxEast = 0; ///< of the points, m
    Real meanLineLength = 0;                                   ///< m
    /// Factor applied to the ellipses so that the largest is about a tenth of the mean line
    /// length (the nearest 1, 2 or 5 times a power of ten); 0 when no point has an ellipse.
    Real ellipseMagnification = 0;
};

Sketch buildSketch(const NetworkResults& results);

/// The largest of 1, 2, 5 times a power of ten not above v (v > 0).
Real roundNumberBelow(Real v);
/// The round number (1, 2, 5 times a power of ten) nearest to v on a logarithmic scale.
Real roundNumberNear(Real v);
/// A scale bar's length: "500 mm" below a metre, else "20 m", "1000 m".
std::string scaleLengthText(Real metres);

/// The labels written at a scale: the outliers' (strongest first) and then the point numbers
/// (fixed points first, then in table order), each only where it overlaps no label placed
/// before it. With `allOutliers` every outlier is labelled and the point numbers keep clear
/// of them. `pointVisible`, when given, leaves out the points off the screen.
struct LabelChoice {
    std::vector<bool> points;   ///< by point
    std::vector<bool> outliers; ///< by Sketch::outliers
};
LabelChoice placeLabels(const Sketch& sketch, Real pixelsPerMetre, bool allOutliers,
                        const std::vector<bool>* pointVisible = nullptr);

/// A label's box in pixels relative to its anchor (a point, or an outlier's label point).
struct LabelBox {
    Real left, top, width, height;
};
LabelBox labelBox(size_t characters);
LabelBox outlierLabelBox(size_t characters);

/// The number of characters of a UTF-8 text.
size_t characterCount(std::string_view utf8);

} // namespace ptw3
