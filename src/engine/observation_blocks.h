// The observation blocks of an adjustment pass and the one shape they share. Every kind
// (angles with the Schreiber angles of the direction sets, distances, azimuths) brings three
// steps: evaluate, a pure function linearising one observation at the working coordinates
// (its reductions, free term, weight root, weighted equation row and the questions it
// raises); the listing of the first iteration; and the tables of the last pass. The two
// drivers below run those steps in the same order for every kind.
#pragma once

#include "engine/accuracy.h"
#include "engine/adjustment_state.h"
#include "engine/pass_progress.h"
#include "solver/normal_equations.h"

#include <algorithm>
#include <array>
#include <concepts>
#include <exception>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace ptw3 {

/// Angles (file angles and Schreiber angles, the latter reported as directions).
void angleBlock(AdjustmentState& state);
/// Distances, with the scale postulate and the mean distortion of the last pass.
void distanceBlock(AdjustmentState& state);
/// Topographic and GPS azimuths.
void azimuthBlock(AdjustmentState& state);

/// The unknowns 2q−1 (dX) and 2q (dY) of a point at position q. A fixed point p has none;
/// its coordinates are named −(2p−1) and −2p, so that the rows of the last pass keep their
/// coefficients for the tests made after the adjustment, and the normal equations drop them.
struct PointUnknowns {
    int32_t dx = 0;
    int32_t dy = 0;
};
PointUnknowns unknownsOf(const NetworkData& network, int32_t point);

/// The row of an observation of the line i–j with the coefficients of the ends' dX and dY.
EquationRow lineEquationRow(const NetworkData& network, int32_t i, int32_t j, Real dXi, Real dYi,
                            Real dXj, Real dYj);

/// A point's number right-aligned in its 16-character column.
std::string numberField(const NetworkData& network, int32_t point);

/// Writes the lines of a table text (UTF-8 in the source) to a report.
void writeLines(ReportFile& report, std::span<const std::string_view> lines);

/// What an observation is linearised at: the network, the working (current approximate)
/// coordinates, the projection, and whether its kind is robustly re-weighted.
struct Linearisation {
    const NetworkData& network;
    const Table<WorkingPoint>& working;
    const ProjectionParameters& projection;
    bool robust = false;

    GridPoint point(int32_t p) const { return {working[p].x, working[p].y}; }
};

/// A question an observation raises: the lines it writes to the control report (Windows-1250),
/// then the text asked; No stops the computation.
struct Question {
    std::vector<std::string> controlLines;
    std::string text;
    /// In the first iteration's listing the question follows the observation's row, whose
    /// figures it is about.
    bool afterListingRow = false;
};

/// Adds the normalised free term t² to [pLL] and to the kind's sum of the pass, and in an
/// iteration pass the row and t to the normal equations.
void addEquation(AdjustmentState& state, ObservationKind kind, const EquationRow& row, Real t,
                 const PreparedRow* prepared = nullptr);

/// Writes the question's lines to the control report and asks it; No closes both reports and
/// stops the computation.
void askQuestion(AdjustmentState& state, const Question& question);

/// The columns of an adjusted angle, direction or azimuth after its points: the observation
/// reduced to the plane (grads), its mean error times Mo, v and mV (cc), the adjusted value
/// (grads), its mean error (cc) and the outlier marker.
std::string angularResultColumns(Real observedGrad, Real mObsCc, Real vCc, Real mVCc,
                                 Real adjustedGrad, Real mAdjCc, std::string_view marker);

/// A row of the result tables to the main report, and to the control report too when the
/// observation is an outlier.
void writeResultRow(AdjustmentState& state, const std::string& row, bool outlier);

/// q = a N⁻¹ aᵀ of each row, from the selected inverse.
std::vector<Real> observationCofactors(const NormalEquations& normal,
                                       const std::vector<EquationRow>& rows);

/// What a kind brings to the drivers. Its Listing (first iteration) and Tables (last pass)
/// are made on the state and written as begin, then heading(k), the questions of k and
/// row(k) for every observation k, then end.
template <class Kind>
concept ObservationBlockKind =
    requires(AdjustmentState& s, const Linearisation& at, int32_t k,
             const typename Kind::Evaluation& e, typename Kind::Listing& listing,
             typename Kind::Tables& tables, Real q) {
        { Kind::count(s.network) } -> std::same_as<int32_t>;
        { Kind::robust(s) } -> std::same_as<bool>;
        { Kind::sumKind(s.network, k) } -> std::same_as<ObservationKind>;
        { Kind::evaluate(at, k) } -> std::same_as<typename Kind::Evaluation>;
        { Kind::cofactorRow(e) } -> std::same_as<const EquationRow&>;
        { Kind::weightRoot(e) } -> std::same_as<Real>;
        { e.row } -> std::convertible_to<EquationRow>;
        { e.questions } -> std::convertible_to<std::vector<Question>>;
        { e.weightedFreeTerm() } -> std::same_as<Real>;
        requires std::constructible_from<typename Kind::Listing, AdjustmentState&>;
        requires std::constructible_from<typename Kind::Tables, AdjustmentState&>;
        listing.begin();
        listing.heading(k);
        listing.row(k, e);
        listing.end();
        tables.begin();
        tables.heading(k);
        tables.row(k, e, q);
        tables.end();
    };

/// Observations evaluated together on the threads, then taken in order: the last pass
/// computes their cofactors at once too.
inline constexpr int32_t evaluationBatch = 2048;

/// Runs work(i) for i < count on the evaluation threads, in chunks; an exception thrown by
/// the work is passed on once all chunks are done.
template <class Work> void onWorkers(AdjustmentState& s, int32_t count, const Work& work) {
    WorkerPool& pool = s.workers();
    const int32_t chunks = std::min(count, 4 * pool.size());
    std::exception_ptr failure;
    std::mutex failureMutex;
    pool.forEachChunk(chunks, [&](int32_t chunk) {
        const int32_t first = static_cast<int32_t>(static_cast<int64_t>(count) * chunk / chunks);
        const int32_t end = static_cast<int32_t>(static_cast<int64_t>(count) * (chunk + 1) / chunks);
        try {
            for (int32_t i = first; i < end; ++i) {
                work(i);
            }
        } catch (...) {
            const std::lock_guard lock(failureMutex);
            failure = std::current_exception();
        }
    });
    if (failure) {
        std::rethrow_exception(failure);
    }
}

/// The observations first..last of a kind evaluated, each on its own (the evaluation reads
/// only the network and the coordinates), and their rows prepared for the normal equations
/// when `prepared` is given (size -1 for a row to be accumulated as it is).
template <ObservationBlockKind Kind>
void evaluateBatch(AdjustmentState& s, const Linearisation& at, int32_t first, int32_t last,
                   std::vector<typename Kind::Evaluation>& batch,
                   std::vector<PreparedRow>* prepared = nullptr) {
    const auto count = static_cast<size_t>(last - first + 1);
    batch.resize(count);
    if (prepared != nullptr) {
        prepared->resize(count);
    }
    onWorkers(s, last - first + 1, [&](int32_t i) {
        const auto k = static_cast<size_t>(i);
        batch[k] = Kind::evaluate(at, first + i);
        if (prepared != nullptr && !s.normal.prepare(batch[k].row.view(), (*prepared)[k])) {
            (*prepared)[k].size = -1;
        }
    });
}

/// Rows ahead of the one accumulated whose entries are fetched into the cache.
inline constexpr size_t prefetchDistance = 4;

/// An iteration's pass over a kind: every observation is evaluated, its questions asked and
/// its equation accumulated; the first iteration lists it.
template <ObservationBlockKind Kind> void iterationPass(AdjustmentState& s) {
    const Linearisation at{s.network, s.working, s.projection, Kind::robust(s)};
    std::optional<typename Kind::Listing> listing;
    if (s.iteration == 1) {
        listing.emplace(s);
        listing->begin();
    }
    const int32_t count = Kind::count(s.network);
    std::vector<typename Kind::Evaluation> batch;
    std::vector<PreparedRow> prepared;
    for (int32_t first = 1; first <= count; first += evaluationBatch) {
        const int32_t last = std::min(count, first + evaluationBatch - 1);
        evaluateBatch<Kind>(s, at, first, last, batch, &prepared);
        for (size_t i = 0; i < std::min(prefetchDistance, prepared.size()); ++i) {
            if (prepared[i].size >= 0) {
                s.normal.prefetch(prepared[i]);
            }
        }
        for (int32_t k = first; k <= last; ++k) {
            const auto i = static_cast<size_t>(k - first);
            const typename Kind::Evaluation& e = batch[i];
            if (i + prefetchDistance < prepared.size() && prepared[i + prefetchDistance].size >= 0) {
                s.normal.prefetch(prepared[i + prefetchDistance]);
            }
            if (listing) {
                listing->heading(k);
            }
            for (const Question& q : e.questions) {
                if (!q.afterListingRow) {
                    askQuestion(s, q);
                }
            }
            addEquation(s, Kind::sumKind(s.network, k), e.row, e.weightedFreeTerm(),
                        prepared[i].size >= 0 ? &prepared[i] : nullptr);
            if (listing) {
                listing->row(k, e);
            }
            for (const Question& q : e.questions) {
                if (q.afterListingRow) {
                    askQuestion(s, q);
                }
            }
            observationStep(s);
        }
    }
    if (listing) {
        listing->end();
    }
}

/// Keeps the batch's equations in the outcome's model of the last pass, with the cofactors
/// of their weighted rows in the full analysis (zero in the approximate one).
template <ObservationBlockKind Kind>
void keepEquations(AdjustmentState& s, int32_t first,
                   const std::vector<typename Kind::Evaluation>& batch,
                   const std::vector<Real>& q) {
    std::vector<EquationRow> weighted;
    for (const typename Kind::Evaluation& e : batch) {
        weighted.push_back(e.row);
    }
    const bool sameRows =
        !batch.empty() && &Kind::cofactorRow(batch.front()) == &batch.front().row;
    const bool full = s.options.analysisMode == AnalysisMode::Full;
    const std::vector<Real> cofactors = !full || sameRows
                                            ? q
                                            : observationCofactors(s.normal, weighted);
    for (size_t i = 0; i < batch.size(); ++i) {
        const typename Kind::Evaluation& e = batch[i];
        s.outcome->model.equations.push_back(
            {ModelRow(e.row), static_cast<double>(e.weightedFreeTerm()),
             static_cast<double>(Kind::weightRoot(e)), static_cast<double>(cofactors[i]),
             Kind::sumKind(s.network, first + static_cast<int32_t>(i))});
    }
}

/// The last pass over a kind: a batch of observations is evaluated and the cofactors of its
/// rows computed together (full analysis only), then its rows are printed in table order,
/// each after the questions it raises, so that both reports read as if every observation
/// had been printed as it was evaluated.
template <ObservationBlockKind Kind> void lastPass(AdjustmentState& s) {
    const Linearisation at{s.network, s.working, s.projection, Kind::robust(s)};
    const bool full = s.options.analysisMode == AnalysisMode::Full;
    const bool keep = s.outcome != nullptr;
    const int32_t count = Kind::count(s.network);
    typename Kind::Tables tables(s);
    tables.begin();
    std::vector<typename Kind::Evaluation> batch;
    std::vector<EquationRow> rows;
    for (int32_t first = 1; first <= count; first += evaluationBatch) {
        const int32_t last = std::min(count, first + evaluationBatch - 1);
        evaluateBatch<Kind>(s, at, first, last, batch);
        rows.clear();
        for (int32_t k = first; k <= last; ++k) {
            const typename Kind::Evaluation& e = batch[static_cast<size_t>(k - first)];
            addEquation(s, Kind::sumKind(s.network, k), e.row, e.weightedFreeTerm());
            if (full) {
                rows.push_back(Kind::cofactorRow(e));
            }
            observationStep(s);
        }
        std::vector<Real> q(batch.size());
        if (full) {
            onWorkers(s, static_cast<int32_t>(rows.size()), [&](int32_t i) {
                q[static_cast<size_t>(i)] =
                    s.normal.computeObservationCofactor(rows[static_cast<size_t>(i)].view());
            });
        }
        if (keep) {
            keepEquations<Kind>(s, first, batch, q);
        }
        for (int32_t k = first; k <= last; ++k) {
            const auto i = static_cast<size_t>(k - first);
            tables.heading(k);
            for (const Question& question : batch[i].questions) {
                askQuestion(s, question);
            }
            tables.row(k, batch[i], q[i]);
        }
    }
    tables.end();
}

/// The block of a kind in the pass under way; a kind without observations writes nothing.
template <ObservationBlockKind Kind> void observationBlock(AdjustmentState& s) {
    if (Kind::count(s.network) == 0) {
        return;
    }
    if (s.lastPass) {
        lastPass<Kind>(s);
    } else {
        iterationPass<Kind>(s);
    }
}

} // namespace ptw3
