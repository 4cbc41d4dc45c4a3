// GNU Gama local XML (root gama-local, or the older gama-xml) read into an imported network:
// the horizontal part of the network, that is points fixed or adjusted in x y, coordinates
// observed with a diagonal covariance (weighted reference points), direction sets, angles,
// horizontal distances and azimuths, turned to this program's axes (X north, Y east, angles
// clockwise) and units (grads, cc, metres). Gama gives distance deviations in mm, angular
// ones in cc for values in gons and in arc seconds for values written as degrees "d-m-s".
// Heights, levelling, slope distances, zenith angles, 3-D vectors and correlated
// observations have no counterpart here and are refused record by record.
#include "common/encoding.h"
#include "common/number_parse.h"
#include "interchange/import.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <optional>
#include <pugixml.hpp>
#include <string>
#include <vector>

namespace ptw3 {
namespace {

constexpr Real metresPerMillimetre = 1e-3L;
constexpr Real ccPerArcSecond = 10000.0L / 3240.0L;
constexpr Real gradsPerDegree = 400.0L / 360.0L;
constexpr Real fullCircleGrad = 400;
constexpr size_t titleLines = 5;

// The axes of a Gama network as this program's: X north = northSign·(x or y), Y east =
// eastSign·(y or x), exchanged when the first axis lies east or west.
struct Axes {
    std::string_view name;
    bool exchanged;
    Real northSign, eastSign;
    bool xNorth; ///< the x axis points north, the zero of Gama's azimuths
};

// clang-format off
constexpr Axes axesTable[] = {
    {"ne", false, +1, +1, true},  {"sw", false, -1, -1, false},
    {"es", true,  -1, +1, false}, {"wn", true,  +1, -1, false},
    {"en", true,  +1, +1, false}, {"nw", false, +1, -1, true},
    {"se", false, -1, +1, false}, {"ws", true,  -1, -1, false},
};
// clang-format on

struct NorthEast {
    Real north = 0, east = 0;
};

NorthEast toNorthEast(const Axes& a, Real x, Real y) {
    return a.exchanged ? NorthEast{a.northSign * y, a.eastSign * x}
                       : NorthEast{a.northSign * x, a.eastSign * y};
}

std::string trimmed(std::string_view text) {
    const size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) {
        return {};
    }
    const size_t last = text.find_last_not_of(" \t\r\n");
    return std::string(text.substr(first, last - first + 1));
}

std::optional<Real> number(const char* text) {
    const std::optional<Real> v = parseReal(text);
    return v && std::isfinite(static_cast<double>(*v)) ? v : std::nullopt;
}

std::optional<int32_t> wholeNumber(std::string_view digits) {
    if (digits.empty() || digits.size() > 9 ||
        digits.find_first_not_of("0123456789") != std::string_view::npos) {
        return std::nullopt;
    }
    return parseInteger(digits);
}

// An angular value: grads as a decimal number, or degrees written "d-m-s" with an optional
// sign (seconds with decimals), the form Gama takes for sexagesimal values.
struct AngularValue {
    Real grads = 0;
    bool sexagesimal = false;
};

std::optional<AngularValue> angularValue(const char* text) {
    const std::string t = trimmed(text);
    if (const std::optional<Real> g = number(t.c_str())) {
        return AngularValue{*g, false};
    }
    std::string_view s = t;
    const bool negative = !s.empty() && s.front() == '-';
    if (!s.empty() && (s.front() == '-' || s.front() == '+')) {
        s.remove_prefix(1);
    }
    const size_t dash1 = s.find('-');
    const size_t dash2 = dash1 == std::string_view::npos ? dash1 : s.find('-', dash1 + 1);
    if (dash2 == std::string_view::npos) {
        return std::nullopt;
    }
    const std::optional<int32_t> d = wholeNumber(s.substr(0, dash1));
    const std::optional<int32_t> m = wholeNumber(s.substr(dash1 + 1, dash2 - dash1 - 1));
    const std::string secondsText(s.substr(dash2 + 1));
    const std::optional<Real> sec =
        !secondsText.empty() && std::isdigit(static_cast<unsigned char>(secondsText.front()))
            ? number(secondsText.c_str())
            : std::nullopt;
    if (!d || !m || !sec) {
        return std::nullopt;
    }
    const Real degrees = *d + *m / 60.0L + *sec / 3600.0L;
    return AngularValue{(negative ? -degrees : degrees) * gradsPerDegree, true};
}

Real normalisedGrad(Real g) {
    Real r = std::fmod(g, fullCircleGrad);
    if (r < 0) {
        r += fullCircleGrad;
    }
    return r >= fullCircleGrad ? 0 : r;
}

// The line of the source a node starts on, from 1.
class LineIndex {
  public:
    explicit LineIndex(std::string_view text) {
        for (size_t i = 0; i < text.size(); ++i) {
            if (text[i] == '\n') {
                m_ends.push_back(static_cast<ptrdiff_t>(i));
            }
        }
    }
    size_t line(ptrdiff_t offset) const {
        return static_cast<size_t>(std::lower_bound(m_ends.begin(), m_ends.end(), offset) -
                                   m_ends.begin()) +
               1;
    }

  private:
    std::vector<ptrdiff_t> m_ends;
};

// What the <point> tags of one identifier say together (Gama joins them), in Gama's axes.
struct PointState {
    std::optional<std::pair<Real, Real>> xy;
    bool fixed = false, adjusted = false, constrained = false;
    bool height = false; ///< z given, fixed or adjusted
    /// Coordinates observed in <coordinates> with their variances (m²), in Gama's axes.
    std::optional<std::pair<Real, Real>> observedXy;
    Real varianceX = 0, varianceY = 0;
    bool taken = false; ///< became a point of the network
};

// The implicit standard deviations of a <points-observations> section.
struct Defaults {
    std::optional<Real> direction, angle, azimuth; ///< cc, or arc seconds for d-m-s values
    std::optional<Real> distanceA, distanceB;      ///< mm and mm per km^c
    Real distanceExponent = 1;
};

// The numbers of a <cov-mat>: the variances on its diagonal when every covariance is zero.
struct Covariance {
    std::vector<Real> variances;
    bool readable = false;
    bool correlated = false;
};

Covariance covarianceOf(const pugi::xml_node& cov) {
    Covariance c;
    const std::optional<int32_t> dim = parseInteger(trimmed(cov.attribute("dim").value()));
    const std::optional<int32_t> band = parseInteger(trimmed(cov.attribute("band").value()));
    if (!dim || !band || *dim < 1 || *band < 0 || *band >= *dim || *dim > 1000000) {
        return c;
    }
    std::vector<Real> values;
    const std::string text = cov.text().get();
    size_t at = 0;
    while (at < text.size()) {
        const size_t start = text.find_first_not_of(" \t\r\n", at);
        if (start == std::string::npos) {
            break;
        }
        const size_t end = std::min(text.find_first_of(" \t\r\n", start), text.size());
        const std::optional<Real> v = number(text.substr(start, end - start).c_str());
        if (!v) {
            return c;
        }
        values.push_back(*v);
        at = end;
    }
    // Row i of the upper band holds min(band + 1, dim − i) elements, the variance first.
    size_t next = 0;
    for (int32_t i = 0; i < *dim; ++i) {
        const int32_t inRow = std::min(*band + 1, *dim - i);
        if (next + static_cast<size_t>(inRow) > values.size()) {
            return c;
        }
        c.variances.push_back(values[next]);
        for (int32_t j = 1; j < inRow; ++j) {
            c.correlated = c.correlated || values[next + static_cast<size_t>(j)] != 0;
        }
        next += static_cast<size_t>(inRow);
    }
    c.readable = next == values.size();
    return c;
}

// One observation of an <obs> cluster before its covariance matrix is known.
struct PendingObservation {
    pugi::xml_node node;
    std::string where;
    std::optional<Real> stdev; ///< in the file's units (mm, cc or arc seconds)
    bool sexagesimal = false;
};

class GamaReader {
  public:
    GamaReader(std::string_view text, ImportLog& log)
        : m_lines(text)
        , m_log(log) {}

    ImportedNetwork read(const pugi::xml_node& root) {
        for (const pugi::xml_node& network : root.children()) {
            if (network.type() != pugi::node_element) {
                continue;
            }
            if (std::string_view(network.name()) != "network") {
                refuseElement(network);
                continue;
            }
            readNetwork(network);
        }
        return std::move(m_network);
    }

  private:
    std::string where(const pugi::xml_node& node) const {
        return "wiersz " + std::to_string(m_lines.line(node.offset_debug())) + " <" + node.name() +
               ">";
    }

    void refuseElement(const pugi::xml_node& node) {
        m_log.refused(where(node), "element nieznany w sieci lokalnej GNU Gama");
    }

    void readNetwork(const pugi::xml_node& network) {
        const std::string axesName = trimmed(network.attribute("axes-xy").as_string("ne"));
        const auto axes = std::find_if(std::begin(axesTable), std::end(axesTable),
                                       [&](const Axes& a) { return a.name == axesName; });
        const std::string handed = trimmed(network.attribute("angles").as_string("left-handed"));
        if (axes == std::end(axesTable) || (handed != "left-handed" && handed != "right-handed")) {
            m_log.refused(where(network), "nieznana orientacja osi (axes-xy) lub kątów (angles)");
            return;
        }
        m_axes = &*axes;
        m_clockwise = handed == "left-handed";
        m_log.took(where(network), "osie " + axesName + ", kąty " +
                                       (m_clockwise ? "zgodnie z ruchem" : "przeciwnie do ruchu") +
                                       " wskazówek zegara");
        // Gama joins the <point> tags of one identifier wherever they stand, so every point's
        // status is known before the records are listed.
        for (const pugi::xml_node& section : network.children("points-observations")) {
            collectPoints(section);
        }
        for (const pugi::xml_node& child : network.children()) {
            if (child.type() != pugi::node_element) {
                continue;
            }
            const std::string_view name = child.name();
            if (name == "description") {
                readDescription(child);
            } else if (name == "parameters") {
                m_log.took(where(child), "parametry: sigma-apr nie zmienia stosunku wag, "
                                         "wagi z odchyleń standardowych obserwacji");
            } else if (name == "points-observations") {
                readSection(child);
            } else {
                refuseElement(child);
            }
        }
        addPoints();
    }

    void readDescription(const pugi::xml_node& node) {
        std::vector<std::string> lines;
        const std::string text = node.text().get();
        size_t start = 0;
        while (start <= text.size()) {
            const size_t end = std::min(text.find('\n', start), text.size());
            std::string line = text.substr(start, end - start);
            while (!line.empty() &&
                   (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) {
                line.pop_back();
            }
            lines.push_back(line);
            start = end + 1;
        }
        // The text usually starts on the line after the tag.
        if (!lines.empty() && trimmed(lines.front()).empty()) {
            lines.erase(lines.begin());
        }
        if (lines.size() > titleLines) {
            lines.resize(titleLines);
        }
        while (!lines.empty() && trimmed(lines.back()).empty()) {
            lines.pop_back();
        }
        if (m_network.title.empty() && !lines.empty()) {
            m_network.title = lines;
            m_log.took(where(node),
                       "opis sieci: " + std::to_string(lines.size()) + " wiersz(e) do pliku tytul");
        } else {
            m_log.took(where(node), "opis sieci pominięty (tytuł już ustalony lub pusty)");
        }
    }

    void collectPoints(const pugi::xml_node& section) {
        for (const pugi::xml_node& p : section.children("point")) {
            mergePoint(p);
        }
        for (const pugi::xml_node& block : section.children("coordinates")) {
            for (const pugi::xml_node& p : block.children("point")) {
                mergePoint(p);
            }
            for (const ObservedCoordinates& o : observedCoordinates(block)) {
                if (o.hasXy && o.refusal.empty()) {
                    PointState& s = m_points.at(o.id);
                    s.observedXy = std::pair{o.x, o.y};
                    s.varianceX = o.varianceX;
                    s.varianceY = o.varianceY;
                }
            }
        }
    }

    void mergePoint(const pugi::xml_node& p) {
        const std::string id = p.attribute("id").value();
        if (id.empty()) {
            return;
        }
        auto [it, inserted] = m_points.try_emplace(id);
        if (inserted) {
            m_order.push_back(id);
        }
        PointState& s = it->second;
        const std::optional<Real> x = number(p.attribute("x").value());
        const std::optional<Real> y = number(p.attribute("y").value());
        const bool observed = std::string_view(p.parent().name()) == "coordinates";
        if (x && y && !observed) {
            s.xy = std::pair{*x, *y};
        }
        const std::string fix = p.attribute("fix").value();
        const std::string adj = p.attribute("adj").value();
        s.fixed = s.fixed || fix.find_first_of("xX") != std::string::npos;
        s.adjusted = s.adjusted || adj.find('x') != std::string::npos;
        s.constrained = s.constrained || adj.find('X') != std::string::npos;
        s.height = s.height || !p.attribute("z").empty() ||
                   fix.find_first_of("zZ") != std::string::npos ||
                   adj.find_first_of("zZ") != std::string::npos;
    }

    void readSection(const pugi::xml_node& section) {
        m_defaults = readDefaults(section);
        for (const pugi::xml_node& child : section.children()) {
            if (child.type() != pugi::node_element) {
                continue;
            }
            const std::string_view name = child.name();
            if (name == "point") {
                listPoint(child);
            } else if (name == "obs") {
                readCluster(child);
            } else if (name == "coordinates") {
                readCoordinates(child);
            } else if (name == "height-differences" || name == "vectors") {
                for (const pugi::xml_node& record : child.children()) {
                    if (record.type() == pugi::node_element &&
                        std::string_view(record.name()) != "cov-mat") {
                        m_log.refused(where(record), name == "vectors"
                                                         ? "wektor 3-D: brak odpowiednika w "
                                                           "sieci poziomej"
                                                         : "różnica wysokości: brak "
                                                           "odpowiednika w sieci poziomej");
                    }
                }
            } else {
                refuseElement(child);
            }
        }
    }

    Defaults readDefaults(const pugi::xml_node& section) {
        Defaults d;
        const auto angular = [&](const char* name) -> std::optional<Real> {
            const pugi::xml_attribute a = section.attribute(name);
            return a.empty() ? std::nullopt : number(a.value());
        };
        d.direction = angular("direction-stdev");
        d.angle = angular("angle-stdev");
        d.azimuth = angular("azimuth-stdev");
        const std::string abc = section.attribute("distance-stdev").value();
        std::vector<Real> terms;
        size_t at = 0;
        while (at < abc.size()) {
            const size_t start = abc.find_first_not_of(" \t\r\n", at);
            if (start == std::string::npos) {
                break;
            }
            const size_t end = std::min(abc.find_first_of(" \t\r\n", start), abc.size());
            const std::optional<Real> v = number(abc.substr(start, end - start).c_str());
            if (!v || terms.size() == 3) {
                m_log.refused(where(section), "distance-stdev nieczytelne: " + abc);
                return d;
            }
            terms.push_back(*v);
            at = end;
        }
        if (!terms.empty()) {
            d.distanceA = terms[0];
            d.distanceB = terms.size() > 1 ? terms[1] : 0;
            d.distanceExponent = terms.size() > 2 ? terms[2] : 1;
        }
        return d;
    }

    void listPoint(const pugi::xml_node& p) {
        const std::string id = p.attribute("id").value();
        if (id.empty()) {
            m_log.refused(where(p), "punkt bez identyfikatora");
            return;
        }
        const PointState& s = m_points.at(id);
        if (s.taken) {
            m_log.took(where(p), "punkt " + id + " uzupełnia wcześniejszy opis");
            return;
        }
        m_points.at(id).taken = true;
        if (s.fixed) {
            if (!s.xy) {
                m_log.refused(where(p), "punkt stały " + id + " bez współrzędnych x y");
                return;
            }
            m_log.took(where(p), "punkt " + id + " stały bezbłędny (XY.sta)");
        } else if (s.adjusted || s.constrained) {
            if (s.observedXy) {
                m_log.took(where(p), "punkt " + id + " nawiązania z błędami średnimi (XY.sta)");
            } else if (!s.xy) {
                m_log.refused(where(p),
                              "punkt wyznaczany " + id + " bez współrzędnych przybliżonych x y");
                return;
            } else {
                m_log.took(
                    where(p),
                    "punkt " + id + " wyznaczany (XY.prz)" +
                        (s.constrained && !s.adjusted ? "; XY (swobodne dowiązanie) jak xy" : ""));
            }
        } else {
            m_log.refused(where(p),
                          "punkt " + id + " bez fix/adj dla x y: nie należy do sieci poziomej");
            return;
        }
        m_accepted.push_back(id);
        if (s.height) {
            m_log.refused(where(p), "wysokość punktu " + id + " pominięta (sieć pozioma)");
        }
    }

    void addPoints() {
        for (const std::string& id : m_accepted) {
            const PointState& s = m_points.at(id);
            ImportedPoint p;
            p.number = id;
            const bool weighted = !s.fixed && s.observedXy.has_value();
            const std::pair<Real, Real> xy = weighted ? *s.observedXy : *s.xy;
            const NorthEast ne = toNorthEast(*m_axes, xy.first, xy.second);
            p.x = ne.north;
            p.y = ne.east;
            p.reference = s.fixed || weighted;
            if (weighted) {
                const Real mx = std::sqrt(s.varianceX) * metresPerMillimetre;
                const Real my = std::sqrt(s.varianceY) * metresPerMillimetre;
                p.mx = m_axes->exchanged ? my : mx;
                p.my = m_axes->exchanged ? mx : my;
            }
            m_network.points.push_back(std::move(p));
        }
        m_accepted.clear();
    }

    // The records of a <coordinates> block: each point's observed x y with their variances
    // (mm²), or why they cannot weight the point. The matrix runs over x, y and z of every
    // point in turn, those given.
    struct ObservedCoordinates {
        pugi::xml_node node;
        std::string id;
        bool hasXy = false, hasZ = false;
        Real x = 0, y = 0, varianceX = 0, varianceY = 0;
        std::string refusal;
    };

    std::vector<ObservedCoordinates> observedCoordinates(const pugi::xml_node& block) {
        std::vector<ObservedCoordinates> points;
        std::optional<Covariance> cov;
        for (const pugi::xml_node& child : block.children()) {
            if (child.type() != pugi::node_element) {
                continue;
            }
            if (std::string_view(child.name()) == "point") {
                ObservedCoordinates o;
                o.node = child;
                o.id = child.attribute("id").value();
                o.hasXy = !child.attribute("x").empty() || !child.attribute("y").empty();
                o.hasZ = !child.attribute("z").empty();
                points.push_back(o);
            } else if (std::string_view(child.name()) == "cov-mat") {
                cov = covarianceOf(child);
            }
        }
        size_t dimension = 0;
        for (const ObservedCoordinates& o : points) {
            dimension += (o.hasXy ? 2 : 0) + (o.hasZ ? 1 : 0);
        }
        std::string reason;
        if (!cov || !cov->readable || cov->variances.size() != dimension) {
            reason = "macierz kowariancji współrzędnych brak lub nieczytelna";
        } else if (cov->correlated) {
            reason = "współrzędne skorelowane (macierz kowariancji nie jest diagonalna)";
        }
        size_t k = 0;
        for (ObservedCoordinates& o : points) {
            const size_t first = k;
            k += (o.hasXy ? 2 : 0) + (o.hasZ ? 1 : 0);
            if (!o.hasXy) {
                continue;
            }
            const std::optional<Real> x = number(o.node.attribute("x").value());
            const std::optional<Real> y = number(o.node.attribute("y").value());
            if (!reason.empty()) {
                o.refusal = reason;
            } else if (o.id.empty() || !x || !y) {
                o.refusal = "współrzędne nieczytelne";
            } else if (!(cov->variances[first] > 0 && cov->variances[first + 1] > 0)) {
                o.refusal = "wariancja współrzędnych nie jest dodatnia";
            } else {
                o.x = *x;
                o.y = *y;
                o.varianceX = cov->variances[first];
                o.varianceY = cov->variances[first + 1];
            }
        }
        return points;
    }

    void readCoordinates(const pugi::xml_node& block) {
        for (const pugi::xml_node& child : block.children()) {
            if (child.type() == pugi::node_element && std::string_view(child.name()) != "point" &&
                std::string_view(child.name()) != "cov-mat") {
                refuseElement(child);
            }
        }
        for (const ObservedCoordinates& o : observedCoordinates(block)) {
            const std::string at = where(o.node);
            if (o.hasZ) {
                m_log.refused(at, "obserwowana wysokość punktu " + o.id + " pominięta");
            }
            if (!o.hasXy) {
                continue;
            }
            const auto found = m_points.find(o.id);
            if (!o.refusal.empty() || found == m_points.end()) {
                m_log.refused(at, o.refusal.empty() ? "współrzędne nieczytelne" : o.refusal);
            } else if (!found->second.taken) {
                listPoint(o.node);
            } else if (found->second.fixed) {
                m_log.took(at, "punkt " + o.id + " stały: obserwowane współrzędne zbędne");
            } else {
                m_log.took(at, "współrzędne punktu " + o.id + " z błędami średnimi (XY.sta)");
            }
        }
    }

    void readCluster(const pugi::xml_node& obs) {
        const std::string station = obs.attribute("from").value();
        std::vector<PendingObservation> pending;
        std::optional<Covariance> cov;
        for (const pugi::xml_node& child : obs.children()) {
            if (child.type() != pugi::node_element) {
                continue;
            }
            const std::string_view name = child.name();
            if (name == "cov-mat") {
                cov = covarianceOf(child);
                continue;
            }
            PendingObservation o{child, where(child), std::nullopt, false};
            const pugi::xml_attribute stdev = child.attribute("stdev");
            if (!stdev.empty()) {
                o.stdev = number(stdev.value());
            }
            pending.push_back(o);
        }
        std::string clusterRefusal;
        if (cov && (!cov->readable || cov->variances.size() != pending.size())) {
            clusterRefusal = "macierz kowariancji nieczytelna lub innego wymiaru niż zbiór";
        } else if (cov && cov->correlated) {
            clusterRefusal = "obserwacje skorelowane (macierz kowariancji nie jest diagonalna)";
        }
        ImportedSet set{station, {}};
        for (size_t k = 0; k < pending.size(); ++k) {
            PendingObservation& o = pending[k];
            if (!clusterRefusal.empty()) {
                m_log.refused(o.where, clusterRefusal);
                continue;
            }
            if (cov) {
                o.stdev = std::sqrt(std::max<Real>(cov->variances[k], 0));
            }
            readObservation(o, station, set);
        }
        if (!set.directions.empty()) {
            m_network.sets.push_back(std::move(set));
        }
    }

    // The deviation in cc of an angular observation: its own, the section's implicit one, or
    // none; arc seconds for a value written in degrees.
    std::optional<Real> angularStdevCc(const PendingObservation& o,
                                       const std::optional<Real>& implicit, bool sexagesimal) {
        const std::optional<Real> s = o.stdev ? o.stdev : implicit;
        if (!s || !(*s > 0)) {
            return std::nullopt;
        }
        return sexagesimal ? *s * ccPerArcSecond : *s;
    }

    void readObservation(const PendingObservation& o, const std::string& clusterStation,
                         ImportedSet& set) {
        const pugi::xml_node& n = o.node;
        const std::string_view name = n.name();
        const std::string from =
            n.attribute("from").empty() ? clusterStation : std::string(n.attribute("from").value());
        if (name == "s-distance" || name == "z-angle" || name == "dh") {
            m_log.refused(o.where, name == "s-distance" ? "odległość skośna: brak odpowiednika"
                                   : name == "z-angle"  ? "kąt zenitalny: brak odpowiednika"
                                                       : "różnica wysokości: brak odpowiednika");
            return;
        }
        if (name != "direction" && name != "distance" && name != "angle" && name != "azimuth") {
            refuseElement(n);
            return;
        }
        if (from.empty()) {
            m_log.refused(o.where, "brak stanowiska (from)");
            return;
        }
        if (name == "distance") {
            readDistance(o, from);
            return;
        }
        const std::optional<AngularValue> value = angularValue(n.attribute("val").value());
        if (!value) {
            m_log.refused(o.where,
                          "wartość nieczytelna: " + std::string(n.attribute("val").value()));
            return;
        }
        if (name == "angle") {
            readAngle(o, from, *value);
            return;
        }
        const std::string to = n.attribute("to").value();
        if (to.empty()) {
            m_log.refused(o.where, "brak celu (to)");
            return;
        }
        if (name == "direction") {
            const std::optional<Real> m =
                angularStdevCc(o, m_defaults.direction, value->sexagesimal);
            if (!m) {
                m_log.refused(o.where, "brak dodatniego odchylenia standardowego kierunku");
                return;
            }
            if (from != set.station) {
                m_log.refused(o.where, "kierunek spoza stanowiska zbioru <obs from>");
                return;
            }
            const Real reading = normalisedGrad(m_clockwise ? value->grads : -value->grads);
            set.directions.push_back({to, reading, *m});
            m_log.took(o.where, "kierunek " + from + " - " + to + " (KIERUNKI)");
            return;
        }
        const std::optional<Real> m = angularStdevCc(o, m_defaults.azimuth, value->sexagesimal);
        if (!m) {
            m_log.refused(o.where, "brak dodatniego odchylenia standardowego azymutu");
            return;
        }
        if (!m_axes->xNorth) {
            m_log.refused(o.where, "azymut w sieci, której oś x nie wskazuje północy");
            return;
        }
        const Real bearing = normalisedGrad(m_clockwise ? value->grads : -value->grads);
        m_network.azimuths.push_back({from, to, bearing, *m});
        m_log.took(o.where, "azymut " + from + " - " + to + " (AZYMUTY)");
    }

    void readAngle(const PendingObservation& o, const std::string& from, AngularValue value) {
        const pugi::xml_node& n = o.node;
        const auto target = [&](const char* name, const char* old) {
            return std::string(n.attribute(name).empty() ? n.attribute(old).value()
                                                         : n.attribute(name).value());
        };
        std::string bs = target("bs", "to");
        std::string fs = target("fs", "rs");
        if (bs.empty() || fs.empty()) {
            m_log.refused(o.where, "kąt bez celu wstecz (bs) lub w przód (fs)");
            return;
        }
        const std::optional<Real> m = angularStdevCc(o, m_defaults.angle, value.sexagesimal);
        if (!m) {
            m_log.refused(o.where, "brak dodatniego odchylenia standardowego kąta");
            return;
        }
        // An angle turned counterclockwise from bs to fs is the clockwise one from fs to bs.
        if (!m_clockwise) {
            std::swap(bs, fs);
        }
        m_network.angles.push_back({bs, from, fs, normalisedGrad(value.grads), *m});
        m_log.took(o.where, "kąt " + bs + " " + from + " " + fs + " (KATY.b)");
    }

    void readDistance(const PendingObservation& o, const std::string& from) {
        const pugi::xml_node& n = o.node;
        const std::string to = n.attribute("to").value();
        const std::optional<Real> d = number(n.attribute("val").value());
        if (to.empty() || !d || !(*d > 0)) {
            m_log.refused(o.where, "długość bez celu lub nieczytelna");
            return;
        }
        std::optional<Real> mm = o.stdev;
        if (!mm && m_defaults.distanceA) {
            // Gama's implicit deviation a + b·D^c, D in kilometres.
            mm = *m_defaults.distanceA +
                 *m_defaults.distanceB * std::pow(*d / 1000, m_defaults.distanceExponent);
        }
        if (!mm || !(*mm > 0) || !std::isfinite(static_cast<double>(*mm))) {
            m_log.refused(o.where, "brak dodatniego odchylenia standardowego długości");
            return;
        }
        m_network.distances.push_back({from, to, *d, *mm * metresPerMillimetre});
        m_log.took(o.where, "długość " + from + " - " + to + " (DLUGOSCI.b)");
    }

    LineIndex m_lines;
    ImportLog& m_log;
    ImportedNetwork m_network;
    const Axes* m_axes = &axesTable[0];
    bool m_clockwise = true;
    Defaults m_defaults;
    std::map<std::string, PointState> m_points;
    std::vector<std::string> m_order;
    std::vector<std::string> m_accepted; ///< listed points, in the order of their first tag
};

// The document's declared encoding, when it is Windows-1250 (pugixml reads UTF-8 and UTF-16).
bool declaresCp1250(std::string_view text) {
    const std::string_view head = text.substr(0, std::min<size_t>(text.find("?>"), 200));
    if (!head.starts_with("<?xml")) {
        return false;
    }
    std::string lower(head);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower.find("windows-1250") != std::string::npos ||
           lower.find("cp1250") != std::string::npos;
}

} // namespace

ImportedNetwork readGamaXml(std::string_view text, ImportLog& log) {
    const std::string converted = declaresCp1250(text) ? utf8FromCp1250(text) : std::string();
    const std::string_view source = converted.empty() ? text : std::string_view(converted);
    pugi::xml_document document;
    const pugi::xml_parse_result parsed =
        document.load_buffer(source.data(), source.size(), pugi::parse_default,
                             converted.empty() ? pugi::encoding_auto : pugi::encoding_utf8);
    if (!parsed) {
        log.refused("plik", std::string("błąd XML: ") + parsed.description() + " (znak " +
                                std::to_string(parsed.offset) + ")");
        return {};
    }
    const pugi::xml_node root = document.document_element();
    const std::string_view rootName = root.name();
    if (rootName != "gama-local" && rootName != "gama-xml") {
        log.refused("plik", "element główny <" + std::string(rootName) + "> zamiast <gama-local>");
        return {};
    }
    return GamaReader(source, log).read(root);
}

} // namespace ptw3
