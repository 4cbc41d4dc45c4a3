#include "engine/adjustment.h"

namespace ptw3 {

void adjustNetwork(CalculationOptions& /*options*/, NetworkData& /*network*/,
                   CalculationResults& results, RunContext& /*context*/) {
    // The engine is not built yet: nothing is adjusted and no figures are produced.
    results = CalculationResults{};
}

} // namespace ptw3
