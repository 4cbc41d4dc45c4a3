#include "engine/pass_progress.h"

#include "common/encoding.h"
#include "common/run_phases.h"

namespace ptw3 {
namespace {

/// Observations between two looks for a stop; a few milliseconds of work at most.
constexpr int64_t stepsBetweenChecks = 256;

std::string_view passPhase(const AdjustmentState& s) {
    return s.lastPass ? phase::observationAnalysis : phase::formingNormalEquations;
}

void report(AdjustmentState& s) {
    const double fraction =
        s.passTotal > 0 ? static_cast<double>(s.passDone) / static_cast<double>(s.passTotal) : 0;
    s.context.progress(cp1250(passPhase(s)), fraction);
}

} // namespace

void beginPassProgress(AdjustmentState& s) {
    const NetworkData& n = s.network;
    s.passDone = 0;
    s.passTotal = static_cast<int64_t>(n.lka()) + n.ld() + n.laz();
    s.context.checkCancelled();
    report(s);
}

void observationStep(AdjustmentState& s) {
    if (++s.passDone % stepsBetweenChecks == 0) {
        s.context.checkCancelled();
        report(s);
    }
}

void endPassProgress(AdjustmentState& s) {
    s.context.checkCancelled();
    s.context.progress(cp1250(passPhase(s)), 1);
}

} // namespace ptw3
