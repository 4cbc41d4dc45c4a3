// siec.svg read back as XML: it is well formed, each layer holds one element per feature
// of the network (counted here from wyniki.json), and the points stand at one scale on both
// axes with X north up.

#include "engine/synthetic_network.h"
#include "export/extra_files.h"
#include "export/results_json.h"
#include "export/sketch.h"
#include "export/sketch_svg.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <random>
#include <set>

namespace ptw3 {
namespace {

namespace fs = std::filesystem;

struct Element {
    std::string name;
    std::map<std::string, std::string> attributes;
    std::string layer; ///< id of the <g> directly under <svg> that holds it
    std::string text;
};

// A small XML reader for what the sketch writes: declarations, elements with attributes in
// double quotes, text. Mismatched or unclosed tags fail the test.
std::vector<Element> parseXml(const std::string& xml) {
    std::vector<Element> elements;
    std::vector<size_t> open;
    size_t i = 0;
    while ((i = xml.find('<', i)) != std::string::npos) {
        const size_t end = xml.find('>', i);
        EXPECT_NE(end, std::string::npos);
        std::string tag = xml.substr(i + 1, end - i - 1);
        const size_t textEnd = xml.find('<', end);
        if (tag.starts_with("?")) {
            i = end;
            continue;
        }
        if (tag.starts_with("/")) {
            EXPECT_FALSE(open.empty());
            EXPECT_EQ(elements[open.back()].name, tag.substr(1));
            open.pop_back();
            i = end;
            continue;
        }
        const bool empty = tag.ends_with("/");
        if (empty) {
            tag.pop_back();
        }
        Element e;
        e.name = tag.substr(0, tag.find_first_of(" \n"));
        for (size_t a = tag.find(' '); a != std::string::npos && a < tag.size();) {
            const size_t equals = tag.find('=', a);
            if (equals == std::string::npos) {
                break;
            }
            const size_t quote = tag.find('"', equals + 2);
            std::string name = tag.substr(a + 1, equals - a - 1);
            name.erase(0, name.find_first_not_of(" \n"));
            EXPECT_TRUE(
                e.attributes.emplace(name, tag.substr(equals + 2, quote - equals - 2)).second)
                << name << " twice in " << tag;
            a = quote + 1;
        }
        if (open.size() >= 2) {
            e.layer = elements[open[1]].attributes["id"];
        }
        if (!empty && textEnd != std::string::npos) {
            e.text = xml.substr(end + 1, textEnd - end - 1);
        }
        elements.push_back(e);
        if (!empty) {
            open.push_back(elements.size() - 1);
        }
        i = end;
    }
    EXPECT_TRUE(open.empty());
    return elements;
}

size_t countIn(const std::vector<Element>& elements, const std::string& layer,
               const std::string& name) {
    return static_cast<size_t>(
        std::count_if(elements.begin(), elements.end(),
                      [&](const Element& e) { return e.layer == layer && e.name == name; }));
}

Real number(const Element& e, const std::string& attribute) {
    return std::stold(e.attributes.at(attribute));
}

struct Case {
    const char* what;
    std::map<std::string, std::string> files; ///< UTF-8 texts, or empty for an example
    const char* example;
};

TEST(SketchSvg, LayersCountTheNetworkAndTheScaleIsEqual) {
    std::mt19937 random(11);
    const auto synthetic = test::networkFiles(test::scatter(25, 3, random), random);
    const Case cases[] = {{"2000 system with GPS observations", {}, "siec-2000"},
                          {"outlier", {}, "siec-blad-gruby"},
                          {"angles and azimuths", synthetic, ""}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        test::TempFolder folder;
        if (c.files.empty()) {
            folder.copyFilesOf(fs::path(PTW3_EXAMPLES_DIR) / c.example);
        }
        for (const auto& [name, content] : c.files) {
            folder.write(name, test::crlf(content));
        }
        test::computeFolder(folder.path());
        const auto results = readResultsJson(folder.path() / "wyniki.json");
        ASSERT_TRUE(results.has_value());
        const auto svg = parseXml(folder.read("siec.svg"));
        ASSERT_FALSE(svg.empty());
        EXPECT_EQ(svg.front().name, "svg");

        // Lines: one per pair of points and kind; outliers again in red, an angle with both arms.
        std::map<std::string, std::set<std::pair<int32_t, int32_t>>> pairs;
        size_t outlierSegments = 0;
        const std::map<ListedKind, std::string> layers = {
            {ListedKind::Angle, "katy"},        {ListedKind::Direction, "kierunki"},
            {ListedKind::Distance, "dlugosci"}, {ListedKind::GpsDistance, "dlugosci-gps"},
            {ListedKind::Azimuth, "azymuty"},   {ListedKind::GpsAzimuth, "azymuty-gps"}};
        for (const ObservationResult& o : results->observations) {
            const auto add = [&](int32_t a, int32_t b) {
                pairs[layers.at(o.kind)].insert({std::min(a, b), std::max(a, b)});
                outlierSegments += o.outlier ? 1 : 0;
            };
            add(o.from, o.to);
            if (o.kind == ListedKind::Angle) {
                add(o.from, o.left);
            }
        }
        for (const auto& [kind, layer] : layers) {
            SCOPED_TRACE(layer);
            EXPECT_EQ(countIn(svg, layer, "line"), pairs[layer].size());
        }
        EXPECT_EQ(countIn(svg, "odstajace", "line"), outlierSegments);
        EXPECT_EQ(countIn(svg, "opisy-odstajacych", "text"),
                  static_cast<size_t>(results->counts.outliers));

        const auto pointsWhere = [&](auto predicate) {
            return static_cast<size_t>(
                std::count_if(results->points.begin(), results->points.end(), predicate));
        };
        EXPECT_EQ(countIn(svg, "punkty-stale", "path"),
                  pointsWhere([](const PointResult& p) { return p.kind == PointKind::Fixed; }));
        EXPECT_EQ(countIn(svg, "punkty-ruchome", "path"), pointsWhere([](const PointResult& p) {
                      return p.kind == PointKind::MovingReference;
                  }));
        EXPECT_EQ(
            countIn(svg, "punkty-wyznaczane", "circle"),
            pointsWhere([](const PointResult& p) { return p.kind == PointKind::Determined; }));
        EXPECT_EQ(countIn(svg, "elipsy", "ellipse"), pointsWhere([](const PointResult& p) {
                      return p.kind != PointKind::Fixed && p.a > 0;
                  }));
        EXPECT_EQ(countIn(svg, "bez-kontroli", "circle"),
                  pointsWhere([](const PointResult& p) { return !p.controlled; }));
        EXPECT_EQ(countIn(svg, "numery", "text"), results->points.size());

        // Determined points in table order against their coordinates: Δ(svg x) = s·ΔY and
        // Δ(svg y) = −s·ΔX with one s.
        std::vector<const Element*> circles;
        for (const Element& e : svg) {
            if (e.layer == "punkty-wyznaczane" && e.name == "circle") {
                circles.push_back(&e);
            }
        }
        std::vector<const PointResult*> determined;
        for (const PointResult& p : results->points) {
            if (p.kind == PointKind::Determined) {
                determined.push_back(&p);
            }
        }
        ASSERT_EQ(circles.size(), determined.size());
        ASSERT_GE(circles.size(), 3u);
        const auto east = std::minmax_element(determined.begin(), determined.end(),
                                              [](auto a, auto b) { return a->y < b->y; });
        const auto north = std::minmax_element(determined.begin(), determined.end(),
                                               [](auto a, auto b) { return a->x < b->x; });
        const auto scale = [&](auto pair, const char* axis, bool up) {
            const Element& first = *circles[static_cast<size_t>(pair.first - determined.begin())];
            const Element& second = *circles[static_cast<size_t>(pair.second - determined.begin())];
            const Real metres =
                up ? (*pair.second)->x - (*pair.first)->x : (*pair.second)->y - (*pair.first)->y;
            return (up ? -1 : 1) * (number(second, axis) - number(first, axis)) / metres;
        };
        const Real sEast = scale(east, "cx", false);
        const Real sNorth = scale(north, "cy", true);
        EXPECT_GT(sEast, 0);
        EXPECT_NEAR(static_cast<double>(sNorth / sEast), 1, 1e-3);
    }
}

TEST(SketchSvg, ACoordinateThatIsNotANumberLeavesItsPointOutAndNullsTheFields) {
    // A computation may go on past a defect and leave a point without finite coordinates.
    constexpr Real nan = std::numeric_limits<Real>::quiet_NaN();
    NetworkResults r;
    r.points = {{.number = "A", .kind = PointKind::Fixed, .x = 0, .y = 0},
                {.number = "B", .x = 100, .y = 0, .a = 0.01L, .b = 0.005L, .fi = 10},
                {.number = "C", .x = nan, .y = nan, .mx = nan, .a = nan, .controlled = false}};
    const auto distance = [](int32_t from, int32_t to, Real v, bool outlier) {
        ObservationResult o;
        o.kind = ListedKind::Distance;
        o.from = from;
        o.to = to;
        o.residual = v;
        o.meanError = 0.01L;
        o.outlier = outlier;
        o.reliability = reliabilityFigures(0.5L, v, 0.01L, 1);
        return o;
    };
    r.observations = {distance(0, 1, 0.001L, false), distance(1, 2, nan, true)};
    test::TempFolder folder;
    EXPECT_TRUE(writeExtraFiles(folder.path(), r).empty());

    for (const char* file : {"siec.svg", "punkty.csv", "obserwacje.csv", "wyniki.json"}) {
        SCOPED_TRACE(file);
        const std::string text = folder.read(file);
        EXPECT_EQ(text.find("nan"), std::string::npos);
        EXPECT_EQ(text.find("inf"), std::string::npos);
    }
    const auto svg = parseXml(folder.read("siec.svg"));
    EXPECT_EQ(countIn(svg, "punkty-wyznaczane", "circle"), 1u);
    EXPECT_EQ(countIn(svg, "dlugosci", "line"), 1u);
    EXPECT_EQ(countIn(svg, "bez-kontroli", "circle"), 0u);
    EXPECT_EQ(countIn(svg, "odstajace", "line"), 0u);
    EXPECT_EQ(countIn(svg, "opisy-odstajacych", "text"), 0u);

    const auto back = readResultsJson(folder.path() / "wyniki.json");
    ASSERT_TRUE(back.has_value());
    ASSERT_EQ(back->points.size(), 3u);
    EXPECT_TRUE(std::isnan(back->points[2].x));
    EXPECT_TRUE(std::isnan(back->observations[1].residual));
}

// The findings of a quality control made by hand for siec-blad-gruby: the observations taken
// out dashed with their steps, the points above the standard ringed where they stand, and the
// shift of the doubtful point as an arrow magnified like the ellipses (the ratio of an
// ellipse's drawn semi-axis to its A), or shortened when that would be too long.
TEST(SketchSvg, TheQualityControlMarksItsFindings) {
    test::TempFolder folder;
    folder.copyFilesOf(fs::path(PTW3_EXAMPLES_DIR) / "siec-blad-gruby");
    test::computeFolder(folder.path());
    auto results = readResultsJson(folder.path() / "wyniki.json");
    ASSERT_TRUE(results.has_value());
    struct Case {
        Real dx, dy;       ///< the shift of 1002, m
        const char* label; ///< at the arrow's tip
    };
    const Case cases[] = {{0.04512L, -0.03125L, "Δ=54.9 mm"},
                          {-0.0123L, 0.0015L, "Δ=12.4 mm"},
                          {10.5L, 0, "Δ=10.500 m (skrócona)"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        results->control = test::handMadeControl(*results);
        ReferencePointTest& doubtful = results->control->reference.rounds[0].points[0];
        doubtful.dx = c.dx;
        doubtful.dy = c.dy;
        const auto svg = parseXml(sketchSvg(*results));

        EXPECT_EQ(countIn(svg, "usuniete", "line"), 3u);
        std::vector<std::string> steps;
        const Element* arrow = nullptr;
        std::vector<std::string> shiftLabels;
        std::vector<std::pair<Real, Real>> rings;
        std::vector<Real> semiAxes; // drawn A of the determined points, px
        for (const Element& e : svg) {
            if (e.layer == "opisy-usunietych") {
                steps.push_back(e.text);
            } else if (e.layer == "opisy-przesuniec") {
                shiftLabels.push_back(e.text);
            } else if (e.layer == "przesuniecia" && e.name == "line") {
                arrow = &e;
            } else if (e.layer == "ponad-standard") {
                rings.emplace_back(number(e, "cx"), number(e, "cy"));
            } else if (e.layer == "elipsy") {
                semiAxes.push_back(number(e, "rx"));
            }
        }
        // The largest ellipse gives the ratio with the least rounding: px per m of A.
        ASSERT_EQ(semiAxes.size(), 6u);
        const size_t largest = static_cast<size_t>(
            std::max_element(semiAxes.begin(), semiAxes.end()) - semiAxes.begin());
        const Real ellipseRatio = semiAxes[largest] / results->points[largest].a;
        EXPECT_EQ(steps, (std::vector<std::string>{"krok 1", "krok 2", "krok 2"}));
        EXPECT_EQ(shiftLabels, std::vector<std::string>{c.label});
        EXPECT_EQ(countIn(svg, "przesuniecia", "path"), 1u); // the head

        // The rings stand on the circles of the points 5 and 6 (the 5th and 6th determined).
        std::vector<std::pair<Real, Real>> circles;
        for (const Element& e : svg) {
            if (e.layer == "punkty-wyznaczane") {
                circles.emplace_back(number(e, "cx"), number(e, "cy"));
            }
        }
        ASSERT_EQ(circles.size(), 6u);
        EXPECT_EQ(rings, (std::vector<std::pair<Real, Real>>{circles[4], circles[5]}));

        // East to the right and north up, each drawn metre of the shift as one of an A.
        ASSERT_NE(arrow, nullptr);
        const Real right = number(*arrow, "x2") - number(*arrow, "x1");
        const Real up = number(*arrow, "y1") - number(*arrow, "y2");
        const Real drawn = std::hypot(right, up) / (std::hypot(c.dx, c.dy) * ellipseRatio);
        const bool shortened = std::string(c.label).ends_with("(skrócona)");
        if (shortened) {
            EXPECT_LT(drawn, 0.5);
        } else {
            EXPECT_NEAR(static_cast<double>(drawn), 1, 0.01);
        }
        EXPECT_NEAR(static_cast<double>(std::atan2(right, up)),
                    static_cast<double>(std::atan2(c.dy, c.dx)), 0.01);
        EXPECT_TRUE(std::any_of(svg.begin(), svg.end(), [](const Element& e) {
            return e.layer == "legenda" && e.text == "Mp ponad standard 0.0175 m";
        }));
    }
}

// siec-blad-gruby taken as a plan with the advisor's proposals made by hand: the title says
// it is a plan, each line with proposals is drawn dashed once between the circles of its
// points with the proposals' order numbers, a proposal naming a point the plan does not
// have is left out, and the plan's points above the standard are ringed.
TEST(SketchSvg, ThePlanShowsTheAdvisorsProposalsDashedWithTheirNumbers) {
    test::TempFolder folder;
    folder.copyFilesOf(fs::path(PTW3_EXAMPLES_DIR) / "siec-blad-gruby");
    test::computeFolder(folder.path());
    auto results = readResultsJson(folder.path() / "wyniki.json");
    ASSERT_TRUE(results.has_value());
    results->control.reset();
    results->preAnalysis = test::handMadePlan(*results);
    // A fourth proposal to a point beyond the plan's, as a damaged file may hold.
    Proposal stray = results->preAnalysis->advice->proposals.back();
    stray.candidate.to = static_cast<int32_t>(results->points.size()) + 1;
    results->preAnalysis->advice->proposals.push_back(stray);
    const auto svg = parseXml(sketchSvg(*results));

    std::map<std::string, std::pair<Real, Real>> circles; // by point number
    const auto& points = results->points;
    size_t determined = 0;
    std::vector<std::pair<Real, Real>> drawn;
    for (const Element& e : svg) {
        if (e.layer == "punkty-wyznaczane") {
            drawn.emplace_back(number(e, "cx"), number(e, "cy"));
        }
    }
    for (const PointResult& p : points) {
        if (p.kind == PointKind::Determined) {
            ASSERT_LT(determined, drawn.size());
            circles[p.number] = drawn[determined++];
        }
    }
    struct Line {
        std::pair<Real, Real> a, b;
    };
    std::vector<Line> lines;
    std::vector<std::string> labels, titles, legend;
    std::vector<std::pair<Real, Real>> rings;
    bool dashed = false;
    for (const Element& e : svg) {
        if (e.name == "g" && e.attributes.count("id") && e.attributes.at("id") == "proponowane") {
            dashed = e.attributes.count("stroke-dasharray") == 1 &&
                     e.attributes.at("stroke") == proposalColour;
        } else if (e.layer == "proponowane") {
            lines.push_back(
                {{number(e, "x1"), number(e, "y1")}, {number(e, "x2"), number(e, "y2")}});
        } else if (e.layer == "opisy-proponowanych") {
            labels.push_back(e.text);
        } else if (e.layer == "ponad-standard") {
            rings.emplace_back(number(e, "cx"), number(e, "cy"));
        } else if (e.name == "title" || (e.layer == "legenda" && e.attributes.count("font-size"))) {
            titles.push_back(e.text);
        } else if (e.layer == "legenda" && e.name == "text") {
            legend.push_back(e.text);
        }
    }
    EXPECT_TRUE(dashed);
    EXPECT_EQ(titles, (std::vector<std::string>{"Projekt sieci", "Projekt sieci"}));
    EXPECT_EQ(labels, (std::vector<std::string>{"+1", "+2, +3"}));
    ASSERT_EQ(lines.size(), 2u);
    const auto joins = [&](const Line& line, const char* from, const char* to) {
        const auto near = [](std::pair<Real, Real> u, std::pair<Real, Real> v) {
            return std::hypot(u.first - v.first, u.second - v.second) < 0.1L;
        };
        return (near(line.a, circles.at(from)) && near(line.b, circles.at(to))) ||
               (near(line.a, circles.at(to)) && near(line.b, circles.at(from)));
    };
    EXPECT_TRUE(joins(lines[0], "1", "3"));
    EXPECT_TRUE(joins(lines[1], "2", "6"));
    EXPECT_EQ(rings, (std::vector<std::pair<Real, Real>>{circles.at("5"), circles.at("6")}));
    for (const char* text : {"obserwacja proponowana (doradca)", "Mp ponad standard 0.0175 m",
                             "Mp max 0.0241 m \u2192 0.0169 m"}) {
        EXPECT_EQ(std::count(legend.begin(), legend.end(), std::string(text)), 1) << text;
    }
    EXPECT_EQ(std::count_if(legend.begin(), legend.end(),
                            [](const std::string& t) { return t.ends_with("4 proponowanych"); }),
              1);

    // Without the advisor the plan keeps its title and rings and has no proposals.
    results->preAnalysis->advice.reset();
    const auto plain = parseXml(sketchSvg(*results));
    EXPECT_EQ(countIn(plain, "proponowane", "line"), 0u);
    EXPECT_EQ(countIn(plain, "ponad-standard", "circle"), 2u);
    EXPECT_NE(std::find_if(plain.begin(), plain.end(),
                           [](const Element& e) { return e.name == "title"; })
                  ->text,
              "Szkic sieci");
}

TEST(SketchSvg, RoundNumbersForScalesAndTheEllipseMagnification) {
    struct Case {
        Real v, below, near;
    };
    const Case cases[] = {
        {1, 1, 1},          {7.2L, 5, 10},          {6.9L, 5, 5},
        {3636, 2000, 5000}, {0.037L, 0.02L, 0.05L}, {20000, 20000, 20000},
        {1.5L, 1, 2},       {999.9L, 500, 1000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<double>(c.v));
        EXPECT_NEAR(static_cast<double>(roundNumberBelow(c.v)), static_cast<double>(c.below),
                    1e-12 * static_cast<double>(c.below));
        EXPECT_NEAR(static_cast<double>(roundNumberNear(c.v)), static_cast<double>(c.near),
                    1e-12 * static_cast<double>(c.near));
    }
}

} // namespace
} // namespace ptw3
