// The fields of a point and of an observation in wyniki.json, punkty.csv and
// obserwacje.csv, and of the relative accuracy of a line in linie.csv: one table each, so
// that every format carries the same names, units and roundings. A unit closes every name
// that has one (x_m, v_cc, fi_grad); angular and length observations have fields of their own
// unit family.
#pragma once

#include "export/results.h"

#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace ptw3 {

/// A field's value: absent (null), a number rounded to the field's decimals, an integer, a
/// UTF-8 text or a flag.
using FieldValue = std::variant<std::monostate, Real, int32_t, std::string, bool>;

/// Which observations carry a field: all, the angular kinds or the lengths.
enum class UnitFamily { Any, Angular, Length };

struct PointField {
    std::string_view name;
    int decimals; ///< of a number
    FieldValue (*value)(const PointResult&);
};

struct ObservationField {
    std::string_view name;
    UnitFamily family;
    int decimals; ///< of a number
    FieldValue (*value)(const NetworkResults&, const ObservationResult&);
};

/// A field of the relative accuracy of a line (linie.csv).
struct LineField {
    std::string_view name;
    int decimals; ///< of a number
    FieldValue (*value)(const NetworkResults&, const LineAccuracy&);
};

std::span<const PointField> pointFields();
std::span<const ObservationField> observationFields();
std::span<const LineField> lineFields();

/// True when observations of this kind carry the field.
bool carries(const ObservationField& field, ListedKind kind);

/// The names the files use for the kinds.
std::string_view pointKindName(PointKind kind);
std::string_view observationKindName(ListedKind kind);

/// v rounded half to even to the given decimals, as the double nearest to that decimal.
double roundedTo(Real v, int decimals);

/// At each observation, the data-snooping step that took it out (from 1), 0 for none; the
/// results must carry the quality control.
std::vector<int32_t> snoopingSteps(const NetworkResults& r);

} // namespace ptw3
