// LandXML 1.2 survey data read into a survey: the units (Metric only), the CgPoints
// ("northing easting [elevation]", or a pntRef to another CgPoint), the InstrumentSetups (the
// station by InstrumentPoint's pntRef, else stationName) and their RawObservations (horizAngle,
// zenithAngle, slopeDistance, horizDistance, directFace, TargetPoint's pntRef). A CgPoint
// marked as control (pntSurv="control" or role="control point") is a reference point, any
// other gives approximate coordinates. Heights of instrument and target play no part in 2-D.
#include "common/encoding.h"
#include "common/number_parse.h"
#include "interchange/field_survey.h"
#include "interchange/import.h"

#include <pugixml.hpp>

#include <array>
#include <cstring>
#include <map>
#include <numbers>
#include <unordered_map>

namespace ptw3 {
namespace {

enum class AngleUnit { Grad, Degree, Radian, DegreeMinuteSecond };

struct AngularUnitName {
    const char* name;
    AngleUnit unit;
};

constexpr std::array<AngularUnitName, 4> angularUnits{{
    {"grads", AngleUnit::Grad},
    {"decimal degrees", AngleUnit::Degree},
    {"radians", AngleUnit::Radian},
    {"decimal dd.mm.ss", AngleUnit::DegreeMinuteSecond},
}};

struct LinearUnitName {
    const char* name;
    Real metres;
};

constexpr std::array<LinearUnitName, 4> linearUnits{{
    {"meter", 1},
    {"millimeter", 0.001L},
    {"centimeter", 0.01L},
    {"kilometer", 1000},
}};

constexpr Real gradsPerDegree = 400.0L / 360;
constexpr Real gradsPerRadian = 200 / std::numbers::pi_v<Real>;
constexpr int minutesPerDegree = 60;
constexpr int secondsPerMinute = 60;
constexpr size_t longestShownValue = 40;

// Elements that hold observations this network cannot take, with the reason.
struct RefusedElement {
    const char* name;
    const char* reason;
};

constexpr std::array<RefusedElement, 6> refusedElements{{
    {"GPSVector", "wektor GPS (3-D) nie jest obsługiwany"},
    {"GPSPosition", "pozycja GPS nie jest obsługiwana"},
    {"ReducedObservation", "obserwacja zredukowana nie jest obsługiwana (tylko RawObservation)"},
    {"ReducedArcObservation", "obserwacja zredukowana nie jest obsługiwana"},
    {"RedHorizontalPosition", "pozycja zredukowana nie jest obsługiwana"},
    {"RedVerticalObservation", "obserwacja wysokościowa nie jest obsługiwana"},
}};

// The name of an element less its namespace prefix.
std::string_view localName(const pugi::xml_node& node) {
    const std::string_view name = node.name();
    const size_t colon = name.find(':');
    return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

pugi::xml_node child(const pugi::xml_node& node, std::string_view name) {
    for (const pugi::xml_node& c : node.children()) {
        if (c.type() == pugi::node_element && localName(c) == name) {
            return c;
        }
    }
    return {};
}

std::string shown(std::string_view text) {
    std::string out = cp1250FromUtf8(text.substr(0, longestShownValue));
    return utf8FromCp1250(out) + (text.size() > longestShownValue ? "…" : "");
}

// The whitespace-separated numbers of an element's text.
std::optional<std::vector<Real>> numbers(std::string_view text) {
    std::vector<Real> values;
    while (true) {
        const size_t start = text.find_first_not_of(" \t\r\n");
        if (start == std::string_view::npos) {
            return values;
        }
        text.remove_prefix(start);
        const size_t end = std::min(text.find_first_of(" \t\r\n"), text.size());
        const std::optional<Real> v = parseReal(text.substr(0, end));
        if (!v) {
            return std::nullopt;
        }
        values.push_back(*v);
        text.remove_prefix(end);
    }
}

// An angle written dd.mmss…: degrees, two digits of minutes, two of seconds, then the
// seconds' decimals.
std::optional<Real> degreesMinutesSeconds(std::string_view text) {
    const size_t point = text.find('.');
    const std::string_view whole = text.substr(0, point);
    std::string fraction(point == std::string_view::npos ? "" : text.substr(point + 1));
    if (whole.empty() || whole.find_first_not_of("0123456789") != std::string_view::npos ||
        fraction.find_first_not_of("0123456789") != std::string::npos) {
        return std::nullopt;
    }
    fraction.resize(std::max<size_t>(fraction.size(), 4), '0');
    const std::optional<Real> degrees = parseReal(whole);
    const int minutes = (fraction[0] - '0') * 10 + (fraction[1] - '0');
    const std::optional<Real> seconds =
        parseReal(fraction.substr(2, 2) + "." + fraction.substr(4) + "0");
    if (!degrees || !seconds || minutes >= minutesPerDegree || *seconds >= secondsPerMinute) {
        return std::nullopt;
    }
    return (*degrees + minutes / Real(minutesPerDegree) +
            *seconds / Real(minutesPerDegree * secondsPerMinute)) *
           gradsPerDegree;
}

class LandXmlReader {
public:
    LandXmlReader(FieldSurvey& survey, AngleUnit angles, Real metres)
        : m_survey(survey)
        , m_angles(angles)
        , m_metres(metres) {}

    void points(const std::vector<pugi::xml_node>& cgPoints);
    void setup(const pugi::xml_node& node, const FieldSource& at);
    void observation(const pugi::xml_node& node, const FieldSource& at);

private:
    std::optional<Real> angle(const pugi::xml_node& node, const char* name, std::string& why);
    std::optional<Real> length(const pugi::xml_node& node, const char* name, std::string& why);
    std::optional<std::string> pointName(std::string_view name, std::string& why) const;

    FieldSurvey& m_survey;
    AngleUnit m_angles;
    Real m_metres;
    std::unordered_map<std::string, size_t> m_setups; ///< id → index in the survey
};

std::optional<std::string> LandXmlReader::pointName(std::string_view name,
                                                    std::string& why) const {
    if (name.empty()) {
        why = "brak nazwy punktu";
        return std::nullopt;
    }
    if (!exactCp1250FromUtf8(name)) {
        why = "nazwa punktu „" + shown(name) + "” ze znakiem spoza Windows-1250";
        return std::nullopt;
    }
    return std::string(name);
}

std::optional<Real> LandXmlReader::angle(const pugi::xml_node& node, const char* name,
                                         std::string& why) {
    const pugi::xml_attribute a = node.attribute(name);
    if (!a || !why.empty()) {
        return std::nullopt;
    }
    const std::string_view text = a.value();
    std::optional<Real> v;
    if (m_angles == AngleUnit::DegreeMinuteSecond) {
        v = degreesMinutesSeconds(text);
    } else if ((v = parseReal(text))) {
        *v *= m_angles == AngleUnit::Degree   ? gradsPerDegree
              : m_angles == AngleUnit::Radian ? gradsPerRadian
                                              : 1;
    }
    if (!v) {
        why = std::string(name) + " „" + shown(text) + "” nie jest kątem";
    }
    return v;
}

std::optional<Real> LandXmlReader::length(const pugi::xml_node& node, const char* name,
                                          std::string& why) {
    const pugi::xml_attribute a = node.attribute(name);
    if (!a || !why.empty()) {
        return std::nullopt;
    }
    const std::optional<Real> v = parseReal(a.value());
    if (!v) {
        why = std::string(name) + " „" + shown(a.value()) + "” nie jest liczbą";
        return std::nullopt;
    }
    return *v * m_metres;
}

void LandXmlReader::points(const std::vector<pugi::xml_node>& cgPoints) {
    std::unordered_map<std::string, pugi::xml_node> byName;
    for (const pugi::xml_node& p : cgPoints) {
        byName.emplace(p.attribute("name").value(), p);
    }
    size_t ordinal = 0;
    for (const pugi::xml_node& p : cgPoints) {
        const FieldSource at{p.offset_debug(), "<CgPoint> " + std::to_string(++ordinal)};
        std::string why;
        const std::optional<std::string> name = pointName(p.attribute("name").value(), why);
        if (!name) {
            m_survey.refused(at, why);
            continue;
        }
        // A point that stands for another gives that point's coordinates.
        pugi::xml_node source = p;
        for (int hops = 0; hops < 8 && source.attribute("pntRef") &&
                           numbers(source.child_value()).value_or(std::vector<Real>{}).empty();
             ++hops) {
            const auto it = byName.find(source.attribute("pntRef").value());
            source = it == byName.end() ? pugi::xml_node() : it->second;
        }
        const std::optional<std::vector<Real>> v = numbers(source.child_value());
        if (!source || !v || v->size() < 2 || v->size() > 3) {
            m_survey.refused(at, "punkt " + *name + ": brak współrzędnych „północ wschód "
                                                    "[wysokość]”");
            continue;
        }
        const std::string_view surveyed = p.attribute("pntSurv").value();
        const std::string_view role = p.attribute("role").value();
        FieldPoint point{at, *name, (*v)[0] * m_metres, (*v)[1] * m_metres, std::nullopt,
                         surveyed == "control" || role == "control point"};
        if (v->size() == 3) {
            point.h = (*v)[2] * m_metres;
        }
        m_survey.points.push_back(std::move(point));
    }
}

void LandXmlReader::setup(const pugi::xml_node& node, const FieldSource& at) {
    const std::string id = node.attribute("id").value();
    const pugi::xml_node instrumentPoint = child(node, "InstrumentPoint");
    std::string_view station = instrumentPoint.attribute("pntRef").value();
    if (station.empty()) {
        station = node.attribute("stationName").value();
    }
    std::string why;
    const std::optional<std::string> name = pointName(station, why);
    if (id.empty() || !name) {
        m_survey.refused(at, id.empty() ? "stanowisko bez identyfikatora (id)"
                                        : "stanowisko " + id + ": " + why);
        return;
    }
    if (!m_setups.emplace(id, m_survey.setups.size()).second) {
        m_survey.refused(at, "identyfikator stanowiska " + id + " powtórzony");
        return;
    }
    m_survey.setups.push_back({at, *name, {}});
    const std::optional<std::vector<Real>> v = numbers(instrumentPoint.child_value());
    if (v && (v->size() == 2 || v->size() == 3)) {
        m_survey.points.push_back(
            {at, *name, (*v)[0] * m_metres, (*v)[1] * m_metres, std::nullopt, false});
    }
}

void LandXmlReader::observation(const pugi::xml_node& node, const FieldSource& at) {
    std::string_view setupId = node.attribute("setupID").value();
    for (pugi::xml_node up = node.parent(); setupId.empty() && up; up = up.parent()) {
        setupId = localName(up) == "InstrumentSetup" ? up.attribute("id").value()
                                                     : up.attribute("setupID").value();
    }
    const auto it = m_setups.find(std::string(setupId));
    if (it == m_setups.end()) {
        m_survey.refused(at, setupId.empty() ? "obserwacja bez stanowiska (setupID)"
                                             : "obserwacja ze stanowiska " +
                                                   shown(setupId) + ", którego nie ma w pliku");
        return;
    }
    if (std::string_view(node.attribute("status").value()) == "deleted" ||
        node.attribute("unused").as_bool()) {
        m_survey.refused(at, "obserwacja oznaczona jako usunięta lub nieużywana");
        return;
    }
    const pugi::xml_node targetPoint = child(node, "TargetPoint");
    std::string_view target = targetPoint.attribute("pntRef").value();
    if (target.empty()) {
        target = targetPoint.attribute("name").value();
    }
    if (target.empty() && node.attribute("targetSetupID")) {
        const auto other = m_setups.find(node.attribute("targetSetupID").value());
        target = other == m_setups.end() ? "" : m_survey.setups[other->second].station;
    }
    std::string why;
    const std::optional<std::string> name = pointName(target, why);
    if (!name) {
        m_survey.refused(at, "cel obserwacji: " + why);
        return;
    }
    FieldReading r;
    r.source = at;
    r.target = *name;
    r.horizontalGrad = angle(node, "horizAngle", why);
    r.zenithGrad = angle(node, "zenithAngle", why);
    r.slopeM = length(node, "slopeDistance", why);
    r.horizontalM = length(node, "horizDistance", why);
    if (!why.empty()) {
        m_survey.refused(at, "obserwacja na " + *name + ": " + why);
        return;
    }
    if (node.attribute("directFace")) {
        r.faceTwo = !node.attribute("directFace").as_bool();
    }
    m_survey.setups[it->second].readings.push_back(std::move(r));
    const std::optional<std::vector<Real>> v = numbers(targetPoint.child_value());
    if (v && (v->size() == 2 || v->size() == 3)) {
        m_survey.points.push_back(
            {at, *name, (*v)[0] * m_metres, (*v)[1] * m_metres, std::nullopt, false});
    }
}

struct Elements {
    pugi::xml_node units;
    std::vector<pugi::xml_node> cgPoints, setups, observations;
    std::vector<std::pair<pugi::xml_node, const RefusedElement*>> refused;
};

// The elements of interest in document order, walked without recursion (a deep document
// must not exhaust the stack).
Elements elementsOf(const pugi::xml_node& root) {
    Elements e;
    pugi::xml_node node = root.first_child();
    while (node) {
        if (node.type() == pugi::node_element) {
            const std::string_view name = localName(node);
            if (name == "Units" && !e.units) {
                e.units = node;
            } else if (name == "CgPoint") {
                e.cgPoints.push_back(node);
            } else if (name == "InstrumentSetup") {
                e.setups.push_back(node);
            } else if (name == "RawObservation") {
                e.observations.push_back(node);
            }
            for (const RefusedElement& r : refusedElements) {
                if (name == r.name) {
                    e.refused.emplace_back(node, &r);
                }
            }
        }
        if (node.first_child()) {
            node = node.first_child();
            continue;
        }
        while (node && node != root && !node.next_sibling()) {
            node = node.parent();
        }
        node = node && node != root ? node.next_sibling() : pugi::xml_node();
    }
    return e;
}

} // namespace

ImportedNetwork readLandXml(std::string_view text, const InstrumentProfile& profile,
                            ImportLog& log) {
    pugi::xml_document document;
    const pugi::xml_parse_result parsed = document.load_buffer(text.data(), text.size());
    if (!parsed) {
        log.refused("plik", "błąd XML przy znaku " + std::to_string(parsed.offset) + ": " +
                                parsed.description());
        return {};
    }
    const pugi::xml_node root = document.document_element();
    if (localName(root) != "LandXML") {
        log.refused("plik", "to nie jest plik LandXML (element główny <" +
                                shown(localName(root)) + ">)");
        return {};
    }
    const Elements e = elementsOf(root);
    const pugi::xml_node metric = child(e.units, "Metric");
    if (!metric) {
        log.refused("<Units>", child(e.units, "Imperial")
                                   ? "jednostki imperialne (stopy) nie są obsługiwane"
                                   : "brak jednostek metrycznych (<Units><Metric>)");
        return {};
    }
    const std::string_view linearName = metric.attribute("linearUnit").value();
    const std::string_view angularName = metric.attribute("angularUnit").value();
    const LinearUnitName* linear = nullptr;
    const AngularUnitName* angular = nullptr;
    for (const LinearUnitName& u : linearUnits) {
        linear = linearName == u.name ? &u : linear;
    }
    for (const AngularUnitName& u : angularUnits) {
        angular = angularName == u.name ? &u : angular;
    }
    if (linear == nullptr || angular == nullptr) {
        log.refused("<Units>", linear == nullptr
                                   ? "jednostka długości „" + shown(linearName) +
                                         "” nie jest obsługiwana"
                                   : "jednostka kąta „" + shown(angularName) +
                                         "” nie jest obsługiwana");
        return {};
    }
    FieldSurvey survey;
    survey.took({e.units.offset_debug(), "<Units>"},
                "jednostki: " + std::string(linear->name) + ", " + angular->name);
    LandXmlReader reader(survey, angular->unit, linear->metres);
    reader.points(e.cgPoints);
    for (size_t i = 0; i < e.setups.size(); ++i) {
        reader.setup(e.setups[i],
                     {e.setups[i].offset_debug(), "<InstrumentSetup> " + std::to_string(i + 1)});
    }
    for (size_t i = 0; i < e.observations.size(); ++i) {
        reader.observation(e.observations[i], {e.observations[i].offset_debug(),
                                               "<RawObservation> " + std::to_string(i + 1)});
    }
    for (const auto& [node, refused] : e.refused) {
        survey.refused({node.offset_debug(), "<" + std::string(refused->name) + ">"},
                       refused->reason);
    }
    return fieldNetwork(survey, profile, log);
}

} // namespace ptw3
