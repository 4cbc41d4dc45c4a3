#include "engine/observation_blocks.h"

#include "common/encoding.h"
#include "common/stop.h"

#include <algorithm>
#include <array>
#include <thread>

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

Real observationNeglectThreshold(Real base, int32_t accelerationLevel, int32_t boost) {
    constexpr std::array<Real, 3> levelFactor = {1e-12L, 1e-6L, 1e-3L};
    const auto level = static_cast<size_t>(std::clamp(accelerationLevel, 0, 2));
    return base * levelFactor[level] * (boost == 1 ? 0.1L : 1);
}

std::vector<Real> observationCofactors(const NormalEquations& normal,
                                       const std::vector<EquationRow>& rows,
                                       Real neglectThreshold) {
    std::vector<Real> q(rows.size());
    const size_t threads =
        std::max<size_t>(1, std::min<size_t>(std::thread::hardware_concurrency(), rows.size() / 64));
    const auto work = [&](size_t first) {
        for (size_t i = first; i < rows.size(); i += threads) {
            q[i] = normal.ComputeObservationCofactor(rows[i].view(), neglectThreshold);
        }
    };
    std::vector<std::thread> pool;
    for (size_t t = 1; t < threads; ++t) {
        pool.emplace_back(work, t);
    }
    work(0);
    for (std::thread& thread : pool) {
        thread.join();
    }
    return q;
}

} // namespace ptw3
