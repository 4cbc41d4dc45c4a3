// The state of one adjustment: the network, the working coordinates the
// observations are linearised at, the normal equations, the two open reports,
// the iteration counter with the last-pass flag, and the control sums.
#pragma once

#include "common/run_context.h"
#include "common/text_file.h"
#include "engine/accuracy.h"
#include "engine/calculation_options.h"
#include "solver/normal_equations.h"
#include "solver/worker_pool.h"
#include "engine/report_preamble.h"
#include "input/network_data.h"
#include "observations/projections.h"

#include <array>
#include <memory>
#include <optional>
#include <span>
#include <vector>

namespace ptw3 {

/// The engine's copy of a point's coordinates (m) and a-priori errors (m).
struct WorkingPoint {
    Real x = 0, y = 0, h = 0;
    Real mx = 0, my = 0, mh = 0;
};

/// An observation equation already multiplied by its weight root: up to three points.
struct EquationRow {
    std::array<EquationTerm, 6> terms{};
    int32_t size = 0;

    void add(int32_t unknown, Real coefficient) {
        terms[static_cast<size_t>(size++)] = {unknown, coefficient};
    }
    std::span<const EquationTerm> view() const {
        return {terms.data(), static_cast<size_t>(size)};
    }
};

/// A weighted row rounded to double, as the tests made after an adjustment use it: half the
/// size of the engine's row, for the hundreds of thousands of equations of a large network.
struct ModelRow {
    struct Term {
        int32_t unknown = 0;
        double coefficient = 0;
    };
    std::array<Term, 6> terms{};
    int32_t size = 0;

    ModelRow() = default;
    explicit ModelRow(const EquationRow& row)
        : size(row.size) {
        for (int32_t k = 0; k < size; ++k) {
            const EquationTerm& t = row.terms[static_cast<size_t>(k)];
            terms[static_cast<size_t>(k)] = {t.unknown, static_cast<double>(t.coefficient)};
        }
    }
    std::span<const Term> view() const { return {terms.data(), static_cast<size_t>(size)}; }
};

/// One equation of the last pass, linearised at the final coordinates, in double.
struct ModelEquation {
    ModelRow row;          ///< weighted; a fixed point p's terms carry −(2p−1) and −2p
    double freeTerm = 0;   ///< weighted: the residual times the weight root
    double weightRoot = 0; ///< √p, 1/cc or 1/m
    double cofactor = 0;   ///< row N⁻¹ rowᵀ of the weighted row, from the selected inverse
    ObservationKind kind = ObservationKind::Angles;
};

/// The cofactor of the coordinate difference of two points joined by an observation
/// (m² per unit weight): Q_jj + Q_ii − Q_ij − Q_ji, a fixed end's blocks being zero.
struct LineCofactor {
    int32_t from = 0, to = 0; ///< point indices
    Real qxx = 0, qxy = 0, qyy = 0;
};

/// What the tests made after an adjustment need of its last pass.
struct LastPassModel {
    std::vector<ModelEquation> equations; ///< in the order they were evaluated
    std::vector<LineCofactor> lines;      ///< every pair of points joined by an observation
    Table<WorkingPoint> given;            ///< the coordinates and a-priori errors as given
    Table<PointCofactor> points;          ///< every point's 2x2 block of N⁻¹ (0 when fixed)
    /// The supernodes of the adjustment's factor when double-double solved it: the normal
    /// matrix of the last pass has the same pattern.
    std::shared_ptr<const SupernodalStructure> structure;
};

/// The kinds of observation the result tables list; directions are listed one by one.
enum class ListedKind : uint8_t { Angle, Direction, Distance, GpsDistance, Azimuth, GpsAzimuth };

/// One row of the result tables of the last pass, in full precision.
struct AdjustedObservation {
    ListedKind kind = ListedKind::Angle;
    SourceLine source;
    /// Point indices: an angle's left target, station and right target; a direction's
    /// station and target in `from` and `to`; a line's ends i and j as listed.
    int32_t left = 0, from = 0, to = 0;
    Real observed = 0;          ///< as listed, reduced to the plane: grads, or m for lengths
    Real adjusted = 0;          ///< grads or m
    Real residual = 0;          ///< v, cc or m
    Real meanError = 0;         ///< a-priori m, cc or m
    Real adjustedMeanError = 0; ///< of the adjusted observation
    Real residualMeanError = 0; ///< mV
    bool outlier = false;       ///< marked " *"
    /// q = p·a N⁻¹ aᵀ with the weight p of the last pass, the share of the observation taken
    /// by the adjustment (its redundancy number is 1 − q); only in the full analysis.
    std::optional<Real> share;
};

/// The figures of every point after an adjustment, in full precision.
struct AdjustmentOutcome {
    Table<WorkingPoint> coordinates; ///< adjusted, by point index
    Table<PointAccuracy> accuracy;   ///< Mx, My, Mp and the error ellipse, by point index
    Real mo = 1;                     ///< the computed unit error
    ProblemSize size;                ///< n, m and the points without control
    AnalysisMode analysisMode = AnalysisMode::Full; ///< of the last pass
    bool robust = false;             ///< the last pass had robust weights
    std::array<PartialUnitError, observationKindCount> partialUnitErrors{};
    std::vector<AdjustedObservation> observations; ///< in the order of the result tables
    LastPassModel model;
};

struct AdjustmentState {
    AdjustmentState(NetworkData& network, const CalculationOptions& options, RunContext& context)
        : network(network)
        , options(options)
        , context(context) {}

    NetworkData& network;
    const CalculationOptions& options;
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

    /// μ̄ of the distances in the last pass (ppm), written back to redukcje with the results.
    std::optional<Real> meanDistortionPpm;

    /// The threads that evaluate the observations of a pass (options.threadCount of them).
    WorkerPool& workers() {
        if (!evaluationPool) {
            evaluationPool = std::make_unique<WorkerPool>(options.threadCount);
        }
        return *evaluationPool;
    }
    std::unique_ptr<WorkerPool> evaluationPool;

    int64_t passTotal = 0; ///< observations of the pass under way
    int64_t passDone = 0;  ///< of them evaluated
    AdjustmentOutcome* outcome = nullptr; ///< filled at the end when a caller asks for it
};

} // namespace ptw3
