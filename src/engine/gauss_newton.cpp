#include "engine/gauss_newton.h"

#include "common/encoding.h"
#include "common/number_format.h"
#include "common/run_phases.h"
#include "common/stop.h"
#include "engine/observation_blocks.h"
#include "engine/pass_progress.h"
#include "engine/weighting.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <string>
#include <string_view>

namespace ptw3 {
namespace {

constexpr Real smallestSum = 0.01L;     // sums at most this give a unit error of 1
constexpr Real visiblePdd = 0.001L;     // [pdd] below this shows [pLL] and ~Mo
constexpr int32_t lastNewProgressLine = 20;

void observationPass(AdjustmentState& s) {
    s.pLL = 0;
    s.kindSums.fill(0);
    if (s.iteration == 1) {
        s.controlReport.line(cp1250("  OBSERWACJE, REDUKCJE ODWZOROWAWCZE I POCZĄTKOWE WYRAZY WOLNE"));
        s.mainReport.line(cp1250("  WYKAZ DANYCH OBSERWACYJNYCH I REDUKCJE ODWZOROWAWCZE"));
    }
    if (s.lastPass) {
        s.mainReport.line(cp1250("  WYNIKI WYRÓWNANIA SIECI"));
        s.mainReport.line("  PROCES ITERACYJNY GAUSSA - NEWTONA");
        if (s.outcome != nullptr) {
            // One equation per angle, distance and azimuth: grown by doubling, the
            // largest part of the outcome would hold up to twice its size.
            const NetworkData& n = s.network;
            s.outcome->model.equations.reserve(static_cast<size_t>(n.lka()) +
                                               static_cast<size_t>(n.ld()) +
                                               static_cast<size_t>(n.laz()));
        }
    }
    beginPassProgress(s);
    angleBlock(s);
    distanceBlock(s);
    azimuthBlock(s);
    endPassProgress(s);
}

// Ordinary determined coordinates move by their corrections; moving reference points stay
// at their given values until the last iteration and add their weighted corrections to [pdd].
void applyCorrections(AdjustmentState& s) {
    const NetworkData& n = s.network;
    const Table<Real>& x = s.normal.corrections();
    const bool last = s.iteration == s.options.iterationCount;
    Real squares = 0;
    s.pdd = 0;
    const auto apply = [&](Real& working, Real given, Real apriori, Real correction) {
        if (apriori < 0) {
            working += correction;
            squares += correction * correction;
        } else if (apriori > movingCoordinateError) {
            if (last) {
                working = given + correction;
            }
            const Real standardised = correction / (apriori + errorGuard);
            s.pdd += standardised * standardised;
        }
    };
    for (int32_t p = 1; p <= n.determinedCount(); ++p) {
        const Point& point = n.points[p];
        const int32_t k = n.ordering.position[p];
        WorkingPoint& w = s.working[p];
        apply(w.x, point.x, point.mx, x[2 * k - 1]);
        apply(w.y, point.y, point.my, x[2 * k]);
    }
    const int32_t moved = 2 * n.determinedCount() - n.lrsxy;
    s.incrementNorm = moved > 0 ? std::sqrt(squares / moved) : 0;
}

void writeControlBlock(AdjustmentState& s) {
    ReportFile& r = s.mainReport;
    r.line("   IERACJA = " + std::to_string(s.iteration) + "  KONTROLNE PARAMETRY NUMERYCZNE");
    const bool showFreeTerms = s.pdd < visiblePdd;
    if (showFreeTerms) {
        r.line(cp1250("   Sumy krańcowe w równaniach normalnych:"));
        r.line("   [pLL]           = " + fixed(s.pLL, 15, 7) +
               cp1250(" (z wyrazów wolnych równań obserwacji)"));
    }
    r.line("   [pvv]+[pdd]     = " + fixed(s.pvvPdd, 15, 7) + "  ");
    r.line("         [pdd]     = " + fixed(s.pdd, 15, 7) +
           cp1250(" (z poprawek dX,dY dla punktów nawiązania)"));
    r.line(cp1250("   Empiryczny błąd średni jednostkowy:"));
    if (showFreeTerms) {
        r.line("             ~Mo   = " + fixed(s.approximateMo, 15, 7) +
               cp1250(" (z wyrazów wolnych)"));
    }
    r.line("              Mo   = " + fixed(s.mo, 15, 7) + " (z poprawek V i d)");
    r.line(cp1250("   Średniokwadratowy przyrost współrzędnej:"));
    r.line("      NORM(dx,dy)  = " + fixed(s.incrementNorm, 15, 3) + " m");
    r.line(" " + std::string(75, '-'));
}

// Asked once for every weak pivot of the solution: No stops the computation, Yes lets the
// solver raise the pivot and go on.
void askToGoOnDespiteDefect(RunContext& context) {
    const std::string question = cp1250(" *** NUMERYCZNY LUB TOPOLOGICZNY DEFEKT UKŁADU\n"
                                        "     Z POWODU BŁEDÓW LUB BRAKÓW DANYCH\n"
                                        "     MOŻESZ LICZYĆ DALEJ ALE WYNIKI BĘDĄ BŁEDNE\n"
                                        "     Czy chcesz liczyć dalej?");
    if (!context.confirm(question)) {
        throw Stop(StopReason::UserDeclined, utf8FromCp1250(question));
    }
}

// The solver's steps as progress of the phase, each preceded by a look for a stop.
StepReport phaseProgress(RunContext& context, std::string_view phase) {
    return [&context, text = cp1250(phase)](double done) {
        context.checkCancelled();
        context.progress(text, done);
    };
}

Real roundedToFiveDecimals(Real v) { return roundHalfEven(v * 100000) * 0.00001L; }

// Iterations after the 20th overwrite the 20th line of the message list.
void writeProgressLine(AdjustmentState& s) {
    MessageList& list = s.context.messages();
    const int32_t index = s.iteration <= lastNewProgressLine ? list.messageLine + 1 : list.messageLine;
    s.context.messageAt(index, " ITERACJA = " + std::to_string(s.iteration) + " Mo = " +
                                   general(roundedToFiveDecimals(s.mo)) + " NORM(dx,dy) = " +
                                   general(roundedToFiveDecimals(s.incrementNorm)));
}

} // namespace

UnitErrors unitErrors(Real pLL, Real pvvPdd, int32_t redundancy) {
    UnitErrors e;
    if (redundancy > 0) {
        if (std::fabs(pLL) > smallestSum) {
            e.approximateMo = std::sqrt(pLL / redundancy);
        }
        if (std::fabs(pvvPdd) > smallestSum) {
            e.mo = std::sqrt(std::fabs(pvvPdd) / redundancy);
        }
    }
    return e;
}

void runIterations(AdjustmentState& s, CalculationResults& results) {
    const NetworkData& n = s.network;
    s.working.clear();
    for (const Point& p : n.points) {
        s.working.append(WorkingPoint{p.x, p.y, p.h, p.mx, p.my, p.mh});
    }
    s.iteration = 0;
    s.lastPass = false;
    s.otrebski = otrebskiFactor(s.size.unknowns, s.size.observations);
    for (;;) {
        ++s.iteration;
        s.normal.clear();
        observationPass(s);
        addCoordinatePseudoObservations(n, s.normal);

        // Only the last iteration's factor is inverted.
        const bool inverseFollows = s.iteration >= s.options.iterationCount;
        const SolveOutcome outcome = s.normal.solveNormalEquations(
            0, [&](int32_t) { askToGoOnDespiteDefect(s.context); },
            phaseProgress(s.context, phase::solvingNormalEquations), inverseFollows);
        results.systemDefect = outcome.defect;
        if (outcome.deflated) {
            s.controlReport.line(cp1250(" *  ZBYT DUŻA DEFLACJA NIELINIOWA na wartość [pvv]"));
            s.controlReport.line("    - automatyczna korekta numeryczna");
        }
        s.pvvPdd = s.normal.sumOfSquares();
        if (!s.options.holdCoordinates) {
            applyCorrections(s);
        }
        const UnitErrors e = unitErrors(s.pLL, s.pvvPdd, s.size.redundancy());
        s.approximateMo = e.approximateMo;
        s.mo = e.mo;
        writeControlBlock(s);
        writeProgressLine(s);
        results.coordinateIncrementNorm = s.incrementNorm;
        if (s.iteration >= s.options.iterationCount) {
            break;
        }
    }

    s.lastPass = true;
    s.context.message(cp1250(" ANALIZA DOKŁADNOŚCI PUNKTÓW - proszę czekać"));
    s.normal.computePointCofactors(phaseProgress(s.context, phase::pointAnalysis));
    s.context.message(cp1250(" ANALIZA DOKŁADNOŚCI OBSERWACJI - proszę czekać"));
    observationPass(s);
}

} // namespace ptw3
