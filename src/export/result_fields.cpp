#include "export/result_fields.h"

#include <array>
#include <cmath>

namespace ptw3 {
namespace {

using R = const NetworkResults&;
using O = const ObservationResult&;
using P = const PointResult&;
using L = const LineAccuracy&;
using enum UnitFamily;

constexpr int text = 0;   // decimals of a field that is not a number
constexpr int metres = 5; // 0.01 mm
constexpr int grads = 6;  // 0.01 cc
constexpr int cc = 2;
constexpr int fiGrads = 4;
constexpr int ratio = 4;     // redundancy numbers
constexpr int statistic = 3; // normalised residuals
constexpr int ppm = 2;

FieldValue pointNumber(R r, int32_t index) {
    if (index < 0) {
        return {};
    }
    return r.points[static_cast<size_t>(index)].number;
}

template <class T> FieldValue optional(const std::optional<T>& v) {
    return v ? FieldValue(*v) : FieldValue();
}

FieldValue redundancy(R, O o) {
    return o.reliability ? FieldValue(o.reliability->r) : FieldValue();
}

template <std::optional<Real> ReliabilityFigures::*figure> FieldValue reliability(R, O o) {
    return o.reliability ? optional((*o.reliability).*figure) : FieldValue();
}

using V = FieldValue;
constexpr auto kindName = observationKindName;
using F = ReliabilityFigures;

// clang-format off
constexpr std::array<PointField, 11> pointTable = {{
    {"number",     text,    [](P p) -> V { return p.number; }},
    {"kind",       text,    [](P p) -> V { return std::string(pointKindName(p.kind)); }},
    {"x_m",        metres,  [](P p) -> V { return p.x; }},
    {"y_m",        metres,  [](P p) -> V { return p.y; }},
    {"mx_m",       metres,  [](P p) -> V { return p.mx; }},
    {"my_m",       metres,  [](P p) -> V { return p.my; }},
    {"mp_m",       metres,  [](P p) -> V { return p.mp; }},
    {"a_m",        metres,  [](P p) -> V { return p.a; }},
    {"b_m",        metres,  [](P p) -> V { return p.b; }},
    {"fi_grad",    fiGrads, [](P p) -> V { return p.fi; }},
    {"controlled", text,    [](P p) -> V { return p.controlled; }},
}};

constexpr std::array<ObservationField, 26> observationTable = {{
    {"kind",           Any,     text,      [](R, O o) -> V { return std::string(kindName(o.kind)); }},
    {"file",           Any,     text,      [](R, O o) { return optional(o.file); }},
    {"line",           Any,     text,      [](R, O o) { return optional(o.line); }},
    {"left",           Any,     text,      [](R r, O o) { return pointNumber(r, o.left); }},
    {"from",           Any,     text,      [](R r, O o) { return pointNumber(r, o.from); }},
    {"to",             Any,     text,      [](R r, O o) { return pointNumber(r, o.to); }},
    {"observed_grad",  Angular, grads,     [](R, O o) -> V { return o.observed; }},
    {"adjusted_grad",  Angular, grads,     [](R, O o) -> V { return o.adjusted; }},
    {"observed_m",     Length,  metres,    [](R, O o) -> V { return o.observed; }},
    {"adjusted_m",     Length,  metres,    [](R, O o) -> V { return o.adjusted; }},
    {"v_cc",           Angular, cc,        [](R, O o) -> V { return o.residual; }},
    {"v_m",            Length,  metres,    [](R, O o) -> V { return o.residual; }},
    {"m_apriori_cc",   Angular, cc,        [](R, O o) -> V { return o.meanError; }},
    {"m_apriori_m",    Length,  metres,    [](R, O o) -> V { return o.meanError; }},
    {"m_adjusted_cc",  Angular, cc,        [](R, O o) -> V { return o.adjustedMeanError; }},
    {"m_adjusted_m",   Length,  metres,    [](R, O o) -> V { return o.adjustedMeanError; }},
    {"mv_cc",          Angular, cc,        [](R, O o) -> V { return o.residualMeanError; }},
    {"mv_m",           Length,  metres,    [](R, O o) -> V { return o.residualMeanError; }},
    {"r",              Any,     ratio,     redundancy},
    {"w",              Any,     statistic, reliability<&F::w>},
    {"w_mo",           Any,     statistic, reliability<&F::wMo>},
    {"gross_error_cc", Angular, cc,        reliability<&F::grossError>},
    {"gross_error_m",  Length,  metres,    reliability<&F::grossError>},
    {"mdb_cc",         Angular, cc,        reliability<&F::mdb>},
    {"mdb_m",          Length,  metres,    reliability<&F::mdb>},
    {"outlier",        Any,     text,      [](R, O o) -> V { return o.outlier; }},
}};

// The control names points by their index in the network, from 1.
constexpr std::array<LineField, 9> lineTable = {{
    {"from",           text,    [](R r, L l) { return pointNumber(r, l.from - 1); }},
    {"to",             text,    [](R r, L l) { return pointNumber(r, l.to - 1); }},
    {"length_m",       metres,  [](R, L l) -> V { return l.length; }},
    {"a_m",            metres,  [](R, L l) -> V { return l.a; }},
    {"b_m",            metres,  [](R, L l) -> V { return l.b; }},
    {"fi_grad",        fiGrads, [](R, L l) -> V { return l.fi; }},
    {"m_length_m",     metres,  [](R, L l) -> V { return l.lengthError; }},
    {"m_length_ppm",   ppm,     [](R, L l) -> V { return l.lengthErrorPpm; }},
    {"m_direction_cc", cc,      [](R, L l) -> V { return l.directionErrorCc; }},
}};
// clang-format on

} // namespace

std::span<const PointField> pointFields() {
    return pointTable;
}
std::span<const ObservationField> observationFields() {
    return observationTable;
}
std::span<const LineField> lineFields() {
    return lineTable;
}

bool carries(const ObservationField& field, ListedKind kind) {
    switch (field.family) {
    case UnitFamily::Any:
        return true;
    case UnitFamily::Angular:
        return !isLength(kind);
    case UnitFamily::Length:
        return isLength(kind);
    }
    return false;
}

std::string_view pointKindName(PointKind kind) {
    switch (kind) {
    case PointKind::Fixed:
        return "fixed";
    case PointKind::MovingReference:
        return "moving_reference";
    case PointKind::Determined:
        return "determined";
    }
    return "";
}

std::string_view observationKindName(ListedKind kind) {
    switch (kind) {
    case ListedKind::Angle:
        return "angle";
    case ListedKind::Direction:
        return "direction";
    case ListedKind::Distance:
        return "distance";
    case ListedKind::GpsDistance:
        return "gps_distance";
    case ListedKind::Azimuth:
        return "azimuth";
    case ListedKind::GpsAzimuth:
        return "gps_azimuth";
    }
    return "";
}

double roundedTo(Real v, int decimals) {
    constexpr std::array<double, 9> powersOfTen = {1, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8};
    const double scale = powersOfTen.at(static_cast<size_t>(decimals));
    // Rounding in double is several times faster than in extended precision, and the files
    // carry more decimals than the reports; dividing in double gives the double nearest to
    // the decimal value.
    return std::nearbyint(static_cast<double>(v * scale)) / scale;
}
std::vector<int32_t> snoopingSteps(const NetworkResults& r) {
    std::vector<int32_t> stepOf(r.observations.size(), 0);
    const std::vector<SnoopingStep>& steps = r.control->snooping.steps;
    for (size_t i = 0; i < steps.size(); ++i) {
        const int32_t step = static_cast<int32_t>(i) + 1;
        stepOf.at(static_cast<size_t>(steps[i].observation)) = step;
        if (steps[i].alsoRemoved) {
            stepOf.at(static_cast<size_t>(*steps[i].alsoRemoved)) = step;
        }
    }
    return stepOf;
}

} // namespace ptw3
