#include "export/result_fields.h"

#include <array>
#include <cmath>

namespace ptw3 {
namespace {

using R = const NetworkResults&;
using O = const ObservationResult&;
using P = const PointResult&;
using enum UnitFamily;

constexpr int text = 0;      // decimals of a field that is not a number
constexpr int metres = 5;    // 0.01 mm
constexpr int grads = 6;     // 0.01 cc
constexpr int cc = 2;
constexpr int fiGrads = 4;
constexpr int ratio = 4;     // redundancy numbers
constexpr int statistic = 3; // normalised residuals

FieldValue pointNumber(R r, int32_t index) {
    if (index < 0) {
        return {};
    }
    return r.points[static_cast<size_t>(index)].number;
}

template <class T> FieldValue optional(const std::optional<T>& v) {
    return v ? FieldValue(*v) : FieldValue();
}

std::optional<Real> figure(O o, std::optional<Real> ReliabilityFigures::*member) {
    return o.reliability ? (*o.reliability).*member : std::nullopt;
}

// clang-format off
constexpr std::array<PointField, 11> pointTable = {{
    {"number",     text,    [](P p) -> FieldValue { return p.number; }},
    {"kind",       text,    [](P p) -> FieldValue { return std::string(pointKindName(p.kind)); }},
    {"x_m",        metres,  [](P p) -> FieldValue { return p.x; }},
    {"y_m",        metres,  [](P p) -> FieldValue { return p.y; }},
    {"mx_m",       metres,  [](P p) -> FieldValue { return p.mx; }},
    {"my_m",       metres,  [](P p) -> FieldValue { return p.my; }},
    {"mp_m",       metres,  [](P p) -> FieldValue { return p.mp; }},
    {"a_m",        metres,  [](P p) -> FieldValue { return p.a; }},
    {"b_m",        metres,  [](P p) -> FieldValue { return p.b; }},
    {"fi_grad",    fiGrads, [](P p) -> FieldValue { return p.fi; }},
    {"controlled", text,    [](P p) -> FieldValue { return p.controlled; }},
}};

constexpr std::array<ObservationField, 26> observationTable = {{
    {"kind",           Any,     text,      [](R, O o) -> FieldValue { return std::string(observationKindName(o.kind)); }},
    {"file",           Any,     text,      [](R, O o) { return optional(o.file); }},
    {"line",           Any,     text,      [](R, O o) { return optional(o.line); }},
    {"left",           Any,     text,      [](R r, O o) { return pointNumber(r, o.left); }},
    {"from",           Any,     text,      [](R r, O o) { return pointNumber(r, o.from); }},
    {"to",             Any,     text,      [](R r, O o) { return pointNumber(r, o.to); }},
    {"observed_grad",  Angular, grads,     [](R, O o) -> FieldValue { return o.observed; }},
    {"adjusted_grad",  Angular, grads,     [](R, O o) -> FieldValue { return o.adjusted; }},
    {"observed_m",     Length,  metres,    [](R, O o) -> FieldValue { return o.observed; }},
    {"adjusted_m",     Length,  metres,    [](R, O o) -> FieldValue { return o.adjusted; }},
    {"v_cc",           Angular, cc,        [](R, O o) -> FieldValue { return o.residual; }},
    {"v_m",            Length,  metres,    [](R, O o) -> FieldValue { return o.residual; }},
    {"m_apriori_cc",   Angular, cc,        [](R, O o) -> FieldValue { return o.meanError; }},
    {"m_apriori_m",    Length,  metres,    [](R, O o) -> FieldValue { return o.meanError; }},
    {"m_adjusted_cc",  Angular, cc,        [](R, O o) -> FieldValue { return o.adjustedMeanError; }},
    {"m_adjusted_m",   Length,  metres,    [](R, O o) -> FieldValue { return o.adjustedMeanError; }},
    {"mv_cc",          Angular, cc,        [](R, O o) -> FieldValue { return o.residualMeanError; }},
    {"mv_m",           Length,  metres,    [](R, O o) -> FieldValue { return o.residualMeanError; }},
    {"r",              Any,     ratio,     [](R, O o) { return o.reliability ? FieldValue(o.reliability->r) : FieldValue(); }},
    {"w",              Any,     statistic, [](R, O o) { return optional(figure(o, &ReliabilityFigures::w)); }},
    {"w_mo",           Any,     statistic, [](R, O o) { return optional(figure(o, &ReliabilityFigures::wMo)); }},
    {"gross_error_cc", Angular, cc,        [](R, O o) { return optional(figure(o, &ReliabilityFigures::grossError)); }},
    {"gross_error_m",  Length,  metres,    [](R, O o) { return optional(figure(o, &ReliabilityFigures::grossError)); }},
    {"mdb_cc",         Angular, cc,        [](R, O o) { return optional(figure(o, &ReliabilityFigures::mdb)); }},
    {"mdb_m",          Length,  metres,    [](R, O o) { return optional(figure(o, &ReliabilityFigures::mdb)); }},
    {"outlier",        Any,     text,      [](R, O o) -> FieldValue { return o.outlier; }},
}};
// clang-format on

} // namespace

std::span<const PointField> pointFields() { return pointTable; }
std::span<const ObservationField> observationFields() { return observationTable; }

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
} // namespace ptw3
