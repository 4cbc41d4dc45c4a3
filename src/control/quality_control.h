// What is tested after an adjustment, on the model of its last pass: the global test of the
// model, Baarda's data snooping with re-adjustment, the check of the reference points (each
// released alone and its catalogue position compared with the one the rest of the network
// gives it), the relative accuracy along every observed line and the accuracy standard.
// Points are named by their index in the network (1-based), observations by their index in
// the outcome's list of adjusted observations (0-based, the order of the result tables).
#pragma once

#include "common/real.h"
#include "engine/adjustment_state.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace ptw3 {

/// The accuracy standards a surveyor usually has to prove (mean position error, m).
inline constexpr Real detailedControlLimit = 0.05L; ///< detailed control network
inline constexpr Real surveyControlLimit = 0.10L;   ///< survey control network

struct ControlOptions {
    Real snoopingCritical = 3.29L; ///< |w| above which an observation is taken out (α = 0.001)
    int32_t snoopingSteps = 10;    ///< at most this many observations are taken out
    Real mpLimit = detailedControlLimit; ///< the accuracy standard, m
    /// Threads of the tests, 0 for one per processor; the figures do not depend on it.
    int32_t threads = 0;
};

/// The χ² test of [pvv] + [pdd] with f degrees of freedom against the a-priori unit error 1.
struct GlobalTest {
    enum class Verdict { Accepted, MoTooLarge, MoTooSmall };
    std::optional<std::string> skipped; ///< why it was not made (UTF-8)
    int32_t f = 0;
    Real sumOfSquares = 0; ///< [pvv] + [pdd]
    Real mo = 1;
    Real alpha = 0.05L;
    Real lower = 0;         ///< χ²(f) quantile at α/2
    Real upper = 0;         ///< χ²(f) quantile at 1 − α/2
    Real upperOneSided = 0; ///< χ²(f) quantile at 1 − α
    Verdict verdict = Verdict::Accepted;
};

/// One observation taken out by data snooping.
struct SnoopingStep {
    int32_t observation = 0; ///< the one with the largest |w|
    /// The last reading of its set, which leaves with it (a set needs two readings).
    std::optional<int32_t> alsoRemoved;
    Real w = 0;          ///< its w (σ0 = 1) when it was taken out
    Real grossError = 0; ///< its ∇ = −v/r then, in the unit of v (cc or m)
    Real moAfter = 1;    ///< Mo of the adjustment without it (and the earlier ones)
    int32_t fAfter = 0;
    /// The largest |w| left after the step and its observation, if any w is left.
    std::optional<Real> largestRemainingW;
    std::optional<int32_t> largestRemainingObservation;
};

struct Snooping {
    std::optional<std::string> skipped;
    Real critical = 3.29L;
    int32_t stepLimit = 10;
    /// The largest |w| of the data as given and its observation.
    std::optional<Real> largestW;
    std::optional<int32_t> largestObservation;
    std::vector<SnoopingStep> steps;
    bool limitReached = false; ///< stopped at the step limit with a |w| still above critical
};

/// A reference point released alone: the shift of its catalogue position.
struct ReferencePointTest {
    int32_t point = 0;
    bool moving = false; ///< a moving reference point (with a-priori errors); else fixed
    bool testable = true; ///< false when releasing it leaves the network with a defect
    Real dx = 0, dy = 0;  ///< position from the rest of the network − catalogue, m
    Real qxx = 0, qxy = 0, qyy = 0; ///< covariance of the shift, m² (Mo² of the released run)
    Real statistic = 0;   ///< the test value T
    Real critical = 0;    ///< the F quantile it is compared with
    int32_t f = 0;        ///< degrees of freedom of the released adjustment
    Real shift() const;   ///< √(dx² + dy²), m
};

/// One round of the check: every reference point not yet released, ranked by T (the
/// untestable last), and the one named doubtful in this round, if any.
struct ReferenceRound {
    std::vector<ReferencePointTest> points;
    std::optional<int32_t> doubtful; ///< index into points
};

struct ReferenceCheck {
    std::optional<std::string> skipped;
    Real alpha = 0.001L;
    std::vector<ReferenceRound> rounds;
    std::vector<int32_t> doubtfulPoints; ///< in the order they were named
};

/// The relative accuracy of two points joined by an observation.
struct LineAccuracy {
    int32_t from = 0, to = 0;   ///< point indices, in the order of the first observation
    Real length = 0;            ///< m, from the adjusted coordinates
    Real a = 0, b = 0;          ///< relative error ellipse semi-axes, m
    Real fi = 0;                ///< azimuth of the major axis, grads
    Real lengthError = 0;       ///< mean error of the distance, m
    Real lengthErrorPpm = 0;
    Real directionErrorCc = 0;  ///< mean error of the direction (azimuth), cc
};

struct RelativeAccuracy {
    std::optional<std::string> skipped;
    std::vector<LineAccuracy> lines; ///< the worst first (largest A)
};

struct AccuracyStandard {
    Real limit = detailedControlLimit;
    int32_t checked = 0;         ///< points to be determined
    std::vector<int32_t> failing; ///< above the limit or without control, the largest Mp first
    std::optional<int32_t> largestPoint;
    Real largestMp = 0;
    bool met() const { return failing.empty(); }
};

struct QualityControl {
    GlobalTest global;
    Snooping snooping;
    ReferenceCheck reference;
    RelativeAccuracy relative;
    AccuracyStandard standard;
};

} // namespace ptw3

namespace ptw3 {

/// The relative accuracy of every observed pair of the outcome, with the unit error mo.
RelativeAccuracy relativeAccuracy(const AdjustmentOutcome& outcome, Real mo);

/// The points to be determined against the limit, with their Mp by point index.
AccuracyStandard accuracyStandard(const NetworkData& network, const Table<Real>& mp, Real limit);

/// The quality control of an adjustment whose outcome was collected (with its last pass's
/// model). The network is the one the adjustment ran on.
QualityControl controlAdjustment(const NetworkData& network, const AdjustmentOutcome& outcome,
                                 const ControlOptions& options);

} // namespace ptw3
