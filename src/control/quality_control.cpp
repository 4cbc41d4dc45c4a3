#include "control/quality_control.h"

#include "control/control_model.h"
#include "control/statistics.h"
#include "engine/report_preamble.h"

#include <algorithm>
#include <cmath>
#include <future>
#include <numbers>
#include <thread>

namespace ptw3 {
namespace {

constexpr double ccPerRadian = 2'000'000 / std::numbers::pi;
constexpr std::string_view afterRobust = "po estymacji odpornej wagi nie są wagami modelu";

GlobalTest globalTest(const AdjustmentOutcome& outcome) {
    GlobalTest t;
    t.f = outcome.size.redundancy();
    t.mo = outcome.mo;
    t.sumOfSquares = outcome.mo * outcome.mo * t.f;
    if (outcome.robust) {
        t.skipped = afterRobust;
        return t;
    }
    if (t.f <= 0) {
        t.skipped = "brak obserwacji nadliczbowych (f = 0)";
        return t;
    }
    const auto a = static_cast<double>(t.alpha);
    t.lower = chiSquareQuantile(t.f, a / 2);
    t.upper = chiSquareQuantile(t.f, 1 - a / 2);
    t.upperOneSided = chiSquareQuantile(t.f, 1 - a);
    if (t.sumOfSquares > t.upper) {
        t.verdict = GlobalTest::Verdict::MoTooLarge;
    } else if (t.sumOfSquares < t.lower) {
        t.verdict = GlobalTest::Verdict::MoTooSmall;
    }
    return t;
}

} // namespace

RelativeAccuracy relativeAccuracy(const AdjustmentOutcome& outcome, Real mo) {
    RelativeAccuracy r;
    const Real mo2 = mo * mo;
    for (const LineCofactor& q : outcome.model.lines) {
        const WorkingPoint& from = outcome.coordinates[q.from];
        const WorkingPoint& to = outcome.coordinates[q.to];
        LineAccuracy line;
        line.from = q.from;
        line.to = q.to;
        const Real dx = to.x - from.x;
        const Real dy = to.y - from.y;
        line.length = std::hypot(dx, dy);
        const ErrorEllipseAxes e = errorEllipse(q.qxx, q.qyy, q.qxy);
        line.a = e.a * mo;
        line.b = e.b * mo;
        line.fi = e.fi;
        if (line.length > 0) {
            const Real s2 = line.length * line.length;
            const Real along = (dx * dx * q.qxx + 2 * dx * dy * q.qxy + dy * dy * q.qyy) / s2;
            const Real across = (dy * dy * q.qxx - 2 * dx * dy * q.qxy + dx * dx * q.qyy) / s2;
            line.lengthError = std::sqrt(std::fabs(along * mo2));
            line.lengthErrorPpm = line.lengthError / line.length * 1e6L;
            line.directionErrorCc = std::sqrt(std::fabs(across * mo2)) / line.length *
                                    static_cast<Real>(ccPerRadian);
        }
        r.lines.push_back(line);
    }
    std::stable_sort(r.lines.begin(), r.lines.end(),
                     [](const LineAccuracy& a, const LineAccuracy& b) { return a.a > b.a; });
    return r;
}

AccuracyStandard accuracyStandard(const NetworkData& network, const Table<Real>& mps,
                                  Real limit) {
    AccuracyStandard s;
    s.limit = limit;
    s.checked = network.determinedCount();
    for (int32_t p = 1; p <= network.determinedCount(); ++p) {
        const Real mp = mps[p];
        if (!s.largestPoint || mp > s.largestMp) {
            s.largestPoint = p;
            s.largestMp = mp;
        }
        const bool controlled = network.points[p].linkCount >= fewestLinksForControl;
        if (mp > limit || !controlled) {
            s.failing.push_back(p);
        }
    }
    std::stable_sort(s.failing.begin(), s.failing.end(),
                     [&](int32_t a, int32_t b) { return mps[a] > mps[b]; });
    return s;
}

Real ReferencePointTest::shift() const { return std::hypot(dx, dy); }

QualityControl controlAdjustment(const NetworkData& network, const AdjustmentOutcome& outcome,
                                 const ControlOptions& options) {
    QualityControl c;
    c.global = globalTest(outcome);
    c.snooping.critical = options.snoopingCritical;
    c.snooping.stepLimit = options.snoopingSteps;
    // The sections only read the network, the outcome and, once made, the model and its
    // factorisation: with a second thread, the relative accuracy is found beside the
    // factorisation and data snooping beside the check of the reference points.
    const bool apart = options.threads != 1 && std::thread::hardware_concurrency() > 1;
    std::future<void> accuracy =
        std::async(apart ? std::launch::async : std::launch::deferred, [&] {
            c.relative = relativeAccuracy(outcome, outcome.mo);
            Table<Real> mp;
            for (const PointAccuracy& a : outcome.accuracy) {
                mp.append(a.mp);
            }
            c.standard = accuracyStandard(network, mp, options.mpLimit);
        });
    if (outcome.robust) {
        c.snooping.skipped = afterRobust;
        c.reference.skipped = afterRobust;
        accuracy.get();
        return c;
    }
    std::string reason;
    const std::optional<ControlModel> model = buildControlModel(network, outcome, reason);
    if (!model) {
        c.snooping.skipped = reason;
        c.reference.skipped = reason;
        accuracy.get();
        return c;
    }
    const bool snoop = outcome.analysisMode == AnalysisMode::Full;
    GivenSolution given;
    if (snoop || model->hasReferencePoints()) {
        solveGivenModel(*model, given, apart);
    }
    accuracy.get();
    std::future<Snooping> snooping;
    if (snoop && apart) {
        snooping = std::async(std::launch::async,
                              [&] { return snoopData(*model, given, options); });
    } else if (snoop) {
        c.snooping = snoopData(*model, given, options);
    } else {
        c.snooping.skipped = "wymaga pełnej analizy dokładności obserwacji";
    }
    c.reference = checkReferencePoints(*model, given);
    if (snooping.valid()) {
        c.snooping = snooping.get();
    }
    return c;
}

} // namespace ptw3
