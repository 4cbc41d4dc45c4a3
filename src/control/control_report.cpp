// KONTROLA.ptw. Shifts, semi-axes and mean errors of the reference points and of the lines
// are printed in mm (a control network's accuracy lives there), Mp of the standard and the
// gross errors of lengths in m, angular quantities in cc and grads. The mean error of the
// length of a reference point's shift is given as its position error Mp = √(mdX² + mdY²),
// which, unlike the error of the length itself, exists also for a zero shift.

#include "control/control_report.h"

#include "common/encoding.h"
#include "common/folder_files.h"
#include "common/number_format.h"
#include "common/text_file.h"
#include "control/report_sections.h"
#include "engine/report_preamble.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <iterator>

namespace ptw3 {
namespace {

constexpr Real mmPerMetre = 1000;
/// A message-list line naming doubtful points is kept to this many characters.
constexpr size_t messageWidth = 48;

const std::string titleRule = "  " + std::string(69, '_');

/// A gross error or residual in the unit of its observation: cc for the angular kinds, m for
/// the lengths.
std::string inUnitOf(ListedKind kind, Real value) {
    const bool length = kind == ListedKind::Distance || kind == ListedKind::GpsDistance;
    return length ? fixed(value, 10, 4) + " m " : fixed(value, 10, 1) + " cc";
}

bool isMoving(const AdjustmentOutcome& outcome, int32_t point) {
    const WorkingPoint& w = outcome.coordinates[point];
    return w.mx > 0 || w.my > 0;
}

bool withoutControl(const NetworkData& n, const AdjustmentOutcome& outcome, int32_t point) {
    return point <= n.determinedCount() && !isMoving(outcome, point) &&
           n.points[point].linkCount < fewestLinksForControl;
}

std::string globalVerdict(GlobalTest::Verdict verdict) {
    switch (verdict) {
    case GlobalTest::Verdict::Accepted:
        return cp1250("model przyjęty");
    case GlobalTest::Verdict::MoTooLarge:
        return cp1250("model odrzucony: Mo za duże");
    case GlobalTest::Verdict::MoTooSmall:
        return cp1250("model odrzucony: Mo za małe");
    }
    return "";
}

void writeHeading(ReportText& r, const NetworkData& n, const AdjustmentOutcome& outcome,
                  const LocalDateTime& now) {
    r.say("  ptw3 - system wyrównania sieci geodezyjnych  (c) 2006  zespół ptw3");
    r.say("  KONTROLA JAKOŚCI WYRÓWNANIA SIECI POZIOMEJ");
    r.line(titleRule);
    r.line("  OBIEKT: " + n.title[1]);
    r.line("  WYKONAWCA: " + n.title[0]);
    r.line("  INDEKS ROBOTY: " + n.title[2]);
    r.line("  DATA:" + formatShortDate(now) + "  GODZINA:" + formatTimeOfDay(now));
    r.line("  " + n.title[4]);
    r.line(titleRule);
    const ProblemSize& size = outcome.size;
    struct Row {
        std::string_view label;
        int32_t value;
    };
    // clang-format off
    const Row rows[] = {
        {"  Liczba wszystkich punktów sieci             lp = ", n.lp()},
        {"  Liczba stałych punktów nawiązania           ls = ", n.ls},
        {"  Liczba punktów wyznaczanych                 lr = ", n.determinedCount()},
        {"  Liczba niewiadomych współrzędnych            n = ", size.unknowns},
        {"  Łączna liczba obserwacji                     m = ", size.observations},
        {"  Nadwymiarowość układu obserwacyjnego   f = m-n = ", size.redundancy()},
    };
    // clang-format on
    for (const Row& row : rows) {
        r.line(cp1250(row.label) + integer(row.value, 7));
    }
}

void writeGlobalTest(ReportText& r, const GlobalTest& g) {
    r.line(" ");
    r.say("  1. GLOBALNY TEST MODELU WYRÓWNANIA (test chi-kwadrat)");
    r.line(reportSectionRule);
    if (g.skipped) {
        r.line(skippedLine("Test pominięty: ", *g.skipped));
        return;
    }
    r.line(labelled("Liczba stopni swobody                           f ", integer(g.f, 12)));
    r.line(labelled("Suma kwadratów poprawek               [pvv]+[pdd] ",
                    fixed(g.sumOfSquares, 12, 4)));
    r.line(labelled("Błąd średni typowy spostrzeżenia               Mo ", fixed(g.mo, 12, 4)));
    r.line(labelled("Poziom istotności                            alfa ",
                    rightAlign(general(g.alpha), 12)));
    r.line(labelled("Kwantyl chi2(f) dla alfa/2                        ", fixed(g.lower, 12, 4)));
    r.line(labelled("Kwantyl chi2(f) dla 1-alfa/2                      ", fixed(g.upper, 12, 4)));
    r.line(labelled("Kwantyl chi2(f) dla 1-alfa (test jednostronny)    ",
                    fixed(g.upperOneSided, 12, 4)));
    r.say("     Model przyjmuje się, gdy chi2(f; alfa/2) <= [pvv]+[pdd] <= chi2(f; 1-alfa/2)");
    r.line(cp1250("     WYNIK: ") + globalVerdict(g.verdict));
}

// The steps whose observations touch a reference point that the check of the reference
// points found doubtful: their large w may be the point's shift rather than gross errors.
void writeStepsAtDoubtfulPoints(ReportText& r, const NetworkData& n,
                                const AdjustmentOutcome& outcome, const Snooping& s,
                                const std::vector<int32_t>& doubtful) {
    std::string steps;
    int32_t count = 0;
    std::vector<int32_t> points;
    for (size_t i = 0; i < s.steps.size(); ++i) {
        std::vector<int32_t> observations = {s.steps[i].observation};
        if (s.steps[i].alsoRemoved) {
            observations.push_back(*s.steps[i].alsoRemoved);
        }
        bool touches = false;
        for (const int32_t k : observations) {
            const AdjustedObservation& o = outcome.observations[static_cast<size_t>(k)];
            for (const int32_t p : {o.left, o.from, o.to}) {
                if (std::find(doubtful.begin(), doubtful.end(), p) != doubtful.end()) {
                    touches = true;
                    if (std::find(points.begin(), points.end(), p) == points.end()) {
                        points.push_back(p);
                    }
                }
            }
        }
        if (touches) {
            steps += (steps.empty() ? "" : ", ") + std::to_string(i + 1);
            ++count;
        }
    }
    if (steps.empty()) {
        return;
    }
    std::string names;
    for (const int32_t p : points) {
        names += (names.empty() ? "" : ", ") + n.points[p].number;
    }
    r.line(cp1250(count == 1 ? "     UWAGA: obserwacja kroku " : "     UWAGA: obserwacje kroków ") +
           steps + cp1250(count == 1 ? " dotyczy" : " dotyczą") +
           cp1250(" wątpliwego punktu nawiązania ") + names + ":");
    r.say(count == 1
              ? "     jej duże |w| może wynikać z przesunięcia punktu, a nie z błędu grubego"
              : "     ich duże |w| mogą wynikać z przesunięcia punktu, a nie z błędów grubych");
}

void writeSnooping(ReportText& r, const NetworkData& n, const AdjustmentOutcome& outcome,
                   const Snooping& s, const std::vector<int32_t>& doubtful) {
    r.line(" ");
    r.say("  2. WYSZUKIWANIE BŁĘDÓW GRUBYCH (data snooping Baarda)");
    r.line(reportSectionRule);
    if (s.skipped) {
        r.line(skippedLine("Wyszukiwanie pominięte: ", *s.skipped));
        return;
    }
    r.say("     Po każdym kroku sieć jest wyrównywana ponownie bez usuniętych obserwacji.");
    r.line(labelled("Wartość krytyczna                              |w| ",
                    fixed(s.critical, 12, 2)));
    r.line(labelled("Największa liczba kroków                           ",
                    integer(s.stepLimit, 12)));
    if (s.largestW && s.largestObservation) {
        r.line(labelled("Największe |w| w danych                            ",
                        fixed(*s.largestW, 12, 2)) +
               "  " + observationText(n, outcome, *s.largestObservation));
    }
    if (!s.steps.empty()) {
        const std::string rule = "  " + std::string(95, '-');
        r.line(rule);
        r.say("  krok        w    bł. gruby    Mo po   f po  obserwacja usunięta");
        r.line(rule);
        for (size_t i = 0; i < s.steps.size(); ++i) {
            const SnoopingStep& step = s.steps[i];
            const ListedKind kind =
                outcome.observations[static_cast<size_t>(step.observation)].kind;
            r.line("  " + integer(static_cast<int64_t>(i) + 1, 4) + fixed(step.w, 9, 2) +
                   inUnitOf(kind, step.grossError) + fixed(step.moAfter, 9, 4) +
                   integer(step.fAfter, 7) + "  " + observationText(n, outcome, step.observation));
            if (step.alsoRemoved) {
                r.line(cp1250("        z nią ostatni odczyt zestawu:") + std::string(9, ' ') +
                       observationText(n, outcome, *step.alsoRemoved));
            }
            if (step.largestRemainingW && step.largestRemainingObservation) {
                r.line(cp1250("        największe pozostałe |w| =") +
                       fixed(*step.largestRemainingW, 7, 2) + std::string(5, ' ') +
                       observationText(n, outcome, *step.largestRemainingObservation));
            } else {
                r.say("        nie pozostała żadna obserwacja z wartością w");
            }
        }
        r.line(rule);
    }
    if (s.limitReached) {
        r.say("     ZAKOŃCZENIE: osiągnięto limit kroków, a pozostaje |w| większe "
              "od krytycznego");
    } else if (s.steps.empty()) {
        r.say("     ZAKOŃCZENIE: nie usunięto żadnej obserwacji, żadne |w| nie przekracza "
              "wartości krytycznej");
    } else {
        r.say("     ZAKOŃCZENIE: żadne z pozostałych |w| nie przekracza wartości krytycznej");
    }
    writeStepsAtDoubtfulPoints(r, n, outcome, s, doubtful);
}

// clang-format off
constexpr std::string_view referenceHead[] = {
    "  |    Nr punktu   | rodzaj|   dX  |   dY  |   d   |"
        "  mdX |  mdY |  Mp  |    T   | F kryt.|   f |",
    "  |                |       |  [mm] |  [mm] |  [mm] |"
        "  [mm]|  [mm]|  [mm]|        |        |     |",
    "  |----------------+-------+-------+-------+-------+"
        "------+------+------+--------+--------+-----|",
};
// clang-format on

std::string referenceRow(const NetworkData& n, const ReferencePointTest& p, bool doubtful) {
    std::string row = "  |" + rightAlign(n.points[p.point].number, pointNumberWidth) + "|" +
                      (p.moving ? "ruchomy" : cp1250(" stały ")) + "|";
    if (!p.testable) {
        std::string text = cp1250(" nietestowalny (za mało powiązań)");
        const size_t numbersWidth = referenceHead[0].size() - row.size() - 1;
        text.resize(std::max(text.size(), numbersWidth), ' ');
        return row + text + "|";
    }
    const Real mdx = std::sqrt(p.qxx);
    const Real mdy = std::sqrt(p.qyy);
    row += fixed(p.dx * mmPerMetre, 7, 1) + "|" + fixed(p.dy * mmPerMetre, 7, 1) + "|" +
           fixed(p.shift() * mmPerMetre, 7, 1) + "|" + fixed(mdx * mmPerMetre, 6, 1) + "|" +
           fixed(mdy * mmPerMetre, 6, 1) + "|" + fixed(std::hypot(mdx, mdy) * mmPerMetre, 6, 1) +
           "|" + fixed(p.statistic, 8, 2) + "|" + fixed(p.critical, 8, 2) + "|" +
           integer(p.f, 5) + "|";
    return doubtful ? row + cp1250(" wątpliwy") : row;
}

std::string pointList(const NetworkData& n, const std::vector<int32_t>& points) {
    std::string list;
    for (const int32_t k : points) {
        list += (list.empty() ? "" : ", ") + n.points[k].number;
    }
    return list;
}

void writeReferenceCheck(ReportText& r, const NetworkData& n, const ReferenceCheck& c) {
    r.line(" ");
    r.say("  3. KONTROLA PUNKTÓW NAWIĄZANIA");
    r.line(reportSectionRule);
    if (c.skipped) {
        r.line(skippedLine("Kontrola pominięta: ", *c.skipped));
        return;
    }
    r.say("     Każdy punkt nawiązania jest uwalniany osobno, a jego położenie wyznaczone "
          "przez");
    r.say("     pozostałą sieć porównywane z katalogowym: przesunięcie d = (dX, dY) badane");
    r.say("     testem F o 2 i f stopniach swobody względem błędu Mo a posteriori,");
    r.line(cp1250("     poziom istotności alfa = ") + general(c.alpha) +
           cp1250("; punkt o największym T ponad F kryt. jest wątpliwy"));
    r.say("     i w następnej rundzie pozostaje uwolniony.");
    const std::string rule = "  " + std::string(referenceHead[0].size() - 2, '-');
    for (size_t i = 0; i < c.rounds.size(); ++i) {
        const ReferenceRound& round = c.rounds[i];
        r.line(" ");
        r.line("  Runda " + std::to_string(i + 1));
        r.line(rule);
        for (const std::string_view head : referenceHead) {
            r.line(head);
        }
        for (size_t k = 0; k < round.points.size(); ++k) {
            r.line(referenceRow(n, round.points[k],
                                round.doubtful && static_cast<size_t>(*round.doubtful) == k));
        }
        r.line(rule);
    }
    if (c.doubtfulPoints.empty()) {
        r.say("     WYNIK: brak wątpliwych punktów nawiązania");
    } else if (c.doubtfulPoints.size() == 1) {
        r.line(cp1250("     WYNIK: wątpliwy punkt nawiązania: ") +
               pointList(n, c.doubtfulPoints));
    } else {
        r.line(cp1250("     WYNIK: wątpliwe punkty nawiązania: ") +
               pointList(n, c.doubtfulPoints));
    }
}

} // namespace

std::string controlReportText(const NetworkData& n, const AdjustmentOutcome& outcome,
                              const QualityControl& control, const LocalDateTime& now) {
    ReportText r;
    writeHeading(r, n, outcome, now);
    writeGlobalTest(r, control.global);
    writeSnooping(r, n, outcome, control.snooping, control.reference.doubtfulPoints);
    writeReferenceCheck(r, n, control.reference);
    writeRelativeAccuracy(r, n, control.relative, 4);
    writeAccuracyStandard(r, n, control.standard, 5, [&](int32_t k) {
        return StandardRow{outcome.accuracy[k].mp, withoutControl(n, outcome, k)};
    });
    r.line(" ");
    r.line("  " + std::string(52, '_') + cp1250(" ptw3 (c) 2006 zespół ptw3"));
    return r.take();
}

bool writeControlReport(const std::filesystem::path& folder, std::string_view text) {
    return replaceFile(folder, controlReportFile, text) == 0;
}

void removeControlReport(const std::filesystem::path& folder) {
    removeFileNoCase(folder, controlReportFile);
}

std::vector<std::string> controlVerdictLines(const NetworkData& n, const QualityControl& c) {
    std::vector<std::string> lines;
    const auto skipped = [](std::string_view what, const std::string& reason) {
        return cp1250(what) + " (" + cp1250(reason) + ")";
    };
    lines.push_back(cp1250(" Test globalny: ") +
                    (c.global.skipped ? skipped("pominięty", *c.global.skipped)
                                      : globalVerdict(c.global.verdict)));

    std::string reference = cp1250(" Punkty nawiązania: ");
    const std::vector<int32_t>& doubtful = c.reference.doubtfulPoints;
    if (c.reference.skipped) {
        reference += skipped("kontrola pominięta", *c.reference.skipped);
    } else if (doubtful.empty()) {
        reference += cp1250("brak wątpliwych");
    } else if (doubtful.size() == 1) {
        reference += cp1250("wątpliwy punkt ") + n.points[doubtful[0]].number;
    } else {
        const std::string listed = reference + cp1250("wątpliwe ") + pointList(n, doubtful);
        reference = listed.size() <= messageWidth
                        ? listed
                        : reference + std::to_string(doubtful.size()) +
                              (paucal(std::ssize(doubtful)) ? cp1250(" wątpliwe punkty")
                                                            : cp1250(" wątpliwych punktów"));
    }
    lines.push_back(reference);

    lines.push_back(cp1250(" Standard dokładności ") + general(c.standard.limit) +
                    " m: " + standardVerdict(c.standard));
    return lines;
}

} // namespace ptw3
