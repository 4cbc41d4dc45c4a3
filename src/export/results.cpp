#include "export/results.h"

#include "common/encoding.h"
#include "engine/report_preamble.h"

#include <algorithm>
#include <cmath>

#ifndef PTW3_VERSION
#error "the build defines PTW3_VERSION, the project's version"
#endif

namespace ptw3 {
namespace {

/// Moving reference points carry positive a-priori errors (m), as the reports' " rs".
bool isMoving(const WorkingPoint& w) {
    return w.mx > 0 || w.my > 0;
}

std::vector<PointResult> pointsOf(const NetworkData& n, const AdjustmentOutcome& outcome) {
    std::vector<PointResult> points;
    points.reserve(static_cast<size_t>(n.lp()));
    for (int32_t k = 1; k <= n.lp(); ++k) {
        const WorkingPoint& w = outcome.coordinates[k];
        const PointAccuracy& a = outcome.accuracy[k];
        PointResult p;
        p.number = utf8FromCp1250(n.points[k].number);
        p.kind = k > n.determinedCount() ? PointKind::Fixed
                 : isMoving(w)           ? PointKind::MovingReference
                                         : PointKind::Determined;
        p.x = w.x;
        p.y = w.y;
        p.mx = a.mx;
        p.my = a.my;
        p.mp = a.mp;
        p.a = a.ellipse.a;
        p.b = a.ellipse.b;
        p.fi = a.ellipse.fi;
        p.controlled =
            p.kind != PointKind::Determined || n.points[k].linkCount >= fewestLinksForControl;
        points.push_back(std::move(p));
    }
    return points;
}

ObservationResult observationOf(const NetworkData& n, const AdjustedObservation& o,
                                ReliabilityBasis basis, Real meanShare, Real mo) {
    ObservationResult r;
    r.kind = o.kind;
    if (o.source.file > 0) {
        r.file = utf8FromCp1250(n.inputFiles[o.source.file]);
        r.line = o.source.line;
    }
    // Point indices of the network count from 1, the list of points from 0.
    r.left = o.left - 1;
    r.from = o.from - 1;
    r.to = o.to - 1;
    r.observed = o.observed;
    r.adjusted = o.adjusted;
    r.residual = o.residual;
    r.meanError = o.meanError;
    r.adjustedMeanError = o.adjustedMeanError;
    r.residualMeanError = o.residualMeanError;
    r.outlier = o.outlier;
    if (basis == ReliabilityBasis::Approximate) {
        r.reliability = reliabilityFigures(meanShare, o.residual, o.meanError, mo);
    } else if (basis == ReliabilityBasis::Full && o.share) {
        r.reliability = reliabilityFigures(*o.share, o.residual, o.meanError, mo);
    }
    return r;
}

UnitErrorSummary unitErrorOf(const AdjustmentOutcome& outcome, const CalculationResults& results,
                             const std::vector<PointResult>& points) {
    UnitErrorSummary u;
    u.mo = outcome.mo;
    u.moReported = outcome.robust ? 1 : outcome.mo;
    if (!outcome.robust) {
        for (size_t i = 0; i < outcome.partialUnitErrors.size(); ++i) {
            const PartialUnitError& p = outcome.partialUnitErrors[i];
            if (p.shown) {
                u.partial.push_back({static_cast<ObservationKind>(i), p.mo, p.freedom, p.apriori});
            }
        }
    }
    const ProblemSize& size = outcome.size;
    u.z = size.redundancy() / (size.observations + 1e-6L);
    u.meanPositionError = results.meanPositionError;
    u.maxPositionError = results.maxPositionError;
    for (const PointResult& p : points) {
        if (p.kind != PointKind::Fixed && p.mp == results.maxPositionError) {
            u.maxPositionPoint = p.number;
            break;
        }
    }
    return u;
}

} // namespace

NetworkResults collectResults(const NetworkData& n, const CalculationOptions& options,
                              const AdjustmentOutcome& outcome, const CalculationResults& results,
                              const LocalDateTime& started, const LocalDateTime& finished) {
    NetworkResults r;
    RunInfo& run = r.run;
    run.programVersion = PTW3_VERSION;
    run.system = options.system;
    run.principle = options.principle;
    run.analysisMode = outcome.analysisMode;
    run.iterations = options.iterationCount;
    run.accelerationLevel = options.accelerationLevel;
    run.accelerationBoost = options.accelerationBoost;
    run.started = started;
    run.finished = finished;
    run.systemDefect = results.systemDefect;
    run.reliability = outcome.robust ? ReliabilityBasis::None
                      : outcome.analysisMode == AnalysisMode::Approximate
                          ? ReliabilityBasis::Approximate
                          : ReliabilityBasis::Full;

    const ProblemSize& size = outcome.size;
    Counts& c = r.counts;
    c.lp = n.lp();
    c.ls = n.ls;
    c.lr = n.determinedCount();
    c.lrsxy = n.lrsxy;
    c.lka = n.lka1;
    c.lst = n.lst();
    c.lki = n.lst() + n.reducedDirectionCount;
    c.lazt = n.laz() - n.lazgps;
    c.lazg = n.lazgps;
    c.ldk = n.ld() - n.ldgps;
    c.ldg = n.ldgps;
    c.n = size.unknowns;
    c.m = size.observations;
    c.pointsWithoutControl = size.pointsWithoutControl;

    r.points = pointsOf(n, outcome);
    r.unitError = unitErrorOf(outcome, results, r.points);

    // Otrębski's approximation gives every observation the mean share n/m.
    const Real meanShare = size.unknowns / (size.observations + 1e-11L);
    r.observations.reserve(outcome.observations.size());
    for (const AdjustedObservation& o : outcome.observations) {
        r.observations.push_back(observationOf(n, o, run.reliability, meanShare, outcome.mo));
        const ObservationResult& added = r.observations.back();
        c.outliers += added.outlier ? 1 : 0;
        if (added.reliability) {
            c.redundancySum = c.redundancySum.value_or(0) + added.reliability->r;
        }
    }
    return r;
}

void applyPreAnalysis(NetworkResults& r, PreAnalysis analysis) {
    UnitErrorSummary& u = r.unitError;
    u.mo = 1;
    u.moReported = 1;
    u.partial.clear();
    u.meanPositionError = 0;
    u.maxPositionError = 0;
    u.maxPositionPoint.reset();
    for (const PlannedPoint& planned : analysis.points) {
        // The network counts its points from 1, the list from 0.
        PointResult& p = r.points.at(static_cast<size_t>(planned.point - 1));
        p.mx = planned.mx;
        p.my = planned.my;
        p.mp = planned.mp;
        p.a = planned.a;
        p.b = planned.b;
        p.fi = planned.fi;
        p.controlled = planned.controlled;
        u.meanPositionError += planned.mp;
        if (!u.maxPositionPoint || planned.mp > u.maxPositionError) {
            u.maxPositionError = planned.mp;
            u.maxPositionPoint = p.number;
        }
    }
    if (!analysis.points.empty()) {
        u.meanPositionError /= static_cast<Real>(analysis.points.size());
    }

    r.counts.outliers = 0;
    r.counts.redundancySum.reset();
    for (ObservationResult& o : r.observations) {
        o.outlier = false;
        o.reliability.reset();
    }
    for (const PlannedObservation& planned : analysis.observations) {
        ObservationResult& o = r.observations.at(static_cast<size_t>(planned.observation));
        ReliabilityFigures f;
        f.r = planned.r;
        f.mdb = planned.mdb;
        o.reliability = f;
        // With σ0 = 1 the cofactor shares give the variances: q_l̂ = m²·(1 − r), q_v = m²·r.
        o.adjustedMeanError = o.meanError * std::sqrt(std::max<Real>(1 - planned.r, 0));
        o.residualMeanError = o.meanError * std::sqrt(std::max<Real>(planned.r, 0));
        r.counts.redundancySum = r.counts.redundancySum.value_or(0) + planned.r;
    }
    // A plan has no adjustment to test.
    r.control.reset();
    r.preAnalysis = std::move(analysis);
}

} // namespace ptw3
