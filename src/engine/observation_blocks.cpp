#include "engine/observation_blocks.h"

#include "common/encoding.h"
#include "common/stop.h"

#include <algorithm>
#include <array>

namespace ptw3 {

PointUnknowns unknownsOf(const NetworkData& n, int32_t point) {
    const int32_t q = n.ordering.position[point];
    if (q > n.determinedCount()) {
        return {};
    }
    return {2 * q - 1, 2 * q};
}

EquationRow lineEquationRow(const NetworkData& n, int32_t i, int32_t j, Real dXi, Real dYi,
                            Real dXj, Real dYj) {
    EquationRow row;
    if (const PointUnknowns u = unknownsOf(n, i); u.dx != 0) {
        row.add(u.dx, dXi);
        row.add(u.dy, dYi);
    }
    if (const PointUnknowns u = unknownsOf(n, j); u.dx != 0) {
        row.add(u.dx, dXj);
        row.add(u.dy, dYj);
    }
    return row;
}

GridPoint workingPoint(const AdjustmentState& s, int32_t point) {
    return {s.working[point].x, s.working[point].y};
}

void addEquation(AdjustmentState& s, ObservationKind kind, const EquationRow& row, Real t) {
    const Real t2 = t * t;
    s.pLL += t2;
    s.kindSums[static_cast<size_t>(kind)] += t2;
    if (!s.lastPass) {
        s.normal.accumulate(row.view(), t);
    }
}

void askToContinue(AdjustmentState& s, std::string_view question) {
    if (!s.context.confirm(question)) {
        s.mainReport.close();
        s.controlReport.close();
        throw Stop(StopReason::UserDeclined, utf8FromCp1250(question));
    }
}

std::vector<Real> observationCofactors(const NormalEquations& normal,
                                       const std::vector<EquationRow>& rows) {
    std::vector<Real> q;
    q.reserve(rows.size());
    for (const EquationRow& row : rows) {
        q.push_back(normal.computeObservationCofactor(row.view()));
    }
    return q;
}

} // namespace ptw3
