#include "control/quality_control.h"

#include <cmath>

namespace ptw3 {

Real ReferencePointTest::shift() const { return std::hypot(dx, dy); }

QualityControl controlAdjustment(const NetworkData&, const AdjustmentOutcome&,
                                 const ControlOptions& options) {
    QualityControl c;
    c.snooping.critical = options.snoopingCritical;
    c.snooping.stepLimit = options.snoopingSteps;
    c.standard.limit = options.mpLimit;
    return c;
}

} // namespace ptw3
