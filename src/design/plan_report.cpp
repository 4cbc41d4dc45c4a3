// PROJEKT.ptw. The figures of a plan are those of the a-priori unit error m0 = 1: the mean
// errors of the observations as the data give them. Point accuracy is printed in m like the
// coordinate table of the main report, the relative accuracy of the lines in mm like
// KONTROLA.ptw (the two share that section and the one of the standard), the minimal
// detectable biases in the unit of their observation (m, or cc).

#include "design/plan_report.h"

#include "common/encoding.h"
#include "common/folder_files.h"
#include "common/number_format.h"
#include "common/text_file.h"
#include "control/report_sections.h"

#include <algorithm>
#include <iterator>
#include <unordered_map>

namespace ptw3 {
namespace {

const std::string titleRule = "  " + std::string(69, '_');
/// The rule of the tables whose last column is the free text naming an observation.
const std::string wideRule = "  " + std::string(95, '-');
/// The characters of the labels before their "=" (those of KONTROLA.ptw).
constexpr size_t labelColumns = 51;
/// The name of the candidate file as the report gives it.
constexpr std::string_view candidateFile = "KANDYDACI";

/// A mean error or a bias in the unit of its observation: m for the lengths, cc for the
/// angular kinds.
std::string inUnitOf(ListedKind kind, Real value) {
    const bool length = kind == ListedKind::Distance || kind == ListedKind::GpsDistance;
    return length ? fixed(value, 10, 4) + " m " : fixed(value, 10, 1) + " cc";
}

/// How well a gross error of the observation would show in its residual.
std::string_view redundancyFlag(Real r) {
    return r < noRedundancy ? "niekontrolowana" : r < weakRedundancy ? "słabo kontrolowana" : "";
}

/// A count with the Polish noun "propozycja" in its number.
std::string proposalsCount(int64_t count) {
    return std::to_string(count) + (count == 1 ? " propozycja"
                                    : paucal(count) ? " propozycje"
                                                    : " propozycji");
}

/// A candidate as the person finds it: its kind, its points (a direction's station first)
/// and, when it was read from the candidate file, the line.
std::string candidateText(const NetworkData& n, const CandidateObservation& c) {
    std::string s = cp1250(kindWord(c.kind)) + " " + n.points[c.from].number + " - " +
                    n.points[c.to].number;
    if (c.line) {
        s += " (" + std::string(candidateFile) + ", wiersz " + std::to_string(*c.line) + ")";
    }
    return s;
}

void writeHeading(ReportText& r, const NetworkData& n, const AdjustmentOutcome& outcome,
                  const PreAnalysis& a, const LocalDateTime& now) {
    r.say("  ptw3 - system wyrównania sieci geodezyjnych  (c) 2006  zespół ptw3");
    r.say("  ANALIZA PRZEDWYKONAWCZA PROJEKTU SIECI POZIOMEJ");
    r.line(titleRule);
    r.line("  OBIEKT: " + n.title[1]);
    r.line("  WYKONAWCA: " + n.title[0]);
    r.line("  INDEKS ROBOTY: " + n.title[2]);
    r.line("  DATA:" + formatShortDate(now) + "  GODZINA:" + formatTimeOfDay(now));
    r.line("  " + n.title[4]);
    r.line(titleRule);
    const ProblemSize& size = outcome.size;
    const auto withoutControl = std::count_if(a.points.begin(), a.points.end(),
                                              [](const PlannedPoint& p) { return !p.controlled; });
    struct Row {
        std::string_view label;
        int64_t value;
    };
    // clang-format off
    const Row rows[] = {
        {"  Liczba wszystkich punktów sieci             lp = ", n.lp()},
        {"  Liczba stałych punktów nawiązania           ls = ", n.ls},
        {"  Liczba punktów wyznaczanych                 lr = ", n.determinedCount()},
        {"  Liczba punktów wyznaczanych bez kontroli       = ", withoutControl},
        {"  Liczba niewiadomych współrzędnych            n = ", size.unknowns},
        {"  Łączna liczba obserwacji                     m = ", size.observations},
        {"  Nadwymiarowość układu obserwacyjnego   f = m-n = ", size.redundancy()},
    };
    // clang-format on
    for (const Row& row : rows) {
        r.line(cp1250(row.label) + integer(row.value, 7));
    }
    r.line(" ");
    r.say("  Wartości obserwacji obliczone ze współrzędnych przybliżonych; błędy średnie");
    r.say("  obserwacji przyjęte z danych; wszystkie błędy dla błędu średniego typowego");
    r.say("  spostrzeżenia m0 = 1 (a priori).");
}

void writePoints(ReportText& r, const NetworkData& n, const PreAnalysis& a) {
    r.line(" ");
    r.say("  1. OCZEKIWANA DOKŁADNOŚĆ PUNKTÓW WYZNACZANYCH");
    if (a.points.empty()) {
        r.line(reportSectionRule);
        r.say("     Brak punktów wyznaczanych");
        return;
    }
    // clang-format off
    constexpr std::string_view head[] = {
        "  |    Nr punktu   |   Mx   |   My   |   Mp   |   A    |   B    |   Fi   |",
        "  |                |   [m]  |   [m]  |   [m]  |   [m]  |   [m]  |   [g]  |",
        "  |----------------+--------+--------+--------+--------+--------+--------|",
    };
    // clang-format on
    const std::string rule = "  " + std::string(head[0].size() - 2, '-');
    r.line(rule);
    for (const std::string_view line : head) {
        r.line(line);
    }
    Real sum = 0;
    const PlannedPoint* largest = &a.points.front();
    for (const PlannedPoint& p : a.points) {
        r.line("  |" + rightAlign(n.points[p.point].number, pointNumberWidth) + "|" +
               fixed(p.mx, 8, 4) + "|" + fixed(p.my, 8, 4) + "|" + fixed(p.mp, 8, 4) + "|" +
               fixed(p.a, 8, 4) + "|" + fixed(p.b, 8, 4) + "|" + fixed(p.fi, 8, 2) + "|" +
               (p.controlled ? "" : cp1250(" bez kontroli")));
        sum += p.mp;
        largest = p.mp > largest->mp ? &p : largest;
    }
    r.line(rule);
    r.line(cp1250("     Przeciętny błąd położenia  Mp(sr) =") +
           fixed(sum / std::ssize(a.points), 9, 4) + " m");
    r.line(cp1250("     Maksymalny błąd położenia  Mp(max)=") + fixed(largest->mp, 9, 4) +
           " m   dla punktu: " + n.points[largest->point].number);
    r.say("     A, B, Fi - elipsa błędu położenia; bez kontroli - punkt powiązany z mniej niż");
    r.say("     trzema innymi");
}

void writeObservations(ReportText& r, const NetworkData& n, const AdjustmentOutcome& outcome,
                       const PreAnalysis& a) {
    r.line(" ");
    r.say("  2. NIEZAWODNOŚĆ OBSERWACJI");
    r.line(reportSectionRule);
    if (a.observations.empty()) {
        r.say("     Brak obserwacji");
        return;
    }
    r.say("     r - wskaźnik nadwymiarowości (część błędu grubego widoczna w poprawce),");
    r.say("     MDB - najmniejszy wykrywalny błąd gruby (alfa = 0.001, moc testu 0.80)");
    r.line(wideRule);
    r.say("    Lp.       r        MDB     ocena               obserwacja");
    r.line(wideRule);
    int32_t weak = 0;
    int32_t uncontrolled = 0;
    Real sum = 0;
    for (const PlannedObservation& o : a.observations) {
        const ListedKind kind = outcome.observations[static_cast<size_t>(o.observation)].kind;
        std::string flag = cp1250(redundancyFlag(o.r));
        flag.resize(std::max<size_t>(flag.size(), 18), ' ');
        r.line("  " + integer(o.observation + 1, 5) + fixed(o.r, 8, 3) + " " +
               (o.mdb ? inUnitOf(kind, *o.mdb) : std::string(13, ' ')) + "  " + flag + "  " +
               observationText(n, outcome, o.observation));
        weak += o.r < weakRedundancy && o.r >= noRedundancy ? 1 : 0;
        uncontrolled += o.r < noRedundancy ? 1 : 0;
        sum += o.r;
    }
    r.line(wideRule);
    r.line(labelled("Liczba obserwacji słabo kontrolowanych (r < 0.1)   ", integer(weak, 12)));
    r.line(labelled("Liczba obserwacji niekontrolowanych (r < 0.01)     ",
                    integer(uncontrolled, 12)));
    r.line(labelled("Suma wskaźników nadwymiarowości                [r] ", fixed(sum, 12, 3)));
}

void writeAdvice(ReportText& r, const NetworkData& n, const PreAnalysis& a,
                 const PlanOptions& options, const std::vector<std::string>& refused) {
    r.line(" ");
    r.say("  5. PROPOZYCJE DORADCY PROJEKTU");
    r.line(reportSectionRule);
    if (!a.advice) {
        r.say("     Doradca nie był uruchomiony");
    } else if (a.advice->skipped) {
        r.line(skippedLine("Doradca pominięty: ", *a.advice->skipped));
    } else {
        const DesignAdvice& d = *a.advice;
        const bool weakGoal = options.minRedundancy.has_value();
        r.line(cp1250("     Cel: Mp <= ") + general(a.standard.limit) +
               cp1250(" m i kontrola każdego punktu wyznaczanego") +
               (weakGoal ? cp1250(", r >= ") + general(*options.minRedundancy) +
                               cp1250(" każdej obserwacji")
                         : ""));
        r.say("     Każdy krok dodaje kandydata, który najbardziej przybliża cel.");
        r.line(labelled("Liczba rozważanych kandydatów                      ",
                        integer(d.candidates, 12)));
        r.line(labelled("Przed propozycjami: Mp(max)                        ",
                        fixed(d.worstMpBefore, 12, 4) + " m"));
        r.line(labelled("Przed propozycjami: punktów poza standardem        ",
                        integer(d.failingBefore, 12)));
        const std::string weakHead = weakGoal ? "r < " + general(*options.minRedundancy) : "";
        if (weakGoal) {
            std::string label = "Przed propozycjami: obserwacji z " + weakHead;
            label.resize(std::max(label.size(), labelColumns), ' ');
            r.line(labelled(label, integer(d.weakBefore, 12)));
        }
        if (!d.proposals.empty()) {
            r.line(wideRule);
            std::string head = "  krok   błąd średni   Mp(max) [m]  poza st.";
            if (weakGoal) {
                head += std::string(std::max<size_t>(10 - weakHead.size(), 1), ' ') + weakHead;
            }
            r.say(head + "  obserwacja proponowana");
            r.line(wideRule);
            for (size_t i = 0; i < d.proposals.size(); ++i) {
                const Proposal& p = d.proposals[i];
                r.line("  " + integer(static_cast<int64_t>(i) + 1, 4) + " " +
                       inUnitOf(p.candidate.kind, p.candidate.meanError) +
                       fixed(p.worstMp, 14, 4) + integer(p.failing, 10) +
                       (weakGoal ? integer(p.weakObservations, 10) : "") + "  " +
                       candidateText(n, p.candidate));
            }
            r.line(wideRule);
        }
        r.line(cp1250("     ZAKOŃCZENIE: ") + cp1250(d.stopReason));
        r.line(cp1250("     WYNIK: ") +
               (d.goalMet ? cp1250("cel osiągnięty") : cp1250("cel nieosiągnięty")) + ", " +
               proposalsCount(std::ssize(d.proposals)));
    }
    if (!refused.empty()) {
        r.line(cp1250("     Odrzucone wiersze pliku ") + std::string(candidateFile) + ":");
        for (const std::string& line : refused) {
            r.line("       " + cp1250(line));
        }
    }
}

} // namespace

std::string planReportText(const NetworkData& n, const AdjustmentOutcome& outcome,
                           const PreAnalysis& a, const PlanOptions& options,
                           const std::vector<std::string>& refused, const LocalDateTime& now) {
    ReportText r;
    writeHeading(r, n, outcome, a, now);
    writePoints(r, n, a);
    writeObservations(r, n, outcome, a);
    writeRelativeAccuracy(r, n, a.lines, 3);
    std::unordered_map<int32_t, const PlannedPoint*> planned;
    for (const PlannedPoint& p : a.points) {
        planned.emplace(p.point, &p);
    }
    writeAccuracyStandard(r, n, a.standard, 4, [&](int32_t k) {
        const auto found = planned.find(k);
        return found == planned.end()
                   ? StandardRow{}
                   : StandardRow{found->second->mp, !found->second->controlled};
    });
    writeAdvice(r, n, a, options, refused);
    r.line(" ");
    r.line("  " + std::string(52, '_') + cp1250(" ptw3 (c) 2006 zespół ptw3"));
    return r.take();
}

bool writePlanReport(const std::filesystem::path& folder, std::string_view text) {
    return replaceFile(folder, planReportFile, text) == 0;
}

void removePlanReport(const std::filesystem::path& folder) {
    removeFileNoCase(folder, planReportFile);
}

std::vector<std::string> planVerdictLines(const PreAnalysis& a) {
    std::vector<std::string> lines;
    lines.push_back(cp1250(" Standard dokładności ") + general(a.standard.limit) +
                    " m: " + standardVerdict(a.standard));
    if (a.advice) {
        const DesignAdvice& d = *a.advice;
        lines.push_back(cp1250(" Doradca projektu: ") +
                        (d.skipped ? cp1250("pominięty (") + cp1250(*d.skipped) + ")"
                                   : proposalsCount(std::ssize(d.proposals)) + ", " +
                                         cp1250(d.goalMet ? "cel osiągnięty"
                                                          : "cel nieosiągnięty")));
    }
    return lines;
}

} // namespace ptw3
