// The records are streamed: each one becomes a small JSON object that nlohmann::json dumps
// (escaping, number forms) on a line of its own, so a network of 20 000 points never
// holds its whole document in memory. Reading keeps only the current record likewise; of
// the quality control, only the relative accuracy of the lines is as long, and is streamed.
#include "export/results_json.h"

#include "common/text_file.h"
#include "export/output_file.h"
#include "export/result_fields.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <limits>
#include <stdexcept>
#include <string>
#include <unordered_map>
#include <vector>

namespace ptw3 {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::ordered_json;

constexpr int moDecimals = 5;
constexpr int freedomDecimals = 2;
constexpr int indexDecimals = 4;
constexpr int metreDecimals = 5;
constexpr int statisticDecimals = 3; // w, T and their critical values
constexpr int ratioDecimals = 4;     // α, [pvv], χ² quantiles
constexpr int ccDecimals = 2;
constexpr int gradDecimals = 4;
constexpr int squareMillimetreDecimals = 4;
constexpr int ppmDecimals = 2;
constexpr Real squareMillimetresPerSquareMetre = 1e6L;

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
constexpr std::array<std::string_view, 2> runKindNames = {"adjustment", "pre_analysis"};
constexpr std::array<std::string_view, 3> verdictNames = {"accepted", "mo_too_large",
                                                          "mo_too_small"}; // GlobalTest::Verdict
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

Json runObject(const RunInfo& run, bool preAnalysis) {
    Json j;
    j["kind"] = runKindNames[preAnalysis ? 1 : 0];
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

// ---- the quality control: points by their numbers, observations by their index in the
// array of observations

Json optionalText(const std::optional<std::string>& text) {
    return text ? Json(*text) : Json(nullptr);
}

/// The number of a point of the control, which counts the points from 1.
const std::string& pointNumber(const NetworkResults& r, int32_t point) {
    return r.points.at(static_cast<size_t>(point - 1)).number;
}

Json observationIndex(const NetworkResults& r, int32_t observation) {
    if (observation < 0 || static_cast<size_t>(observation) >= r.observations.size()) {
        throw std::out_of_range("observation " + std::to_string(observation));
    }
    return observation;
}

Json optionalObservation(const NetworkResults& r, const std::optional<int32_t>& observation) {
    return observation ? observationIndex(r, *observation) : Json(nullptr);
}

Json globalTestObject(const GlobalTest& g) {
    Json j;
    j["skipped"] = optionalText(g.skipped);
    j["f"] = g.f;
    j["sum_of_squares"] = number(g.sumOfSquares, ratioDecimals);
    j["mo"] = number(g.mo, moDecimals);
    j["alpha"] = number(g.alpha, ratioDecimals);
    j["chi2_lower"] = number(g.lower, ratioDecimals);
    j["chi2_upper"] = number(g.upper, ratioDecimals);
    j["chi2_upper_one_sided"] = number(g.upperOneSided, ratioDecimals);
    j["verdict"] = verdictNames.at(static_cast<size_t>(g.verdict));
    return j;
}

Json snoopingHead(const NetworkResults& r, const Snooping& s) {
    Json j;
    j["skipped"] = optionalText(s.skipped);
    j["critical"] = number(s.critical, statisticDecimals);
    j["step_limit"] = s.stepLimit;
    j["largest_w"] = optionalNumber(s.largestW, statisticDecimals);
    j["largest_observation"] = optionalObservation(r, s.largestObservation);
    j["limit_reached"] = s.limitReached;
    return j;
}

// ∇ is in the unit of the observation's residual, which its name carries.
Json stepObject(const NetworkResults& r, const SnoopingStep& s) {
    Json j;
    j["observation"] = observationIndex(r, s.observation);
    j["also_removed"] = optionalObservation(r, s.alsoRemoved);
    j["w"] = number(s.w, statisticDecimals);
    const bool length = isLength(r.observations[static_cast<size_t>(s.observation)].kind);
    j[length ? "gross_error_m" : "gross_error_cc"] =
        number(s.grossError, length ? metreDecimals : ccDecimals);
    j["mo_after"] = number(s.moAfter, moDecimals);
    j["f_after"] = s.fAfter;
    j["largest_remaining_w"] = optionalNumber(s.largestRemainingW, statisticDecimals);
    j["largest_remaining_observation"] = optionalObservation(r, s.largestRemainingObservation);
    return j;
}

Json referenceHead(const NetworkResults& r, const ReferenceCheck& c) {
    Json j;
    j["skipped"] = optionalText(c.skipped);
    j["alpha"] = number(c.alpha, ratioDecimals);
    Json doubtful = Json::array();
    for (const int32_t point : c.doubtfulPoints) {
        doubtful.push_back(pointNumber(r, point));
    }
    j["doubtful_points"] = std::move(doubtful);
    return j;
}

Json roundObject(const NetworkResults& r, const ReferenceRound& round) {
    Json j;
    j["doubtful"] = nullptr;
    if (round.doubtful) {
        j["doubtful"] = pointNumber(r, round.points.at(static_cast<size_t>(*round.doubtful)).point);
    }
    Json points = Json::array();
    for (const ReferencePointTest& t : round.points) {
        Json p;
        p["point"] = pointNumber(r, t.point);
        p["moving"] = t.moving;
        p["testable"] = t.testable;
        p["dx_m"] = number(t.dx, metreDecimals);
        p["dy_m"] = number(t.dy, metreDecimals);
        p["shift_m"] = number(t.shift(), metreDecimals);
        p["qxx_mm2"] = number(t.qxx * squareMillimetresPerSquareMetre, squareMillimetreDecimals);
        p["qxy_mm2"] = number(t.qxy * squareMillimetresPerSquareMetre, squareMillimetreDecimals);
        p["qyy_mm2"] = number(t.qyy * squareMillimetresPerSquareMetre, squareMillimetreDecimals);
        p["t"] = number(t.statistic, statisticDecimals);
        p["critical"] = number(t.critical, statisticDecimals);
        p["f"] = t.f;
        points.push_back(std::move(p));
    }
    j["points"] = std::move(points);
    return j;
}

Json lineObject(const NetworkResults& r, const LineAccuracy& line) {
    Json j;
    j["from"] = pointNumber(r, line.from);
    j["to"] = pointNumber(r, line.to);
    j["length_m"] = number(line.length, metreDecimals);
    j["a_m"] = number(line.a, metreDecimals);
    j["b_m"] = number(line.b, metreDecimals);
    j["fi_grad"] = number(line.fi, gradDecimals);
    j["length_error_m"] = number(line.lengthError, metreDecimals);
    j["length_error_ppm"] = number(line.lengthErrorPpm, ppmDecimals);
    j["direction_error_cc"] = number(line.directionErrorCc, ccDecimals);
    return j;
}

Json standardObject(const NetworkResults& r, const AccuracyStandard& s) {
    Json j;
    j["limit_m"] = number(s.limit, metreDecimals);
    j["checked"] = s.checked;
    j["met"] = s.met();
    Json failing = Json::array();
    for (const int32_t point : s.failing) {
        failing.push_back(pointNumber(r, point));
    }
    j["failing"] = std::move(failing);
    j["largest_point"] = s.largestPoint ? Json(pointNumber(r, *s.largestPoint)) : Json(nullptr);
    j["largest_mp_m"] = number(s.largestMp, metreDecimals);
    return j;
}

// ---- the pre-analysis: the advisor's proposals, points by their numbers

Json proposalObject(const NetworkResults& r, const Proposal& p) {
    Json j;
    const CandidateObservation& c = p.candidate;
    j["kind"] = observationKindName(c.kind);
    j["from"] = pointNumber(r, c.from);
    j["to"] = pointNumber(r, c.to);
    j["line"] = c.line ? Json(*c.line) : Json(nullptr);
    const bool length = isLength(c.kind);
    j[length ? "m_apriori_m" : "m_apriori_cc"] =
        number(c.meanError, length ? metreDecimals : ccDecimals);
    j["worst_mp_m"] = number(p.worstMp, metreDecimals);
    j["failing"] = p.failing;
    j["weak_observations"] = p.weakObservations;
    return j;
}

Json adviceHead(const DesignAdvice& d) {
    Json j;
    j["skipped"] = optionalText(d.skipped);
    j["candidates"] = d.candidates;
    j["worst_mp_before_m"] = number(d.worstMpBefore, metreDecimals);
    j["failing_before"] = d.failingBefore;
    j["weak_before"] = d.weakBefore;
    j["goal_met"] = d.goalMet;
    j["stop_reason"] = d.stopReason;
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

/// The index of each point (0-based) by its number; an unknown number throws.
class PointNumbers {
  public:
    explicit PointNumbers(const std::vector<PointResult>& points) {
        for (size_t i = 0; i < points.size(); ++i) {
            m_index.emplace(points[i].number, static_cast<int32_t>(i));
        }
    }

    int32_t index(const Json& number) const { return m_index.at(number.get<std::string>()); }

    /// The index of the point the key names, −1 for none.
    int32_t optionalIndex(const Json& j, const char* key) const {
        const auto it = j.find(key);
        return it == j.end() || it->is_null() ? -1 : index(*it);
    }

  private:
    std::unordered_map<std::string, int32_t> m_index;
};

ObservationResult observationFrom(const Json& j, const PointNumbers& numbers) {
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
    o.left = numbers.optionalIndex(j, "left");
    o.from = numbers.optionalIndex(j, "from");
    o.to = numbers.optionalIndex(j, "to");
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

std::optional<std::string> optionalTextFrom(const Json& j, const char* key) {
    const Json& value = j.at(key);
    return value.is_null() ? std::nullopt : std::optional(value.get<std::string>());
}

/// The point of the control (counted from 1) that the number names.
int32_t controlPoint(const Json& number, const PointNumbers& numbers) {
    return numbers.index(number) + 1;
}

/// An observation index of the control, which must name one of the observations read.
int32_t controlObservation(const Json& j, const NetworkResults& r) {
    const auto observation = j.get<int32_t>();
    if (observation < 0 || static_cast<size_t>(observation) >= r.observations.size()) {
        throw std::out_of_range("observation " + std::to_string(observation));
    }
    return observation;
}

std::optional<int32_t> optionalControlObservation(const Json& j, const NetworkResults& r) {
    return j.is_null() ? std::nullopt : std::optional(controlObservation(j, r));
}

GlobalTest globalTestFrom(const Json& j) {
    GlobalTest g;
    g.skipped = optionalTextFrom(j, "skipped");
    g.f = j.at("f").get<int32_t>();
    g.sumOfSquares = real(j, "sum_of_squares");
    g.mo = real(j, "mo");
    g.alpha = real(j, "alpha");
    g.lower = real(j, "chi2_lower");
    g.upper = real(j, "chi2_upper");
    g.upperOneSided = real(j, "chi2_upper_one_sided");
    g.verdict = static_cast<GlobalTest::Verdict>(
        indexOfName(verdictNames, j.at("verdict").get<std::string>()));
    return g;
}

Snooping snoopingFrom(const Json& j, const NetworkResults& r) {
    Snooping s;
    s.skipped = optionalTextFrom(j, "skipped");
    s.critical = real(j, "critical");
    s.stepLimit = j.at("step_limit").get<int32_t>();
    s.largestW = optionalReal(j, "largest_w");
    s.largestObservation = optionalControlObservation(j.at("largest_observation"), r);
    s.limitReached = j.at("limit_reached").get<bool>();
    for (const Json& e : j.at("steps")) {
        SnoopingStep step;
        step.observation = controlObservation(e.at("observation"), r);
        step.alsoRemoved = optionalControlObservation(e.at("also_removed"), r);
        step.w = real(e, "w");
        const bool length = isLength(r.observations[static_cast<size_t>(step.observation)].kind);
        step.grossError = real(e, length ? "gross_error_m" : "gross_error_cc");
        step.moAfter = real(e, "mo_after");
        step.fAfter = e.at("f_after").get<int32_t>();
        step.largestRemainingW = optionalReal(e, "largest_remaining_w");
        step.largestRemainingObservation =
            optionalControlObservation(e.at("largest_remaining_observation"), r);
        s.steps.push_back(step);
    }
    return s;
}

ReferenceCheck referenceCheckFrom(const Json& j, const PointNumbers& numbers) {
    ReferenceCheck c;
    c.skipped = optionalTextFrom(j, "skipped");
    c.alpha = real(j, "alpha");
    for (const Json& number : j.at("doubtful_points")) {
        c.doubtfulPoints.push_back(controlPoint(number, numbers));
    }
    for (const Json& e : j.at("rounds")) {
        ReferenceRound round;
        for (const Json& p : e.at("points")) {
            ReferencePointTest t;
            t.point = controlPoint(p.at("point"), numbers);
            t.moving = p.at("moving").get<bool>();
            t.testable = p.at("testable").get<bool>();
            t.dx = real(p, "dx_m");
            t.dy = real(p, "dy_m");
            t.qxx = real(p, "qxx_mm2") / squareMillimetresPerSquareMetre;
            t.qxy = real(p, "qxy_mm2") / squareMillimetresPerSquareMetre;
            t.qyy = real(p, "qyy_mm2") / squareMillimetresPerSquareMetre;
            t.statistic = real(p, "t");
            t.critical = real(p, "critical");
            t.f = p.at("f").get<int32_t>();
            round.points.push_back(t);
        }
        if (!e.at("doubtful").is_null()) {
            const int32_t point = controlPoint(e.at("doubtful"), numbers);
            const auto named = std::find_if(round.points.begin(), round.points.end(),
                                            [&](const auto& t) { return t.point == point; });
            if (named == round.points.end()) {
                throw std::invalid_argument("the doubtful point is not in its round");
            }
            round.doubtful = static_cast<int32_t>(named - round.points.begin());
        }
        c.rounds.push_back(std::move(round));
    }
    return c;
}

LineAccuracy lineFrom(const Json& j, const PointNumbers& numbers) {
    LineAccuracy line;
    line.from = controlPoint(j.at("from"), numbers);
    line.to = controlPoint(j.at("to"), numbers);
    line.length = real(j, "length_m");
    line.a = real(j, "a_m");
    line.b = real(j, "b_m");
    line.fi = real(j, "fi_grad");
    line.lengthError = real(j, "length_error_m");
    line.lengthErrorPpm = real(j, "length_error_ppm");
    line.directionErrorCc = real(j, "direction_error_cc");
    return line;
}

AccuracyStandard standardFrom(const Json& j, const PointNumbers& numbers) {
    AccuracyStandard s;
    s.limit = real(j, "limit_m");
    s.checked = j.at("checked").get<int32_t>();
    for (const Json& number : j.at("failing")) {
        s.failing.push_back(controlPoint(number, numbers));
    }
    if (!j.at("largest_point").is_null()) {
        s.largestPoint = controlPoint(j.at("largest_point"), numbers);
    }
    s.largestMp = real(j, "largest_mp_m");
    return s;
}

ListedKind observationKindFrom(const std::string& name) {
    for (int32_t k = 0; k <= static_cast<int32_t>(ListedKind::GpsAzimuth); ++k) {
        if (observationKindName(static_cast<ListedKind>(k)) == name) {
            return static_cast<ListedKind>(k);
        }
    }
    throw std::invalid_argument("unknown observation kind " + name);
}

Proposal proposalFrom(const Json& j, const PointNumbers& numbers) {
    Proposal p;
    CandidateObservation& c = p.candidate;
    c.kind = observationKindFrom(j.at("kind").get<std::string>());
    c.from = controlPoint(j.at("from"), numbers);
    c.to = controlPoint(j.at("to"), numbers);
    if (!j.at("line").is_null()) {
        c.line = j.at("line").get<int32_t>();
    }
    c.meanError = real(j, isLength(c.kind) ? "m_apriori_m" : "m_apriori_cc");
    p.worstMp = real(j, "worst_mp_m");
    p.failing = j.at("failing").get<int32_t>();
    p.weakObservations = j.at("weak_observations").get<int32_t>();
    return p;
}

DesignAdvice adviceFrom(const Json& j, const PointNumbers& numbers) {
    DesignAdvice d;
    d.skipped = optionalTextFrom(j, "skipped");
    d.candidates = j.at("candidates").get<int32_t>();
    d.worstMpBefore = real(j, "worst_mp_before_m");
    d.failingBefore = j.at("failing_before").get<int32_t>();
    d.weakBefore = j.at("weak_before").get<int32_t>();
    d.goalMet = j.at("goal_met").get<bool>();
    d.stopReason = j.at("stop_reason").get<std::string>();
    for (const Json& e : j.at("proposals")) {
        d.proposals.push_back(proposalFrom(e, numbers));
    }
    return d;
}

/// The pre-analysis of results read: the planned points' and the observations' figures are
/// those of the arrays (every point not fixed, every observation with r), the rest is the
/// section's.
PreAnalysis planFrom(const Json& j, const NetworkResults& r, const PointNumbers& numbers,
                     std::vector<LineAccuracy> lines) {
    PreAnalysis a;
    for (size_t i = 0; i < r.points.size(); ++i) {
        const PointResult& p = r.points[i];
        if (p.kind != PointKind::Fixed) {
            a.points.push_back({static_cast<int32_t>(i) + 1, p.mx, p.my, p.mp, p.a, p.b, p.fi,
                                p.controlled});
        }
    }
    for (size_t i = 0; i < r.observations.size(); ++i) {
        if (const auto& f = r.observations[i].reliability) {
            a.observations.push_back({static_cast<int32_t>(i), f->r, f->mdb});
        }
    }
    a.lines.skipped = optionalTextFrom(j.at("relative_accuracy"), "skipped");
    a.lines.lines = std::move(lines);
    a.standard = standardFrom(j.at("accuracy_standard"), numbers);
    if (!j.at("advice").is_null()) {
        a.advice = adviceFrom(j.at("advice"), numbers);
    }
    return a;
}

/// The members of a section of the top object (the quality control, the pre-analysis): the
/// arrays of its objects, which can be long, have one record a line like the points.
class SectionWriter {
  public:
    explicit SectionWriter(OutputFile& out)
        : m_out(out) {}

    void member(std::string_view name, const Json& value, bool last) {
        m_text = "    \"" + std::string(name) + "\": " + value.dump() + (last ? "\n" : ",\n");
        m_out.write(m_text);
    }

    /// The object `head` with the array `arrayName` of `count` records added as its last
    /// member; `record(i)` gives the i-th.
    template <class Record>
    void withRecords(std::string_view name, const Json& head, std::string_view arrayName,
                     size_t count, const Record& record, bool last) {
        m_text = head.dump();
        m_text.pop_back(); // its closing brace: the array comes before it
        m_text = "    \"" + std::string(name) + "\": " + m_text + (head.empty() ? "" : ",") +
                 "\"" + std::string(arrayName) + "\":[";
        for (size_t i = 0; i < count; ++i) {
            m_text += i == 0 ? "\n      " : ",\n      ";
            m_text += record(i).dump();
            m_out.write(m_text);
            m_text.clear();
        }
        m_text += count > 0 ? "\n    ]}" : "]}";
        m_text += last ? "\n" : ",\n";
        m_out.write(m_text);
    }

  private:
    OutputFile& m_out;
    std::string m_text;
};

Json relativeHead(const RelativeAccuracy& a) {
    Json j;
    j["skipped"] = optionalText(a.skipped);
    return j;
}

/// The quality control; its closing brace ends the top object's members when `last`.
void writeControl(OutputFile& out, const NetworkResults& r, const QualityControl& c, bool last) {
    SectionWriter section(out);
    out.write("  \"kontrola\": {\n");
    section.member("global_test", globalTestObject(c.global), false);
    section.withRecords(
        "snooping", snoopingHead(r, c.snooping), "steps", c.snooping.steps.size(),
        [&](size_t i) { return stepObject(r, c.snooping.steps[i]); }, false);
    section.withRecords(
        "reference_check", referenceHead(r, c.reference), "rounds", c.reference.rounds.size(),
        [&](size_t i) { return roundObject(r, c.reference.rounds[i]); }, false);
    section.withRecords(
        "relative_accuracy", relativeHead(c.relative), "lines", c.relative.lines.size(),
        [&](size_t i) { return lineObject(r, c.relative.lines[i]); }, false);
    section.member("accuracy_standard", standardObject(r, c.standard), true);
    out.write(last ? "  }\n" : "  },\n");
}

/// The pre-analysis as the last member: the relative accuracy of the lines and the standard
/// with the unit error 1, and the advisor's proposals (null when it was not asked for). The
/// points' and the observations' figures are those of the arrays.
void writePlan(OutputFile& out, const NetworkResults& r, const PreAnalysis& a) {
    SectionWriter section(out);
    out.write("  \"projekt\": {\n");
    section.withRecords(
        "relative_accuracy", relativeHead(a.lines), "lines", a.lines.lines.size(),
        [&](size_t i) { return lineObject(r, a.lines.lines[i]); }, false);
    section.member("accuracy_standard", standardObject(r, a.standard), false);
    if (a.advice) {
        section.withRecords(
            "advice", adviceHead(*a.advice), "proposals", a.advice->proposals.size(),
            [&](size_t i) { return proposalObject(r, a.advice->proposals[i]); }, true);
    } else {
        section.member("advice", nullptr, true);
    }
    out.write("  }\n");
}

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
    member("run", runObject(r.run, r.preAnalysis.has_value()));
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
        !r.control && !r.preAnalysis);
    if (r.control) {
        writeControl(out, r, *r.control, !r.preAnalysis);
    }
    if (r.preAnalysis) {
        writePlan(out, r, *r.preAnalysis);
    }
    out.write("}\n");
    return out.commit();
}

std::optional<NetworkResults> readResultsJson(const fs::path& file) {
    const auto bytes = readFileBytes(file);
    if (!bytes) {
        return std::nullopt;
    }
    NetworkResults r;
    std::optional<PointNumbers> numbers; // once the points are read
    const auto pointNumbers = [&]() -> const PointNumbers& {
        if (!numbers) {
            numbers.emplace(r.points);
        }
        return *numbers;
    };
    std::vector<LineAccuracy> relativeLines;
    std::vector<LineAccuracy> planLines;
    std::string array;
    std::string section; // of the quality control
    try {
        const Json top =
            Json::parse(*bytes, [&](int depth, Json::parse_event_t event, Json& parsed) {
                if (event == Json::parse_event_t::key && (depth == 1 || depth == 2)) {
                    (depth == 1 ? array : section) = parsed.get<std::string>();
                }
                if (event != Json::parse_event_t::object_end) {
                    return true;
                }
                if (depth == 2 && array == "points") {
                    r.points.push_back(pointFrom(parsed));
                } else if (depth == 2 && array == "observations") {
                    r.observations.push_back(observationFrom(parsed, pointNumbers()));
                } else if (depth == 4 && array == "kontrola" && section == "relative_accuracy") {
                    relativeLines.push_back(lineFrom(parsed, pointNumbers()));
                } else if (depth == 4 && array == "projekt" && section == "relative_accuracy") {
                    planLines.push_back(lineFrom(parsed, pointNumbers()));
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
        if (const auto control = top.find("kontrola"); control != top.end()) {
            QualityControl c;
            c.global = globalTestFrom(control->at("global_test"));
            c.snooping = snoopingFrom(control->at("snooping"), r);
            c.reference = referenceCheckFrom(control->at("reference_check"), pointNumbers());
            const Json& relative = control->at("relative_accuracy");
            c.relative.skipped = optionalTextFrom(relative, "skipped");
            c.relative.lines = std::move(relativeLines);
            c.standard = standardFrom(control->at("accuracy_standard"), pointNumbers());
            r.control = std::move(c);
        }
        // Results written before runs had kinds are those of adjustments.
        const Json& run = top.at("run");
        if (run.contains("kind") &&
            indexOfName(runKindNames, run.at("kind").get<std::string>()) == 1) {
            r.preAnalysis =
                planFrom(top.at("projekt"), r, pointNumbers(), std::move(planLines));
        }
    } catch (const std::exception&) {
        return std::nullopt;
    }
    return r;
}

} // namespace ptw3
