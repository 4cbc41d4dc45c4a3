// A slope distance S is made from a horizontal distance D by solving the reduction with the
// earth's curvature and refraction, D = S·sin z − (1 − k/2)·S²·sin z·cos z / R (k = 0.13,
// R = 6378 km), for S: a·S² − b·S + D = 0 with a = (1 − k/2)·sin z·cos z / R, b = sin z,
// S = 2D / (b + √(b² − 4aD)), the root near D / sin z.
#include "bench/field_files.h"

#include <cmath>
#include <cstdio>
#include <map>
#include <numbers>
#include <optional>
#include <vector>

namespace ptw3::bench {
namespace {

constexpr Real radiansPerGrad = std::numbers::pi_v<Real> / 200;
constexpr Real earthRadiusM = 6378000;
constexpr Real refractionCoefficient = 0.13L;
constexpr Real zenithStepGrad = 0.01037L;
constexpr int32_t zenithSteps = 300;
constexpr Real instrumentHeightM = 1.5L;
constexpr Real targetHeightM = 1.6L;

struct Sight {
    int32_t target = 0;
    std::optional<Real> reading;     ///< grads
    std::optional<Real> horizontalM; ///< a distance measured from the station
    Real zenithGrad = 100;
};

struct Setup {
    int32_t station = 0;
    std::vector<Sight> sights;
};

Real slopeFromHorizontal(Real horizontalM, Real zenithGrad) {
    const Real b = std::sin(zenithGrad * radiansPerGrad);
    const Real a = (1 - refractionCoefficient / 2) * b * std::cos(zenithGrad * radiansPerGrad) /
                   earthRadiusM;
    return 2 * horizontalM / (b + std::sqrt(b * b - 4 * a * horizontalM));
}

// The set-ups: one per direction set, each classical distance in a set-up of its first end
// (beside the direction to its second end when there is one), else of its second end, else in
// a set-up of its own.
std::vector<Setup> setupsOf(const NetworkData& n, Real firstZenithGrad) {
    std::vector<Setup> setups;
    for (int32_t s = 1; s <= n.lst(); ++s) {
        const DirectionSet& set = n.directionSets[s];
        Setup setup{set.station, {}};
        for (int32_t d = 1; d <= set.directions.count(); ++d) {
            setup.sights.push_back({set.directions[d].target, set.directions[d].value, {}, 0});
        }
        setups.push_back(std::move(setup));
    }
    // The sights of each line and the first set-up of each station, by point indices.
    std::map<std::pair<int32_t, int32_t>, std::vector<std::pair<size_t, size_t>>> sightsOf;
    std::map<int32_t, size_t> firstSetup;
    for (size_t s = 0; s < setups.size(); ++s) {
        firstSetup.emplace(setups[s].station, s);
        for (size_t k = 0; k < setups[s].sights.size(); ++k) {
            sightsOf[{setups[s].station, setups[s].sights[k].target}].emplace_back(s, k);
        }
    }
    const auto place = [&](int32_t from, int32_t to, Real length) {
        for (const auto& [s, k] : sightsOf[{from, to}]) {
            if (!setups[s].sights[k].horizontalM) {
                setups[s].sights[k].horizontalM = length;
                return true;
            }
        }
        return false;
    };
    for (int32_t i = 1; i <= n.ldk; ++i) {
        const LineObservation& d = n.distances[i];
        if (place(d.from, d.to, d.value) || place(d.to, d.from, d.value)) {
            continue;
        }
        if (!firstSetup.contains(d.from)) {
            firstSetup.emplace(d.from, setups.size());
            setups.push_back({d.from, {}});
        }
        setups[firstSetup.at(d.from)].sights.push_back({d.to, std::nullopt, d.value, 0});
    }
    int32_t k = 0;
    for (Setup& s : setups) {
        for (Sight& sight : s.sights) {
            sight.zenithGrad = firstZenithGrad + static_cast<Real>(k++ % zenithSteps) *
                                                     zenithStepGrad;
        }
    }
    return setups;
}

Real turned(Real grads) {
    const Real v = std::fmod(grads + 200, 400);
    return v < 0 ? v + 400 : v;
}

class GsiText {
public:
    void word(int index, const char* info, Real value, int decimals) {
        const Real scaled = value * std::pow(Real(10), decimals);
        char text[40];
        std::snprintf(text, sizeof text, " %02d%s%c%016lld", index, info,
                      scaled < 0 ? '-' : '+', std::llabs(std::llround(scaled)));
        m_line += text;
    }
    void angle(int index, Real grads) {
        // 400 g itself is written as 0.
        const long long n = std::llround(grads * 100000) % 40000000;
        char text[40];
        std::snprintf(text, sizeof text, " %02d.102+%016lld", index, n);
        m_line += text;
    }
    void point(const std::string& number) {
        char text[40];
        std::snprintf(text, sizeof text, "*11%04d+%16s", ++m_blocks % 10000, number.c_str());
        m_line = text;
        for (size_t i = 8; i < m_line.size() && m_line[i] == ' '; ++i) {
            m_line[i] = '0';
        }
    }
    void end() { m_text += m_line + " \r\n"; }
    std::string take() { return std::move(m_text); }

private:
    std::string m_text, m_line;
    int m_blocks = 0;
};

std::string xmlEscaped(const std::string& text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default: out += c;
        }
    }
    return out;
}

std::string number(Real v, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*Lf", decimals, static_cast<long double>(v));
    return text;
}

bool isReference(const Point& p) { return p.mx >= 0; }

} // namespace

std::string gsiFromNetwork(const NetworkData& n, const FieldFileOptions& options) {
    GsiText gsi;
    for (int32_t i = 1; i <= n.lp(); ++i) {
        const Point& p = n.points[i];
        if (isReference(p)) {
            gsi.point(p.number);
            gsi.word(81, "..08", p.y, 5);
            gsi.word(82, "..08", p.x, 5);
            if (p.h != missingValue) {
                gsi.word(83, "..08", p.h, 5);
            }
            gsi.end();
        }
    }
    for (const Setup& s : setupsOf(n, options.zenithGrad)) {
        const Point& station = n.points[s.station];
        gsi.point(station.number);
        if (isReference(station)) {
            gsi.word(84, "..18", station.y, 5);
            gsi.word(85, "..18", station.x, 5);
        }
        gsi.word(88, "..18", instrumentHeightM, 5);
        gsi.end();
        for (const bool faceTwo : {false, true}) {
            for (size_t k = 0; k < s.sights.size(); ++k) {
                const Sight& sight = s.sights[faceTwo ? s.sights.size() - 1 - k : k];
                gsi.point(n.points[sight.target].number);
                if (sight.reading) {
                    gsi.angle(21, faceTwo ? turned(*sight.reading) : *sight.reading);
                }
                gsi.angle(22, faceTwo ? 400 - sight.zenithGrad : sight.zenithGrad);
                if (sight.horizontalM) {
                    gsi.word(31, "..08", slopeFromHorizontal(*sight.horizontalM, sight.zenithGrad),
                             5);
                }
                gsi.word(87, "..18", targetHeightM, 5);
                gsi.end();
            }
        }
    }
    return gsi.take();
}

std::string landXmlFromNetwork(const NetworkData& n, const FieldFileOptions& options) {
    std::string x = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                    "<LandXML xmlns=\"http://www.landxml.org/schema/LandXML-1.2\" "
                    "version=\"1.2\" date=\"2026-12-08\" time=\"09:05:07\">\n"
                    "  <Units>\n"
                    "    <Metric linearUnit=\"meter\" areaUnit=\"squareMeter\" "
                    "volumeUnit=\"cubicMeter\" angularUnit=\"grads\" directionUnit=\"grads\"/>\n"
                    "  </Units>\n"
                    "  <CgPoints>\n";
    for (int32_t i = 1; i <= n.lp(); ++i) {
        const Point& p = n.points[i];
        if (isReference(p) || options.approximatePoints) {
            x += "    <CgPoint name=\"" + xmlEscaped(p.number) + "\"" +
                 (isReference(p) ? " pntSurv=\"control\">" : ">") + number(p.x, 5) + " " +
                 number(p.y, 5) + (p.h != missingValue ? " " + number(p.h, 5) : "") +
                 "</CgPoint>\n";
        }
    }
    x += "  </CgPoints>\n  <Survey>\n";
    int32_t id = 0;
    for (const Setup& s : setupsOf(n, options.zenithGrad)) {
        const std::string setup = "IS" + std::to_string(++id);
        const std::string station = xmlEscaped(n.points[s.station].number);
        x += "    <InstrumentSetup id=\"" + setup + "\" stationName=\"" + station +
             "\" instrumentHeight=\"" + number(instrumentHeightM, 3) + "\">\n" +
             "      <InstrumentPoint pntRef=\"" + station + "\"/>\n    </InstrumentSetup>\n" +
             "    <ObservationGroup id=\"OG" + std::to_string(id) + "\">\n";
        for (const bool faceTwo : {false, true}) {
            for (size_t k = 0; k < s.sights.size(); ++k) {
                const Sight& sight = s.sights[faceTwo ? s.sights.size() - 1 - k : k];
                x += "      <RawObservation setupID=\"" + setup + "\" purpose=\"normal\" " +
                     "directFace=\"" + (faceTwo ? "false" : "true") + "\" targetHeight=\"" +
                     number(targetHeightM, 3) + "\"";
                if (sight.reading) {
                    x += " horizAngle=\"" +
                         number(faceTwo ? turned(*sight.reading) : *sight.reading, 8) + "\"";
                }
                x += " zenithAngle=\"" +
                     number(faceTwo ? 400 - sight.zenithGrad : sight.zenithGrad, 8) + "\"";
                if (sight.horizontalM) {
                    x += " slopeDistance=\"" +
                         number(slopeFromHorizontal(*sight.horizontalM, sight.zenithGrad), 7) +
                         "\"";
                }
                x += ">\n        <TargetPoint pntRef=\"" +
                     xmlEscaped(n.points[sight.target].number) +
                     "\"/>\n      </RawObservation>\n";
            }
        }
        x += "    </ObservationGroup>\n";
    }
    x += "  </Survey>\n</LandXML>\n";
    return x;
}

} // namespace ptw3::bench
