// The records are streamed: each one becomes a small JSON object that nlohmann::json dumps
// (escaping, number forms) on a line of its own, so a network of 20 000 points never
// holds its whole document in memory. Reading keeps only the current record likewise.
#include "export/results_json.h"

#include "common/text_file.h"
#include "export/output_file.h"
#include "export/result_fields.h"

#include <nlohmann/json.hpp>

#include <array>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>
#include <unordered_map>

namespace ptw3 {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::ordered_json;

constexpr int moDecimals = 5;
constexpr int freedomDecimals = 2;
constexpr int indexDecimals = 4;
constexpr int metreDecimals = 5;

// clang-format off
constexpr std::array<std::pair<AdjustmentPrinciple, std::string_view>, 4> principleNames = {{
    {AdjustmentPrinciple::LeastSquares,             "least_squares"},
    {AdjustmentPrinciple::RobustDistances,          "robust_distances"},
    {AdjustmentPrinciple::RobustAngles,             "robust_angles"},
    {AdjustmentPrinciple::RobustDistancesAndAngles, "robust_distances_angles"},
}};
constexpr std::array<std::string_view, 3> accelerationNames = {"none", "standard", "turbo"};
constexpr std::array<std::string_view, 3> reliabilityNames = {"full", "approximate", "none"};
constexpr std::array<std::string_view, observationKindCount> partialNames = {
    "distances", "angles", "directions", "azimuths", "coordinates"};
// clang-format on

// A value that is not a finite number (a computation that went on past a defect) is null.
Json number(Real v, int decimals) {
    return std::isfinite(v) ? Json(roundedTo(v, decimals)) : Json(nullptr);
}

Json optionalNumber(const std::optional<Real>& v, int decimals) {
    return v ? number(*v, decimals) : Json(nullptr);
}

Json valueOf(const FieldValue& v, int decimals) {
    if (const auto* real = std::get_if<Real>(&v)) {
        return number(*real, decimals);
    }
    if (const auto* integer = std::get_if<int32_t>(&v)) {
        return *integer;
    }
    if (const auto* text = std::get_if<std::string>(&v)) {
        return *text;
    }
    if (const auto* flag = std::get_if<bool>(&v)) {
        return *flag;
    }
    return nullptr;
}

std::string isoTime(const LocalDateTime& t) {
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d", t.year, t.month, t.day,
                  t.hour, t.minute, t.second);
    return text;
}

std::string_view principleName(AdjustmentPrinciple principle) {
    for (const auto& [code, name] : principleNames) {
        if (code == principle) {
            return name;
        }
    }
    return principleNames[0].second;
}

Json runObject(const RunInfo& run) {
    Json j;
    j["program_version"] = run.programVersion;
    j["coordinate_system"] = systemNumber(run.system.system);
    j["zone"] = run.system.zone;
    j["principle"] = principleName(run.principle);
    j["analysis_mode"] = run.analysisMode == AnalysisMode::Approximate ? "approximate" : "full";
    j["iterations"] = run.iterations;
    j["acceleration"] = accelerationNames.at(static_cast<size_t>(run.accelerationLevel));
    j["acceleration_boost"] = run.accelerationBoost;
    j["started"] = isoTime(run.started);
    j["finished"] = isoTime(run.finished);
    j["system_defect"] = run.systemDefect;
    j["reliability"] = reliabilityNames.at(static_cast<size_t>(run.reliability));
    return j;
}

Json countsObject(const Counts& c) {
    Json j;
    // clang-format off
    for (const auto& [name, value] : std::initializer_list<std::pair<const char*, int32_t>>{
             {"lp", c.lp}, {"ls", c.ls}, {"lr", c.lr}, {"lrsxy", c.lrsxy}, {"lka", c.lka},
             {"lst", c.lst}, {"lki", c.lki}, {"lazt", c.lazt}, {"lazg", c.lazg}, {"ldk", c.ldk},
             {"ldg", c.ldg}, {"n", c.n}, {"m", c.m}, {"redundancy", c.m - c.n},
             {"points_without_control", c.pointsWithoutControl}, {"outliers", c.outliers}}) {
        j[name] = value;
    }
    // clang-format on
    j["redundancy_sum"] = optionalNumber(c.redundancySum, indexDecimals);
    return j;
}

Json unitErrorObject(const UnitErrorSummary& u) {
    Json j;
    j["mo"] = number(u.mo, moDecimals);
    j["mo_reported"] = number(u.moReported, moDecimals);
    Json partial = Json::array();
    for (const PartialEstimate& p : u.partial) {
        Json e;
        e["kind"] = partialNames.at(static_cast<size_t>(p.kind));
        e["mo"] = number(p.mo, moDecimals);
        e["f"] = number(p.freedom, freedomDecimals);
        e["a_priori"] = p.apriori;
        partial.push_back(std::move(e));
    }
    j["partial"] = std::move(partial);
    j["z"] = number(u.z, indexDecimals);
    j["z_percent"] = number(100 * u.z, 1);
    j["mp_mean_m"] = number(u.meanPositionError, metreDecimals);
    j["mp_max_m"] = number(u.maxPositionError, metreDecimals);
    j["mp_max_point"] = u.maxPositionPoint ? Json(*u.maxPositionPoint) : Json(nullptr);
    return j;
}

// ---- reading

template <class Names> int32_t indexOfName(const Names& names, const std::string& name) {
    for (size_t i = 0; i < names.size(); ++i) {
        if (names[i] == name) {
            return static_cast<int32_t>(i);
        }
    }
    throw std::invalid_argument("unknown name " + name);
}

std::optional<Real> optionalReal(const Json& j, const char* key) {
    const auto it = j.find(key);
    if (it == j.end() || it->is_null()) {
        return std::nullopt;
    }
    return it->get<double>();
}

Real real(const Json& j, const char* key) {
    const Json& value = j.at(key);
    return value.is_null() ? std::numeric_limits<Real>::quiet_NaN() : value.get<double>();
}

LocalDateTime parseIsoTime(const std::string& text) {
    LocalDateTime t;
    std::sscanf(text.c_str(), "%d-%d-%dT%d:%d:%d", &t.year, &t.month, &t.day, &t.hour, &t.minute,
                &t.second);
    return t;
}

RunInfo runFrom(const Json& j) {
    RunInfo run;
    run.programVersion = j.at("program_version").get<std::string>();
    run.system.system = systemByNumber(j.at("coordinate_system").get<int32_t>())
                            .value_or(CoordinateSystem::Local);
    run.system.zone = j.at("zone").get<int32_t>();
    const std::string principle = j.at("principle").get<std::string>();
    for (const auto& [code, name] : principleNames) {
        run.principle = name == principle ? code : run.principle;
    }
    run.analysisMode = j.at("analysis_mode") == "approximate" ? AnalysisMode::Approximate
                                                           : AnalysisMode::Full;
    run.iterations = j.at("iterations").get<int32_t>();
    run.accelerationLevel = static_cast<AccelerationLevel>(
        indexOfName(accelerationNames, j.at("acceleration").get<std::string>()));
    run.accelerationBoost = j.at("acceleration_boost").get<bool>();
    run.started = parseIsoTime(j.at("started").get<std::string>());
    run.finished = parseIsoTime(j.at("finished").get<std::string>());
    run.systemDefect = j.at("system_defect").get<bool>();
    run.reliability = static_cast<ReliabilityBasis>(
        indexOfName(reliabilityNames, j.at("reliability").get<std::string>()));
    return run;
}

Counts countsFrom(const Json& j) {
    Counts c;
    // clang-format off
    for (auto [name, field] : std::initializer_list<std::pair<const char*, int32_t*>>{
             {"lp", &c.lp}, {"ls", &c.ls}, {"lr", &c.lr}, {"lrsxy", &c.lrsxy}, {"lka", &c.lka},
             {"lst", &c.lst}, {"lki", &c.lki}, {"lazt", &c.lazt}, {"lazg", &c.lazg},
             {"ldk", &c.ldk}, {"ldg", &c.ldg}, {"n", &c.n}, {"m", &c.m},
             {"points_without_control", &c.pointsWithoutControl}, {"outliers", &c.outliers}}) {
        *field = j.at(name).get<int32_t>();
    }
    // clang-format on
    c.redundancySum = optionalReal(j, "redundancy_sum");
    return c;
}

UnitErrorSummary unitErrorFrom(const Json& j) {
    UnitErrorSummary u;
    u.mo = real(j, "mo");
    u.moReported = real(j, "mo_reported");
    for (const Json& e : j.at("partial")) {
        u.partial.push_back({static_cast<ObservationKind>(
                                 indexOfName(partialNames, e.at("kind").get<std::string>())),
                             real(e, "mo"), real(e, "f"), e.at("a_priori").get<bool>()});
    }
    u.z = real(j, "z");
    u.meanPositionError = real(j, "mp_mean_m");
    u.maxPositionError = real(j, "mp_max_m");
    if (!j.at("mp_max_point").is_null()) {
        u.maxPositionPoint = j.at("mp_max_point").get<std::string>();
    }
    return u;
}

PointResult pointFrom(const Json& j) {
    PointResult p;
    p.number = j.at("number").get<std::string>();
    const std::string kind = j.at("kind").get<std::string>();
    for (const PointKind k :
         {PointKind::Fixed, PointKind::MovingReference, PointKind::Determined}) {
        p.kind = pointKindName(k) == kind ? k : p.kind;
    }
    p.x = real(j, "x_m");
    p.y = real(j, "y_m");
    p.mx = real(j, "mx_m");
    p.my = real(j, "my_m");
    p.mp = real(j, "mp_m");
    p.a = real(j, "a_m");
    p.b = real(j, "b_m");
    p.fi = real(j, "fi_grad");
    p.controlled = j.at("controlled").get<bool>();
    return p;
}

class ObservationReader {
  public:
    explicit ObservationReader(const std::vector<PointResult>& points) {
        for (size_t i = 0; i < points.size(); ++i) {
            m_index.emplace(points[i].number, static_cast<int32_t>(i));
        }
    }

    ObservationResult operator()(const Json& j) const {
        ObservationResult o;
        const std::string kind = j.at("kind").get<std::string>();
        for (int32_t k = 0; k <= static_cast<int32_t>(ListedKind::GpsAzimuth); ++k) {
            if (observationKindName(static_cast<ListedKind>(k)) == kind) {
                o.kind = static_cast<ListedKind>(k);
            }
        }
        if (!j.at("file").is_null()) {
            o.file = j.at("file").get<std::string>();
            o.line = j.at("line").get<int32_t>();
        }
        o.left = point(j, "left");
        o.from = point(j, "from");
        o.to = point(j, "to");
        const bool length = isLength(o.kind);
        const auto unit = [&](const char* angular, const char* metric) {
            return real(j, length ? metric : angular);
        };
        o.observed = unit("observed_grad", "observed_m");
        o.adjusted = unit("adjusted_grad", "adjusted_m");
        o.residual = unit("v_cc", "v_m");
        o.meanError = unit("m_apriori_cc", "m_apriori_m");
        o.adjustedMeanError = unit("m_adjusted_cc", "m_adjusted_m");
        o.residualMeanError = unit("mv_cc", "mv_m");
        o.outlier = j.at("outlier").get<bool>();
        if (const auto r = optionalReal(j, "r")) {
            ReliabilityFigures f;
            f.r = *r;
            f.w = optionalReal(j, "w");
            f.wMo = optionalReal(j, "w_mo");
            f.grossError = optionalReal(j, length ? "gross_error_m" : "gross_error_cc");
            f.mdb = optionalReal(j, length ? "mdb_m" : "mdb_cc");
            o.reliability = f;
        }
        return o;
    }

  private:
    int32_t point(const Json& j, const char* key) const {
        const auto it = j.find(key);
        if (it == j.end() || it->is_null()) {
            return -1;
        }
        return m_index.at(it->get<std::string>());
    }

    std::unordered_map<std::string, int32_t> m_index;
};

} // namespace

bool writeResultsJson(const fs::path& folder, const NetworkResults& r) {
    OutputFile out(folder, "wyniki.json");
    const auto member = [&](std::string_view name, const Json& value) {
        out.write("  \"");
        out.write(name);
        out.write("\": ");
        out.write(value.dump());
        out.write(",\n");
    };
    out.write("{\n");
    member("format", resultsFormat);
    member("format_version", resultsFormatVersion);
    member("run", runObject(r.run));
    member("counts", countsObject(r.counts));
    member("unit_error", unitErrorObject(r.unitError));

    // The record objects are filled anew for each record, keeping their keys, and dumped
    // into one reused text.
    std::string text;
    const auto array = [&](std::string_view name, size_t count, const auto& record, bool last) {
        out.write("  \"");
        out.write(name);
        out.write("\": [");
        for (size_t i = 0; i < count; ++i) {
            text = i == 0 ? "\n    " : ",\n    ";
            text += record(i).dump();
            out.write(text);
        }
        out.write(count > 0 ? "\n  ]" : "]");
        out.write(last ? "\n" : ",\n");
    };
    Json point;
    array(
        "points", r.points.size(),
        [&](size_t i) -> const Json& {
            for (const PointField& f : pointFields()) {
                point[f.name] = valueOf(f.value(r.points[i]), f.decimals);
            }
            return point;
        },
        false);
    std::array<Json, 2> observation; // angular, length
    array(
        "observations", r.observations.size(),
        [&](size_t i) -> const Json& {
            const ObservationResult& o = r.observations[i];
            Json& j = observation[isLength(o.kind) ? 1 : 0];
            for (const ObservationField& f : observationFields()) {
                if (carries(f, o.kind)) {
                    j[f.name] = valueOf(f.value(r, o), f.decimals);
                }
            }
            return j;
        },
        true);
    out.write("}\n");
    return out.commit();
}

std::optional<NetworkResults> readResultsJson(const fs::path& file) {
    const auto bytes = readFileBytes(file);
    if (!bytes) {
        return std::nullopt;
    }
    NetworkResults r;
    std::optional<ObservationReader> readObservation;
    std::string array;
    try {
        const Json top =
            Json::parse(*bytes, [&](int depth, Json::parse_event_t event, Json& parsed) {
                if (depth == 1 && event == Json::parse_event_t::key) {
                    array = parsed.get<std::string>();
                }
                if (depth != 2 || event != Json::parse_event_t::object_end) {
                    return true;
                }
                if (array == "points") {
                    r.points.push_back(pointFrom(parsed));
                } else if (array == "observations") {
                    if (!readObservation) {
                        readObservation.emplace(r.points);
                    }
                    r.observations.push_back((*readObservation)(parsed));
                } else {
                    return true;
                }
                return false;
            });
        if (top.at("format").get<std::string>() != resultsFormat) {
            return std::nullopt;
        }
        r.run = runFrom(top.at("run"));
        r.counts = countsFrom(top.at("counts"));
        r.unitError = unitErrorFrom(top.at("unit_error"));
    } catch (const std::exception&) {
        return std::nullopt;
    }
    return r;
}

} // namespace ptw3
