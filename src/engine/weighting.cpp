#include "engine/weighting.h"

#include <cmath>

namespace ptw3 {

RobustFlags robustFlags(AdjustmentPrinciple principle) {
    switch (principle) {
    case AdjustmentPrinciple::LeastSquares:
        return {false, false};
    case AdjustmentPrinciple::RobustDistances:
        return {true, false};
    case AdjustmentPrinciple::RobustAngles:
        return {false, true};
    case AdjustmentPrinciple::RobustDistancesAndAngles:
        return {true, true};
    }
    return {};
}

Real robustWeightRoot(Real s, Real l) {
    const Real r = std::sqrt(100 / std::sqrt(1 + 1'000'000 * s * s * l * l));
    return s * r;
}

void addCoordinatePseudoObservations(const NetworkData& n, NormalEquations& normal) {
    if (n.lrsxy == 0) {
        return;
    }
    for (int32_t p = 1; p <= n.determinedCount(); ++p) {
        const Point& point = n.points[p];
        const int32_t k = n.ordering.position[p];
        if (point.mx > pseudoObservationError) {
            const Real s = 1 / (point.mx + errorGuard);
            normal.addToDiagonal(2 * k - 1, s * s);
        }
        if (point.my > pseudoObservationError) {
            const Real s = 1 / (point.my + errorGuard);
            normal.addToDiagonal(2 * k, s * s);
        }
    }
}

} // namespace ptw3
