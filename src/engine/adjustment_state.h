// The state of one adjustment: the network, the working coordinates the
// observations are linearised at, the normal equations, the two open reports,
// the iteration counter with the last-pass flag, and the control sums.
#pragma once

#include "common/run_context.h"
#include "common/text_file.h"
#include "engine/accuracy.h"
#include "engine/calculation_options.h"
#include "engine/normal_equations.h"
#include "engine/report_preamble.h"
#include "input/network_data.h"
#include "observations/projections.h"

namespace ptw3 {

/// The engine's copy of a point's coordinates (m) and a-priori errors (m).
struct WorkingPoint {
    Real x = 0, y = 0, h = 0;
    Real mx = 0, my = 0, mh = 0;
};

/// The figures of every point after an adjustment, in full precision.
struct AdjustmentOutcome {
    Table<WorkingPoint> coordinates; ///< adjusted, by point index
    Table<PointAccuracy> accuracy;   ///< Mx, My, Mp and the error ellipse, by point index
    Real mo = 1;                     ///< the computed unit error
};

struct AdjustmentState {
    AdjustmentState(NetworkData& network, CalculationOptions& options, RunContext& context)
        : network(network)
        , options(options)
        , context(context) {}

    NetworkData& network;
    CalculationOptions& options;
    RunContext& context;

    ProjectionParameters projection;
    ProblemSize size;
    NormalEquations normal;
    ReportFile mainReport;    ///< RPW.ptw
    ReportFile controlReport; ///< ER3.ptw

    Table<WorkingPoint> working; ///< current approximate coordinates, by point index
    int32_t iteration = 0;       ///< L
    bool lastPass = false;
    bool robustDistances = false;
    bool robustAngles = false;

    Real pLL = 0;      ///< weighted sum of squared free terms of the pass
    /// The pass's weighted squares of free terms by kind (S1 to S4); S5 is [pdd].
    std::array<Real, observationKindCount> kindSums{};
    Real otrebski = 0; ///< √(n/(m + 1e-11)), the Otrębski factor of the approximate mode
    Real pvvPdd = 0;   ///< [pvv]+[pdd] after the solution
    Real pdd = 0;      ///< weighted squares of the moving reference points' corrections
    Real approximateMo = 1; ///< ~Mo, from the free terms
    Real mo = 1;       ///< Mo, from the residuals
    Real incrementNorm = 0; ///< NORM(dx,dy), m

    int64_t passTotal = 0; ///< observations of the pass under way
    int64_t passDone = 0;  ///< of them evaluated
    AdjustmentOutcome* outcome = nullptr; ///< filled at the end when a caller asks for it
};

} // namespace ptw3
