#include "engine/result_files.h"

#include "common/encoding.h"
#include "common/interruption.h"
#include "common/number_format.h"
#include "common/run_phases.h"
#include "engine/accuracy.h"
#include "engine/observation_blocks.h"

#include <algorithm>
#include <array>
#include <string>
#include <string_view>
#include <unordered_set>

namespace ptw3 {
namespace {

/// Points written between two progress reports and looks for a stop.
constexpr int32_t pointsBetweenChecks = 256;

const std::string tableRule = "    " + std::string(83, '-');
const std::string rowSeparator =
    "    |-----+----------------+-------------+-------------+--------+--------+--------+---|";

std::string commentOf(const NetworkData& n, int32_t k) {
    if (k > n.determinedCount()) {
        return " s ";
    }
    const Point& p = n.points[k];
    return p.mx > 0 || p.my > 0 ? " rs" : "   ";
}

PointAccuracy accuracyOf(const AdjustmentState& s, int32_t k) {
    const NetworkData& n = s.network;
    if (k > n.determinedCount()) {
        return {};
    }
    const int32_t q = n.ordering.position[k];
    const Table<Real>& diagonal = s.normal.cofactorDiagonal();
    const PointCofactor& block = s.normal.pointCofactors()[q];
    return pointAccuracy(diagonal[2 * q - 1], diagonal[2 * q], block.qxx, block.qyy, block.qxy,
                         s.mo);
}

// The mean distortion of the distances is read back as the first parameter of REDUKCJE next
// time. The file is also input: it is replaced whole or not at all.
void writeMeanDistortion(const AdjustmentState& s) {
    if (!s.meanDistortionPpm) {
        return;
    }
    constexpr std::string_view name = "redukcje";
    const std::string text = fixed(*s.meanDistortionPpm, 15, 5) + " " +
                             fixed(s.network.parameters.meanHeight, 10, 3) + "\r\n";
    if (const int error = replaceFile(s.options.workingFolder, name, text)) {
        stopOnWriteFailure(s.context, s.options.workingFolder / name, error);
    }
}

void writeTableHead(ReportFile& r, bool robust) {
    r.line(" ");
    r.line("    --------------------------------------------------------------------- tarvel_2006--");
    r.line(cp1250(
        "    |                W S P Ó Ł R Z Ę D N E     W Y R Ó W N A N E                      |"));
    if (robust) {
        r.line(cp1250("  !%!%!%!%!  UWAGA: TE WYNIKI Z ESTYMACJI MOCNEJ SŁUŻĄ WYŁĄCZNIE "
                      "WYKRYWANIU BŁĘDÓW "));
    }
    r.line(tableRule);
    r.line("    | Lp. |    NR PUNKTU   |      X      |        Y    |   Mx   |   My   |   Mp   |Inf|");
    r.line("    |     |                |             |             |   A    |   B    |   Fi   |   |");
    r.line(rowSeparator);
}

void writeDefectLines(ReportFile& r) {
    r.line(cp1250(" *** WYSTĄPIŁ DEFEKT UKŁADU Z POWODU BRAKU DANYCH LUB INNYCH BŁEDÓW"));
    r.line(cp1250(" *** NALEZY SPRAWDZIĆ KOMPLETNOŚĆ DANYCH W TYM PUNKTÓW NAWIĄZANIA"));
    r.line(cp1250(" *** I POPRAWNOŚĆ NUMERACJI"));
    r.line(cp1250(" *** WYNIKI SĄ NAJPRAWDOPODOBNIEJ BŁEDNE I NIE NALEŻY ICH UŻYWAĆ"));
}

void writeRobustWarnings(AdjustmentState& s) {
    s.context.message(" UWAGA: ");
    s.context.message(" ESTYMACJA MOCNA - wyniki tylko kontrolne [ ! ]");
    s.controlReport.line(cp1250("    !%!%!%!%!%!%!  UŻYTO ESTYMACJI MOCNEJ"));
    s.controlReport.line(cp1250("    !%!%!%!%!%!%!  TE WYNIKI MAJĄ TYLKO ZNACZENIE KONTROLNE "));
    s.controlReport.line(cp1250("    !%!%!%!%!%!%!  I NIE NALEZY ICH UŻYWAĆ"));
    ReportFile& r = s.mainReport;
    r.line("    ----------------- UWAGA! ---------------------------");
    r.line(cp1250("    | %     UŻYTO OPCJI ESTYMACJI MOCNEJ !!            |"));
    r.line(cp1250("    | %     TE WYNIKI MAJĄ TYLKO ZNACZENIE KONTROLNE   |"));
    r.line(cp1250("    | %     (SŁUŻĄ IDENTYFIKACJI DUŻYCH BLEDÓW)        |"));
    r.line("    ----------------------------------------------------");
}

// The 2x2 block of N⁻¹ between the coordinates of two points; zero when either is fixed.
std::array<Real, 4> crossCofactor(const AdjustmentState& s, int32_t i, int32_t j) {
    const PointUnknowns a = unknownsOf(s.network, i);
    const PointUnknowns b = unknownsOf(s.network, j);
    if (a.dx <= 0 || b.dx <= 0) {
        return {};
    }
    return {s.normal.element(a.dx, b.dx), s.normal.element(a.dx, b.dy),
            s.normal.element(a.dy, b.dx), s.normal.element(a.dy, b.dy)};
}

// Every pair of points joined by an observation (an angle joins its station with each
// target), once, with the cofactor of their coordinate difference from the selected inverse.
void keepLineCofactors(AdjustmentState& s) {
    LastPassModel& model = s.outcome->model;
    model.lines.clear();
    std::unordered_set<uint64_t> seen;
    const auto join = [&](int32_t i, int32_t j) {
        const auto key = static_cast<uint64_t>(std::min(i, j)) << 32 |
                         static_cast<uint64_t>(std::max(i, j));
        if (i == j || !seen.insert(key).second) {
            return;
        }
        const std::array<Real, 4> ii = crossCofactor(s, i, i);
        const std::array<Real, 4> jj = crossCofactor(s, j, j);
        const std::array<Real, 4> ij = crossCofactor(s, i, j);
        model.lines.push_back({i, j, ii[0] + jj[0] - 2 * ij[0], ii[1] + jj[1] - ij[1] - ij[2],
                               ii[3] + jj[3] - 2 * ij[3]});
    };
    for (const AdjustedObservation& o : s.outcome->observations) {
        if (o.kind == ListedKind::Angle) {
            join(o.from, o.left);
            join(o.from, o.to);
        } else {
            join(o.from, o.to);
        }
    }
}

} // namespace

void writeResults(AdjustmentState& s, CalculationResults& results) {
    NetworkData& n = s.network;
    const bool robust = s.robustDistances || s.robustAngles;
    ReportFile& r = s.mainReport;
    writeMeanDistortion(s);
    ReportFile coordinates(s.options.workingFolder, "xy.ptw", s.context);
    ReportFile corrections(s.options.workingFolder, "dxdy.ptw", s.context);
    corrections.line(
        cp1250("   Wykaz finalnych poprawek  dX, dY do współrzędnych przybliżonych"));

    writeTableHead(r, robust);
    if (s.outcome != nullptr) {
        s.outcome->coordinates = s.working;
        s.outcome->accuracy.clear();
        s.outcome->mo = s.mo;
        keepLineCofactors(s);
        s.outcome->model.points.clear();
        for (int32_t k = 1; k <= n.lp(); ++k) {
            s.outcome->model.points.append(
                k > n.determinedCount() ? PointCofactor{}
                                        : s.normal.pointCofactors()[n.ordering.position[k]]);
        }
        s.outcome->model.structure = s.normal.sharedStructure();
        s.outcome->model.given.clear();
        for (const Point& p : n.points) {
            s.outcome->model.given.append(WorkingPoint{p.x, p.y, p.h, p.mx, p.my, p.mh});
        }
    }
    Real sum = 0;
    Real largest = 0;
    int32_t largestPoint = 1;
    const std::string phaseName = cp1250(phase::resultFiles);
    s.context.progress(phaseName, 0);
    markingInterruption({&coordinates, &corrections}, [&] {
        for (int32_t k = 1; k <= n.lp(); ++k) {
            if (k % pointsBetweenChecks == 0) {
                s.context.checkCancelled();
                s.context.progress(phaseName, static_cast<double>(k) / n.lp());
            }
            const Point& p = n.points[k];
            const WorkingPoint& w = s.working[k];
            const PointAccuracy a = accuracyOf(s, k);
            if (s.outcome != nullptr) {
                s.outcome->accuracy.append(a);
            }
            sum += a.mp;
            if (a.mp > largest) {
                largest = a.mp;
                largestPoint = k;
            }
            const std::string number = rightAlign(p.number, pointNumberWidth);
            const std::string comment = commentOf(n, k);
            r.line("    |" + integer(k, 5) + "|" + number + "|" + fixed(w.x, 13, 4) + "|" +
                   fixed(w.y, 13, 4) + "|" + fixed(a.mx, 8, 4) + "|" + fixed(a.my, 8, 4) + "|" +
                   fixed(a.mp, 8, 4) + "|" + comment + "|");
            r.line("    |" + std::string(5, ' ') + "|" + std::string(16, ' ') + "|" +
                   std::string(13, ' ') + "|" + std::string(13, ' ') + "|" +
                   fixed(a.ellipse.a, 8, 4) + "|" + fixed(a.ellipse.b, 8, 4) + "|" +
                   fixed(a.ellipse.fi, 8, 2) + "|   |");
            if (k < n.lp()) {
                r.line(rowSeparator);
            }
            coordinates.line(number + " " + fixed(w.x, 13, 4) + " " + fixed(w.y, 13, 4) + " " +
                             fixed(a.mp, 9, 4) + " " + fixed(a.ellipse.a, 9, 4) + " " +
                             fixed(a.ellipse.b, 9, 4) + " " + fixed(a.ellipse.fi, 9, 2) + " " +
                             comment);
            corrections.line(number + " " + fixed(w.x - p.x, 13, 4) + " " +
                             fixed(w.y - p.y, 13, 4) + " " + comment);
        }
    });
    coordinates.close();
    corrections.close();

    const int32_t lr = n.determinedCount();
    const Real meanPosition = lr >= 1 ? sum / lr : 0;
    r.line(tableRule);
    r.line("     ");
    r.line(cp1250("    Przeciętny błąd położenia  Mp(sr) =") + fixed(meanPosition, 10, 4) + " m");
    if (lr > 0) {
        r.line(cp1250("    Maksymalny błąd połozenia  Mp(max)=") + fixed(largest, 10, 4) +
               " m   dla punktu: " + (n.lp() > 0 ? n.points[largestPoint].number : ""));
    }
    r.line(tableRule);
    r.line("    ");
    r.line(cp1250("    SKRÓTY I OZNACZENIA:"));
    r.line(cp1250("    Mp,Mx,My - błąd położenia i błędy śr. współrzędnych"));
    r.line(cp1250("    A,B,Fi - parametry elipsy błędu położenia"));
    r.line(cp1250("    s - stały punkt nawiązania"));
    r.line(cp1250("    rs - punkt nawiązania z założoną błędnością"));

    for (Point& p : n.points) {
        p.x = p.y = p.h = p.mx = p.my = p.mh = 0;
    }
    results.meanPositionError = meanPosition;
    results.maxPositionError = largest;

    UnitErrorSums sums;
    sums.sums = s.kindSums;
    sums.sums[static_cast<size_t>(ObservationKind::CoordinatePseudo)] = s.pdd;
    sums.counts = {n.ld(), n.lka1, n.reducedDirectionCount, n.laz(), n.lrsxy};
    sums.schreiberAnglesExist = n.lka() > n.lka1;
    const auto partial = partialUnitErrors(sums, s.size.unknowns, s.size.observations);
    if (s.outcome != nullptr) {
        s.outcome->size = s.size;
        s.outcome->analysisMode = s.options.analysisMode;
        s.outcome->robust = robust;
        s.outcome->partialUnitErrors = partial;
    }
    results.analysisModeAfter = robust ? AnalysisMode::Approximate : s.options.analysisMode;
    writeUnitErrorBlock(r, robust ? 1 : s.mo, partial, robust);
    r.line(cp1250("    Liczba punktów wyznaczanych w sieci bez kontroli: ") +
           std::to_string(s.size.pointsWithoutControl));
    r.line("    " + std::string(52, '_') + cp1250(" ptw3 (c) 2006 zespół ptw3"));
    r.line(cp1250("    Koniec obliczeń:") + formatTimeOfDay(s.context.now()));
    if (results.systemDefect) {
        writeDefectLines(r);
        writeDefectLines(s.controlReport);
    }
    if (robust) {
        writeRobustWarnings(s);
    }
    r.close();
    s.controlReport.close();
    s.context.progress(phaseName, 1);
}

} // namespace ptw3
