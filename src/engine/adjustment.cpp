// The adjustment run: projection parameters, the two reports and their
// preamble, the profile of the normal matrix, the iterations and the last pass.

#include "engine/adjustment.h"

#include "common/encoding.h"
#include "common/interruption.h"
#include "common/stop.h"
#include "engine/adjustment_state.h"
#include "engine/gauss_newton.h"
#include "engine/result_files.h"
#include "engine/weighting.h"

namespace ptw3 {
namespace {

// Lays out the normal matrix from the ordering and the couplings; a profile beyond the
// store's capacity stops the computation.
void layOutProfile(AdjustmentState& s) {
    const PointGraph graph = pointGraphOf(s.network);
    const int64_t count =
        s.normal.layOut(s.network.ordering.halfBand, s.network.determinedCount(), &graph);
    s.mainReport.line(cp1250("  Liczba elementów półpasmowej macierzy normalnej = ") +
                      std::to_string(count));
    s.mainReport.line(" ");
    if (count > profileCapacity) {
        s.mainReport.line(cp1250(" *** Przekrocznie krytycznej wielkości u.r.n =") +
                          std::to_string(count));
        s.mainReport.close();
        s.controlReport.close();
        const std::string box = cp1250(" Przekroczenie krytycznej wielkości macierzy URN ") + "\n" +
                                std::to_string(count) + "\n" + " kontakt - KORVANDELTIS";
        s.context.inform(box);
        throw Stop(StopReason::FatalInput, utf8FromCp1250(box));
    }
}

} // namespace

PointGraph pointGraphOf(const NetworkData& n) {
    PointGraph g;
    g.points = n.determinedCount();
    for (int32_t q = 1; q <= g.points; ++q) {
        for (const int32_t p : n.neighbours[n.ordering.order[q]]) {
            if (p <= g.points) {
                g.neighbours.push_back(n.ordering.position[p] - 1);
            }
        }
        g.start.push_back(static_cast<int64_t>(g.neighbours.size()));
    }
    return g;
}

void adjustNetwork(const CalculationOptions& options, NetworkData& network,
                   CalculationResults& results, RunContext& context, AdjustmentOutcome* outcome) {
    AdjustmentState s(network, options, context);
    s.outcome = outcome;
    if (outcome != nullptr) {
        *outcome = {};
    }
    s.projection = projectionParameters(options.system);
    const RobustFlags robust = robustFlags(options.principle);
    s.robustDistances = robust.distances;
    s.robustAngles = robust.angles;
    s.normal.setArithmetic(options.arithmetic);
    s.normal.setThreadCount(options.threadCount);

    s.mainReport = ReportFile(options.workingFolder, "rpw.ptw", context);
    s.controlReport = ReportFile(options.workingFolder, "er3.ptw", context);
    markingInterruption({&s.mainReport, &s.controlReport}, [&] {
        s.size = writePreamble(network, options, s.projection, s.mainReport, context);
        layOutProfile(s);
        runIterations(s, results);
        writeResults(s, results);
    });
}

} // namespace ptw3
