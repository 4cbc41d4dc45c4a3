// Reduction of a total-station survey to a network (angles in grads, lengths in metres, x
// northing, y easting, azimuths clockwise from +x). A face II circle reading is turned by
// 200 g and averaged with the face I reading of the same target; slope distances are brought
// to the horizontal at the station's height with the earth's curvature and refraction
// (k = 0.13, R = 6378 km). Approximate coordinates: polar points from stations oriented on
// points with coordinates, free stations by a Helmert fit (rotation and shift, no scale) of
// their polar vectors to two or more such points, and intersections of two oriented rays.
#include "interchange/field_survey.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <deque>
#include <limits>
#include <map>
#include <numbers>
#include <unordered_map>
#include <utility>

namespace ptw3 {

void FieldSurvey::took(const FieldSource& at, std::string text) {
    notes.push_back({at.order, {at.where, std::move(text), false}});
}

void FieldSurvey::refused(const FieldSource& at, std::string reason) {
    notes.push_back({at.order, {at.where, std::move(reason), true}});
}

namespace {

constexpr Real fullCircleGrad = 400;
constexpr Real halfCircleGrad = 200;
constexpr Real ccPerGrad = 10000;
constexpr Real radiansPerGrad = std::numbers::pi_v<Real> / halfCircleGrad;
constexpr Real earthRadiusM = 6378000;
constexpr Real refractionCoefficient = 0.13L;
/// Two sets of coordinates of one point that differ by less than this (m) agree.
constexpr Real coordinateAgreementM = 0.001L;
/// Two rays that cross at less than this (grads) from a straight line fix no point.
constexpr Real weakestCrossingGrad = 20;
/// The polar vectors of a free station's targets must spread over more than this (m²).
constexpr Real smallestSpreadM2 = 1;

// Orders of the log lines that no source record owns: after every record.
constexpr int64_t afterEveryRecord = std::numeric_limits<int64_t>::max();

Real wrapGrad(Real a) {
    a = std::fmod(a, fullCircleGrad);
    if (a < 0) {
        a += fullCircleGrad;
    }
    return a >= fullCircleGrad ? 0 : a;
}

// The angle taken into (-200, 200].
Real signedGrad(Real a) {
    a = wrapGrad(a);
    return a > halfCircleGrad ? a - fullCircleGrad : a;
}

std::string fixedText(Real v, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*Lf", decimals, static_cast<long double>(v));
    return text;
}

std::string joined(const std::vector<std::string>& parts) {
    std::string text;
    for (const std::string& part : parts) {
        text += (text.empty() ? "" : "; ") + part;
    }
    return text;
}

struct Xy {
    Real x = 0, y = 0;
};

Real azimuthGrad(Xy from, Xy to) {
    return wrapGrad(std::atan2(to.y - from.y, to.x - from.x) / radiansPerGrad);
}

Xy polarPoint(Xy station, Real azimuth, Real distanceM) {
    return {station.x + distanceM * std::cos(azimuth * radiansPerGrad),
            station.y + distanceM * std::sin(azimuth * radiansPerGrad)};
}

// The two ends of a line, in a fixed order, as a key.
std::pair<std::string, std::string> lineKey(const std::string& a, const std::string& b) {
    return a < b ? std::pair{a, b} : std::pair{b, a};
}

// A rotation θ and a shift carrying coordinates of one frame onto another: g = R(θ)·l + t.
struct RigidMotion {
    Real c = 1, s = 0; ///< cos θ, sin θ
    Xy shift;
    Xy operator()(Xy l) const { return {c * l.x - s * l.y + shift.x, s * l.x + c * l.y + shift.y}; }
};

// The rotation and shift that carry points of a local frame onto their coordinates in another
// with the least squares, tan θ = Σ(lx·gy − ly·gx) / Σ(lx·gx + ly·gy) about the centroids (no
// scale: both frames are in metres); none when the points lie too close to fix a rotation.
std::optional<RigidMotion> rigidFit(const std::vector<std::pair<Xy, Xy>>& localAndGlobal) {
    Xy lc, gc;
    for (const auto& [l, g] : localAndGlobal) {
        lc.x += l.x, lc.y += l.y, gc.x += g.x, gc.y += g.y;
    }
    const auto n = static_cast<Real>(localAndGlobal.size());
    lc = {lc.x / n, lc.y / n};
    gc = {gc.x / n, gc.y / n};
    Real sinSum = 0, cosSum = 0, spread = 0;
    for (const auto& [l, g] : localAndGlobal) {
        const Xy lr{l.x - lc.x, l.y - lc.y}, gr{g.x - gc.x, g.y - gc.y};
        sinSum += lr.x * gr.y - lr.y * gr.x;
        cosSum += lr.x * gr.x + lr.y * gr.y;
        spread += lr.x * lr.x + lr.y * lr.y;
    }
    if (!(spread > smallestSpreadM2)) {
        return std::nullopt;
    }
    const Real theta = std::atan2(sinSum, cosSum);
    RigidMotion m{std::cos(theta), std::sin(theta), {}};
    const Xy turned = m(lc);
    m.shift = {gc.x - turned.x, gc.y - turned.y};
    return m;
}

// The crossing of the rays from a and b at the azimuths alpha and beta (grads), when they meet
// ahead of both at a crossing angle that fixes the point.
std::optional<Xy> intersection(Xy a, Real alpha, Xy b, Real beta) {
    const Real crossing = std::fabs(signedGrad(beta - alpha));
    if (crossing < weakestCrossingGrad || crossing > halfCircleGrad - weakestCrossingGrad) {
        return std::nullopt;
    }
    const Real ux = std::cos(alpha * radiansPerGrad), uy = std::sin(alpha * radiansPerGrad);
    const Real vx = std::cos(beta * radiansPerGrad), vy = std::sin(beta * radiansPerGrad);
    const Real bx = b.x - a.x, by = b.y - a.y;
    // s·u − t·v = b − a by Cramer's rule.
    const Real det = vx * uy - ux * vy;
    const Real s = (vx * by - vy * bx) / det;
    const Real t = (ux * by - uy * bx) / det;
    if (!(s > 0 && t > 0)) {
        return std::nullopt;
    }
    return Xy{a.x + s * ux, a.y + s * uy};
}

struct PointState {
    std::string number;
    std::optional<Xy> xy;
    std::optional<Real> h;
    bool known = false;
    std::string method; ///< how the approximate coordinates were found, for the log
};

// The log lines in the order of the source, records that share a place in their order of
// writing.
class OrderedNotes {
public:
    void add(int64_t order, ImportRecord record) {
        m_notes.push_back({order, static_cast<int64_t>(m_notes.size()), std::move(record)});
    }
    void took(const FieldSource& at, std::string text) {
        add(at.order, {at.where, std::move(text), false});
    }
    void refused(const FieldSource& at, std::string reason) {
        add(at.order, {at.where, std::move(reason), true});
    }
    void moveTo(ImportLog& log) {
        std::sort(m_notes.begin(), m_notes.end(), [](const Note& a, const Note& b) {
            return a.order != b.order ? a.order < b.order : a.sequence < b.sequence;
        });
        for (Note& n : m_notes) {
            log.records.push_back(std::move(n.record));
        }
        m_notes.clear();
    }

private:
    struct Note {
        int64_t order = 0, sequence = 0;
        ImportRecord record;
    };
    std::vector<Note> m_notes;
};

// A set-up reduced: its directions (face I circle readings) and horizontal distances.
struct ReducedSetup {
    std::string station;
    std::vector<std::pair<std::string, Real>> directions; ///< target, grads, in reading order
    std::vector<std::pair<std::string, Real>> distances;  ///< target, m, averaged per target
};

class SurveyReduction {
public:
    SurveyReduction(const InstrumentProfile& profile, OrderedNotes& notes)
        : m_profile(profile)
        , m_notes(notes) {}

    ReducedSetup reduce(const FieldSetup& setup);

private:
    struct Reading {
        bool faceTwo = false;
        std::optional<Real> direction; ///< turned to face I, grads
        std::optional<Real> distance;  ///< horizontal, m
        std::vector<std::string> parts;
        std::vector<std::string> refusals;
    };
    void readOne(const FieldSetup& setup, const FieldReading& r, Reading& out) const;
    void pairFaces(const FieldSetup& setup, std::vector<Reading>& readings,
                   ReducedSetup& reduced) const;
    void averageDistances(const FieldSetup& setup, std::vector<Reading>& readings,
                          ReducedSetup& reduced) const;

    const InstrumentProfile& m_profile;
    OrderedNotes& m_notes;
};

void SurveyReduction::readOne(const FieldSetup& setup, const FieldReading& r,
                              Reading& out) const {
    if (r.target.empty()) {
        out.refusals.push_back("pomiar bez numeru celu");
        return;
    }
    if (r.target == setup.station) {
        out.refusals.push_back("celowa na własne stanowisko");
        return;
    }
    const auto finite = [](const std::optional<Real>& v) { return !v || std::isfinite(*v); };
    if (!finite(r.horizontalGrad) || !finite(r.zenithGrad) || !finite(r.slopeM) ||
        !finite(r.horizontalM)) {
        out.refusals.push_back("wartość poza zakresem liczb");
        return;
    }
    out.faceTwo = r.faceTwo.value_or(r.zenithGrad && wrapGrad(*r.zenithGrad) > halfCircleGrad);
    if (r.horizontalGrad) {
        out.direction = wrapGrad(*r.horizontalGrad - (out.faceTwo ? halfCircleGrad : 0));
    }
    if (r.horizontalM) {
        if (*r.horizontalM > 0) {
            out.distance = *r.horizontalM;
            out.parts.push_back("długość pozioma " + fixedText(*r.horizontalM, 5) + " m");
        } else {
            out.refusals.push_back("długość pozioma niedodatnia");
        }
    } else if (r.slopeM) {
        if (!r.zenithGrad) {
            out.refusals.push_back("długość skośna bez kąta zenitalnego: nie można jej "
                                   "sprowadzić do poziomu");
        } else {
            Real z = wrapGrad(*r.zenithGrad);
            z = z > halfCircleGrad ? fullCircleGrad - z : z;
            const Real d = horizontalFromSlope(*r.slopeM, z);
            if (!(*r.slopeM > 0) || !(d > 0)) {
                out.refusals.push_back("długość skośna " + fixedText(*r.slopeM, 5) +
                                       " m przy kącie zenitalnym " + fixedText(z, 5) +
                                       " g: brak długości poziomej");
            } else {
                out.distance = d;
                out.parts.push_back("długość skośna " + fixedText(*r.slopeM, 5) + " m, z " +
                                    fixedText(z, 5) + " g, pozioma " + fixedText(d, 5) + " m");
            }
        }
    }
    if (!r.horizontalGrad && !out.distance && out.refusals.empty()) {
        out.refusals.push_back("pomiar bez kierunku i długości (nic do sieci dwuwymiarowej)");
    }
}

// Face I and face II readings of one target pair in their order: the k-th face I reading
// with the k-th face II reading, so that each round of a set gives one mean.
void SurveyReduction::pairFaces(const FieldSetup& setup, std::vector<Reading>& readings,
                                ReducedSetup& reduced) const {
    std::map<std::string, std::pair<std::vector<size_t>, std::vector<size_t>>> byTarget;
    for (size_t i = 0; i < readings.size(); ++i) {
        if (readings[i].direction) {
            auto& faces = byTarget[setup.readings[i].target];
            (readings[i].faceTwo ? faces.second : faces.first).push_back(i);
        }
    }
    std::vector<std::pair<size_t, Real>> kept; // reading index, direction
    for (const auto& [target, faces] : byTarget) {
        const auto& [one, two] = faces;
        const size_t pairs = std::min(one.size(), two.size());
        for (size_t k = 0; k < pairs; ++k) {
            Reading& a = readings[one[k]];
            Reading& b = readings[two[k]];
            const Real differenceCc = signedGrad(*a.direction - *b.direction) * ccPerGrad;
            const std::string other = setup.readings[two[k]].source.where;
            if (std::fabs(differenceCc) > m_profile.faceToleranceCc) {
                const std::string reason = "kierunek: koła I i II różnią się o " +
                                           fixedText(differenceCc, 1) + " cc (dopuszczalne " +
                                           fixedText(m_profile.faceToleranceCc, 1) + " cc)";
                a.refusals.push_back(reason + ", para z: " + other);
                b.refusals.push_back(reason + ", para z: " + setup.readings[one[k]].source.where);
                continue;
            }
            const Real mean = wrapGrad(*a.direction - differenceCc / ccPerGrad / 2);
            kept.emplace_back(std::min(one[k], two[k]), mean);
            a.parts.insert(a.parts.begin(), "kierunek " + fixedText(mean, 5) +
                                                " g, średnia kół I i II (różnica " +
                                                fixedText(differenceCc, 1) + " cc)");
            b.parts.insert(b.parts.begin(), "kierunek: koło II, para z: " +
                                                setup.readings[one[k]].source.where);
        }
        for (const std::vector<size_t>* single : {&one, &two}) {
            for (size_t k = pairs; k < single->size(); ++k) {
                Reading& r = readings[(*single)[k]];
                kept.emplace_back((*single)[k], *r.direction);
                r.parts.insert(r.parts.begin(), "kierunek " + fixedText(*r.direction, 5) +
                                                    (r.faceTwo ? " g, jedno koło (II)"
                                                               : " g, jedno koło (I)"));
            }
        }
    }
    std::sort(kept.begin(), kept.end());
    for (const auto& [index, direction] : kept) {
        reduced.directions.emplace_back(setup.readings[index].target, direction);
    }
}

void SurveyReduction::averageDistances(const FieldSetup& setup, std::vector<Reading>& readings,
                                       ReducedSetup& reduced) const {
    std::map<std::string, std::vector<size_t>> byTarget;
    std::vector<std::string> order;
    for (size_t i = 0; i < readings.size(); ++i) {
        if (readings[i].distance) {
            auto& list = byTarget[setup.readings[i].target];
            if (list.empty()) {
                order.push_back(setup.readings[i].target);
            }
            list.push_back(i);
        }
    }
    for (const std::string& target : order) {
        const std::vector<size_t>& list = byTarget[target];
        Real sum = 0;
        for (const size_t i : list) {
            sum += *readings[i].distance;
        }
        const Real mean = sum / static_cast<Real>(list.size());
        if (list.size() > 1) {
            for (const size_t i : list) {
                readings[i].parts.push_back("średnia z " + std::to_string(list.size()) +
                                            " długości " + fixedText(mean, 5) + " m");
            }
        }
        reduced.distances.emplace_back(target, mean);
    }
}

ReducedSetup SurveyReduction::reduce(const FieldSetup& setup) {
    ReducedSetup reduced;
    reduced.station = setup.station;
    std::vector<Reading> readings(setup.readings.size());
    for (size_t i = 0; i < readings.size(); ++i) {
        readOne(setup, setup.readings[i], readings[i]);
    }
    pairFaces(setup, readings, reduced);
    averageDistances(setup, readings, reduced);
    m_notes.took(setup.source, "stanowisko " + setup.station + ": zestaw " +
                                   std::to_string(reduced.directions.size()) + " kierunków, " +
                                   std::to_string(reduced.distances.size()) + " długości");
    for (size_t i = 0; i < readings.size(); ++i) {
        const FieldReading& r = setup.readings[i];
        const std::string line = setup.station + " - " + r.target + ": ";
        if (!readings[i].parts.empty()) {
            m_notes.took(r.source, line + joined(readings[i].parts));
        }
        for (const std::string& reason : readings[i].refusals) {
            m_notes.refused(r.source, line + reason);
        }
    }
    return reduced;
}

// The set-ups as rigid figures, each in the frame of its circle: the station at the origin
// and every target with a direction and a distance measured from either end at its polar
// position. Figures that share two points are fitted together (rigidFit): first onto the
// points with coordinates, then, where that stops, into local frames of their own that are
// fitted onto those points as soon as they hold two of them (a traverse between two known
// points that sees neither from the other).
class FigureFrames {
public:
    FigureFrames(std::vector<PointState>& points,
                 const std::unordered_map<std::string, size_t>& indexOf,
                 const std::vector<ReducedSetup>& setups,
                 const std::map<std::pair<std::string, std::string>, Real>& distances);
    void run();

private:
    using Frame = std::unordered_map<size_t, Xy>;
    struct Figure {
        const std::string* station;
        std::vector<std::pair<size_t, Xy>> points;
    };
    void addGlobal(size_t point, Xy xy, std::string method);
    void growGlobal();
    Frame growLocal(size_t seed);
    bool mergeIntoGlobal(const Frame& frame);
    // Fits the figure onto the frame when it shares two points with it; the fit is consumed.
    std::optional<RigidMotion> fitFigure(size_t figure, const Frame* frame);

    std::vector<PointState>& m_points;
    std::vector<Figure> m_figures;
    std::vector<std::vector<size_t>> m_containing; ///< point → the figures holding it
    std::vector<bool> m_consumed;
    std::vector<int32_t> m_globalCount; ///< figure → its points with coordinates
    /// Figures with two points with coordinates, fitted in the order they come to have them:
    /// the figure grows outward from the known points, not along one long chain.
    std::deque<size_t> m_queue;
};

FigureFrames::FigureFrames(std::vector<PointState>& points,
                           const std::unordered_map<std::string, size_t>& indexOf,
                           const std::vector<ReducedSetup>& setups,
                           const std::map<std::pair<std::string, std::string>, Real>& distances)
    : m_points(points)
    , m_containing(points.size()) {
    for (const ReducedSetup& s : setups) {
        Figure f{&s.station, {{indexOf.at(s.station), Xy{}}}};
        for (const auto& [target, reading] : s.directions) {
            const auto d = distances.find(lineKey(s.station, target));
            const size_t t = indexOf.at(target);
            const bool placed = std::any_of(f.points.begin(), f.points.end(),
                                            [&](const auto& p) { return p.first == t; });
            if (d != distances.end() && !placed) {
                f.points.emplace_back(t, polarPoint({}, reading, d->second));
            }
        }
        if (f.points.size() >= 2) {
            for (const auto& p : f.points) {
                m_containing[p.first].push_back(m_figures.size());
            }
            m_figures.push_back(std::move(f));
        }
    }
    m_consumed.assign(m_figures.size(), false);
    m_globalCount.assign(m_figures.size(), 0);
}

void FigureFrames::addGlobal(size_t point, Xy xy, std::string method) {
    m_points[point].xy = xy;
    m_points[point].method = std::move(method);
    for (const size_t f : m_containing[point]) {
        if (!m_consumed[f] && ++m_globalCount[f] >= 2) {
            m_queue.push_back(f);
        }
    }
}

std::optional<RigidMotion> FigureFrames::fitFigure(size_t figure, const Frame* frame) {
    if (m_consumed[figure]) {
        return std::nullopt;
    }
    std::vector<std::pair<Xy, Xy>> common;
    for (const auto& [p, local] : m_figures[figure].points) {
        if (frame == nullptr && m_points[p].xy) {
            common.emplace_back(local, *m_points[p].xy);
        } else if (frame != nullptr && frame->contains(p)) {
            common.emplace_back(local, frame->at(p));
        }
    }
    const std::optional<RigidMotion> m = common.size() >= 2 ? rigidFit(common) : std::nullopt;
    if (m) {
        m_consumed[figure] = true;
    }
    return m;
}

void FigureFrames::growGlobal() {
    while (!m_queue.empty()) {
        const size_t f = m_queue.front();
        m_queue.pop_front();
        if (const std::optional<RigidMotion> m = fitFigure(f, nullptr)) {
            for (const auto& [p, local] : m_figures[f].points) {
                if (!m_points[p].xy) {
                    addGlobal(p, (*m)(local), "biegunowo ze stanowiska " + *m_figures[f].station);
                }
            }
        }
    }
}

FigureFrames::Frame FigureFrames::growLocal(size_t seed) {
    Frame frame;
    std::unordered_map<size_t, int32_t> count;
    std::deque<size_t> queue;
    int32_t withCoordinates = 0;
    const auto add = [&](size_t p, Xy xy) {
        frame.emplace(p, xy);
        withCoordinates += m_points[p].xy ? 1 : 0;
        for (const size_t f : m_containing[p]) {
            if (!m_consumed[f] && ++count[f] >= 2) {
                queue.push_back(f);
            }
        }
    };
    m_consumed[seed] = true;
    for (const auto& [p, local] : m_figures[seed].points) {
        add(p, local);
    }
    // The frame stops growing once it can be fitted: the rest grows from the points with
    // coordinates, so that the errors of the local figures do not pile up.
    while (!queue.empty() && withCoordinates < 2) {
        const size_t f = queue.front();
        queue.pop_front();
        if (const std::optional<RigidMotion> m = fitFigure(f, &frame)) {
            for (const auto& [p, local] : m_figures[f].points) {
                if (!frame.contains(p)) {
                    add(p, (*m)(local));
                }
            }
        }
    }
    return frame;
}

bool FigureFrames::mergeIntoGlobal(const Frame& frame) {
    std::vector<std::pair<Xy, Xy>> common;
    for (const auto& [p, local] : frame) {
        if (m_points[p].xy) {
            common.emplace_back(local, *m_points[p].xy);
        }
    }
    const std::optional<RigidMotion> m = common.size() >= 2 ? rigidFit(common) : std::nullopt;
    if (!m) {
        return false;
    }
    const std::string method = "z ciągu stanowisk (" + std::to_string(frame.size()) +
                               " punktów) dopasowanego do " + std::to_string(common.size()) +
                               " punktów";
    for (const auto& [p, local] : frame) {
        if (!m_points[p].xy) {
            addGlobal(p, (*m)(local), method);
        }
    }
    return true;
}

void FigureFrames::run() {
    for (size_t p = 0; p < m_points.size(); ++p) {
        if (m_points[p].xy) {
            for (const size_t f : m_containing[p]) {
                if (++m_globalCount[f] >= 2) {
                    m_queue.push_back(f);
                }
            }
        }
    }
    growGlobal();
    std::vector<Frame> waiting; // local frames that do not hold two points with coordinates yet
    for (size_t f = 0; f < m_figures.size(); ++f) {
        if (m_consumed[f]) {
            continue;
        }
        Frame local = growLocal(f);
        if (!mergeIntoGlobal(local)) {
            waiting.push_back(std::move(local));
            continue;
        }
        growGlobal();
        for (bool merged = true; merged;) {
            merged = false;
            for (size_t w = 0; w < waiting.size(); ++w) {
                if (mergeIntoGlobal(waiting[w])) {
                    waiting.erase(waiting.begin() + static_cast<std::ptrdiff_t>(w));
                    growGlobal();
                    merged = true;
                    break;
                }
            }
        }
    }
}

// Approximate coordinates of the points that have none, from those that have: the set-ups'
// figures fitted together, then passes over the set-ups for targets seen without a distance,
// intersections tried only when polar points and free stations are exhausted (they are the
// weaker figure).
void approximateCoordinates(std::vector<PointState>& points,
                            std::unordered_map<std::string, size_t>& indexOf,
                            const std::vector<ReducedSetup>& setups) {
    std::map<std::pair<std::string, std::string>, Real> distances;
    for (const ReducedSetup& s : setups) {
        for (const auto& [target, d] : s.distances) {
            distances.emplace(lineKey(s.station, target), d);
        }
    }
    FigureFrames(points, indexOf, setups, distances).run();
    const auto coordinatesOf = [&](const std::string& number) -> std::optional<Xy> {
        const auto it = indexOf.find(number);
        return it == indexOf.end() ? std::nullopt : points[it->second].xy;
    };
    const auto fix = [&](const std::string& number, Xy xy, std::string method) {
        PointState& p = points[indexOf.at(number)];
        p.xy = xy;
        p.method = std::move(method);
    };
    for (bool progress = true; progress;) {
        progress = false;
        struct Ray {
            Xy origin;
            Real azimuth = 0;
            std::string station;
        };
        std::map<std::string, std::vector<Ray>> rays;
        for (const ReducedSetup& s : setups) {
            const std::optional<Xy> station = coordinatesOf(s.station);
            if (!station) {
                std::vector<std::pair<Xy, Xy>> vectors;
                for (const auto& [target, reading] : s.directions) {
                    const std::optional<Xy> g = coordinatesOf(target);
                    const auto d = distances.find(lineKey(s.station, target));
                    if (g && d != distances.end()) {
                        vectors.push_back({polarPoint({}, reading, d->second), *g});
                    }
                }
                const std::optional<RigidMotion> free =
                    vectors.size() >= 2 ? rigidFit(vectors) : std::nullopt;
                if (free) {
                    fix(s.station, (*free)(Xy{}),
                        "stanowisko swobodne na " + std::to_string(vectors.size()) + " punkty");
                    progress = true;
                }
                continue;
            }
            Real sinSum = 0, cosSum = 0;
            for (const auto& [target, reading] : s.directions) {
                if (const std::optional<Xy> t = coordinatesOf(target)) {
                    const Real o = (azimuthGrad(*station, *t) - reading) * radiansPerGrad;
                    sinSum += std::sin(o);
                    cosSum += std::cos(o);
                }
            }
            if (sinSum == 0 && cosSum == 0) {
                continue;
            }
            const Real orientation = std::atan2(sinSum, cosSum) / radiansPerGrad;
            for (const auto& [target, reading] : s.directions) {
                if (coordinatesOf(target)) {
                    continue;
                }
                const Real azimuth = wrapGrad(reading + orientation);
                const auto d = distances.find(lineKey(s.station, target));
                if (d != distances.end()) {
                    fix(target, polarPoint(*station, azimuth, d->second),
                        "biegunowo ze stanowiska " + s.station);
                    progress = true;
                } else {
                    rays[target].push_back({*station, azimuth, s.station});
                }
            }
        }
        if (progress) {
            continue;
        }
        for (const auto& [target, list] : rays) {
            for (size_t i = 0; i < list.size() && !coordinatesOf(target); ++i) {
                for (size_t j = i + 1; j < list.size(); ++j) {
                    const std::optional<Xy> p = intersection(list[i].origin, list[i].azimuth,
                                                             list[j].origin, list[j].azimuth);
                    if (p) {
                        fix(target, *p,
                            "wcięcie w przód ze stanowisk " + list[i].station + " i " +
                                list[j].station);
                        progress = true;
                        break;
                    }
                }
            }
        }
    }
}

} // namespace

Real horizontalFromSlope(Real slopeM, Real zenithGrad) {
    const Real y = slopeM * std::sin(zenithGrad * radiansPerGrad);
    const Real x = slopeM * std::cos(zenithGrad * radiansPerGrad);
    return y - (1 - refractionCoefficient / 2) * x * y / earthRadiusM;
}

ImportedNetwork fieldNetwork(const FieldSurvey& survey, const InstrumentProfile& profile,
                             ImportLog& log) {
    OrderedNotes notes;
    for (const FieldNote& n : survey.notes) {
        notes.add(n.order, n.record);
    }

    // Every point in the order the source first names it.
    std::vector<std::pair<int64_t, std::string>> named;
    for (const FieldPoint& p : survey.points) {
        named.emplace_back(p.source.order, p.number);
    }
    for (const FieldSetup& s : survey.setups) {
        named.emplace_back(s.source.order, s.station);
        for (const FieldReading& r : s.readings) {
            if (!r.target.empty()) {
                named.emplace_back(r.source.order, r.target);
            }
        }
    }
    std::stable_sort(named.begin(), named.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<PointState> points;
    std::unordered_map<std::string, size_t> indexOf;
    for (const auto& [order, number] : named) {
        if (indexOf.emplace(number, points.size()).second) {
            points.push_back({number, std::nullopt, std::nullopt, false, {}});
        }
    }

    // Known points first, so that approximate coordinates never stand in for them.
    for (const bool known : {true, false}) {
        for (const FieldPoint& p : survey.points) {
            if (p.known != known) {
                continue;
            }
            PointState& state = points[indexOf.at(p.number)];
            const std::string coordinates =
                fixedText(p.x, 4) + " " + fixedText(p.y, 4) +
                (p.h ? " H " + fixedText(*p.h, 4) : std::string());
            if (!std::isfinite(p.x) || !std::isfinite(p.y) || (p.h && !std::isfinite(*p.h))) {
                notes.refused(p.source, "punkt " + p.number + ": współrzędne poza zakresem");
            } else if (state.xy && state.known == known) {
                const Real dx = std::fabs(state.xy->x - p.x), dy = std::fabs(state.xy->y - p.y);
                if (dx > coordinateAgreementM || dy > coordinateAgreementM) {
                    notes.refused(p.source, "punkt " + p.number +
                                                " podany drugi raz z innymi współrzędnymi (" +
                                                coordinates + ")");
                } else {
                    notes.took(p.source, "punkt " + p.number + " powtórzony, zgodnie");
                }
            } else if (state.xy) {
                notes.took(p.source, "punkt " + p.number + ": współrzędne " + coordinates +
                                         " pominięte, punkt ma współrzędne nawiązania");
            } else if (!known && p.x == 0 && p.y == 0) {
                notes.took(p.source,
                           "punkt " + p.number + ": współrzędne zerowe pominięte (nieustawione)");
            } else {
                state.xy = Xy{p.x, p.y};
                state.h = p.h;
                state.known = known;
                notes.took(p.source, "punkt " + p.number +
                                         (known ? " nawiązania (XY.sta): "
                                                : ", współrzędne przybliżone (XY.prz): ") +
                                         coordinates);
            }
        }
    }

    SurveyReduction reduction(profile, notes);
    std::vector<ReducedSetup> setups;
    for (const FieldSetup& s : survey.setups) {
        setups.push_back(reduction.reduce(s));
    }
    approximateCoordinates(points, indexOf, setups);

    ImportedNetwork network;
    for (const bool known : {true, false}) {
        for (const PointState& p : points) {
            if (p.known != known) {
                continue;
            }
            const FieldSource at{afterEveryRecord, "punkt " + p.number};
            if (!p.xy) {
                notes.refused(at, "nie można obliczyć współrzędnych przybliżonych (potrzebny "
                                  "kierunek z długością z wyznaczonego stanowiska, dwa "
                                  "kierunki z różnych stanowisk albo stanowisko swobodne): "
                                  "punkt i jego obserwacje pominięte");
                continue;
            }
            if (!p.method.empty()) {
                notes.took(at, "współrzędne przybliżone " + fixedText(p.xy->x, 3) + " " +
                                   fixedText(p.xy->y, 3) + ": " + p.method);
            }
            ImportedPoint point;
            point.number = p.number;
            point.x = p.xy->x;
            point.y = p.xy->y;
            point.h = p.h;
            point.reference = p.known;
            network.points.push_back(std::move(point));
        }
    }
    for (const ReducedSetup& s : setups) {
        if (!s.directions.empty()) {
            ImportedSet set;
            set.station = s.station;
            for (const auto& [target, value] : s.directions) {
                set.directions.push_back({target, value, profile.directionCc});
            }
            network.sets.push_back(std::move(set));
        }
        for (const auto& [target, value] : s.distances) {
            network.distances.push_back(
                {s.station, target, value, profile.distanceMeanError(value)});
        }
    }
    if (std::none_of(points.begin(), points.end(), [](const PointState& p) { return p.known; })) {
        notes.took({afterEveryRecord, "plik"},
                   "UWAGA: brak punktów nawiązania: wszystkie punkty zapisano w XY.prz; przenieś "
                   "punkty nawiązania do XY.sta przed obliczeniem");
    }
    notes.moveTo(log);
    return network;
}

} // namespace ptw3
