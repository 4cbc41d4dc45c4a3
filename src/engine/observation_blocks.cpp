// The pieces the observation blocks share: the unknowns of a point, the row of a line's
// observation, accumulating an equation, the questions and the observations' cofactors.
#include "engine/observation_blocks.h"

#include "common/encoding.h"
#include "common/number_format.h"
#include "common/stop.h"

#include <algorithm>
#include <array>

namespace ptw3 {

PointUnknowns unknownsOf(const NetworkData& n, int32_t point) {
    const int32_t q = n.ordering.position[point];
    if (q > n.determinedCount()) {
        return {-(2 * point - 1), -2 * point};
    }
    return {2 * q - 1, 2 * q};
}

EquationRow lineEquationRow(const NetworkData& n, int32_t i, int32_t j, Real dXi, Real dYi,
                            Real dXj, Real dYj) {
    EquationRow row;
    const PointUnknowns ui = unknownsOf(n, i);
    row.add(ui.dx, dXi);
    row.add(ui.dy, dYi);
    const PointUnknowns uj = unknownsOf(n, j);
    row.add(uj.dx, dXj);
    row.add(uj.dy, dYj);
    return row;
}

std::string numberField(const NetworkData& n, int32_t point) {
    return rightAlign(n.points[point].number, pointNumberWidth);
}

void writeLines(ReportFile& report, std::span<const std::string_view> lines) {
    for (const std::string_view line : lines) {
        report.line(cp1250(line));
    }
}

void addEquation(AdjustmentState& s, ObservationKind kind, const EquationRow& row, Real t,
                 const PreparedRow* prepared) {
    const Real t2 = t * t;
    s.pLL += t2;
    s.kindSums[static_cast<size_t>(kind)] += t2;
    if (s.lastPass) {
        return;
    }
    if (prepared != nullptr) {
        s.normal.accumulate(*prepared, t);
    } else {
        s.normal.accumulate(row.view(), t);
    }
}

void askQuestion(AdjustmentState& s, const Question& q) {
    for (const std::string& line : q.controlLines) {
        s.controlReport.line(line);
    }
    if (!s.context.confirm(q.text)) {
        s.mainReport.close();
        s.controlReport.close();
        throw Stop(StopReason::UserDeclined, utf8FromCp1250(q.text));
    }
}

std::string angularResultColumns(Real observedGrad, Real mObsCc, Real vCc, Real mVCc,
                                 Real adjustedGrad, Real mAdjCc, std::string_view marker) {
    return fixed(observedGrad, 9, 5) + "|" + fixed(mObsCc, 5, 1) + "|" + fixed(vCc, 6, 1) + "|" +
           fixed(mVCc, 5, 1) + "|" + fixed(adjustedGrad, 9, 5) + "|" + fixed(mAdjCc, 5, 1) +
           std::string(marker);
}

void writeResultRow(AdjustmentState& s, const std::string& row, bool outlier) {
    s.mainReport.line(row);
    if (outlier) {
        s.controlReport.line(row);
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
