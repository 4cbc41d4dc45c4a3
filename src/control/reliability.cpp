#include "control/reliability.h"

#include <algorithm>
#include <cmath>

namespace ptw3 {

ReliabilityFigures reliabilityFigures(Real share, Real v, Real meanError, Real mo) {
    ReliabilityFigures f;
    // Round-off may carry q a hair beyond [0, 1].
    f.r = std::clamp<Real>(1 - share, 0, 1);
    if (f.r >= vanishingRedundancy) {
        const Real sigmaV = meanError * std::sqrt(f.r); // √q_v with σ0 = 1
        f.w = v / sigmaV;
        f.wMo = v / (mo * sigmaV);
        f.mdb = detectabilityFactor * meanError / std::sqrt(f.r);
    }
    if (f.r >= uncontrolledRedundancy) {
        f.grossError = -v / f.r;
    }
    return f;
}

} // namespace ptw3
