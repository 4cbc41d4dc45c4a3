// The geometry of the network sketch, shared by siec.svg and the window's view: the
// observation lines (one per pair of points and kind), the outliers with their labels, the
// error-ellipse magnification, the findings of the quality control (the observations data
// snooping took out, the shifts of the doubtful reference points, the points above the
// accuracy standard), those of a plan's pre-analysis (its points above the standard, the
// observations the design advisor proposes), the drawing styles, and the choice of point
// numbers that can be written without overlapping at a given scale. X points north (up), Y
// east (right).
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
inline constexpr std::string_view removedColour        = "#7b0000";
inline constexpr Real             removedWidth         = 2.2L;
inline constexpr std::string_view removedDashes        = "6 4";
inline constexpr std::string_view shiftColour          = "#d4009b";
inline constexpr Real             shiftWidth           = 1.6L;
inline constexpr Real             arrowHeadLengthPx    = 9;
inline constexpr Real             arrowHeadHalfWidthPx = 3.5L;
inline constexpr std::string_view aboveStandardColour  = "#0097a7";
inline constexpr Real             aboveStandardRingPx  = 10;
inline constexpr std::string_view proposalColour       = "#2962ff";
inline constexpr Real             proposalWidth        = 2;
inline constexpr std::string_view proposalDashes       = "9 5";
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

/// An observation data snooping took out: its segments drawn dashed, labelled with its step.
/// The last reading of a set, which leaves with the observation, has the same step.
struct SketchRemoval {
    size_t observation = 0;           ///< index into NetworkResults::observations
    int32_t step = 0;                 ///< from 1
    std::vector<SketchLine> segments; ///< an angle has two
    bool placed = false;              ///< false when no segment can be drawn
    Real north = 0, east = 0;         ///< where its label stands, m
    std::string label;                ///< "krok 2", UTF-8
};

/// A reference point the reference-point check named doubtful: the shift of its catalogue
/// position (position from the rest of the network − catalogue) as an arrow from the point,
/// magnified like the error ellipses.
struct SketchShift {
    int32_t point = 0;        ///< index into NetworkResults::points
    Real north = 0, east = 0; ///< the arrow's tip, m
    bool shortened = false;   ///< the magnified shift is longer than an arrow may be drawn
    std::string label;        ///< "Δ=54.9 mm", UTF-8
};

/// The observations the design advisor proposes between one pair of points: the pair's line
/// drawn dashed once, labelled with their order numbers.
struct SketchProposal {
    int32_t from = 0, to = 0;     ///< indices into NetworkResults::points
    std::vector<int32_t> numbers; ///< the proposals' order numbers, from 1
    Real north = 0, east = 0;     ///< where its label stands (the line's midpoint), m
    std::string label;            ///< "+1", or "+2, +5" for two proposals on one line
};

struct Sketch {
    const NetworkResults* results = nullptr;
    std::vector<SketchLine> lines;       ///< in drawingOrder, one per pair and kind, both
                                         ///< ends drawable
    std::vector<SketchOutlier> outliers; ///< strongest first
    /// Of the points and the tips of the shift arrows, m.
    Real minNorth = 0, maxNorth = 0, minEast = 0, maxEast = 0;
    Real meanLineLength = 0; ///< m
    /// Factor applied to the ellipses so that the largest is about a tenth of the mean line
    /// length (the nearest 1, 2 or 5 times a power of ten); 0 when no point has an ellipse.
    Real ellipseMagnification = 0;

    // The findings of the quality control, when it was made.
    std::vector<SketchRemoval> removals;  ///< in the order of the steps
    std::vector<SketchShift> shifts;      ///< in the order the points were named, drawable
    std::vector<int32_t> aboveStandard;   ///< points above the accuracy standard, drawable

    // The proposals of the design advisor, when a plan was analysed with it.
    std::vector<SketchProposal> proposals; ///< by their first number, both ends drawable
    /// The standard the rings of `aboveStandard` mark, m: the plan's, else the control's.
    Real standardLimit = 0;
};

/// The shift arrows are magnified like the ellipses but drawn at most this many mean line
/// lengths long, so that a gross error of a catalogue position does not dwarf the network.
inline constexpr Real longestShiftInLines = 2;

Sketch buildSketch(const NetworkResults& results);

/// The largest of 1, 2, 5 times a power of ten not above v (v > 0).
Real roundNumberBelow(Real v);
/// The round number (1, 2, 5 times a power of ten) nearest to v on a logarithmic scale.
Real roundNumberNear(Real v);
/// A scale bar's length: "500 mm" below a metre, else "20 m", "1000 m".
std::string scaleLengthText(Real metres);

/// The labels written at a scale: the outliers' (strongest first), the removals', the
/// shifts', the proposals' and then the point numbers (fixed points first, then in table
/// order), each only where it overlaps no label placed before it. With `allMarks` every
/// outlier, removal, shift and proposal is labelled and the point numbers keep clear of them.
/// `pointVisible`, when given, leaves out the points off the screen.
struct LabelChoice {
    std::vector<bool> points;    ///< by point
    std::vector<bool> outliers;  ///< by Sketch::outliers
    std::vector<bool> removals;  ///< by Sketch::removals
    std::vector<bool> shifts;    ///< by Sketch::shifts
    std::vector<bool> proposals; ///< by Sketch::proposals
};
LabelChoice placeLabels(const Sketch& sketch, Real pixelsPerMetre, bool allMarks,
                        const std::vector<bool>* pointVisible = nullptr);

/// A label's box in pixels relative to its anchor (a point, or an outlier's label point).
struct LabelBox {
    Real left, top, width, height;
};
LabelBox labelBox(size_t characters);
/// Above and right of its anchor, as are the shifts' labels at the arrow tips.
LabelBox outlierLabelBox(size_t characters);
/// Below and right of its anchor, clear of the label of an outlier at the same place.
LabelBox removalLabelBox(size_t characters);

/// The arrow head at the tip of a shift: the tip and the two back corners, in pixels of a
/// drawing whose y runs down. `dx`, `dy` is the arrow's direction in those pixels.
struct ArrowHead {
    Real tipX, tipY, leftX, leftY, rightX, rightY;
};
ArrowHead arrowHead(Real tipX, Real tipY, Real dx, Real dy);

/// The accuracy standard as the legends name it: "0.05 m".
std::string limitText(Real metres);
/// A position error as the legends give it, to 0.1 mm as the reports do: "0.0412 m".
std::string positionErrorText(Real metres);
/// The title of the drawing: "Projekt sieci" for a plan, else "Szkic sieci".
std::string_view sketchTitle(const NetworkResults& results);

/// The number of characters of a UTF-8 text.
size_t characterCount(std::string_view utf8);

} // namespace ptw3
