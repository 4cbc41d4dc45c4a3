// The semi-axes and mean errors of the lines are printed in mm (a control network's relative
// accuracy lives there), Mp of the standard in m, directions in cc and grads.

#include "control/report_sections.h"

#include "common/encoding.h"
#include "common/number_format.h"

#include <cassert>
#include <future>
#include <iterator>
#include <thread>

namespace ptw3 {
namespace {

constexpr Real mmPerMetre = 1000;
/// The column at which the values of the labelled lines start (after "= ").
constexpr size_t labelWidth = 52;
/// Lines of the relative accuracy below which a second thread would cost more than it saves.
constexpr size_t linesWorthAThread = 2000;

} // namespace

bool paucal(int64_t count) {
    const int64_t units = count % 10;
    const int64_t tens = count % 100;
    return units >= 2 && units <= 4 && (tens < 12 || tens > 14);
}

void ReportText::say(std::string_view utf8) { line(cp1250(utf8)); }

std::string labelled(std::string_view labelUtf8, std::string_view value) {
    std::string s = "     " + cp1250(labelUtf8);
    if (s.size() < labelWidth) {
        s.resize(labelWidth, ' ');
    }
    return s + "= " + std::string(value);
}

std::string skippedLine(std::string_view whatUtf8, const std::string& reasonUtf8) {
    return "     " + cp1250(whatUtf8) + cp1250(reasonUtf8);
}

std::string pointsCount(int64_t count) {
    return std::to_string(count) +
           (count == 1 ? " punkt" : paucal(count) ? " punkty" : cp1250(" punktów"));
}

std::string_view kindWord(ListedKind kind) {
    switch (kind) {
    case ListedKind::Angle:
        return "kąt";
    case ListedKind::Direction:
        return "kierunek";
    case ListedKind::Distance:
        return "długość";
    case ListedKind::GpsDistance:
        return "długość GPS";
    case ListedKind::Azimuth:
        return "azymut";
    case ListedKind::GpsAzimuth:
        return "azymut GPS";
    }
    return "";
}

std::string observationText(const NetworkData& n, const AdjustmentOutcome& outcome,
                            int32_t index) {
    assert(index >= 0 && static_cast<size_t>(index) < outcome.observations.size());
    const AdjustedObservation& o = outcome.observations[static_cast<size_t>(index)];
    std::string s = cp1250(kindWord(o.kind)) + " ";
    if (o.kind == ListedKind::Angle) {
        s += n.points[o.left].number + " - ";
    }
    s += n.points[o.from].number + " - " + n.points[o.to].number;
    if (o.source.file > 0) {
        s += " (" + n.inputFiles[o.source.file] + ", wiersz " + std::to_string(o.source.line) +
             ")";
    }
    return s;
}

std::string standardVerdict(const AccuracyStandard& s) {
    return s.met() ? cp1250("spełniony")
                   : cp1250("niespełniony (") + pointsCount(std::ssize(s.failing)) + ")";
}

void writeRelativeAccuracy(ReportText& r, const NetworkData& n, const RelativeAccuracy& a,
                           int section) {
    r.line(" ");
    r.line("  " + std::to_string(section) +
           cp1250(". DOKŁADNOŚĆ WZAJEMNA PUNKTÓW POŁĄCZONYCH OBSERWACJAMI (od najsłabszej)"));
    if (a.skipped || a.lines.empty()) {
        r.line(reportSectionRule);
        r.line(a.skipped ? skippedLine("Analiza pominięta: ", *a.skipped)
                         : cp1250("     Brak punktów połączonych obserwacjami"));
        return;
    }
    // clang-format off
    constexpr std::string_view head[] = {
        "  |       Nr(i)    |       Nr(j)    |  Długość  |"
            "   A   |   B   |   Fi   |   mD  |  mD  |  mAz |",
        "  |                |                |    [m]    |"
            "  [mm] |  [mm] |   [g]  |  [mm] | [ppm]|  [cc]|",
        "  |----------------+----------------+-----------+"
            "-------+-------+--------+-------+------+------|",
    };
    // clang-format on
    const std::string rule = "  " + std::string(head[0].size() - 2, '-');
    r.line(rule);
    for (const std::string_view line : head) {
        r.say(line);
    }
    // A network of 20 000 points has some 80 000 lines; the second half of the table is
    // formatted on a thread of its own when there is one.
    const auto rows = [&](size_t first, size_t last) {
        ReportText part;
        for (size_t k = first; k < last; ++k) {
            const LineAccuracy& l = a.lines[k];
            part.line("  |" + rightAlign(n.points[l.from].number, pointNumberWidth) + "|" +
                      rightAlign(n.points[l.to].number, pointNumberWidth) + "|" +
                      fixed(l.length, 11, 3) + "|" + fixed(l.a * mmPerMetre, 7, 1) + "|" +
                      fixed(l.b * mmPerMetre, 7, 1) + "|" + fixed(l.fi, 8, 2) + "|" +
                      fixed(l.lengthError * mmPerMetre, 7, 1) + "|" +
                      fixed(l.lengthErrorPpm, 6, 1) + "|" + fixed(l.directionErrorCc, 6, 1) +
                      "|");
        }
        return part.take();
    };
    const size_t half = a.lines.size() / 2;
    const bool apart = half >= linesWorthAThread && std::thread::hardware_concurrency() > 1;
    std::future<std::string> second =
        std::async(apart ? std::launch::async : std::launch::deferred, rows, half,
                   a.lines.size());
    r.append(rows(0, half));
    r.append(second.get());
    r.line(rule);
    r.say("     A, B, Fi - elipsa błędu względnego; mD, mAz - błędy średnie długości i azymutu");
}

void writeAccuracyStandard(ReportText& r, const NetworkData& n, const AccuracyStandard& s,
                           int section, const std::function<StandardRow(int32_t)>& rowOf) {
    r.line(" ");
    r.line("  " + std::to_string(section) + cp1250(". STANDARD DOKŁADNOŚCI"));
    r.line(reportSectionRule);
    r.line(labelled("Dopuszczalny błąd położenia punktu        Mp(dop) ",
                    fixed(s.limit, 12, 4) + " m"));
    r.line(labelled("Liczba sprawdzonych punktów wyznaczanych           ",
                    integer(s.checked, 12)));
    r.line(labelled("Liczba punktów poza standardem                     ",
                    integer(std::ssize(s.failing), 12)));
    if (!s.failing.empty()) {
        r.say("     Punkty poza standardem (od największego Mp) i bez kontroli:");
        r.line("     " + std::string(28, '-'));
        r.say("     |    Nr punktu   |  Mp [m] |");
        r.line("     |----------------+---------|");
        for (const int32_t k : s.failing) {
            const StandardRow row = rowOf(k);
            r.line("     |" + rightAlign(n.points[k].number, pointNumberWidth) + "|" +
                   fixed(row.mp, 9, 4) + "|" + (row.withoutControl ? cp1250(" bez kontroli") : ""));
        }
        r.line("     " + std::string(28, '-'));
    }
    if (s.largestPoint) {
        r.line(cp1250("     Największy błąd położenia  Mp(max) =") + fixed(s.largestMp, 9, 4) +
               " m   dla punktu: " + n.points[*s.largestPoint].number);
    }
    r.line(cp1250("     WYNIK: standard ") + standardVerdict(s));
}

} // namespace ptw3
