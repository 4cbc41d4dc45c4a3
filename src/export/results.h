// The results of one computation as the files beside the reports give them: the run, the
// counts, the unit errors, every point with its accuracy and every listed observation
// with its residual analysis and reliability. Texts are UTF-8. Collected from the engine's
// outcome after the reports are written; nothing is recomputed but the reliability
// figures, which follow from each observation's share of the adjustment.
#pragma once

#include "common/clock.h"
#include "common/real.h"
#include "control/quality_control.h"
#include "design/pre_analysis.h"
#include "engine/adjustment_state.h"
#include "control/reliability.h"

#include <optional>
#include <string>
#include <vector>

namespace ptw3 {

enum class PointKind { Fixed, MovingReference, Determined };

/// What the reliability figures rest on: each observation's share of the adjustment (full
/// analysis), Otrębski's mean share n/m (approximate analysis), or nothing (robust weights).
enum class ReliabilityBasis { Full, Approximate, None };

struct RunInfo {
    std::string programVersion;
    SystemZone system;
    AdjustmentPrinciple principle = AdjustmentPrinciple::LeastSquares;
    AnalysisMode analysisMode = AnalysisMode::Full; ///< of the last pass
    int32_t iterations = 0;
    AccelerationLevel accelerationLevel = AccelerationLevel::None;
    bool accelerationBoost = false;
    LocalDateTime started;
    LocalDateTime finished;
    bool systemDefect = false;
    ReliabilityBasis reliability = ReliabilityBasis::Full;
};

struct Counts {
    int32_t lp = 0, ls = 0, lr = 0, lrsxy = 0;
    int32_t lka = 0, lst = 0, lki = 0, lazt = 0, lazg = 0, ldk = 0, ldg = 0;
    int32_t n = 0, m = 0;
    int32_t pointsWithoutControl = 0;
    int32_t outliers = 0;
    std::optional<Real> redundancySum; ///< Σr over the listed observations
};

struct PartialEstimate {
    ObservationKind kind = ObservationKind::Distances;
    Real mo = 1;
    Real freedom = 0;
    bool apriori = false;
};

struct UnitErrorSummary {
    Real mo = 1;         ///< computed
    Real moReported = 1; ///< as the closing block prints it (1 after robust estimation)
    std::vector<PartialEstimate> partial; ///< the estimates the closing block prints
    Real z = 0;                           ///< global reliability index (m − n)/m
    Real meanPositionError = 0;           ///< Mp(sr), m
    Real maxPositionError = 0;            ///< Mp(max), m
    std::optional<std::string> maxPositionPoint;
};

struct PointResult {
    std::string number;
    PointKind kind = PointKind::Determined;
    Real x = 0, y = 0;           ///< adjusted, m
    Real mx = 0, my = 0, mp = 0; ///< m
    Real a = 0, b = 0;           ///< error ellipse semi-axes, m
    Real fi = 0;                 ///< azimuth of the major axis, grads
    bool controlled = true;      ///< false for a point without control
};

struct ObservationResult {
    ListedKind kind = ListedKind::Angle;
    std::optional<std::string> file; ///< as found in the working folder
    std::optional<int32_t> line;
    /// Indices into NetworkResults::points, −1 for none: an angle's left target, station
    /// (`from`) and right target (`to`); a direction's station and target; a line's ends.
    int32_t left = -1, from = -1, to = -1;
    Real observed = 0;          ///< grads, or m for lengths
    Real adjusted = 0;          ///< grads or m
    Real residual = 0;          ///< v, cc or m
    Real meanError = 0;         ///< a priori, cc or m
    Real adjustedMeanError = 0; ///< cc or m
    Real residualMeanError = 0; ///< mV, cc or m
    bool outlier = false;
    std::optional<ReliabilityFigures> reliability;
};

/// True for the kinds whose values are lengths in metres; the others are angular (grads for
/// values, cc for residuals and mean errors).
inline bool isLength(ListedKind kind) {
    return kind == ListedKind::Distance || kind == ListedKind::GpsDistance;
}

struct NetworkResults {
    RunInfo run;
    Counts counts;
    UnitErrorSummary unitError;
    std::vector<PointResult> points;
    std::vector<ObservationResult> observations;
    /// The quality control, when it was made; its observation indices are those of
    /// `observations` and its point indices those of `points` plus one.
    std::optional<QualityControl> control;
    /// Set when these are the expected figures of a plan rather than an adjustment's.
    std::optional<PreAnalysis> preAnalysis;
};

/// The results of a computation that wrote its reports. `options` are the options of the
/// run, `started` and `finished` its start and end.
NetworkResults collectResults(const NetworkData& network, const CalculationOptions& options,
                              const AdjustmentOutcome& outcome, const CalculationResults& results,
                              const LocalDateTime& started, const LocalDateTime& finished);

/// Makes the results of a plan's single adjustment those of its pre-analysis, which they
/// then carry: each planned point takes its figures of the unit error 1 (the fixed points
/// keep theirs), each observation its r and MDB with the mean errors of its adjusted value
/// m·√(1 − r) and of its residual m·√r (no w and no ∇: nothing was measured), the unit error
/// is 1 and Mp(sr), Mp(max) are those of the plan; no quality control goes with them.
void applyPreAnalysis(NetworkResults& results, PreAnalysis analysis);

} // namespace ptw3
