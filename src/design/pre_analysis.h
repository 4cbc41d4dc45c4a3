// Planning a network before it is measured. The accuracy of a least-squares network depends
// on its geometry and the observations' mean errors, not on the observed values: the
// pre-analysis linearises the planned observations at the approximate coordinates (their
// values computed from those coordinates) and gives the expected figures with the a-priori
// unit error 1. The design advisor proposes observations to add, greedily, each step the
// candidate that improves the goal most, its effect on the cofactors a rank-one update.
// Points are named by their index in the network (1-based), observations by their index in
// the outcome's list of adjusted observations (0-based).
#pragma once

#include "control/quality_control.h"
#include "engine/adjustment_state.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace ptw3 {

/// Below these redundancy numbers an observation is weakly controlled, or not at all.
inline constexpr Real weakRedundancy = 0.1L;
inline constexpr Real noRedundancy = 0.01L;

/// A candidate observation the advisor may propose.
struct CandidateObservation {
    ListedKind kind = ListedKind::Distance; ///< Distance or Direction
    int32_t from = 0, to = 0;               ///< point indices; a direction's station first
    Real meanError = 0;                     ///< m for a distance, cc for a direction
    std::optional<int32_t> line;            ///< its line in KANDYDACI, when read from there
};

struct PlanOptions {
    Real mpLimit = detailedControlLimit; ///< the accuracy standard, m
    /// The advisor's second goal: every observation with r at least this.
    std::optional<Real> minRedundancy;
    bool advise = false; ///< run the design advisor
    /// Candidates generated: every pair of points within this distance (m) not yet joined.
    std::optional<Real> candidatesWithin;
    bool candidateDistances = true;
    bool candidateDirections = true;
    Real candidateDistanceError = 0.005L; ///< m
    Real candidateDirectionError = 10;    ///< cc
    int32_t advisorBudget = 50;           ///< at most this many proposals
};

/// A point's expected figures (σ0 = 1).
struct PlannedPoint {
    int32_t point = 0;
    Real mx = 0, my = 0, mp = 0; ///< m
    Real a = 0, b = 0, fi = 0;   ///< error ellipse, m and grads
    bool controlled = true;      ///< linked to at least three others
};

/// An observation's expected reliability.
struct PlannedObservation {
    int32_t observation = 0;
    Real r = 0;              ///< redundancy number
    std::optional<Real> mdb; ///< minimal detectable bias, in the unit of the observation
};

/// One observation the advisor proposes, with the state of the plan after it is added.
struct Proposal {
    CandidateObservation candidate;
    Real worstMp = 0;        ///< the largest Mp among all points to be determined, m
    int32_t failing = 0;     ///< points above the limit or without control
    int32_t weakObservations = 0; ///< observations with r below the second goal (0 without it)
};

struct DesignAdvice {
    std::optional<std::string> skipped; ///< why no advice was made (UTF-8)
    int32_t candidates = 0;             ///< candidates considered
    Real worstMpBefore = 0;
    int32_t failingBefore = 0;
    int32_t weakBefore = 0;
    std::vector<Proposal> proposals; ///< in the order they are proposed
    bool goalMet = false;
    /// Why the advisor stopped: the goal met, no candidate helps, or the budget spent.
    std::string stopReason;
};

struct PreAnalysis {
    std::vector<PlannedPoint> points;             ///< every point to be determined
    std::vector<PlannedObservation> observations; ///< every listed observation
    RelativeAccuracy lines;                       ///< with σ0 = 1
    AccuracyStandard standard;
    std::optional<DesignAdvice> advice; ///< when the advisor was asked for
};

/// The candidates of the file KANDYDACI of the folder, one a line: the kind (D a distance,
/// K a direction), the two point numbers (a direction's station first), a value (ignored)
/// and the mean error (m, or cc). Lines that name an unknown point or kind go to `refused`
/// with their number and reason (UTF-8). No file, no candidates.
std::vector<CandidateObservation> readCandidates(const std::filesystem::path& folder,
                                                 const NetworkData& network,
                                                 std::vector<std::string>& refused);

/// Every pair of points within the distance of each other, not yet joined by an observation,
/// as a distance and a direction (from a station that has a direction set), as asked.
std::vector<CandidateObservation> generateCandidates(const NetworkData& network,
                                                     const AdjustmentOutcome& outcome,
                                                     const PlanOptions& options);

/// Replaces every observation's value by the one the approximate coordinates give, less its
/// reduction to the plane of the system, so that a plan written with placeholder values
/// adjusts without corrections and with no residual.
void computePlannedValues(NetworkData& network, SystemZone system);

/// The expected figures of a plan adjusted once at its approximate coordinates (the outcome
/// of that adjustment, full analysis), and the advisor's proposals when asked for.
PreAnalysis analysePlan(const NetworkData& network, const AdjustmentOutcome& outcome,
                        const PlanOptions& options,
                        const std::vector<CandidateObservation>& candidates);

} // namespace ptw3
