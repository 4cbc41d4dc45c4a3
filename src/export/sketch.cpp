#include "export/sketch.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <charconv>
#include <cmath>
#include <map>
#include <optional>
#include <tuple>
#include <unordered_map>
#include <unordered_set>

namespace ptw3 {
namespace {

// clang-format off
constexpr std::array<LineStyle, 6> styles = {{
    // in the order of ListedKind
    {"katy",         "kąty",         "#7f8c8d", 0.7L, "4 3"},
    {"kierunki",     "kierunki",     "#34495e", 0.7L, ""},
    {"dlugosci",     "długości",     "#8fcf8f", 3.0L, ""},
    {"dlugosci-gps", "długości GPS", "#f5b461", 3.0L, "8 4"},
    {"azymuty",      "azymuty",      "#8e44ad", 1.1L, "1 3"},
    {"azymuty-gps",  "azymuty GPS",  "#8e44ad", 1.1L, "7 3 1 3"},
}};
// clang-format on

/// The share of the mean line length that the largest magnified ellipse is given.
constexpr Real ellipseShareOfLine = 0.1L;
constexpr Real labelGapPx = 5;
constexpr Real characterWidthEm = 0.62L; // a generous average for DejaVu Sans and Arial
constexpr Real boldCharacterWidthEm = 0.7L;
constexpr Real outlierLabelGapPx = 4;
constexpr Real removalLabelDropPx = 1; // a removal's label hangs this far below its anchor

std::vector<SketchLine> segmentsOf(const ObservationResult& o) {
    if (o.kind == ListedKind::Angle) {
        return {{o.from, o.left, o.kind}, {o.from, o.to, o.kind}};
    }
    return {{o.from, o.to, o.kind}};
}

/// The segments of an observation whose both ends can be drawn.
std::vector<SketchLine> drawableSegments(const std::vector<PointResult>& points,
                                         const ObservationResult& o) {
    std::vector<SketchLine> segments = segmentsOf(o);
    std::erase_if(segments, [&](const SketchLine& line) {
        return !drawable(points[static_cast<size_t>(line.from)]) ||
               !drawable(points[static_cast<size_t>(line.to)]);
    });
    return segments;
}

/// Where the label of marked segments stands: the mean of their midpoints (north, east), m.
std::pair<Real, Real> labelPoint(const std::vector<PointResult>& points,
                                 const std::vector<SketchLine>& segments) {
    Real north = 0, east = 0;
    for (const SketchLine& line : segments) {
        const PointResult& a = points[static_cast<size_t>(line.from)];
        const PointResult& b = points[static_cast<size_t>(line.to)];
        north += (a.x + b.x) / 2 / static_cast<Real>(segments.size());
        east += (a.y + b.y) / 2 / static_cast<Real>(segments.size());
    }
    return {north, east};
}

std::string formatted(Real v, int decimals) {
    char digits[64];
    const auto end = std::to_chars(digits, digits + sizeof digits, static_cast<double>(v),
                                   std::chars_format::fixed, decimals);
    return std::string(digits, end.ptr);
}

/// "w=4.2 ∇=-25.3cc", or the residual when there is no w (robust weights).
std::string outlierLabel(const ObservationResult& o) {
    const bool length = isLength(o.kind);
    const std::string unit = length ? " m" : "cc";
    const int decimals = length ? 3 : 1;
    const ReliabilityFigures* f = o.reliability ? &*o.reliability : nullptr;
    if (f == nullptr || !f->w) {
        return "v=" + formatted(o.residual, decimals) + unit;
    }
    std::string label = "w=" + formatted(*f->w, 1);
    if (f->grossError) {
        label += " \u2207=" + formatted(*f->grossError, decimals) + unit;
    }
    return label;
}

/// "54.9 mm" below a metre, else "1.234 m".
std::string shiftText(Real metres) {
    constexpr Real millimetresPerMetre = 1000;
    return std::fabs(metres) < 1 ? formatted(metres * millimetresPerMetre, 1) + " mm"
                                 : formatted(metres, 3) + " m";
}

SketchRemoval removalOf(const NetworkResults& r, int32_t observation, int32_t step) {
    assert(observation >= 0 && static_cast<size_t>(observation) < r.observations.size());
    SketchRemoval removal;
    removal.observation = static_cast<size_t>(observation);
    removal.step = step;
    removal.segments = drawableSegments(r.points, r.observations[removal.observation]);
    removal.placed = !removal.segments.empty();
    std::tie(removal.north, removal.east) = labelPoint(r.points, removal.segments);
    removal.label = "krok " + std::to_string(step);
    return removal;
}

// The findings of the quality control, with the bounds grown to take in the arrows.
void addControl(Sketch& s, const QualityControl& c) {
    const auto& points = s.results->points;
    for (size_t i = 0; i < c.snooping.steps.size(); ++i) {
        const SnoopingStep& step = c.snooping.steps[i];
        const auto number = static_cast<int32_t>(i + 1);
        s.removals.push_back(removalOf(*s.results, step.observation, number));
        if (step.alsoRemoved) {
            s.removals.push_back(removalOf(*s.results, *step.alsoRemoved, number));
        }
    }

    // Without ellipses (a network of reference points alone) the shifts are drawn true.
    const Real magnification = s.ellipseMagnification > 0 ? s.ellipseMagnification : 1;
    const Real longest = longestShiftInLines * s.meanLineLength;
    for (const ReferenceRound& round : c.reference.rounds) {
        if (!round.doubtful) {
            continue;
        }
        const ReferencePointTest& test = round.points.at(static_cast<size_t>(*round.doubtful));
        assert(test.point >= 1 && static_cast<size_t>(test.point) <= points.size());
        const PointResult& p = points[static_cast<size_t>(test.point - 1)];
        if (!drawable(p) || !std::isfinite(test.dx) || !std::isfinite(test.dy)) {
            continue;
        }
        SketchShift shift;
        shift.point = test.point - 1;
        Real north = test.dx * magnification;
        Real east = test.dy * magnification;
        const Real length = std::hypot(north, east);
        if (longest > 0 && length > longest) {
            north *= longest / length;
            east *= longest / length;
            shift.shortened = true;
        }
        shift.north = p.x + north;
        shift.east = p.y + east;
        shift.label = "\u0394=" + shiftText(test.shift()) + (shift.shortened ? " (skrócona)" : "");
        s.minNorth = std::min(s.minNorth, shift.north);
        s.maxNorth = std::max(s.maxNorth, shift.north);
        s.minEast = std::min(s.minEast, shift.east);
        s.maxEast = std::max(s.maxEast, shift.east);
        s.shifts.push_back(std::move(shift));
    }

    for (const int32_t point : c.standard.failing) {
        assert(point >= 1 && static_cast<size_t>(point) <= points.size());
        if (drawable(points[static_cast<size_t>(point - 1)])) {
            s.aboveStandard.push_back(point - 1);
        }
    }
    s.standardLimit = c.standard.limit;
}

// The plan's points above the standard, beside any a control named, and the advisor's
// proposals, one line a pair of points. A plan read back from a file may name points it
// does not have: those are left out, as are the ends that cannot be drawn.
void addPlan(Sketch& s, const PreAnalysis& plan) {
    const auto& points = s.results->points;
    const auto index = [&](int32_t point) -> std::optional<int32_t> {
        if (point < 1 || static_cast<size_t>(point) > points.size() ||
            !drawable(points[static_cast<size_t>(point - 1)])) {
            return std::nullopt;
        }
        return point - 1;
    };
    for (const int32_t point : plan.standard.failing) {
        const auto i = index(point);
        if (i && std::find(s.aboveStandard.begin(), s.aboveStandard.end(), *i) ==
                     s.aboveStandard.end()) {
            s.aboveStandard.push_back(*i);
        }
    }
    s.standardLimit = plan.standard.limit;
    if (!plan.advice) {
        return;
    }
    std::map<std::pair<int32_t, int32_t>, size_t> byPair;
    const auto& proposals = plan.advice->proposals;
    for (size_t k = 0; k < proposals.size(); ++k) {
        const auto from = index(proposals[k].candidate.from);
        const auto to = index(proposals[k].candidate.to);
        if (!from || !to) {
            continue;
        }
        const auto number = static_cast<int32_t>(k + 1);
        const auto [at, added] =
            byPair.try_emplace({std::min(*from, *to), std::max(*from, *to)}, s.proposals.size());
        if (added) {
            SketchProposal proposal;
            proposal.from = *from;
            proposal.to = *to;
            std::tie(proposal.north, proposal.east) =
                labelPoint(points, {{*from, *to, proposals[k].candidate.kind}});
            s.proposals.push_back(std::move(proposal));
        }
        SketchProposal& proposal = s.proposals[at->second];
        proposal.label += (proposal.numbers.empty() ? "+" : ", +") + std::to_string(number);
        proposal.numbers.push_back(number);
    }
}

/// Boxes of placed labels, found through the cells of a square grid they touch.
class LabelGrid {
  public:
    explicit LabelGrid(Real cell)
        : m_cell(cell) {}

    /// Boxes are in pixels from the drawing's corner; one beyond any drawing has no cell.
    static bool within(const LabelBox& b) {
        constexpr Real farthestPx = 1e12L;
        return std::fabs(b.left) < farthestPx && std::fabs(b.top) < farthestPx;
    }

    bool fits(const LabelBox& b) const {
        bool free = true;
        forCells(b, [&](uint64_t key) {
            const auto it = m_cells.find(key);
            if (free && it != m_cells.end()) {
                for (const size_t i : it->second) {
                    free = free && !overlap(b, m_boxes[i]);
                }
            }
        });
        return free;
    }

    void add(const LabelBox& b) {
        m_boxes.push_back(b);
        forCells(b, [&](uint64_t key) { m_cells[key].push_back(m_boxes.size() - 1); });
    }

  private:
    static bool overlap(const LabelBox& a, const LabelBox& b) {
        return a.left < b.left + b.width && b.left < a.left + a.width && a.top < b.top + b.height &&
               b.top < a.top + a.height;
    }

    template <class Visit> void forCells(const LabelBox& b, Visit visit) const {
        const auto first = [&](Real v) { return static_cast<int64_t>(std::floor(v / m_cell)); };
        for (int64_t i = first(b.left); i <= first(b.left + b.width); ++i) {
            for (int64_t j = first(b.top); j <= first(b.top + b.height); ++j) {
                visit(static_cast<uint64_t>(i) << 32 ^ static_cast<uint64_t>(j & 0xffffffff));
            }
        }
    }

    Real m_cell;
    std::vector<LabelBox> m_boxes;
    std::unordered_map<uint64_t, std::vector<size_t>> m_cells;
};

} // namespace

bool drawable(const PointResult& p) {
    return std::isfinite(p.x) && std::isfinite(p.y);
}

bool hasEllipse(const PointResult& p) {
    return p.kind != PointKind::Fixed && std::isfinite(p.a) && std::isfinite(p.b) &&
           std::isfinite(p.fi) && p.a > 0;
}

const LineStyle& lineStyle(ListedKind kind) {
    return styles.at(static_cast<size_t>(kind));
}

Real roundNumberBelow(Real v) {
    const Real power = std::pow(10.0L, std::floor(std::log10(v)));
    const Real mantissa = v / power;
    return (mantissa >= 5 ? 5 : mantissa >= 2 ? 2 : 1) * power;
}

Real roundNumberNear(Real v) {
    // The next round number after 1, 2, 5 is 2, 5, 10: the largest not above 2.5 times it.
    // Of the two around v, the nearer on a logarithmic scale is on v's side of their
    // geometric mean.
    const Real below = roundNumberBelow(v);
    const Real above = roundNumberBelow(2.5L * below);
    return v * v <= below * above ? below : above;
}

size_t characterCount(std::string_view utf8) {
    return static_cast<size_t>(std::count_if(utf8.begin(), utf8.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

std::string scaleLengthText(Real metres) {
    char digits[32];
    const bool millimetres = metres < 1;
    const auto value = static_cast<double>(millimetres ? std::round(metres * 1000) : metres);
    const auto end = std::to_chars(digits, digits + sizeof digits, value);
    return std::string(digits, end.ptr) + (millimetres ? " mm" : " m");
}

LabelBox labelBox(size_t characters) {
    return {labelGapPx, -labelGapPx - labelFontPx,
            static_cast<Real>(characters) * characterWidthEm * labelFontPx, labelFontPx};
}

LabelBox outlierLabelBox(size_t characters) {
    return {outlierLabelGapPx, -outlierLabelGapPx - outlierFontPx,
            static_cast<Real>(characters) * boldCharacterWidthEm * outlierFontPx,
            outlierFontPx + outlierLabelGapPx};
}

LabelBox removalLabelBox(size_t characters) {
    return {outlierLabelGapPx, removalLabelDropPx,
            static_cast<Real>(characters) * boldCharacterWidthEm * outlierFontPx,
            outlierFontPx + outlierLabelGapPx};
}

ArrowHead arrowHead(Real tipX, Real tipY, Real dx, Real dy) {
    // An arrow of no length points north.
    const Real length = std::hypot(dx, dy);
    const Real ux = length > 0 ? dx / length : 0;
    const Real uy = length > 0 ? dy / length : -1;
    const Real baseX = tipX - ux * arrowHeadLengthPx;
    const Real baseY = tipY - uy * arrowHeadLengthPx;
    const Real h = arrowHeadHalfWidthPx;
    return {tipX, tipY, baseX - uy * h, baseY + ux * h, baseX + uy * h, baseY - ux * h};
}

std::string limitText(Real metres) {
    char digits[32];
    const auto end = std::to_chars(digits, digits + sizeof digits, static_cast<double>(metres));
    return std::string(digits, end.ptr) + " m";
}

std::string positionErrorText(Real metres) {
    constexpr int decimals = 4;
    return std::isfinite(metres) ? formatted(metres, decimals) + " m" : "\u2014";
}

std::string_view sketchTitle(const NetworkResults& results) {
    return results.preAnalysis ? "Projekt sieci" : "Szkic sieci";
}

Sketch buildSketch(const NetworkResults& r) {
    Sketch s;
    s.results = &r;
    const auto& points = r.points;
    const auto first = std::find_if(points.begin(), points.end(), drawable);
    if (first != points.end()) {
        s.minNorth = s.maxNorth = first->x;
        s.minEast = s.maxEast = first->y;
    }
    for (const PointResult& p : points) {
        if (!drawable(p)) {
            continue;
        }
        s.minNorth = std::min(s.minNorth, p.x);
        s.maxNorth = std::max(s.maxNorth, p.x);
        s.minEast = std::min(s.minEast, p.y);
        s.maxEast = std::max(s.maxEast, p.y);
    }

    std::array<std::vector<SketchLine>, styles.size()> byKind;
    std::unordered_set<uint64_t> seen;
    for (size_t i = 0; i < r.observations.size(); ++i) {
        const ObservationResult& o = r.observations[i];
        std::vector<SketchLine> segments = drawableSegments(points, o);
        for (const SketchLine& line : segments) {
            const auto low = static_cast<uint64_t>(std::min(line.from, line.to));
            const auto high = static_cast<uint64_t>(std::max(line.from, line.to));
            if (seen.insert(static_cast<uint64_t>(line.kind) << 56 | low << 28 | high).second) {
                byKind[static_cast<size_t>(line.kind)].push_back(line);
            }
        }
        if (o.outlier) {
            SketchOutlier out;
            out.observation = i;
            out.segments = std::move(segments);
            out.placed = !out.segments.empty();
            std::tie(out.north, out.east) = labelPoint(points, out.segments);
            out.label = outlierLabel(o);
            out.strength = o.reliability && o.reliability->w
                               ? std::fabs(*o.reliability->w)
                               : std::fabs(o.residual) / std::max(o.residualMeanError, 1e-12L);
            if (!std::isfinite(out.strength)) {
                out.strength = 0; // sorted last, and the sort keeps a strict order
            }
            s.outliers.push_back(std::move(out));
        }
    }
    std::stable_sort(
        s.outliers.begin(), s.outliers.end(),
        [](const SketchOutlier& a, const SketchOutlier& b) { return a.strength > b.strength; });

    Real lengthSum = 0;
    for (const ListedKind kind : drawingOrder) {
        for (const SketchLine& line : byKind[static_cast<size_t>(kind)]) {
            const PointResult& a = points[static_cast<size_t>(line.from)];
            const PointResult& b = points[static_cast<size_t>(line.to)];
            lengthSum += std::hypot(a.x - b.x, a.y - b.y);
            s.lines.push_back(line);
        }
    }
    s.meanLineLength = s.lines.empty() ? 0 : lengthSum / static_cast<Real>(s.lines.size());

    Real largest = 0;
    for (const PointResult& p : points) {
        if (drawable(p) && hasEllipse(p)) {
            largest = std::max(largest, p.a);
        }
    }
    if (largest > 0 && s.meanLineLength > 0) {
        s.ellipseMagnification = roundNumberNear(ellipseShareOfLine * s.meanLineLength / largest);
    }
    if (r.control) {
        addControl(s, *r.control);
    }
    if (r.preAnalysis) {
        addPlan(s, *r.preAnalysis);
    }
    return s;
}

LabelChoice placeLabels(const Sketch& s, Real pixelsPerMetre, bool allMarks,
                        const std::vector<bool>* pointVisible) {
    const auto& points = s.results->points;
    LabelChoice choice{std::vector<bool>(points.size(), false),
                       std::vector<bool>(s.outliers.size(), false),
                       std::vector<bool>(s.removals.size(), false),
                       std::vector<bool>(s.shifts.size(), false),
                       std::vector<bool>(s.proposals.size(), false)};
    LabelGrid grid(4 * labelFontPx);
    // From the drawing's corner, so that the boxes stay within its pixels.
    const auto place = [&](LabelBox b, Real north, Real east, bool always) {
        b.left += (east - s.minEast) * pixelsPerMetre;
        b.top += (s.maxNorth - north) * pixelsPerMetre;
        if (!LabelGrid::within(b)) {
            return false;
        }
        const bool fits = always || grid.fits(b);
        if (fits) {
            grid.add(b);
        }
        return fits;
    };
    for (size_t i = 0; i < s.outliers.size(); ++i) {
        const SketchOutlier& o = s.outliers[i];
        choice.outliers[i] =
            o.placed && place(outlierLabelBox(characterCount(o.label)), o.north, o.east, allMarks);
    }
    for (size_t i = 0; i < s.removals.size(); ++i) {
        const SketchRemoval& r = s.removals[i];
        choice.removals[i] =
            r.placed && place(removalLabelBox(characterCount(r.label)), r.north, r.east, allMarks);
    }
    for (size_t i = 0; i < s.shifts.size(); ++i) {
        const SketchShift& shift = s.shifts[i];
        choice.shifts[i] = place(outlierLabelBox(characterCount(shift.label)), shift.north,
                                 shift.east, allMarks);
    }
    for (size_t i = 0; i < s.proposals.size(); ++i) {
        const SketchProposal& proposal = s.proposals[i];
        choice.proposals[i] = place(outlierLabelBox(characterCount(proposal.label)),
                                    proposal.north, proposal.east, allMarks);
    }
    const auto placePoint = [&](size_t i) {
        if (drawable(points[i]) && (pointVisible == nullptr || (*pointVisible)[i])) {
            choice.points[i] =
                place(labelBox(characterCount(points[i].number)), points[i].x, points[i].y, false);
        }
    };
    for (size_t i = 0; i < points.size(); ++i) {
        if (points[i].kind == PointKind::Fixed) {
            placePoint(i);
        }
    }
    for (size_t i = 0; i < points.size(); ++i) {
        if (points[i].kind != PointKind::Fixed) {
            placePoint(i);
        }
    }
    return choice;
}

} // namespace ptw3
