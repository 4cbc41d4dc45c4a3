#include "engine/pass_progress.h"

#include "common/encoding.h"
#include "common/run_phases.h"

#include <algorithm>
#include <thread>

namespace ptw3 {
namespace {

/// Observations between two looks for a stop; a few milliseconds of work at most.
constexpr int64_t stepsBetweenChecks = 256;
/// Rows each thread takes per step of the cofactors: as many as observationCofactors needs
/// to use every core, and at most some 0.1 s of work on a network of 5000 points.
constexpr size_t cofactorRowsPerThread = 64;

std::string_view passPhase(const AdjustmentState& s) {
    return s.lastPass ? phase::observationAnalysis : phase::formingNormalEquations;
}

// In the full analysis the last pass counts cofactor rows, not evaluated observations.
bool countsCofactors(const AdjustmentState& s) {
    return s.lastPass && s.options.analysisMode != analysisApproximate;
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
    s.passSteps = 0;
    s.passTotal = static_cast<int64_t>(n.lka()) + n.ld() + n.laz();
    s.context.checkCancelled();
    report(s);
}

void observationStep(AdjustmentState& s) {
    if (!countsCofactors(s)) {
        ++s.passDone;
    }
    if (++s.passSteps % stepsBetweenChecks == 0) {
        s.context.checkCancelled();
        report(s);
    }
}

void endPassProgress(AdjustmentState& s) {
    s.context.checkCancelled();
    s.context.progress(cp1250(passPhase(s)), 1);
}

std::vector<Real> analysedCofactors(AdjustmentState& s, const std::vector<EquationRow>& rows,
                                    Real neglectThreshold) {
    const size_t threads = std::max<size_t>(1, std::thread::hardware_concurrency());
    const size_t step = cofactorRowsPerThread * threads;
    std::vector<Real> q;
    q.reserve(rows.size());
    std::vector<EquationRow> part;
    for (size_t first = 0; first < rows.size(); first += step) {
        s.context.checkCancelled();
        report(s);
        const size_t last = std::min(rows.size(), first + step);
        part.assign(rows.begin() + static_cast<std::ptrdiff_t>(first),
                    rows.begin() + static_cast<std::ptrdiff_t>(last));
        const std::vector<Real> partQ = observationCofactors(s.normal, part, neglectThreshold);
        q.insert(q.end(), partQ.begin(), partQ.end());
        s.passDone += static_cast<int64_t>(last - first);
    }
    report(s);
    return q;
}

} // namespace ptw3
